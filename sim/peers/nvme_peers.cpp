#include "sim/peers/nvme_peers.h"

#include <algorithm>

namespace sim {

std::vector<uint8_t> NvmeNamespaceNode(uint32_t Id, uint64_t Eui64) {
  std::vector<uint8_t> Node = {MESSAGING_DEVICE_PATH, MSG_NVME_NAMESPACE_DP, 16, 0};
  for (int I = 0; I < 4; ++I) Node.push_back((uint8_t)(Id >> (8 * I)));
  for (int I = 0; I < 8; ++I) Node.push_back((uint8_t)(Eui64 >> (8 * I)));
  return Node;
}

NvmePeers::NvmePeers(Board& B, const NvmeProfile& Profile)
    : Profile_(Profile), Board_(B), Driver_(DriverOptions(Profile.Driver)) {}

EFI_STATUS NvmePeers::Install(EFI_BOOT_SERVICES* BootServices) {
  EFI_STATUS Status = Driver_.Install(BootServices);
  if (EFI_ERROR(Status)) return Status;
  ApplyDriverNames(Driver_, Profile_.Driver);

  for (const NvmeControllerProfile& C : Profile_.Controllers) {
    Controller Made;
    Made.Pci = MakePciController(Board_, C.Pci);
    Status = Made.Pci->Install(BootServices);
    if (EFI_ERROR(Status)) return Status;
    EFI_HANDLE Handle = Made.Pci->Handle();
    // Once installed, its interfaces stay on the handle: the controller must
    // outlive a failure of what follows, or the handle points at freed bytes.
    Controllers_.push_back(std::move(Made));
    Controller& Kept = Controllers_.back();
    if (C.ControllerProtocol) {
      Status = BootServices->InstallProtocolInterface(&Handle, &NVME_CONTROLLER_PROTOCOL::Guid,
                                                      EFI_NATIVE_INTERFACE, nullptr);
      if (EFI_ERROR(Status)) return Status;
    }
    Status = Driver_.Manage(Handle, EFI_PCI_IO_PROTOCOL::Guid);
    if (EFI_ERROR(Status)) return Status;
    ApplyComponentNames(Driver_, Handle, nullptr, C.Name);

    for (const NvmeNamespaceProfile& N : C.Namespaces) {
      EFI_HANDLE Child;
      if (N.DevicePath) {
        // Raw bytes, stored exactly sized so that a walk past them is caught.
        auto Bytes = std::make_unique<uint8_t[]>(std::max<size_t>(N.DevicePath->size(), 1));
        std::copy(N.DevicePath->begin(), N.DevicePath->end(), Bytes.get());
        Child = Driver_.AddChild(Handle, EFI_PCI_IO_PROTOCOL::Guid, {}, {{&EFI_DEVICE_PATH_PROTOCOL::Guid, Bytes.get()}});
        RawPaths_.push_back(std::move(Bytes));
      } else {
        Child = Driver_.AddChild(Handle, EFI_PCI_IO_PROTOCOL::Guid, NvmeNamespaceNode(N.Id, N.Eui64), {});
      }
      if (Child != nullptr) ApplyComponentNames(Driver_, Handle, Child, N.Name);
      Kept.Namespaces.push_back(Child);
    }
  }
  return EFI_SUCCESS;
}

}  // namespace sim
