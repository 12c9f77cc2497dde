#include "sim/peers/super_io_peers.h"

namespace sim {

SUPER_IO_DEVICE_PROTOCOL SuperIoInterfaceFor(const SuperIoDeviceProfile& D) {
  SUPER_IO_DEVICE_PROTOCOL P{};
  P.Enabled = D.Enabled;
  P.Active = D.Active;
  P.IoBase = D.IoBase;
  P.Interrupt = D.Interrupt;
  P.DmaChannel = D.DmaChannel;
  return P;
}

SuperIoPeers::SuperIoPeers(const SuperIoDriverProfile& Profile) : Present_(Profile.Present) {
  for (const SuperIoDeviceProfile& D : Profile.Devices) {
    auto Dev = std::make_unique<Device>();
    Dev->Protocol = SuperIoInterfaceFor(D);
    Dev->Record.Type = D.Type;
    Dev->Record.Instance = D.Instance;
    Dev->Record.Usable = D.Usable;
    Dev->Protocol.Description = D.Description ? &Dev->Record : nullptr;
    Devices_.push_back(std::move(Dev));
  }
}

EFI_STATUS SuperIoPeers::Install(EFI_BOOT_SERVICES* BootServices) {
  if (!Present_) return EFI_SUCCESS;
  for (auto& Dev : Devices_) {
    if (Dev->Handle != nullptr) continue;
    EFI_STATUS Status = BootServices->InstallProtocolInterface(&Dev->Handle, &SUPER_IO_DEVICE_PROTOCOL::Guid,
                                                               EFI_NATIVE_INTERFACE, &Dev->Protocol);
    if (EFI_ERROR(Status)) return Status;
  }
  return EFI_SUCCESS;
}

EFI_STATUS SuperIoPeers::Uninstall(EFI_BOOT_SERVICES* BootServices) {
  for (auto& Dev : Devices_) {
    if (Dev->Handle == nullptr) continue;
    EFI_STATUS Status =
        BootServices->UninstallProtocolInterface(Dev->Handle, &SUPER_IO_DEVICE_PROTOCOL::Guid, &Dev->Protocol);
    if (EFI_ERROR(Status)) return Status;
    Dev->Handle = nullptr;
  }
  return EFI_SUCCESS;
}

}  // namespace sim
