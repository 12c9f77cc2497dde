#include "setupinfo/pages/board/main_page.h"

#include "lib/firmware_services.h"
#include "lib/hw/hw.h"
#include "lib/util.h"
#include "platform/board_identity.h"
#include "platform/component_version.h"
#include "platform/memory_info.h"
#include "platform/south_bridge.h"
#include "setupinfo/core/form_set_table.h"
#include "setupinfo/core/form_utility.h"
#include "setupinfo/core/page_strings.h"
#include "setupinfo/pages/board/main_page_facts.h"
#include "uefi/graphics.h"

namespace {

MAIN_PAGE_STATE& State() { return MainPageState(); }

struct COMPONENT_VERSION_ROW {
  UINT16 StringId;
  const EFI_GUID* Guid;
};
constexpr COMPONENT_VERSION_ROW ComponentVersionRows[] = {
    {ComponentVersionStrings[0], &PLATFORM_VERSION_PROTOCOL::Guid},
    {ComponentVersionStrings[1], &MEMORY_VERSION_PROTOCOL::Guid},
    {ComponentVersionStrings[2], &SOUTH_BRIDGE_VERSION_PROTOCOL::Guid},
    {ComponentVersionStrings[3], &PROCESSOR_CODE_VERSION_PROTOCOL::Guid},
    {ComponentVersionStrings[4], &ENGINE_CODE_VERSION_PROTOCOL::Guid},
    {ComponentVersionStrings[5], &GRAPHICS_CODE_VERSION_PROTOCOL::Guid},
};
static_assert(ArrayCount(ComponentVersionRows) == ArrayCount(ComponentVersionStrings));

// Physical addresses in the PCI Express configuration window.
constexpr UINT64 HOST_BRIDGE_GRAPHICS_CONTROL = PCIE_WINDOW_BASE + 0x50;       // bus 0, device 0, function 0
constexpr UINT64 HUB_REVISION_ID = PCIE_WINDOW_BASE + (31u << 15) + 0x08;      // bus 0, device 31, function 0
static_assert(HUB_REVISION_ID == 0xF80F8008);

// Super I/O logical devices and registers of the board-state texts.
constexpr UINT8 SIO_LOGICAL_DEVICE_SELECT = 0x07;
constexpr UINT8 SIO_DEVICE_7 = 7;
constexpr UINT8 SIO_DEVICE_8 = 8;
constexpr UINT8 SIO_STRAP_REGISTER = 0xE0;        // device 8, bit 0
constexpr UINT8 SIO_CONFIGURATION_REGISTER = 0xF0;  // device 8, bits 0, 1 and 3
constexpr UINT8 SIO_MODE_REGISTER = 0xF4;           // device 7, bit 0

UINT8 ReadSioDeviceRegister(UINT8 Device, UINT8 Register) {
  SioWrite(SIO_LOGICAL_DEVICE_SELECT, Device);
  return SioRead(Register);
}

bool ServesBoardStateTexts(UINT16 Class) { return Class == FORM_SET_CLASS_MAIN || Class == FORM_SET_CLASS_TUNING; }

constexpr UINT16 NO_SOURCE_TEXT = 0;

// Sets StringId (own template) with the current-language text of SourceId as
// its argument. The text is read into a buffer as large as any page text;
// one that does not fit or cannot be read, like a source of NO_SOURCE_TEXT,
// shows as an empty text rather than leaving the bare template on the page.
void SetBoardStateText(EFI_HII_HANDLE HiiHandle, UINT16 StringId, UINT16 SourceId) {
  CHAR16 Text[PAGE_STRING_CAPACITY] = {};
  // One character short of the buffer: the service's text ends in a terminator
  // even if it wrote none.
  UINTN Size = sizeof(Text) - sizeof(CHAR16);
  if (SourceId == NO_SOURCE_TEXT || EFI_ERROR(GetHiiString(HiiHandle, SourceId, &Size, Text))) Text[0] = 0;
  SetPageStringAllLanguages(HiiHandle, StringId, 0, TRUE, nullptr, (const CHAR16*)Text);
}

void SetProcessorStrings(EFI_HII_HANDLE HiiHandle) {
  PROCESSOR_INFORMATION_PROTOCOL* Processor = LocateOnce(State().Processor);
  if (Processor == nullptr || Processor->GetInfo == nullptr) return;
  PROCESSOR_INFORMATION_RECORD* Record = nullptr;
  if (EFI_ERROR(Processor->GetInfo(Processor, 0, &Record)) || Record == nullptr) return;

  CHAR8 Brand[BRAND_TEXT_LIMIT + 1];
  if (CopyBrandText(Record->BrandString, Brand))
    SetPageStringAllLanguages(HiiHandle, STR_PROCESSOR_BRAND, 0, TRUE, nullptr, (const CHAR8*)Brand);
  SetPageStringAllLanguages(HiiHandle, STR_PROCESSOR_VALUE, 0, TRUE, nullptr, Record->SummaryValue);
  SetPageStringAllLanguages(HiiHandle, STR_PROCESSOR_ID, 0, TRUE, nullptr, Record->Signature,
                            Record->MicrocodeRevision);
  UINT64 Resources = 0;
  if (SumProcessorResources(Record->Resources, &Resources))
    SetPageStringAllLanguages(HiiHandle, STR_PROCESSOR_RESOURCES, 0, TRUE, nullptr, Resources);
}

GRAPHICS_FIGURES ReadGraphicsFigures() {
  UINT32 Eax = 0, Ecx = 0;
  ReadCpuid(1, &Eax, nullptr, &Ecx, nullptr);
  const UINT32 Signature = Eax & 0x0FFF0FF0;
  if (Signature == GRAPHICS_WORD_SIGNATURE) {
    const UINT16 Word = PhysicalRead16(HOST_BRIDGE_GRAPHICS_CONTROL);
    return DecodeGraphicsFigures(Signature, (UINT8)Word, (UINT8)(Word >> 8));
  }
  const UINT8 Low = PhysicalRead8(HOST_BRIDGE_GRAPHICS_CONTROL);
  const UINT8 High = PhysicalRead8(HOST_BRIDGE_GRAPHICS_CONTROL + 1);
  return DecodeGraphicsFigures(Signature, Low, High);
}

void SetMemoryStrings(EFI_HII_HANDLE HiiHandle) {
  const MEMORY_FIGURES Memory = ReadMemoryFigures(LocateProtocol<MEMORY_INFO_PROTOCOL>());
  for (UINTN Slot = 0; Slot < MEMORY_SLOTS; ++Slot) {
    const UINT16 StringId = MemorySlotStrings[Slot];
    if (Memory.SlotSizeMb[Slot] != 0)
      SetPageStringAllLanguages(HiiHandle, StringId, 0, TRUE, u"%dMB(DDR3-%d)", Memory.SlotSizeMb[Slot],
                                Memory.Frequency);
    else
      SetPageStringAllLanguages(HiiHandle, StringId, STR_SLOT_EMPTY, FALSE, nullptr);
  }

  const GRAPHICS_FIGURES Graphics = ReadGraphicsFigures();
  // Totals are 64-bit slots under "%ld" in the templates.
  if (Graphics.MemoryMb != 0)
    SetPageStringAllLanguages(HiiHandle, STR_TOTAL_MEMORY, STR_TOTAL_WITH_GRAPHICS, TRUE, nullptr, Memory.TotalMb,
                              Graphics.MemoryMb, Graphics.TranslationTable);
  else
    SetPageStringAllLanguages(HiiHandle, STR_TOTAL_MEMORY, 0, TRUE, nullptr, Memory.TotalMb);

  SetPageStringAllLanguages(HiiHandle, STR_MEMORY_MODE, Memory.Mode == 2 ? STR_MEMORY_MODE_DUAL : STR_MEMORY_MODE,
                            TRUE, nullptr);
}

}  // namespace

