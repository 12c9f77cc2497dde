// Stand-in for the platform's Super I/O driver: one handle per logical
// device, each with the Super I/O device protocol and its description
// record, answering from a SuperIoDriverProfile.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "platform/super_io_device.h"
#include "sim/board_profile.h"
#include "uefi/system_table.h"

namespace sim {

class SuperIoPeers {
 public:
  explicit SuperIoPeers(const SuperIoDriverProfile& Profile);
  SuperIoPeers(const SuperIoPeers&) = delete;
  SuperIoPeers& operator=(const SuperIoPeers&) = delete;

  // Installs every device on a handle of its own, in profile order; nothing
  // when the profile says the driver is absent. Installing twice adds nothing.
  EFI_STATUS Install(EFI_BOOT_SERVICES* BootServices);
  // Takes every installed device off its handle again.
  EFI_STATUS Uninstall(EFI_BOOT_SERVICES* BootServices);

  size_t Count() const { return Devices_.size(); }
  // The interface and record as installed; tests may change them.
  SUPER_IO_DEVICE_PROTOCOL& Interface(size_t Index) { return Devices_.at(Index)->Protocol; }
  SUPER_IO_DEVICE_DESCRIPTION& Description(size_t Index) { return Devices_.at(Index)->Record; }
  EFI_HANDLE Handle(size_t Index) const { return Devices_.at(Index)->Handle; }

 private:
  struct Device {
    SUPER_IO_DEVICE_PROTOCOL Protocol{};
    SUPER_IO_DEVICE_DESCRIPTION Record{};
    EFI_HANDLE Handle = nullptr;
  };
  bool Present_ = true;
  std::vector<std::unique_ptr<Device>> Devices_;
};

// The interface a driver fills for one profile device (record pointer unset).
SUPER_IO_DEVICE_PROTOCOL SuperIoInterfaceFor(const SuperIoDeviceProfile& Device);

}  // namespace sim
