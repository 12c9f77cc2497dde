// Stand-in for the platform's USB driver as setup reaches it: the USB
// support protocol, counting the attached devices by kind and naming the
// mass-storage devices one by one, and the UsbMassDevNum variable the
// driver keeps. The protocol's functions take no instance pointer, so one
// peer at a time is the installed one.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/usb_support.h"
#include "sim/board_profile.h"
#include "uefi/system_table.h"

namespace sim {

class UsbSupportPeer {
 public:
  explicit UsbSupportPeer(const UsbProfile& Profile);
  ~UsbSupportPeer();
  UsbSupportPeer(const UsbSupportPeer&) = delete;
  UsbSupportPeer& operator=(const UsbSupportPeer&) = delete;

  EFI_STATUS Install(EFI_BOOT_SERVICES* BootServices);
  // UsbMassDevNum as the profile gives it; nothing when it gives none.
  EFI_STATUS WriteMassDevNum(EFI_RUNTIME_SERVICES* RuntimeServices);

  USB_SUPPORT_PROTOCOL* Protocol() { return &Protocol_; }
  UsbProfile& Profile() { return Profile_; }

  // Calls as they came: the counts calls, and each name call's index and room.
  uint32_t CountCalls = 0;
  struct NameCall {
    uint8_t Index = 0;
    uint8_t Size = 0;
  };
  std::vector<NameCall> NameCalls;

 private:
  static VOID EFIAPI GetDeviceCountsEntry(USB_DEVICE_COUNTS* Counts);
  static UINT8 EFIAPI GetMassDeviceNameEntry(CHAR8* Name, UINT8 NameSize, UINT8 Index);

  UsbProfile Profile_;
  USB_SUPPORT_PROTOCOL Protocol_{};
  EFI_HANDLE Handle_ = nullptr;
};

}  // namespace sim
