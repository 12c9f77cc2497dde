// Hardware monitor page (form set of class 0x10): temperatures, fan speeds
// and voltages read from the Super I/O chip's monitor register file, and the
// six fan-curve point lists kept non-decreasing.
#pragma once

#include "setupinfo/core/setup_record.h"
#include "setupinfo/pages/board/hardware_monitor_state.h"

constexpr UINT16 MONITOR_INDEX_PORT = 0x295;
constexpr UINT16 MONITOR_DATA_PORT = 0x296;
constexpr UINT8 MONITOR_BANK_SELECT = 0x4E;  // low three bits select the bank

// Selects Bank (read-modify-write of the bank select register) and reads Register.
UINT8 ReadMonitorRegister(UINT8 Bank, UINT8 Register);

// Item callback, row (0x10, 0, 0x48D): every call, whatever the browser
// action, reads every sensor and rewrites its string.
EFI_STATUS EFIAPI RefreshHardwareMonitor(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);

// Item callback, rows (0x10, 0, 0x48E) to (0x10, 0, 0x4A8): makes the point
// list holding Key non-decreasing in the browser's copy of Setup.
EFI_STATUS EFIAPI NormalizePointList(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);

// Raises every point of Key's list that lies below its predecessor. False,
// and nothing changed, for a key outside the six lists.
bool NormalizePointBytes(UINT16 Key, SETUP_RECORD* Record);

enum SENSOR_KIND : UINT8 {
  SENSOR_VOLTAGE = 1,      // millivolts, shown with 3 decimals
  SENSOR_TEMPERATURE = 2,  // tenths of a degree, 1 decimal
  SENSOR_FAN = 3,          // revolutions per minute
};

constexpr UINTN SENSOR_TEXT_CAPACITY = 16;
constexpr UINT16 STR_TEMPERATURE_UNIT = 0x08B0;

// The text of one sensor line: ": N/A     " for 0 (and for an unknown kind),
// otherwise the value with Decimals digits behind the point between the
// kind's prefix and suffix. Unit (temperatures; null when unreadable) is the
// text of STR_TEMPERATURE_UNIT.
void FormatSensorText(INT32 Value, UINT8 Kind, UINTN Decimals, const CHAR16* Unit,
                      CHAR16 (&Text)[SENSOR_TEXT_CAPACITY]);

// Builds the text of one sensor and sets string StringId of the form set.
void ShowSensorValue(INT32 Value, UINT8 Kind, UINT16 StringId, UINTN Decimals, EFI_HII_HANDLE HiiHandle);

// Conversions of the raw readings, in shown units; 0 means not available.
INT32 TemperatureFromRegister(UINT8 Raw);              // tenths of a degree
INT32 TemperatureFromHalfDegrees(UINT8 High, UINT8 Low);  // register pair 0x75/0x76
