#include "setupinfo/pages/board/memory_page.h"

#include "lib/firmware_services.h"
#include "lib/hw/hw.h"
#include "lib/pool_buffer.h"
#include "lib/strings.h"
#include "lib/util.h"
#include "setupinfo/core/form_set_table.h"
#include "setupinfo/core/form_utility.h"
#include "setupinfo/core/page_strings.h"
#include "setupinfo/core/setup_record.h"
#include "setupinfo/nbsetup/north_bridge_setup.h"
#include "setupinfo/pages/board/memory_facts.h"

namespace {

MEMORY_PAGE_STATE& State() { return MemoryPageState(); }

constexpr UINT32 Bits(UINT32 Value, UINTN High, UINTN Low) { return (Value >> Low) & ((UINT32(1) << (High - Low + 1)) - 1); }

// Host bridge (bus 0, device 0, function 0) registers.
constexpr UINT16 HOST_BRIDGE_DEVICE_ENABLES = 0x54;  // bit 4: integrated graphics enabled
constexpr UINT16 HOST_BRIDGE_DMI_BASE = 0x68;        // bit 0: window enabled
constexpr UINT16 HOST_BRIDGE_CAPABILITIES = 0xE4;    // bit 23 set: capability disabled
constexpr UINT32 DMI_LINK_STATUS = 0x8A;

// Memory-controller registers.
constexpr UINT32 MCHBAR_CHANNEL0_MODULES = 0x5004;
constexpr UINT32 MCHBAR_CHANNEL1_MODULES = 0x5008;
constexpr UINT32 MCHBAR_MEMORY_CODE_REVISION = 0x5034;
constexpr UINT32 MCHBAR_REFERENCE_RATIO = 0x5E04;
constexpr UINT32 MCHBAR_CHANNEL_STRIDE = 0x400;

// Strings of the class 0x20 form set.
constexpr UINT16 STR_TOTAL_MEMORY = 0x0548;
constexpr UINT16 STR_MEMORY_FREQUENCY = 0x0545;
constexpr UINT16 STR_MEMORY_VOLTAGE = 0x054B;
constexpr UINT16 ModuleSizeStrings[MEMORY_INFO_MODULES] = {0x0552, 0x0553, 0x0554, 0x0555};
constexpr UINT16 STR_MEMORY_CODE_VERSION = 0x049E;
constexpr UINT16 STR_MEMORY_CONTROLLER_REVISION = 0x0498;
constexpr UINT16 STR_CAPABILITY = 0x0495;
constexpr UINT16 STR_VIDEO_BIOS = 0x04A3;
constexpr UINT16 STR_GRAPHICS_FREQUENCY = 0x0442;
constexpr UINT16 STR_GRAPHICS_LEVEL = 0x051E;
constexpr UINT16 STR_GRAPHICS_SERIES = 0x049B;
constexpr UINT16 PegLinkStrings[3] = {0x06EE, 0x06F1, 0x06F4};
constexpr UINT16 STR_DMI_LINK = 0x047F;
constexpr UINT16 STR_FEATURE_A = 0x056F;
constexpr UINT16 STR_FEATURE_B = 0x0570;
// Class 4 and 1.
constexpr UINT16 STR_SUPPORTED_TEXT = 0x00D5;
constexpr UINT16 STR_GRAPHICS_OPTION = 0x0725;
constexpr UINT16 SmallMemoryOptions[] = {0x0732, 0x0731, 0x0730, 0x072F};  // the first alone at 1 GB or less

// Memory frequency options of the class 2 and 1 form sets, blanked below
// the board's limits.
enum FREQUENCY_LIMIT_TEST : UINT8 { BELOW_A, BELOW_B, BELOW_BOTH };
struct FREQUENCY_BLANKING {
  FREQUENCY_LIMIT_TEST Test;
  UINT16 Limit;
  UINT16 Strings[6];  // 0 ends the list
};
constexpr FREQUENCY_BLANKING FrequencyBlanking[] = {
    {BELOW_A, 2667, {0x073F, 0x073E, 0x073D, 0x073C, 0x073A, 0x058A}},
    {BELOW_BOTH, 2400, {0x0588}},
    {BELOW_A, 2133, {0x0586}},
    {BELOW_A, 1867, {0x0584}},
    {BELOW_BOTH, 1600, {0x0582}},
    {BELOW_A, 1333, {0x0580}},
    {BELOW_B, 2800, {0x073B, 0x0739}},
    {BELOW_B, 2600, {0x0589}},
    {BELOW_B, 2200, {0x0587}},
    {BELOW_B, 2000, {0x0585}},
    {BELOW_B, 1800, {0x0583}},
    {BELOW_B, 1400, {0x0581}},
};

constexpr UINT16 FrequencyTemplates[] = {0x057C, 0x0737, 0x0738};

// Templates filled with one timing word of the memory information record.
struct TIMING_TEMPLATE {
  UINT16 StringId;
  UINT8 RecordOffset;
};
constexpr TIMING_TEMPLATE TimingTemplates[] = {
    {0x0452, 0x61}, {0x0454, 0x6B}, {0x0456, 0x71}, {0x0458, 0x67}, {0x0598, 0x5F}, {0x045A, 0x79},
    {0x045E, 0x75}, {0x0460, 0x7B}, {0x0462, 0x77}, {0x0466, 0x65}, {0x045C, 0x6F}, {0x0468, 0x63},
};
constexpr UINT16 STR_TIMING_SHOWN_AS_ONE = 0x0598;  // 0 reads as 1

// Templates filled with one field of a timing register of the shown channel.
struct REGISTER_TEMPLATE {
  UINT16 StringId;
  UINT16 Register;
  UINT8 High, Low;
};
constexpr REGISTER_TEMPLATE RegisterTemplates[] = {
    {0x046A, 0x4298, 15, 0},
    {0x074C, 0x4004, 3, 0},   {0x0756, 0x4004, 14, 12}, {0x0758, 0x4004, 18, 15}, {0x075A, 0x4004, 22, 19},
    {0x075C, 0x4008, 5, 0},   {0x075E, 0x4008, 9, 6},   {0x0760, 0x4008, 13, 10}, {0x0762, 0x4008, 16, 14},
    {0x0764, 0x4008, 20, 17}, {0x0766, 0x4008, 24, 21},
    {0x0768, 0x400C, 18, 14}, {0x076A, 0x400C, 23, 19}, {0x076C, 0x400C, 28, 24},
};

// Strings showing one register pair per channel: the channel's module
// register tells whether it is populated.
struct CHANNEL_PAIR {
  UINT16 StringId;
  UINT32 ModulesRegister;
  UINT16 Register;
  UINT8 FirstHigh, FirstLow, SecondHigh, SecondLow;
};
constexpr CHANNEL_PAIR ChannelPairs[] = {
    {0x074E, MCHBAR_CHANNEL0_MODULES, 0x4024, 5, 0, 21, 16},
    {0x0750, MCHBAR_CHANNEL1_MODULES, 0x4424, 5, 0, 21, 16},
    {0x0752, MCHBAR_CHANNEL0_MODULES, 0x4028, 3, 0, 11, 8},
    {0x0754, MCHBAR_CHANNEL1_MODULES, 0x4428, 3, 0, 11, 8},
};

struct MODULE_TEMPLATE {
  UINT16 TemplateId;
  UINT16 RevisionId;
};
constexpr MODULE_TEMPLATE ModuleTemplates[MEMORY_MODULE_RECORD_COUNT] = {{0x1089, 0x056C}, {0x108A, 0x056D}};

bool CapabilitySupported() {
  return (PciRead32(0, 0, 0, HOST_BRIDGE_CAPABILITIES) & (UINT32(1) << 23)) == 0;
}

// The 20-byte platform record. A larger variable counts as not read, and so
// does one that ends before the last field used: its limits would be
// whatever the buffer held.
bool ReadNbPlatformData(NB_PLATFORM_DATA* Data) {
  MemFill(Data, sizeof(*Data), 0);
  if (gRT() == nullptr) return false;
  UINTN Size = sizeof(*Data);
  if (EFI_ERROR(gRT()->GetVariable(NB_PLATFORM_DATA_NAME, &SETUP_VARIABLE_GUID, nullptr, &Size, Data))) return false;
  if (Size < NB_PLATFORM_DATA_USED || Size > sizeof(*Data)) {
    MemFill(Data, sizeof(*Data), 0);
    return false;
  }
  return true;
}

// The module disable selectors, bytes 0x12B and 0x12C of the north-bridge
// setup data built afresh (the user's Setup choices overlay the defaults).
void ReadModuleDisableSelectors(UINT8* SelectorA, UINT8* SelectorB) {
  UINT8 Record[NB_SETUP_DATA_SIZE] = {};
  BuildNorthBridgeSetupData(gRT(), Record, FALSE);
  *SelectorA = Record[NB_SETUP_MODULE_DISABLE_A];
  *SelectorB = Record[NB_SETUP_MODULE_DISABLE_B];
}

void Blank(EFI_HII_HANDLE HiiHandle, UINT16 StringId) { SetPageString(HiiHandle, StringId, u""); }

void ShowVersion(EFI_HII_HANDLE HiiHandle, UINT16 StringId, UINT32 Major, UINT32 Minor, UINT32 Revision,
                 UINT32 Build) {
  SetPageString(HiiHandle, StringId, u"%d.%d.%d.%d", Major, Minor, Revision, Build);
}

// The video BIOS's version, asked once its interface is first found. A
// failed call leaves the string as packaged: the registers hold nothing.
void ShowVideoBiosVersion(EFI_HII_HANDLE HiiHandle) {
  MEMORY_PAGE_STATE& S = State();
  if (S.LegacyBios != nullptr) return;
  S.LegacyBios = LocateProtocol<EFI_LEGACY_BIOS_PROTOCOL>();
  if (S.LegacyBios == nullptr || S.LegacyBios->Int86 == nullptr) return;

  constexpr UINT8 SYSTEM_SERVICES_INTERRUPT = 0x15;
  constexpr UINT16 VIDEO_BIOS_VERSION_CALL = 0x5F01;
  EFI_IA32_REGISTER_SET Registers;
  MemFill(&Registers, sizeof(Registers), 0);
  Registers.X.AX = VIDEO_BIOS_VERSION_CALL;
  if (S.LegacyBios->Int86(S.LegacyBios, SYSTEM_SERVICES_INTERRUPT, &Registers)) return;
  SetPageString(HiiHandle, STR_VIDEO_BIOS, u"%02X%02X", VideoBiosDigits(Registers.X.DX),
                VideoBiosDigits(Registers.X.BX));
}

void ShowGraphics(EFI_HII_HANDLE HiiHandle) {
  const UINT32 GraphicsMhz = Bits(ReadMchBar32(MCHBAR_GRAPHICS_RATIOS), 15, 8) * 100;
  SetPageString(HiiHandle, STR_GRAPHICS_FREQUENCY, u"%d MHz", GraphicsMhz);

  const UINT16 DeviceId = PciRead16(0, 2, 0, 2);
  if (const UINT8 Level = GraphicsLevel(DeviceId))
    SetPageString(HiiHandle, STR_GRAPHICS_LEVEL, u"%a%x (%d MHz)", "GT", (UINT32)Level, GraphicsMhz);

  constexpr UINT8 BROADWELL_FAMILY = 0x16;
  if ((DeviceId >> 8) != BROADWELL_FAMILY) return;
  if ((DeviceId & 0x0F) == 0x6) SetPageString(HiiHandle, STR_GRAPHICS_SERIES, u"%a", "Broadwell U-series");
  if ((DeviceId & 0x0F) == 0xE) SetPageString(HiiHandle, STR_GRAPHICS_SERIES, u"%a", "Broadwell Y-series");
}

void ShowInformationPage(EFI_HII_HANDLE HiiHandle) {
  if (const MEMORY_INFO_PROTOCOL* Info = LocateProtocol<MEMORY_INFO_PROTOCOL>()) {
    UINT8 SelectorA = 0, SelectorB = 0;
    ReadModuleDisableSelectors(&SelectorA, &SelectorB);
    const COUNTED_MEMORY Counted = CountModules(*Info, SelectorA, SelectorB);
    SetPageString(HiiHandle, STR_TOTAL_MEMORY, u"%4d MB (DDR3)", Counted.TotalMb);
    SetPageString(HiiHandle, STR_MEMORY_FREQUENCY, u"%4d Mhz", (UINT32)Info->Frequency);
    // Hundredths with their leading zero: 1035 mV reads 1.03v.
    const UINT32 Voltage = Info->VoltageMv;
    SetPageString(HiiHandle, STR_MEMORY_VOLTAGE, u"%1d.%02dv", Voltage / 1000, (Voltage % 1000) / 10);
    for (UINTN i = 0; i < MEMORY_INFO_MODULES; ++i)
      if (Counted.SizeMb[i] != 0) SetPageString(HiiHandle, ModuleSizeStrings[i], u"%4d MB (DDR3)", Counted.SizeMb[i]);
  }

  if (const MEMORY_VERSION_PROTOCOL* Version = LocateProtocol<MEMORY_VERSION_PROTOCOL>())
    ShowVersion(HiiHandle, STR_MEMORY_CODE_VERSION, Version->Version[3], Version->Version[2], Version->Version[1],
                Version->Version[0]);

  const UINT32 Revision = ReadMchBar32(MCHBAR_MEMORY_CODE_REVISION);
  ShowVersion(HiiHandle, STR_MEMORY_CONTROLLER_REVISION, Bits(Revision, 31, 24), Bits(Revision, 23, 16),
              Bits(Revision, 15, 8), Bits(Revision, 7, 0));

  if (CapabilitySupported()) SetPageString(HiiHandle, STR_CAPABILITY, u"%a", "Supported");

  ShowPegLinks(HiiHandle);
  ShowDmiLink(HiiHandle);
  ShowNbPlatformFeatures(HiiHandle);

  constexpr UINT8 INTEGRATED_GRAPHICS_ENABLED = 1 << 4;
  if ((PciRead8(0, 0, 0, HOST_BRIDGE_DEVICE_ENABLES) & INTEGRATED_GRAPHICS_ENABLED) == 0) return;
  ShowVideoBiosVersion(HiiHandle);
  ShowGraphics(HiiHandle);
}

void BlankUnusableOptions(EFI_HII_HANDLE HiiHandle) {
  if (CapabilitySupported()) SetPageStringAllLanguages(HiiHandle, STR_CAPABILITY, STR_SUPPORTED_TEXT, TRUE, nullptr);

  if (const MEMORY_INFO_PROTOCOL* Info = LocateProtocol<MEMORY_INFO_PROTOCOL>()) {
    if (Info->MemorySizeMb <= 1024) Blank(HiiHandle, SmallMemoryOptions[0]);
    if (Info->MemorySizeMb <= 512)
      for (UINT16 Id : SmallMemoryOptions) Blank(HiiHandle, Id);
  }

  NB_PLATFORM_DATA Data;
  if (ReadNbPlatformData(&Data) && Data.GraphicsOption == 0) Blank(HiiHandle, STR_GRAPHICS_OPTION);
}

// Current-language text of a string, terminated within the 256-byte buffer.
constexpr UINTN PAIR_TEXT_CHARS = 128;
bool GetPageText(EFI_HII_HANDLE HiiHandle, UINT16 StringId, CHAR16 (&Text)[PAIR_TEXT_CHARS]) {
  UINTN Size = sizeof(Text);
  if (EFI_ERROR(GetHiiString(HiiHandle, StringId, &Size, Text))) return false;
  Text[PAIR_TEXT_CHARS - 1] = 0;
  return true;
}

void ShowChannelPair(EFI_HII_HANDLE HiiHandle, const CHANNEL_PAIR& Pair) {
  CHAR16 Text[PAIR_TEXT_CHARS];
  if (!GetPageText(HiiHandle, Pair.StringId, Text)) return;
  if (ReadMchBar32(Pair.ModulesRegister) == 0) {
    SetPageString(HiiHandle, Pair.StringId, Text, "N/A");
    return;
  }
  SetPageString(HiiHandle, Pair.StringId, Text, "D0: %d, D1: %d");
  if (!GetPageText(HiiHandle, Pair.StringId, Text)) return;
  const UINT32 Value = ReadMchBar32(Pair.Register);
  SetPageString(HiiHandle, Pair.StringId, Text, Bits(Value, Pair.FirstHigh, Pair.FirstLow),
                Bits(Value, Pair.SecondHigh, Pair.SecondLow));
}

void ShowMemoryTuning(EFI_HII_HANDLE HiiHandle) {
  NB_PLATFORM_DATA Data;
  if (ReadNbPlatformData(&Data)) {
    const UINT16 A = Data.FrequencyLimitA, B = Data.FrequencyLimitB;
    for (const FREQUENCY_BLANKING& Row : FrequencyBlanking) {
      const bool Below = Row.Test == BELOW_A   ? A < Row.Limit
                         : Row.Test == BELOW_B ? B < Row.Limit
                                               : (A < Row.Limit && B < Row.Limit);
      if (!Below) continue;
      for (UINT16 Id : Row.Strings)
        if (Id != 0) Blank(HiiHandle, Id);
    }
  }

  const MEMORY_INFO_PROTOCOL* Info = LocateProtocol<MEMORY_INFO_PROTOCOL>();
  if (Info == nullptr) return;

  const UINT32 Frequency = ShownFrequency(Info->Frequency);
  const UINT32 ReferenceRatio = Bits(ReadMchBar32(MCHBAR_REFERENCE_RATIO), 3, 0);
  for (UINT16 Id : FrequencyTemplates)
    SetPageStringAllLanguages(HiiHandle, Id, 0, TRUE, nullptr, Frequency, (UINT32)1, ReferenceRatio);

  for (const TIMING_TEMPLATE& T : TimingTemplates) {
    UINT32 Value = Info->Timing[MemoryTimingIndex(T.RecordOffset)];
    if (T.StringId == STR_TIMING_SHOWN_AS_ONE && Value == 0) Value = 1;
    SetPageStringAllLanguages(HiiHandle, T.StringId, 0, TRUE, nullptr, Value);
  }

  // With channel 0 empty, the registers of channel 1 are shown.
  const UINT32 Channel = ReadMchBar32(MCHBAR_CHANNEL0_MODULES) != 0 ? 0 : MCHBAR_CHANNEL_STRIDE;
  for (const REGISTER_TEMPLATE& T : RegisterTemplates)
    SetPageStringAllLanguages(HiiHandle, T.StringId, 0, TRUE, nullptr,
                              Bits(ReadMchBar32(T.Register + Channel), T.High, T.Low));

  for (const CHANNEL_PAIR& Pair : ChannelPairs) ShowChannelPair(HiiHandle, Pair);
}

}  // namespace

