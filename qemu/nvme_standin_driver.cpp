// Test-only stand-in for what the board's NVMe driver gives setup and OVMF's
// does not, built over OVMF's real NVMe controller and namespace handles:
// the NVMe controller protocol on each NVMe-class PCI I/O handle (no
// interface; only its presence counts), an open record of the controller's
// PCI I/O BY_CHILD_CONTROLLER for each namespace child (OVMF's driver opens
// its pass-thru protocol instead), and Component Name 2 in "en-US", which
// OVMF's driver offers only as "en". The names are the real driver's own,
// asked in its first language, so the row still shows what OVMF reports.
#include "lib/firmware_services.h"
#include "lib/pool_buffer.h"
#include "platform/nvme.h"
#include "qemu/nvme_match.h"
#include "uefi/device_path.h"
#include "uefi/driver_model.h"
#include "uefi/pci_io.h"

namespace {

constexpr UINTN CONTROLLER_LIMIT = 8;
constexpr UINTN LANGUAGE_CAPACITY = 16;

struct MANAGED {
  EFI_HANDLE Controller;
  EFI_COMPONENT_NAME2_PROTOCOL* RealNames;
  CHAR8 RealLanguage[LANGUAGE_CAPACITY];  // the real driver's first language
};

struct STANDIN_STATE {
  EFI_HANDLE Image;
  MANAGED Managed[CONTROLLER_LIMIT];
  UINTN Count;
};

constinit STANDIN_STATE gState = {};

EFI_STATUS EFIAPI DriverName(EFI_COMPONENT_NAME2_PROTOCOL*, const CHAR8*, CHAR16**) { return EFI_UNSUPPORTED; }

EFI_STATUS EFIAPI ControllerName(EFI_COMPONENT_NAME2_PROTOCOL*, EFI_HANDLE Controller, EFI_HANDLE Child,
                                 const CHAR8* Language, CHAR16** Name) {
  if (Language == nullptr || Name == nullptr) return EFI_INVALID_PARAMETER;
  const CHAR8* Ours = (const CHAR8*)"en-US";
  for (UINTN i = 0; Ours[i] != 0 || Language[i] != 0; ++i)
    if (Ours[i] != Language[i]) return EFI_UNSUPPORTED;
  for (UINTN i = 0; i < gState.Count; ++i) {
    const MANAGED& M = gState.Managed[i];
    if (M.Controller == Controller)
      return M.RealNames->GetControllerName(M.RealNames, Controller, Child, M.RealLanguage, Name);
  }
  return EFI_UNSUPPORTED;
}

EFI_COMPONENT_NAME2_PROTOCOL gNames = {DriverName, ControllerName, (const CHAR8*)"en-US"};

// The managing driver of a controller: the agent of its PCI I/O's BY_DRIVER record.
EFI_HANDLE ManagingDriver(EFI_HANDLE Controller, const EFI_OPEN_PROTOCOL_INFORMATION_ENTRY* Opens, UINTN Count) {
  for (UINTN e = 0; e < Count; ++e)
    if ((Opens[e].Attributes & EFI_OPEN_PROTOCOL_BY_DRIVER) && Opens[e].ControllerHandle == Controller)
      return Opens[e].AgentHandle;
  return nullptr;
}

// Opens the controller's PCI I/O for every namespace child the real driver
// made, whichever of the controller's protocols it opened for it.
UINTN AdoptNamespaces(EFI_HANDLE Controller, EFI_HANDLE Driver) {
  PoolBuffer<EFI_GUID*> Protocols;
  UINTN ProtocolCount = 0, Adopted = 0;
  if (EFI_ERROR(gBS()->ProtocolsPerHandle(Controller, (EFI_GUID***)Protocols.OutPtr(), &ProtocolCount))) return 0;
  for (UINTN p = 0; p < ProtocolCount; ++p) {
    PoolBuffer<EFI_OPEN_PROTOCOL_INFORMATION_ENTRY> Opens;
    UINTN Count = 0;
    if (EFI_ERROR(gBS()->OpenProtocolInformation(Controller, Protocols[p],
                                                 (EFI_OPEN_PROTOCOL_INFORMATION_ENTRY**)Opens.OutPtr(), &Count)))
      continue;
    for (UINTN e = 0; e < Count; ++e) {
      if (!(Opens[e].Attributes & EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER) || Opens[e].AgentHandle != Driver) continue;
      const EFI_HANDLE Child = Opens[e].ControllerHandle;
      if (!HasNamespaceNode(HandleProtocol<EFI_DEVICE_PATH_PROTOCOL>(Child))) continue;
      VOID* PciIo = nullptr;
      if (!EFI_ERROR(gBS()->OpenProtocol(Controller, &EFI_PCI_IO_PROTOCOL::Guid, &PciIo, gState.Image, Child,
                                         EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER)))
        ++Adopted;
    }
  }
  return Adopted;
}

}  // namespace

