// The NVMe rows inside OVMF, over OVMF's own NVMe driver: a real controller
// (PCI class 01/08/02) with a namespace child and Component Name 2. The
// test-only stand-in driver (nvme_standin_driver.cpp) adds what the board's
// NVMe driver would: the controller protocol, the PCI I/O child record and
// an "en-US" name. The rows are checked against the real driver's own name
// for the namespace, asked here in its first language, and the controller's
// real PCI location.
#include "lib/firmware_services.h"
#include "lib/pool_buffer.h"
#include "lib/strings.h"
#include "lib/text_format.h"
#include "platform/nvme.h"
#include "qemu/nvme_match.h"
#include "qemu/checks.h"
#include "qemu/page_reading.h"
#include "uefi/device_path.h"
#include "uefi/driver_model.h"
#include "uefi/pci_io.h"

namespace {

constexpr UINT16 NameIds[NVME_DEVICE_ROWS] = {0x0B4D, 0x0B4F, 0x0B51, 0x0B53};
constexpr UINT16 LocationIds[NVME_DEVICE_ROWS] = {0x0B4C, 0x0B4E, 0x0B50, 0x0B52};

struct NVME_FACTS {
  EFI_HANDLE Controller;
  EFI_HANDLE Namespace;
  CHAR16 Name[PAGE_TEXT_CAPACITY];  // as the row shows it: the low byte of each character
  CHAR16 Location[PAGE_TEXT_CAPACITY];
};

// The first namespace child of a marked controller with a PCI I/O child
// record, and its name as the real managing driver gives it.
bool FindNamespace(NVME_FACTS* Facts, UINTN* Marked) {
  PoolBuffer<EFI_HANDLE> Handles;
  UINTN Count = 0;
  if (EFI_ERROR(gBS()->LocateHandleBuffer(ByProtocol, &EFI_PCI_IO_PROTOCOL::Guid, nullptr, &Count,
                                          (EFI_HANDLE**)Handles.OutPtr())))
    return false;
  for (UINTN i = 0; i < Count; ++i) {
    if (!CarriesProtocol<NVME_CONTROLLER_PROTOCOL>(Handles[i])) continue;
    ++*Marked;
    PoolBuffer<EFI_OPEN_PROTOCOL_INFORMATION_ENTRY> Opens;
    UINTN OpenCount = 0;
    if (EFI_ERROR(gBS()->OpenProtocolInformation(Handles[i], &EFI_PCI_IO_PROTOCOL::Guid,
                                                 (EFI_OPEN_PROTOCOL_INFORMATION_ENTRY**)Opens.OutPtr(), &OpenCount)))
      continue;
    EFI_HANDLE RealDriver = nullptr;
    for (UINTN e = 0; e < OpenCount; ++e)
      if (Opens[e].Attributes & EFI_OPEN_PROTOCOL_BY_DRIVER) RealDriver = Opens[e].AgentHandle;
    EFI_COMPONENT_NAME2_PROTOCOL* Names =
        RealDriver != nullptr ? HandleProtocol<EFI_COMPONENT_NAME2_PROTOCOL>(RealDriver) : nullptr;
    if (Names == nullptr || Names->SupportedLanguages == nullptr) continue;
    CHAR8 Language[16] = {};
    for (UINTN n = 0; n + 1 < sizeof(Language) && Names->SupportedLanguages[n] != 0 && Names->SupportedLanguages[n] != ';';
         ++n)
      Language[n] = Names->SupportedLanguages[n];

    for (UINTN e = 0; e < OpenCount; ++e) {
      if (!(Opens[e].Attributes & EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER)) continue;
      const EFI_HANDLE Child = Opens[e].ControllerHandle;
      if (!HasNamespaceNode(HandleProtocol<EFI_DEVICE_PATH_PROTOCOL>(Child))) continue;
      CHAR16* Name = nullptr;
      const EFI_STATUS S = Names->GetControllerName(Names, Handles[i], Child, Language, &Name);
      Note(u"NVMe namespace: the real driver's name in %a: %r", Language, S);
      if (EFI_ERROR(S) || Name == nullptr) continue;
      UINTN n = 0;
      for (; n < PAGE_TEXT_CAPACITY - 1 && Name[n] != 0 && (Name[n] & 0xFF) != 0; ++n) Facts->Name[n] = Name[n] & 0xFF;
      Facts->Name[n] = 0;
      EFI_PCI_IO_PROTOCOL* PciIo = HandleProtocol<EFI_PCI_IO_PROTOCOL>(Handles[i]);
      UINTN Segment = 0, Bus = 0, Device = 0, Function = 0;
      PciIo->GetLocation(PciIo, &Segment, &Bus, &Device, &Function);
      FormatWide(Facts->Location, PAGE_TEXT_CAPACITY, u"Bus:%X Dev:%x Func:%x", Bus, Device, Function);
      Facts->Controller = Handles[i];
      Facts->Namespace = Child;
      return true;
    }
  }
  return false;
}

}  // namespace

