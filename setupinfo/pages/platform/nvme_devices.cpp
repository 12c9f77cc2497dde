#include "setupinfo/pages/platform/nvme_devices.h"

#include "lib/firmware_services.h"
#include "lib/pool_buffer.h"
#include "lib/text_format.h"
#include "platform/nvme.h"
#include "platform/setup_variable.h"
#include "setupinfo/core/page_strings.h"
#include "uefi/driver_model.h"
#include "uefi/pci_io.h"

static_assert(sizeof(NvmeLocationStrings) / sizeof(NvmeLocationStrings[0]) == NVME_DEVICE_ROWS);
static_assert(sizeof(NvmeNameStrings) / sizeof(NvmeNameStrings[0]) == NVME_DEVICE_ROWS);

namespace {

constexpr UINT16 ADVANCED_CLASS = 4;
constexpr UINT16 NODE_HEADER = sizeof(EFI_DEVICE_PATH_PROTOCOL);

struct NVME_TEXT {
  CHAR8 Text[NVME_TEXT_BYTES];
};

struct NVME_ROWS {
  UINT8 Filled[NVME_DEVICE_ROWS] = {};
  UINTN Count = 0;
  bool Full() const { return Count >= NVME_DEVICE_ROWS; }
};

// Fills row Rows.Count from one namespace of one controller when the
// controller's driver names it in "en-US".
void FillRow(EFI_HII_HANDLE HiiHandle, EFI_HANDLE Controller, EFI_PCI_IO_PROTOCOL* PciIo, EFI_HANDLE Namespace,
             EFI_HANDLE Driver, NVME_ROWS& Rows) {
  EFI_COMPONENT_NAME2_PROTOCOL* Names = HandleProtocol<EFI_COMPONENT_NAME2_PROTOCOL>(Driver);
  if (Names == nullptr) return;
  CHAR16* Name = nullptr;
  if (EFI_ERROR(Names->GetControllerName(Names, Controller, Namespace, (const CHAR8*)"en-US", &Name)) ||
      Name == nullptr)
    return;

  PoolBuffer<NVME_TEXT> Text;
  if (!Text.Allocate(1)) return;
  NarrowDeviceName(Name, Text->Text);
  SetPageText(HiiHandle, NvmeNameStrings[Rows.Count], Text->Text, NVME_TEXT_BYTES - 1);

  // A failed call leaves the zeros, never what the stack held.
  UINTN Segment = 0, Bus = 0, Device = 0, Function = 0;
  PciIo->GetLocation(PciIo, &Segment, &Bus, &Device, &Function);
  FormatAscii(Text->Text, NVME_TEXT_BYTES, "Bus:%X Dev:%x Func:%x", Bus, Device, Function);
  SetPageText(HiiHandle, NvmeLocationStrings[Rows.Count], Text->Text, NVME_TEXT_BYTES - 1);

  Rows.Filled[Rows.Count++] = 1;
}

// Every NVMe controller whose PCI I/O a driver opened for this namespace as
// its child gives the namespace a row.
void FindControllersOf(EFI_HII_HANDLE HiiHandle, EFI_HANDLE Namespace, NVME_ROWS& Rows) {
  PoolBuffer<EFI_HANDLE> Controllers;
  UINTN Count = 0;
  if (EFI_ERROR(gBS()->LocateHandleBuffer(ByProtocol, &EFI_PCI_IO_PROTOCOL::Guid, nullptr, &Count,
                                          (EFI_HANDLE**)Controllers.OutPtr())))
    return;
  for (UINTN i = 0; i < Count && Controllers && !Rows.Full(); ++i) {
    EFI_PCI_IO_PROTOCOL* PciIo = HandleProtocol<EFI_PCI_IO_PROTOCOL>(Controllers[i]);
    if (PciIo == nullptr || !CarriesProtocol<NVME_CONTROLLER_PROTOCOL>(Controllers[i])) continue;

    PoolBuffer<EFI_OPEN_PROTOCOL_INFORMATION_ENTRY> Opens;
    UINTN OpenCount = 0;
    if (EFI_ERROR(gBS()->OpenProtocolInformation(Controllers[i], &EFI_PCI_IO_PROTOCOL::Guid,
                                                 (EFI_OPEN_PROTOCOL_INFORMATION_ENTRY**)Opens.OutPtr(),
                                                 &OpenCount)))
      continue;
    for (UINTN e = 0; e < OpenCount && Opens && !Rows.Full(); ++e) {
      const EFI_OPEN_PROTOCOL_INFORMATION_ENTRY& Entry = Opens[e];
      if (!(Entry.Attributes & EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER) || Entry.ControllerHandle != Namespace)
        continue;
      FillRow(HiiHandle, Controllers[i], PciIo, Namespace, Entry.AgentHandle, Rows);
    }
  }
}

}  // namespace

bool IsNvmeNamespacePath(const EFI_DEVICE_PATH_PROTOCOL* Path) {
  for (const EFI_DEVICE_PATH_PROTOCOL* Node = Path; Node != nullptr;) {
    if (Node->Type == MESSAGING_DEVICE_PATH && Node->SubType == MSG_NVME_NAMESPACE_DP) return true;
    if (Node->Type == END_DEVICE_PATH_TYPE || Node->Type == 0xFF) return false;
    const UINT16 Length = DevicePathNodeLength(Node);
    if (Length < NODE_HEADER) return false;
    Node = (const EFI_DEVICE_PATH_PROTOCOL*)((const UINT8*)Node + Length);
  }
  return false;
}

VOID NarrowDeviceName(const CHAR16* Name, CHAR8 (&Text)[NVME_TEXT_BYTES]) {
  UINTN i = 0;
  for (; Name != nullptr && i < NVME_TEXT_BYTES - 1 && Name[i] != 0; ++i) Text[i] = (CHAR8)(Name[i] & 0xFF);
  Text[i] = 0;
}

VOID EFIAPI InitNvmeDevicePage(EFI_HII_HANDLE HiiHandle, UINT16 Class) {
  if (Class != ADVANCED_CLASS || gBS() == nullptr) return;

  PoolBuffer<EFI_HANDLE> Handles;
  UINTN Count = 0;
  if (EFI_ERROR(gBS()->LocateHandleBuffer(ByProtocol, &EFI_DEVICE_PATH_PROTOCOL::Guid, nullptr, &Count,
                                          (EFI_HANDLE**)Handles.OutPtr())))
    return;

  // Namespaces past the fourth row have nowhere to go and are not looked at.
  NVME_ROWS Rows;
  for (UINTN i = 0; i < Count && Handles && !Rows.Full(); ++i) {
    const EFI_DEVICE_PATH_PROTOCOL* Path = HandleProtocol<EFI_DEVICE_PATH_PROTOCOL>(Handles[i]);
    if (Path == nullptr || !IsNvmeNamespacePath(Path)) continue;
    FindControllersOf(HiiHandle, Handles[i], Rows);
  }
  Handles.Reset();

  if (gRT() != nullptr)
    gRT()->SetVariable(NVME_DATA_NAME, &SETUP_VARIABLE_GUID, NVME_DATA_ATTRIBUTES, sizeof(Rows.Filled), Rows.Filled);
}
