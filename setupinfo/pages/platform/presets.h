// Setting presets and forwarded questions of the tuning and tools form
// sets: a preset copies the chosen row of one of the preset provider's four
// tables, field by field, into the browser's Setup with a fixed set of
// companion values; three other questions only call an outside protocol.
#pragma once

#include "setupinfo/pages/platform/presets_state.h"
#include "uefi/hii.h"

// Item callbacks acting only for EFI_BROWSER_ACTION_CHANGED: keys 0x51F to
// 0x522 apply preset A, 0x523 and 0x524 preset B, 0x525 preset C, 0x526
// preset D (class 2).
EFI_STATUS EFIAPI OnPresetChosen(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);

// Forwarders acting only for EFI_BROWSER_ACTION_CHANGING: 0x51C (class 2),
// 0x51D and 0x51E (class 8, the standard error console silenced).
EFI_STATUS EFIAPI OnForward51C(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);
EFI_STATUS EFIAPI OnForward51D(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);
EFI_STATUS EFIAPI OnForward51E(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);

// One field of a preset row: its place in the row, its width (1 or 2
// bytes, little-endian) and the Setup byte that receives it.
struct PRESET_FIELD {
  UINT8 RowOffset;
  UINT8 Width;
  UINT16 SetupOffset;
};

// A byte of Setup set to a fixed value by a preset.
struct PRESET_VALUE {
  UINT16 SetupOffset;
  UINT8 Value;
};

struct PRESET_TABLE {
  UINTN Table;       // 0 to 3: A to D, in the provider's interface
  UINTN RowBytes;
  UINT16 IndexOffset;  // the Setup byte holding the chosen row
  const PRESET_FIELD* Fields;
  UINTN FieldCount;
  const PRESET_VALUE* Values;  // written before the row is copied
  UINTN ValueCount;
};

// The four presets, A to D.
extern const PRESET_TABLE PresetTables[4];
// The preset a key applies; null for any other key.
const PRESET_TABLE* PresetForKey(UINT16 Key);