UINT32 ReadMchBar32(UINT32 Offset) { return PhysicalRead32(MCHBAR_BASE + Offset); }

EFI_STATUS FindMemoryModuleHob(const VOID** Hob) {
  *Hob = nullptr;
  VOID* Cursor = gST() != nullptr ? FindConfigurationTable(gST(), &EFI_HOB_LIST_GUID) : nullptr;
  if (Cursor == nullptr) return EFI_NOT_FOUND;
  const EFI_STATUS Status = FindGuidHob(&MEMORY_MODULE_HOB_GUID, &Cursor);
  if (EFI_ERROR(Status)) return Status;
  *Hob = Cursor;
  return EFI_SUCCESS;
}

void ShowPegLinks(EFI_HII_HANDLE HiiHandle) {
  constexpr UINT16 SLOT_STATUS = 0xBA, LINK_STATUS = 0xB2;
  constexpr UINT16 PRESENCE_DETECT = 1 << 6;
  for (UINT8 Function = 0; Function < ArrayCount(PegLinkStrings); ++Function) {
    if (PciRead16(0, 1, Function, 0) == 0xFFFF) continue;
    if ((PciRead16(0, 1, Function, SLOT_STATUS) & PRESENCE_DETECT) == 0) continue;
    const UINT16 Link = PciRead16(0, 1, Function, LINK_STATUS);
    SetPageString(HiiHandle, PegLinkStrings[Function], u"x%d  Gen%1d", Bits(Link, 9, 4), Bits(Link, 3, 0));
  }
}

