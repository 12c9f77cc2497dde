// Test-only driver for OVMF: gives QEMU's standard VGA what a board's
// graphics stack has and OVMF's video driver lacks. Its Graphics Output
// child gets EDID Discovered and the output level and switch protocols; a
// second output becomes a child of the same controller (opened for OVMF's
// driver BY_CHILD_CONTROLLER), named through the driver's Component Name 2,
// which also gives OVMF's output the controller's own name;
// the controller's PCI I/O answers a board vendor ID at configuration
// offset 0. The check application reads what happened through a private
// protocol.
#include "lib/firmware_services.h"
#include "lib/pool_buffer.h"
#include "platform/graphics_output.h"
#include "qemu/graphics_standin.h"
#include "uefi/device_path.h"
#include "uefi/driver_model.h"
#include "uefi/graphics.h"
#include "uefi/pci_io.h"

namespace {

#pragma pack(push, 1)
struct ACPI_ADR_NODE {
  EFI_DEVICE_PATH_PROTOCOL Header;
  UINT32 Adr;
};
#pragma pack(pop)
static_assert(sizeof(ACPI_ADR_NODE) == 8);

constexpr UINTN MAX_CONTROLLER_PATH = 256;

struct STANDIN_STATE {
  GRAPHICS_STANDIN_CONTROL_PROTOCOL Control;
  EFI_PCI_IO_PROTOCOL::ConfigFn OriginalPciRead;
  EFI_COMPONENT_NAME2_PROTOCOL::GetControllerNameFn OriginalControllerName;
  EFI_EDID_DISCOVERED_PROTOCOL RealEdid;
  EFI_EDID_DISCOVERED_PROTOCOL AddedEdid;
  UINT8 EdidBlock[128];
  OUTPUT_LEVEL_PROTOCOL Level;
  OUTPUT_SWITCH_PROTOCOL Switch;
  UINT8 AddedPath[MAX_CONTROLLER_PATH + sizeof(ACPI_ADR_NODE) + sizeof(EFI_DEVICE_PATH_PROTOCOL)];
};

constinit STANDIN_STATE gStandIn = {};

// The stand-in protocols as they start; copied in at set-up.
constexpr UINT32 SUPPORTED = 1;
EFI_STATUS EFIAPI GetMaxLevel(OUTPUT_LEVEL_PROTOCOL*, UINT32* Max);
EFI_STATUS EFIAPI GetLevel(OUTPUT_LEVEL_PROTOCOL*, UINT32* Level);
EFI_STATUS EFIAPI SetLevel(OUTPUT_LEVEL_PROTOCOL*, UINT32 Level);
EFI_STATUS EFIAPI SwitchOn(OUTPUT_SWITCH_PROTOCOL*);
EFI_STATUS EFIAPI SwitchOff(OUTPUT_SWITCH_PROTOCOL*);
constexpr OUTPUT_LEVEL_PROTOCOL LevelTemplate = {SUPPORTED, GetMaxLevel, GetLevel, SetLevel};
constexpr OUTPUT_SWITCH_PROTOCOL SwitchTemplate = {SUPPORTED, SwitchOn, SwitchOff};

EFI_STATUS EFIAPI VendorAwareRead(EFI_PCI_IO_PROTOCOL* This, EFI_PCI_IO_PROTOCOL_WIDTH Width, UINT32 Offset,
                                  UINTN Count, VOID* Buffer) {
  if (Offset == PCI_VENDOR_ID_OFFSET && Width == EfiPciIoWidthUint16 && Count == 1 && Buffer != nullptr) {
    gStandIn.Control.VendorReads++;
    *(UINT16*)Buffer = STANDIN_VENDOR_ID;
    return EFI_SUCCESS;
  }
  return gStandIn.OriginalPciRead(This, Width, Offset, Count, Buffer);
}

EFI_STATUS EFIAPI NameAddedOutput(EFI_COMPONENT_NAME2_PROTOCOL* This, EFI_HANDLE Controller, EFI_HANDLE Child,
                                  const CHAR8* Language, CHAR16** Name) {
  if (Child != nullptr && Child == gStandIn.Control.AddedOutput && Controller == gStandIn.Control.Controller) {
    if (Name == nullptr) return EFI_INVALID_PARAMETER;
    *Name = (CHAR16*)STANDIN_ADDED_OUTPUT_NAME;
    return EFI_SUCCESS;
  }
  EFI_STATUS Status = gStandIn.OriginalControllerName(This, Controller, Child, Language, Name);
  // OVMF's driver names only its controller: its output takes that name, in
  // the same language, as a board's driver names each output.
  if (EFI_ERROR(Status) && Child != nullptr && Child == gStandIn.Control.RealOutput)
    Status = gStandIn.OriginalControllerName(This, Controller, nullptr, Language, Name);
  return Status;
}

EFI_STATUS EFIAPI GetMaxLevel(OUTPUT_LEVEL_PROTOCOL*, UINT32* Max) {
  gStandIn.Control.GetMaxLevelCalls++;
  if (Max == nullptr) return EFI_INVALID_PARAMETER;
  *Max = STANDIN_MAX_LEVEL;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI GetLevel(OUTPUT_LEVEL_PROTOCOL*, UINT32* Level) {
  gStandIn.Control.GetLevelCalls++;
  if (Level == nullptr) return EFI_INVALID_PARAMETER;
  *Level = gStandIn.Control.Level;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI SetLevel(OUTPUT_LEVEL_PROTOCOL*, UINT32 Level) {
  gStandIn.Control.SetLevelCalls++;
  if (Level > STANDIN_MAX_LEVEL) return EFI_INVALID_PARAMETER;
  gStandIn.Control.Level = Level;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI SwitchOn(OUTPUT_SWITCH_PROTOCOL*) {
  gStandIn.Control.SwitchOnCalls++;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI SwitchOff(OUTPUT_SWITCH_PROTOCOL*) {
  gStandIn.Control.SwitchOffCalls++;
  return EFI_SUCCESS;
}

EFI_HANDLE FindDisplayController() {
  UINTN Count = 0;
  PoolBuffer<EFI_HANDLE> Handles;
  if (EFI_ERROR(gBS()->LocateHandleBuffer(ByProtocol, &EFI_PCI_IO_PROTOCOL::Guid, nullptr, &Count,
                                          (EFI_HANDLE**)Handles.OutPtr())))
    return nullptr;
  for (UINTN i = 0; i < Count; ++i) {
    auto* PciIo = HandleProtocol<EFI_PCI_IO_PROTOCOL>(Handles[i]);
    UINT8 BaseClass = 0;
    if (PciIo != nullptr &&
        !EFI_ERROR(PciIo->Pci.Read(PciIo, EfiPciIoWidthUint8, PCI_BASE_CLASS_CODE_OFFSET, 1, &BaseClass)) &&
        BaseClass == PCI_CLASS_DISPLAY)
      return Handles[i];
  }
  return nullptr;
}

// The Graphics Output handle that the controller's driver opened PCI I/O for
// BY_CHILD_CONTROLLER, and that driver.
bool FindOutputChild(EFI_HANDLE Controller, EFI_HANDLE* Child, EFI_HANDLE* Driver) {
  PoolBuffer<EFI_OPEN_PROTOCOL_INFORMATION_ENTRY> Entries;
  UINTN Count = 0;
  if (EFI_ERROR(gBS()->OpenProtocolInformation(Controller, &EFI_PCI_IO_PROTOCOL::Guid,
                                               (EFI_OPEN_PROTOCOL_INFORMATION_ENTRY**)Entries.OutPtr(), &Count)))
    return false;
  for (UINTN i = 0; i < Count; ++i) {
    if ((Entries[i].Attributes & EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER) == 0) continue;
    if (HandleProtocol<EFI_GRAPHICS_OUTPUT_PROTOCOL>(Entries[i].ControllerHandle) == nullptr) continue;
    *Child = Entries[i].ControllerHandle;
    *Driver = Entries[i].AgentHandle;
    return true;
  }
  return false;
}

UINTN PathSize(const EFI_DEVICE_PATH_PROTOCOL* Path) {
  UINTN Size = 0;
  while (Size < MAX_CONTROLLER_PATH) {
    auto* Node = (const EFI_DEVICE_PATH_PROTOCOL*)((const UINT8*)Path + Size);
    const UINTN Length = DevicePathNodeLength(Node);
    if (Node->Type == END_DEVICE_PATH_TYPE && Node->SubType == END_ENTIRE_DEVICE_PATH_SUBTYPE) return Size;
    if (Length < sizeof(EFI_DEVICE_PATH_PROTOCOL)) return 0;
    Size += Length;
  }
  return 0;
}

EFI_STATUS AddOutput(EFI_HANDLE Controller, EFI_HANDLE Driver) {
  auto* ControllerPath = HandleProtocol<EFI_DEVICE_PATH_PROTOCOL>(Controller);
  if (ControllerPath == nullptr) return EFI_NOT_FOUND;
  const UINTN Size = PathSize(ControllerPath);
  if (Size == 0) return EFI_BAD_BUFFER_SIZE;
  UINT8* Path = gStandIn.AddedPath;
  __builtin_memcpy(Path, ControllerPath, Size);
  ACPI_ADR_NODE Adr = {{ACPI_DEVICE_PATH, 3, {sizeof(ACPI_ADR_NODE), 0}}, STANDIN_ADDED_OUTPUT_ADR};
  __builtin_memcpy(Path + Size, &Adr, sizeof(Adr));
  const EFI_DEVICE_PATH_PROTOCOL End = {END_DEVICE_PATH_TYPE, END_ENTIRE_DEVICE_PATH_SUBTYPE, {4, 0}};
  __builtin_memcpy(Path + Size + sizeof(Adr), &End, sizeof(End));

  gStandIn.AddedEdid = {sizeof(gStandIn.EdidBlock), gStandIn.EdidBlock};
  EFI_HANDLE Added = nullptr;
  EFI_STATUS Status = gBS()->InstallMultipleProtocolInterfaces(&Added, &EFI_DEVICE_PATH_PROTOCOL::Guid, Path,
                                                               &EFI_EDID_DISCOVERED_PROTOCOL::Guid,
                                                               &gStandIn.AddedEdid, nullptr);
  if (EFI_ERROR(Status)) return Status;
  gStandIn.Control.AddedOutput = Added;
  VOID* Interface = nullptr;
  return gBS()->OpenProtocol(Controller, &EFI_PCI_IO_PROTOCOL::Guid, &Interface, Driver, Added,
                             EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER);
}

EFI_STATUS SetUpStandIn() {
  GRAPHICS_STANDIN_CONTROL_PROTOCOL& C = gStandIn.Control;
  C.Controller = FindDisplayController();
  if (C.Controller == nullptr) return EFI_NOT_FOUND;
  gBS()->ConnectController(C.Controller, nullptr, nullptr, TRUE);
  if (!FindOutputChild(C.Controller, &C.RealOutput, &C.Driver)) return EFI_NOT_STARTED;

  const UINT8 Header[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
  __builtin_memcpy(gStandIn.EdidBlock, Header, sizeof(Header));
  gStandIn.RealEdid = {sizeof(gStandIn.EdidBlock), gStandIn.EdidBlock};
  C.Level = STANDIN_START_LEVEL;
  gStandIn.Level = LevelTemplate;
  gStandIn.Switch = SwitchTemplate;
  EFI_HANDLE Real = C.RealOutput;
  EFI_STATUS Status = gBS()->InstallMultipleProtocolInterfaces(
      &Real, &EFI_EDID_DISCOVERED_PROTOCOL::Guid, &gStandIn.RealEdid, &OUTPUT_LEVEL_PROTOCOL::Guid, &gStandIn.Level,
      &OUTPUT_SWITCH_PROTOCOL::Guid, &gStandIn.Switch, nullptr);
  if (EFI_ERROR(Status)) return Status;

  auto* Names = HandleProtocol<EFI_COMPONENT_NAME2_PROTOCOL>(C.Driver);
  if (Names == nullptr) return EFI_UNSUPPORTED;
  Status = AddOutput(C.Controller, C.Driver);
  if (EFI_ERROR(Status)) return Status;
  gStandIn.OriginalControllerName = Names->GetControllerName;
  Names->GetControllerName = NameAddedOutput;

  auto* PciIo = HandleProtocol<EFI_PCI_IO_PROTOCOL>(C.Controller);
  if (PciIo == nullptr) return EFI_NOT_FOUND;
  gStandIn.OriginalPciRead = PciIo->Pci.Read;
  PciIo->Pci.Read = VendorAwareRead;
  return EFI_SUCCESS;
}

}  // namespace

extern "C" EFI_STATUS EFIAPI GraphicsStandInEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable) {
  LibraryInit(ImageHandle, SystemTable);
  gStandIn.Control.SetupStatus = SetUpStandIn();
  // Installed whatever happened, so the check can say what went wrong.
  EFI_HANDLE Handle = nullptr;
  return gBS()->InstallProtocolInterface(&Handle, &GRAPHICS_STANDIN_CONTROL_PROTOCOL::Guid, EFI_NATIVE_INTERFACE,
                                         &gStandIn.Control);
}
