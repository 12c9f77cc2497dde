#include "setupinfo/pages/board/hardware_monitor.h"

#include "lib/firmware_services.h"
#include "lib/hw/hw.h"
#include "setupinfo/core/callback_parameters.h"
#include "setupinfo/core/form_utility.h"
#include "setupinfo/core/page_strings.h"

namespace {

// ---- Sensors --------------------------------------------------------------

enum SENSOR_SOURCE : UINT8 {
  SOURCE_TEMPERATURE_REGISTER,  // signed degrees in one register
  SOURCE_TEMPERATURE_PAIR,      // 9-bit half degrees: Register, and bit 7 of Register2
  SOURCE_FAN,                   // Register high byte, Register2 low byte
  SOURCE_MULTIPLEXED_FAN,       // one tachometer input shared by two fans
  SOURCE_VOLTAGE_REGISTER,      // raw x Multiplier / Divisor millivolts
  SOURCE_VOLTAGE_MSR,           // performance status bits 47:32, x Multiplier / Divisor
};

struct SENSOR_ROW {
  UINT16 StringId;  // unused for the multiplexed fan, whose string follows the phase
  SENSOR_SOURCE Source;
  UINT8 Bank;
  UINT8 Register;
  UINT8 Register2;
  UINT32 Multiplier;
  UINT32 Divisor;
};

constexpr UINT32 MSR_PERF_STATUS = 0x198;

// Refresh order.
constexpr SENSOR_ROW Sensors[] = {
    {0x08B6, SOURCE_TEMPERATURE_REGISTER, 0, 0x27, 0, 0, 0},
    {0x08B8, SOURCE_TEMPERATURE_PAIR, 0, 0x75, 0x76, 0, 0},
    {0x0000, SOURCE_MULTIPLEXED_FAN, 6, 0x58, 0x59, 0, 0},
    {0x08BC, SOURCE_FAN, 6, 0x56, 0x57, 0, 0},
    {0x08C2, SOURCE_FAN, 6, 0x5A, 0x5B, 0, 0},
    {0x08C4, SOURCE_FAN, 6, 0x5C, 0x5D, 0, 0},
    {0x08D1, SOURCE_VOLTAGE_REGISTER, 0, 0x20, 0, 16, 1},
    {0x08D2, SOURCE_VOLTAGE_MSR, 0, 0, 0, 1000, 8192},
    {0x08C8, SOURCE_VOLTAGE_REGISTER, 0, 0x21, 0, 528, 10},
    {0x08CC, SOURCE_VOLTAGE_REGISTER, 0, 0x25, 0, 240, 10},
    {0x08D4, SOURCE_VOLTAGE_REGISTER, 0, 0x23, 0, 544, 34},
};

// A tachometer without a fan reads a small count; the multiplexed input
// reads exactly this value when its selected fan is absent.
constexpr UINT16 FAN_ABSENT_COUNT = 164;

constexpr UINTN TEMPERATURE_DECIMALS = 1;
constexpr UINTN FAN_DECIMALS = 0;
constexpr UINTN VOLTAGE_DECIMALS = 3;

UINT16 ReadFan(const SENSOR_ROW& Row) {
  const UINT8 High = ReadMonitorRegister(Row.Bank, Row.Register);
  const UINT8 Low = ReadMonitorRegister(Row.Bank, Row.Register2);
  return (UINT16)((High << 8) | Low);
}

// ---- Fan multiplexer --------------------------------------------------------

// Two Super I/O general-purpose pins of logical device 8 steer which fan
// reaches the shared input. Each phase lasts 12 refreshes; the value read at
// a phase change belongs to the fan selected since the previous change.
constexpr UINT8 SIO_LOGICAL_DEVICE_SELECT = 0x07;
constexpr UINT8 FAN_MULTIPLEXER_DEVICE = 8;
constexpr UINT16 FAN_MULTIPLEXER_PERIOD = 12;
constexpr UINT16 FAN_MULTIPLEXER_PHASES = 2;
constexpr UINTN FAN_SETTLE_MICROSECONDS = 25;

struct PIN_CHANGE {
  UINT8 Register;
  UINT8 Mask;
  bool Set;
};
struct MULTIPLEXER_PHASE {
  UINT16 StringId;
  PIN_CHANGE Changes[4];
};
constexpr MULTIPLEXER_PHASE MultiplexerPhases[FAN_MULTIPLEXER_PHASES] = {
    {0x08BE, {{0xF0, 0x40, false}, {0xE0, 0x02, false}, {0xF1, 0x40, true}, {0xE1, 0x02, false}}},
    {0x08C0, {{0xF0, 0x40, false}, {0xE0, 0x02, false}, {0xF1, 0x40, false}, {0xE1, 0x02, true}}},
};

void RefreshMultiplexedFan(const SENSOR_ROW& Row, EFI_HII_HANDLE HiiHandle) {
  UINT16& Counter = HardwareMonitorState().FanMultiplexerCounter;
  const UINT16 Call = Counter;
  Counter = (UINT16)(Call + 1);
  if (Counter / FAN_MULTIPLEXER_PERIOD % 3 == FAN_MULTIPLEXER_PHASES) Counter = 0;
  if (Call % FAN_MULTIPLEXER_PERIOD != 0) return;

  if (gBS() != nullptr) gBS()->Stall(FAN_SETTLE_MICROSECONDS);
  UINT16 Rpm = ReadFan(Row);
  if (Rpm == FAN_ABSENT_COUNT) Rpm = 0;

  const UINTN Phase = Call / FAN_MULTIPLEXER_PERIOD % 3;
  if (Phase >= FAN_MULTIPLEXER_PHASES) return;
  const MULTIPLEXER_PHASE& P = MultiplexerPhases[Phase];
  SioWrite(SIO_LOGICAL_DEVICE_SELECT, FAN_MULTIPLEXER_DEVICE);
  for (const PIN_CHANGE& Change : P.Changes) {
    const UINT8 Value = SioRead(Change.Register);
    SioWrite(Change.Register, Change.Set ? (UINT8)(Value | Change.Mask) : (UINT8)(Value & ~Change.Mask));
  }
  ShowSensorValue(Rpm, SENSOR_FAN, P.StringId, FAN_DECIMALS, HiiHandle);
}

// ---- Point lists ------------------------------------------------------------

struct POINT_LIST {
  UINT16 FirstKey;
  UINT16 Offset;
  UINT8 Length;
};
template <typename F>
constexpr POINT_LIST List(UINT16 FirstKey) {
  return {FirstKey, F::Start, (UINT8)F::Elements};
}
constexpr POINT_LIST PointLists[] = {
    List<setup::PointList1A>(0x48E), List<setup::PointList1B>(0x493), List<setup::PointList2A>(0x497),
    List<setup::PointList2B>(0x49C), List<setup::PointList3A>(0x4A0), List<setup::PointList3B>(0x4A5),
};

// ---- Sensor text ------------------------------------------------------------

constexpr CHAR16 NOT_AVAILABLE_TEXT[] = u": N/A     ";
constexpr UINTN SENSOR_MAX_DIGITS = 5;

class TextWriter {
 public:
  explicit TextWriter(CHAR16 (&Text)[SENSOR_TEXT_CAPACITY]) : Text_(Text) {}
  void Put(CHAR16 Ch) {
    if (Length_ + 1 < SENSOR_TEXT_CAPACITY) Text_[Length_++] = Ch;
    Text_[Length_] = 0;
  }
  void Put(const CHAR16* S) {
    while (S != nullptr && *S != 0) Put(*S++);
  }

