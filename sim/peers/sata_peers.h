// Stand-in for the platform's SATA driver as it meets the setup driver: it
// locates the SATA port string protocol and calls it with its own
// device-lookup interface, which finds a device by its lookup tuple and
// hands out its five texts as pool buffers for the caller to free. Each
// device has a record with the field at byte 524.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/sata_port_strings.h"
#include "sim/board_profile.h"
#include "uefi/system_table.h"

namespace sim {

class SataPortDriverPeer {
 public:
  explicit SataPortDriverPeer(const SataPortDriverProfile& Profile);
  SataPortDriverPeer(const SataPortDriverPeer&) = delete;
  SataPortDriverPeer& operator=(const SataPortDriverPeer&) = delete;

  // Calls the protocol of the first instance found, or of every instance
  // (a driver that answers each installation). The number of calls made; 0
  // when the setup driver installed none.
  size_t CallSetup(EFI_BOOT_SERVICES* BootServices, bool EveryInstance = false);

  SATA_DEVICE_INTERFACE* Interface() { return &Interface_.Interface; }
  SataPortDriverProfile& Profile() { return Profile_; }

  struct Lookup {
    uint8_t Bus, Device, Function, ByteA, ByteB;
    bool Found;
  };
  std::vector<Lookup> Lookups;  // every lookup, as asked
  size_t TextsHanded = 0;       // pool buffers handed out
  // When set, each call of the protocol is written there as one line.
  std::vector<std::string>* Transcript = nullptr;

 private:
  struct INTERFACE_RECORD {
    SATA_DEVICE_INTERFACE Interface;
    SataPortDriverPeer* Self;
  };
  struct DEVICE_RECORD {
    SATA_DEVICE_RECORD Record;
    SataPortDriverPeer* Self;
    size_t Index;
  };
  static EFI_STATUS EFIAPI FindDevice(SATA_DEVICE_INTERFACE* This, UINT8 Bus, UINT8 Device, UINT8 Function,
                                      UINT8 ByteA, UINT8 ByteB, SATA_DEVICE_RECORD** DeviceHandle);
  template <size_t N>
  static EFI_STATUS EFIAPI GetText(SATA_DEVICE_RECORD* DeviceHandle, CHAR8** Text);
  EFI_STATUS HandText(SATA_DEVICE_RECORD* DeviceHandle, size_t Text, CHAR8** Out);

  SataPortDriverProfile Profile_;
  INTERFACE_RECORD Interface_{};
  std::vector<std::unique_ptr<DEVICE_RECORD>> Records_;
  EFI_BOOT_SERVICES* BootServices_ = nullptr;
};

}  // namespace sim