VOID EFIAPI InitComponentVersions(EFI_HII_HANDLE HiiHandle, UINT16 Class) {
  if (Class != FORM_SET_CLASS_ADVANCED || gBS() == nullptr) return;
  for (const COMPONENT_VERSION_ROW& Row : ComponentVersionRows) {
    VOID* Interface = nullptr;
    // A protocol installed with no interface has no version to show.
    if (EFI_ERROR(gBS()->LocateProtocol(Row.Guid, nullptr, &Interface)) || Interface == nullptr) continue;
    // Read bytewise: producers lay these records out packed, at any address.
    const UINT32 V = ReadLe32((const UINT8*)Interface + offsetof(COMPONENT_VERSION_RECORD, Version));
    SetPageString(HiiHandle, Row.StringId, u"%d.%d.%d.%d", V >> 24, (V >> 16) & 0xFF, (V >> 8) & 0xFF, V & 0xFF);
  }
}

VOID EFIAPI InitStrapText(EFI_HII_HANDLE HiiHandle, UINT16 Class) {
  if (!ServesBoardStateTexts(Class)) return;
  const UINT8 Strap = ReadSioDeviceRegister(SIO_DEVICE_8, SIO_STRAP_REGISTER);
  SetBoardStateText(HiiHandle, STR_STRAP, (Strap & 0x1) != 0 ? STR_STRAP_SET : STR_STRAP_CLEAR);
}