 private:
  CHAR16 (&Text_)[SENSOR_TEXT_CAPACITY];
  UINTN Length_ = 0;
};

}  // namespace

UINT8 ReadMonitorRegister(UINT8 Bank, UINT8 Register) {
  PortWrite8(MONITOR_INDEX_PORT, MONITOR_BANK_SELECT);
  const UINT8 Select = PortRead8(MONITOR_DATA_PORT);
  PortWrite8(MONITOR_DATA_PORT, (UINT8)((Select & 0xF8) | Bank));
  PortWrite8(MONITOR_INDEX_PORT, Register);
  return PortRead8(MONITOR_DATA_PORT);
}

INT32 TemperatureFromRegister(UINT8 Raw) {
  if ((Raw & 0x80) == 0) return Raw * 10;
  return -(INT32)(~(UINT32)(Raw - 1) & 0x7F) * 10;
}

INT32 TemperatureFromHalfDegrees(UINT8 High, UINT8 Low) {
  const UINT32 HalfDegrees = (UINT32)High * 2 + (Low >> 7);
  if ((HalfDegrees & 0x100) == 0) return (INT32)HalfDegrees * 5;
  return -(INT32)(~(HalfDegrees - 1) & 0xFF) * 5;
}

void FormatSensorText(INT32 Value, UINT8 Kind, UINTN Decimals, const CHAR16* Unit,
                      CHAR16 (&Text)[SENSOR_TEXT_CAPACITY]) {
  TextWriter Out(Text);
  const CHAR16* Prefix = nullptr;
  const CHAR16* Suffix = nullptr;
  if (Kind == SENSOR_VOLTAGE) {
    Prefix = u": +";
    Suffix = u" V";
  } else if (Kind == SENSOR_TEMPERATURE) {
    Prefix = u": ";
    Suffix = nullptr;  // the unit follows below
  } else if (Kind == SENSOR_FAN) {
    Prefix = u": ";
    Suffix = u" RPM";
  }
  if (Value == 0 || Prefix == nullptr) {
    Out.Put(NOT_AVAILABLE_TEXT);
    return;
  }

  // The run: '-' for a negative value, then the digits of the magnitude.
  // The sign counts as a character of the run when the point is placed, so
  // -5 with one decimal reads "-.5".
  UINT32 Magnitude = Value < 0 ? (UINT32)(-(INT64)Value) : (UINT32)Value;
  if (Magnitude > 99999) Magnitude = 99999;
  CHAR16 Run[1 + SENSOR_MAX_DIGITS];
  UINTN Length = 0;
  if (Value < 0) Run[Length++] = u'-';
  CHAR16 Digits[SENSOR_MAX_DIGITS];
  UINTN Count = 0;
  do {
    Digits[Count++] = (CHAR16)(u'0' + Magnitude % 10);
    Magnitude /= 10;
  } while (Magnitude != 0);
  while (Count > 0) Run[Length++] = Digits[--Count];
  if (Decimals > SENSOR_MAX_DIGITS) Decimals = SENSOR_MAX_DIGITS;

  Out.Put(Prefix);
  if (Decimals == 0) {
    for (UINTN i = 0; i < Length; ++i) Out.Put(Run[i]);
  } else if (Length > Decimals) {
    for (UINTN i = 0; i < Length; ++i) {
      if (i == Length - Decimals) Out.Put(u'.');
      Out.Put(Run[i]);
    }
  } else {
    Out.Put(u'0');
    Out.Put(u'.');
    for (UINTN i = Length; i < Decimals; ++i) Out.Put(u'0');
    for (UINTN i = 0; i < Length; ++i) Out.Put(Run[i]);
  }

  if (Kind == SENSOR_TEMPERATURE) {
    Out.Put(u' ');
    Out.Put(Unit != nullptr ? Unit : u"   ");
  } else {
    Out.Put(Suffix);
  }
}