void ShowDmiLink(EFI_HII_HANDLE HiiHandle) {
  // A window that is not enabled has no registers behind it: its base would
  // point into low memory.
  const UINT32 Window = PciRead32(0, 0, 0, HOST_BRIDGE_DMI_BASE);
  const UINT32 Base = Window & ~UINT32(1);
  if ((Window & 1) == 0 || Base == 0) return;
  const UINT32 Status = PhysicalRead32((UINT64)Base + DMI_LINK_STATUS);
  SetPageString(HiiHandle, STR_DMI_LINK, u"X%d  Gen%1d", Bits(Status, 7, 4), Bits(Status, 3, 0));
}

void ShowNbPlatformFeatures(EFI_HII_HANDLE HiiHandle) {
  NB_PLATFORM_DATA Data;
  if (!ReadNbPlatformData(&Data)) return;
  if (Data.FeatureA != 0) {
    State().NbFeatureSelect = 1;
    SetPageString(HiiHandle, STR_FEATURE_A, u"%a", "Supported");
  }
  if (Data.FeatureB != 0) {
    State().NbFeatureSelect = 2;
    SetPageString(HiiHandle, STR_FEATURE_B, u"%a", "Supported");
  }
}

EFI_STATUS ShowDimmDetails(EFI_HII_HANDLE HiiHandle) {
  const VOID* Hob = nullptr;
  const EFI_STATUS Status = FindMemoryModuleHob(&Hob);
  if (EFI_ERROR(Status)) return Status;
  for (UINTN i = 0; i < MEMORY_MODULE_RECORD_COUNT; ++i) {
    MEMORY_MODULE_RECORD Record;
    if (ReadMemoryModuleRecord(Hob, i, &Record))
      ShowDimmTemplate(HiiHandle, Record, ModuleTemplates[i].TemplateId, ModuleTemplates[i].RevisionId);
  }
  return EFI_SUCCESS;
}

void ShowDimmTemplate(EFI_HII_HANDLE HiiHandle, const MEMORY_MODULE_RECORD& Record, UINT16 TemplateId,
                      UINT16 RevisionId) {
  UINT32 V[MODULE_TEMPLATE_VALUES];
  ModuleTemplateValues(Record, V);
  SetPageStringAllLanguages(HiiHandle, TemplateId, 0, TRUE, nullptr, V[0], V[1], V[2], V[3], V[4], V[5], V[6], V[7],
                            V[8]);
  SetPageStringAllLanguages(HiiHandle, RevisionId, 0, TRUE, nullptr, V[0], V[1]);
}

VOID EFIAPI InitNorthBridgePage(EFI_HII_HANDLE HiiHandle, UINT16 Class) {
  if (Class == FORM_SET_CLASS_MEMORY) ShowInformationPage(HiiHandle);
  if (Class == FORM_SET_CLASS_ADVANCED || Class == FORM_SET_CLASS_MAIN) BlankUnusableOptions(HiiHandle);
  if (Class == FORM_SET_CLASS_TUNING || Class == FORM_SET_CLASS_MAIN) ShowMemoryTuning(HiiHandle);
  ShowDimmDetails(HiiHandle);
}
