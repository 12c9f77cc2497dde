#include "setupinfo/pages/platform/clock_info.h"

#include "lib/strings.h"

const CHAR16* const ClockNames[ICC_CLOCK_COUNT] = {u"Clock1", u"Clock2", u"Clock3", u"Clock4",
                                                   u"Clock5", u"Clock6", u"Clock7", u"Clock8"};

const CHAR16* const SpreadModeNames[SPREAD_INDEX_COUNT] = {u"Down", u"Center", u"Up", u"None"};

namespace {

// Page index -> protocol value.
constexpr UINT32 SpreadProtocolValues[SPREAD_INDEX_COUNT] = {ICC_SPREAD_DOWN, ICC_SPREAD_CENTER, ICC_SPREAD_UP,
                                                             ICC_SPREAD_NONE};

constexpr UINTN USAGE_NAME_COUNT = 14;
constexpr const CHAR16* UsageNames[USAGE_NAME_COUNT] = {
    u"BCLK", u"DMI",      u"PEG", u"PCIe", u"PCI33",       u"RESERVED", u"SATA",
    u"USB3", u"IGD",      u"IGD Bending", u"RESERVED", u"GFX", u"USB Legacy", u"PCH Legacy"};

// Appends within the line's capacity; the names are short constants, so
// the capacity is never reached, but a cut line still ends in NUL.
void Append(CHAR16* Line, UINTN* Used, const CHAR16* Text) {
  for (UINTN I = 0; Text[I] != 0 && *Used + 1 < USAGE_TEXT_CAPACITY; ++I) Line[(*Used)++] = Text[I];
  Line[*Used] = 0;
}

}  // namespace

UINT8 SpreadIndexFromProtocol(UINT8 ProtocolMode) {
  for (UINT8 Index = 0; Index < SPREAD_INDEX_COUNT; ++Index)
    if (SpreadProtocolValues[Index] == ProtocolMode) return Index;
  return SPREAD_INDEX_NONE;
}

bool SpreadProtocolFromIndex(UINT8 Index, UINT32* ProtocolMode) {
  if (Index >= SPREAD_INDEX_COUNT) return false;
  *ProtocolMode = SpreadProtocolValues[Index];
  return true;
}

EFI_STATUS GetClockInfo(ICC_CLOCK_CONTROL_PROTOCOL* ClockControl, UINT8 Clock, CLOCK_INFO* Info, UINT32* LibStatus) {
  *Info = CLOCK_INFO{};
  UINT32 Ignored = 0;
  UINT32& Lib = LibStatus != nullptr ? *LibStatus : Ignored;
  Lib = ICC_LIB_STATUS_NOT_WRITTEN;
  if (ClockControl == nullptr) return EFI_NOT_READY;

  ICC_CLOCK_CAPABILITIES Caps = {};
  EFI_STATUS Status = ClockControl->GetClockCapabilities(Clock, &Caps, &Lib);
  if (EFI_ERROR(Status) || Lib != ICC_LIB_STATUS_SUCCESS) return EFI_ERROR(Status) ? Status : EFI_DEVICE_ERROR;

  ICC_CLOCK_SETTINGS Settings = {};
  Lib = ICC_LIB_STATUS_NOT_WRITTEN;
  Status = ClockControl->GetClockSettings(Clock, &Settings, &Lib);
  if (EFI_ERROR(Status) || Lib != ICC_LIB_STATUS_SUCCESS) return EFI_ERROR(Status) ? Status : EFI_DEVICE_ERROR;

  Info->MaxFrequency = Caps.MaxFrequency / 10000;
  Info->MinFrequency = Caps.MinFrequency / 10000;
  Info->CurrentFrequency = Settings.Frequency / 10000;
  Info->MaxSpread = Caps.MaxSpread;
  Info->CurrentSpread = Settings.Spread;
  Info->UsageMask = Caps.UsageMask;
  Info->SpreadChange = Caps.SpreadChange;
  Info->UpAllowed = Caps.UpAllowed;
  Info->CenterAllowed = Caps.CenterAllowed;
  Info->DownAllowed = Caps.DownAllowed;
  Info->CurrentSpreadMode = SpreadIndexFromProtocol((UINT8)Settings.SpreadMode);
  return EFI_SUCCESS;
}

void BuildUsageText(UINT16 UsageMask, USAGE_TEXT* Text) {
  Text->First[0] = 0;
  Text->Second[0] = 0;
  Text->Wrapped = false;
  CHAR16 Line[USAGE_TEXT_CAPACITY] = {};
  UINTN Used = 0;
  bool Added = false;
  for (UINTN Bit = 0; Bit < USAGE_NAME_COUNT; ++Bit) {
    if ((UsageMask & (1u << Bit)) == 0) continue;
    if (Added) Append(Line, &Used, u", ");
    // Every overflow puts the line so far on the first row; the text then
    // starts again, so the rows show the last two lines.
    if (WideLength(UsageNames[Bit]) + Used > USAGE_LINE_LIMIT) {
      WideCopy(Text->First, Line);
      Text->Wrapped = true;
      Line[0] = 0;
      Used = 0;
    }
    Append(Line, &Used, UsageNames[Bit]);
    Added = true;
  }
  WideCopy(Text->Wrapped ? Text->Second : Text->First, Line);
}