void ShowSensorValue(INT32 Value, UINT8 Kind, UINT16 StringId, UINTN Decimals, EFI_HII_HANDLE HiiHandle) {
  // The unit string is read into room for two characters and a terminator.
  CHAR16 UnitText[3] = {0, 0, 0};
  const CHAR16* Unit = nullptr;
  if (Kind == SENSOR_TEMPERATURE && Value != 0) {
    UINTN Size = sizeof(UnitText);
    if (!EFI_ERROR(GetHiiString(HiiHandle, STR_TEMPERATURE_UNIT, &Size, UnitText))) {
      UnitText[2] = 0;
      Unit = UnitText;
    }
  }
  CHAR16 Text[SENSOR_TEXT_CAPACITY];
  FormatSensorText(Value, Kind, Decimals, Unit, Text);
  SetPageString(HiiHandle, StringId, Text);
}

EFI_STATUS EFIAPI RefreshHardwareMonitor(EFI_HII_HANDLE HiiHandle, UINT16, UINT16, UINT16) {
  for (const SENSOR_ROW& Row : Sensors) {
    switch (Row.Source) {
      case SOURCE_TEMPERATURE_REGISTER:
        ShowSensorValue(TemperatureFromRegister(ReadMonitorRegister(Row.Bank, Row.Register)), SENSOR_TEMPERATURE,
                        Row.StringId, TEMPERATURE_DECIMALS, HiiHandle);
        break;
      case SOURCE_TEMPERATURE_PAIR: {
        const UINT8 High = ReadMonitorRegister(Row.Bank, Row.Register);
        const UINT8 Low = ReadMonitorRegister(Row.Bank, Row.Register2);
        ShowSensorValue(TemperatureFromHalfDegrees(High, Low), SENSOR_TEMPERATURE, Row.StringId,
                        TEMPERATURE_DECIMALS, HiiHandle);
        break;
      }
      case SOURCE_FAN: {
        UINT16 Rpm = ReadFan(Row);
        if (Rpm <= FAN_ABSENT_COUNT) Rpm = 0;
        ShowSensorValue(Rpm, SENSOR_FAN, Row.StringId, FAN_DECIMALS, HiiHandle);
        break;
      }
      case SOURCE_MULTIPLEXED_FAN:
        RefreshMultiplexedFan(Row, HiiHandle);
        break;
      case SOURCE_VOLTAGE_REGISTER: {
        const UINT32 Millivolts = ReadMonitorRegister(Row.Bank, Row.Register) * Row.Multiplier / Row.Divisor;
        ShowSensorValue((UINT16)Millivolts, SENSOR_VOLTAGE, Row.StringId, VOLTAGE_DECIMALS, HiiHandle);
        break;
      }
      case SOURCE_VOLTAGE_MSR: {
        const UINT32 Raw = (UINT32)((ReadMsr(MSR_PERF_STATUS) >> 32) & 0xFFFF);
        ShowSensorValue((UINT16)(Raw * Row.Multiplier / Row.Divisor), SENSOR_VOLTAGE, Row.StringId,
                        VOLTAGE_DECIMALS, HiiHandle);
        break;
      }
    }
  }
  return EFI_SUCCESS;
}

bool NormalizePointBytes(UINT16 Key, SETUP_RECORD* Record) {
  for (const POINT_LIST& L : PointLists) {
    if (Key < L.FirstKey || Key >= L.FirstKey + L.Length) continue;
    UINT8* Points = Record->Bytes + L.Offset;
    for (UINTN i = 1; i < L.Length; ++i)
      if (Points[i] < Points[i - 1]) Points[i] = Points[i - 1];
    return true;
  }
  return false;
}

EFI_STATUS EFIAPI NormalizePointList(EFI_HII_HANDLE, UINT16, UINT16, UINT16 Key) {
  if (!InBrowserCallback()) return EFI_SUCCESS;
  SetupEdit Edit;
  if (EFI_ERROR(Edit.Fetch())) return EFI_SUCCESS;
  NormalizePointBytes(Key, Edit.Record());
  Edit.HandBack();
  return EFI_SUCCESS;
}