VOID EFIAPI InitConfigurationText(EFI_HII_HANDLE HiiHandle, UINT16 Class) {
  if (!ServesBoardStateTexts(Class)) return;
  const UINT8 Mode = ReadSioDeviceRegister(SIO_DEVICE_7, SIO_MODE_REGISTER);
  const UINT8 Bits = ReadSioDeviceRegister(SIO_DEVICE_8, SIO_CONFIGURATION_REGISTER);
  const INT32 Index = ConfigurationTextIndex((Mode & 0x1) != 0, (Bits & 0x1) != 0, (Bits & 0x2) != 0,
                                             (Bits & 0x8) != 0);
  // Combinations without a text show an empty one.
  SetBoardStateText(HiiHandle, STR_CONFIGURATION, Index < 0 ? NO_SOURCE_TEXT : (UINT16)(STR_CONFIGURATION_FIRST + Index));
}

VOID EFIAPI InitMainPageSummary(EFI_HII_HANDLE HiiHandle, UINT16 Class) {
  if (Class != FORM_SET_CLASS_MAIN) return;

  if (const BOARD_IDENTITY_VALUES* Identity = LocateProtocol<BOARD_IDENTITY_VALUES>())
    SetPageStringAllLanguages(HiiHandle, STR_BOARD, 0, TRUE, nullptr, Identity->Values[0], Identity->Values[1]);

  CHAR16 Stepping[128] = {};
  const CHAR16* SteppingText = PhysicalRead8(HUB_REVISION_ID) < HUB_SECOND_STEPPING_REVISION ? u"C1" : u"C2";
  for (UINTN i = 0; SteppingText[i] != 0 && i + 1 < ArrayCount(Stepping); ++i) Stepping[i] = SteppingText[i];
  SetPageStringAllLanguages(HiiHandle, STR_HUB_STEPPING, 0, TRUE, nullptr, (const CHAR16*)Stepping);

  SetProcessorStrings(HiiHandle);
  SetMemoryStrings(HiiHandle);

  // Registered once; only a trigger installed from now on shows the resolution.
  if (State().ResolutionEvent == nullptr)
    WaitForProtocol(&RESOLUTION_TRIGGER_PROTOCOL::Guid, ShowResolution, nullptr, &State().ResolutionEvent,
                    &State().ResolutionRegistration);
}

VOID EFIAPI ShowResolution(EFI_EVENT, VOID*) {
  EFI_GRAPHICS_OUTPUT_PROTOCOL* Output = LocateProtocol<EFI_GRAPHICS_OUTPUT_PROTOCOL>();
  if (Output == nullptr || Output->Mode == nullptr || Output->Mode->Info == nullptr) return;
  EFI_HII_HANDLE MainPage = nullptr;
  for (const FORM_SET_INFO& Row : FormSetTable()) {
    if (Row.Class == FORM_SET_CLASS_EXIT) break;
    if (Row.Class == FORM_SET_CLASS_MAIN) {
      MainPage = Row.HiiHandle;
      break;
    }
  }
  if (MainPage == nullptr) return;
  SetPageStringAllLanguages(MainPage, STR_RESOLUTION, 0, TRUE, nullptr, Output->Mode->Info->HorizontalResolution,
                            Output->Mode->Info->VerticalResolution);
}