extern "C" EFI_STATUS EFIAPI NvmeStandInEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable) {
  LibraryInit(ImageHandle, SystemTable);
  gState.Image = ImageHandle;
  EFI_STATUS Status = gBS()->InstallProtocolInterface(&gState.Image, &EFI_COMPONENT_NAME2_PROTOCOL::Guid,
                                                      EFI_NATIVE_INTERFACE, &gNames);
  if (EFI_ERROR(Status)) return Status;

  PoolBuffer<EFI_HANDLE> Handles;
  UINTN Count = 0;
  if (EFI_ERROR(gBS()->LocateHandleBuffer(ByProtocol, &EFI_PCI_IO_PROTOCOL::Guid, nullptr, &Count,
                                          (EFI_HANDLE**)Handles.OutPtr())))
    return EFI_SUCCESS;
  for (UINTN i = 0; i < Count && gState.Count < CONTROLLER_LIMIT; ++i) {
    EFI_PCI_IO_PROTOCOL* PciIo = HandleProtocol<EFI_PCI_IO_PROTOCOL>(Handles[i]);
    if (PciIo == nullptr || !IsNvmeClass(PciIo)) continue;
    PoolBuffer<EFI_OPEN_PROTOCOL_INFORMATION_ENTRY> Opens;
    UINTN OpenCount = 0;
    if (EFI_ERROR(gBS()->OpenProtocolInformation(Handles[i], &EFI_PCI_IO_PROTOCOL::Guid,
                                                 (EFI_OPEN_PROTOCOL_INFORMATION_ENTRY**)Opens.OutPtr(), &OpenCount)))
      continue;
    const EFI_HANDLE Driver = ManagingDriver(Handles[i], Opens.Get(), OpenCount);
    EFI_COMPONENT_NAME2_PROTOCOL* RealNames =
        Driver != nullptr ? HandleProtocol<EFI_COMPONENT_NAME2_PROTOCOL>(Driver) : nullptr;
    if (RealNames == nullptr || RealNames->SupportedLanguages == nullptr) continue;

    MANAGED& M = gState.Managed[gState.Count];
    UINTN n = 0;
    for (; n + 1 < LANGUAGE_CAPACITY && RealNames->SupportedLanguages[n] != 0 && RealNames->SupportedLanguages[n] != ';';
         ++n)
      M.RealLanguage[n] = RealNames->SupportedLanguages[n];
    M.RealLanguage[n] = 0;
    M.Controller = Handles[i];
    M.RealNames = RealNames;
    ++gState.Count;

    EFI_HANDLE Handle = Handles[i];
    gBS()->InstallProtocolInterface(&Handle, &NVME_CONTROLLER_PROTOCOL::Guid, EFI_NATIVE_INTERFACE, nullptr);
    AdoptNamespaces(Handles[i], Driver);
  }
  return EFI_SUCCESS;
}