void RunNvmeChecks(CHECK_REPORT* Report) {
  EFI_HII_STRING_PROTOCOL* Strings = LocateProtocol<EFI_HII_STRING_PROTOCOL>();
  const EFI_HII_HANDLE Page = PublishedPage(0x4);
  if (!Check(Report, u"nvme.advanced_form_set", Strings != nullptr && Page != nullptr,
             u"HII string %d, class 4 form set %d", Strings != nullptr, Page != nullptr))
    return;

  NVME_FACTS Facts = {};
  UINTN Marked = 0;
  const bool Found = FindNamespace(&Facts, &Marked);
  if (!Check(Report, u"nvme.real_namespace", Marked == 1 && Found,
             u"%ld marked controllers, a named namespace child %d", Marked, Found))
    return;
  Note(u"NVMe namespace: \"%s\" at %s", Facts.Name, Facts.Location);

  CHAR16 Name[PAGE_TEXT_CAPACITY], Location[PAGE_TEXT_CAPACITY];
  EFI_STATUS S1 = ReadPageText(Strings, Page, NameIds[0], Name);
  EFI_STATUS S2 = ReadPageText(Strings, Page, LocationIds[0], Location);
  Check(Report, u"nvme.row_from_component_name", !EFI_ERROR(S1) && Name[0] != 0 && SameText(Name, Facts.Name),
        u"row 0 name %r \"%s\", expected \"%s\"", S1, Name, Facts.Name);
  Check(Report, u"nvme.row_location", !EFI_ERROR(S2) && SameText(Location, Facts.Location),
        u"row 0 location %r \"%s\", expected \"%s\"", S2, Location, Facts.Location);
  // One namespace: the other rows keep their package text.
  bool OthersUntouched = true;
  for (UINTN n = 1; n < NVME_DEVICE_ROWS; ++n) {
    ReadPageText(Strings, Page, NameIds[n], Name);
    OthersUntouched = OthersUntouched && SameText(Name, u"Not Present");
  }
  Check(Report, u"nvme.other_rows_untouched", OthersUntouched, u"a row past the only namespace was set");

  UINT8 Data[8] = {};
  UINTN Size = sizeof(Data);
  UINT32 Attributes = 0;
  EFI_STATUS S = gRT()->GetVariable(NVME_DATA_NAME, &SETUP_VARIABLE_VENDOR, &Attributes, &Size, Data);
  Check(Report, u"nvme.data_variable",
        !EFI_ERROR(S) && Size == NVME_DEVICE_ROWS && Attributes == NVME_DATA_ATTRIBUTES && Data[0] == 1 &&
            Data[1] == 0 && Data[2] == 0 && Data[3] == 0,
        u"NVMEData %r, %ld bytes, attributes 0x%x: %x %x %x %x", S, Size, Attributes, Data[0], Data[1], Data[2],
        Data[3]);
}
