#include "setupinfo/pages/platform/presets.h"

#include "lib/firmware_services.h"
#include "lib/util.h"
#include "setupinfo/core/callback_parameters.h"
#include "setupinfo/core/console_silence.h"
#include "setupinfo/core/setup_record.h"

namespace {

PRESETS_STATE& State() { return PresetsState(); }

// Table A's row and the first 29 bytes of table C's share this layout.
#define PRESET_PROCESSOR_FIELDS                                                                              \
  {0x00, 1, 0x7F}, {0x01, 1, 0x80}, {0x02, 1, 0x98}, {0x03, 1, 0x3E3}, {0x04, 2, 0x4D}, {0x06, 2, 0x4B},     \
      {0x08, 2, 0x41}, {0x0A, 1, 0x82}, {0x0C, 2, 0x85}, {0x0E, 2, 0x83}, {0x10, 1, 0x89}, {0x12, 2, 0x8C},  \
      {0x14, 2, 0x8A}, {0x16, 1, 0x90}, {0x17, 1, 0x91}, {0x18, 1, 0x2E}, {0x1A, 2, 0x30}, {0x1C, 1, 0x32}

constexpr PRESET_FIELD TableAFields[] = {PRESET_PROCESSOR_FIELDS, {0x1D, 1, 0x42D}};

constexpr PRESET_FIELD TableBFields[] = {{0x00, 1, 0x2C0}, {0x02, 2, 0x2C1}, {0x04, 1, 0x3E6}, {0x06, 2, 0x3E9}};

constexpr PRESET_FIELD TableCFields[] = {
    PRESET_PROCESSOR_FIELDS, {0x1D, 1, 0x2C0}, {0x1E, 2, 0x2C1}, {0x20, 1, 0x3E6}, {0x22, 2, 0x3E9},
    {0x24, 1, 0x55},         {0x25, 1, 0x56},  {0x26, 1, 0x6D},  {0x28, 2, 0x34C}, {0x2A, 1, 0x42D}};
#undef PRESET_PROCESSOR_FIELDS

constexpr PRESET_FIELD TableDFields[] = {{0x00, 1, 0x2E},  {0x01, 1, 0x2F},  {0x02, 1, 0x3F5}, {0x03, 1, 0x1F5},
                                         {0x04, 1, 0x53},  {0x05, 1, 0x54},  {0x06, 1, 0x55},  {0x07, 1, 0x56},
                                         {0x08, 1, 0x42D}, {0x09, 1, 0x437}, {0x0A, 1, 0x442}, {0x0B, 1, 0x44D}};

// Companion values of presets A and B; C also clears the rows chosen in A
// and B; D only clears 0x9B.
#define PRESET_COMPANION_VALUES                                                                           \
  {0x484, 0}, {0x2E, 0}, {0x2F, 1}, {0x3F5, 0}, {0x1F5, 0}, {0x53, 2}, {0x54, 2}, {0x55, 2}, {0x56, 2}, \
      {0x42D, 2}, {0x437, 2}, {0x442, 2}, {0x44D, 0}
constexpr PRESET_VALUE CompanionValues[] = {PRESET_COMPANION_VALUES};
constexpr PRESET_VALUE TableCValues[] = {PRESET_COMPANION_VALUES, {0x481, 0}, {0x482, 0}};
#undef PRESET_COMPANION_VALUES
constexpr PRESET_VALUE TableDValues[] = {{0x9B, 0}};

constexpr UINT16 PRESET_INDEX_A = setup::PresetRows::Start;

// Setup fields are reached by offset: a field must lie inside its row and
// inside the record, and the index bytes must not be among a table's own
// targets.
constexpr bool Fits(const PRESET_TABLE& Table) {
  for (UINTN i = 0; i < Table.FieldCount; ++i) {
    const PRESET_FIELD& F = Table.Fields[i];
    if ((F.Width != 1 && F.Width != 2) || F.RowOffset + F.Width > Table.RowBytes ||
        F.SetupOffset + F.Width > SETUP_RECORD_SIZE)
      return false;
    if (F.SetupOffset <= Table.IndexOffset && Table.IndexOffset < F.SetupOffset + F.Width) return false;
  }
  for (UINTN i = 0; i < Table.ValueCount; ++i)
    if (Table.Values[i].SetupOffset >= SETUP_RECORD_SIZE || Table.Values[i].SetupOffset == Table.IndexOffset)
      return false;
  return Table.Table < PRESET_TABLE_COUNT;
}

}  // namespace

constexpr PRESET_TABLE PresetTables[4] = {
    {0, PRESET_ROW_BYTES_A, PRESET_INDEX_A + 0, TableAFields, ArrayCount(TableAFields), CompanionValues,
     ArrayCount(CompanionValues)},
    {1, PRESET_ROW_BYTES_B, PRESET_INDEX_A + 1, TableBFields, ArrayCount(TableBFields), CompanionValues,
     ArrayCount(CompanionValues)},
    {2, PRESET_ROW_BYTES_C, PRESET_INDEX_A + 2, TableCFields, ArrayCount(TableCFields), TableCValues,
     ArrayCount(TableCValues)},
    {3, PRESET_ROW_BYTES_D, PRESET_INDEX_A + 3, TableDFields, ArrayCount(TableDFields), TableDValues,
     ArrayCount(TableDValues)},
};
static_assert(Fits(PresetTables[0]) && Fits(PresetTables[1]) && Fits(PresetTables[2]) && Fits(PresetTables[3]));

namespace {

struct PRESET_KEYS {
  UINT16 FirstKey, LastKey;
  UINTN Preset;
};
constexpr PRESET_KEYS PresetKeys[] = {{0x51F, 0x522, 0}, {0x523, 0x524, 1}, {0x525, 0x525, 2}, {0x526, 0x526, 3}};

EFI_STATUS ApplyPreset(const PRESET_TABLE& Preset, const PRESET_PROVIDER_PROTOCOL& Provider) {
  const UINT8* Table = Provider.Tables[Preset.Table];
  if (Table == nullptr) return EFI_SUCCESS;

  SetupEdit Edit;
  const EFI_STATUS Status = Edit.Fetch();
  if (EFI_ERROR(Status)) return Status;
  // Only a whole record: the index byte and the targets must be the user's.
  if (Edit.Size() != SETUP_RECORD_SIZE) return EFI_BAD_BUFFER_SIZE;
  UINT8* Setup = Edit.Bytes();

  // A row the provider does not vouch for is not read, and the request is
  // ignored: no companion values, nothing handed back.
  const UINT8 Row = Setup[Preset.IndexOffset];
  if (Row >= Provider.RowCounts[Preset.Table]) return EFI_SUCCESS;

  for (UINTN i = 0; i < Preset.ValueCount; ++i) Setup[Preset.Values[i].SetupOffset] = Preset.Values[i].Value;
  const UINT8* Source = Table + (UINTN)Row * Preset.RowBytes;
  for (UINTN i = 0; i < Preset.FieldCount; ++i) {
    const PRESET_FIELD& F = Preset.Fields[i];
    for (UINTN b = 0; b < F.Width; ++b) Setup[F.SetupOffset + b] = Source[F.RowOffset + b];
  }
  return Edit.HandBack();
}

}  // namespace

const PRESET_TABLE* PresetForKey(UINT16 Key) {
  for (const PRESET_KEYS& Keys : PresetKeys)
    if (Key >= Keys.FirstKey && Key <= Keys.LastKey) return &PresetTables[Keys.Preset];
  return nullptr;
}

EFI_STATUS EFIAPI OnPresetChosen(EFI_HII_HANDLE, UINT16, UINT16, UINT16 Key) {
  if (!CurrentActionIs(EFI_BROWSER_ACTION_CHANGED)) return EFI_UNSUPPORTED;
  const PRESET_TABLE* Preset = PresetForKey(Key);
  if (Preset == nullptr) return EFI_UNSUPPORTED;
  PRESET_PROVIDER_PROTOCOL* Provider = LocateOnce(State().Provider);
  if (Provider == nullptr) return EFI_NOT_FOUND;
  return ApplyPreset(*Preset, *Provider);
}

EFI_STATUS EFIAPI OnForward51C(EFI_HII_HANDLE HiiHandle, UINT16, UINT16, UINT16) {
  if (!CurrentActionIs(EFI_BROWSER_ACTION_CHANGING)) return EFI_UNSUPPORTED;
  PRESET_FORWARD_51C_PROTOCOL* Forward = LocateOnce(State().Forward51C);
  if (Forward == nullptr) return EFI_NOT_FOUND;
  if (Forward->Run != nullptr) Forward->Run(HiiHandle);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI OnForward51D(EFI_HII_HANDLE HiiHandle, UINT16, UINT16, UINT16) {
  if (!CurrentActionIs(EFI_BROWSER_ACTION_CHANGING)) return EFI_UNSUPPORTED;
  PRESET_FORWARD_51D_PROTOCOL* Forward = LocateOnce(State().Forward51D);
  if (Forward == nullptr) return EFI_NOT_FOUND;
  // The located protocol answers; the call's own status is the driver's.
  if (Forward->Run != nullptr) Forward->Run(HiiHandle, Forward);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI OnForward51E(EFI_HII_HANDLE HiiHandle, UINT16, UINT16, UINT16) {
  if (!CurrentActionIs(EFI_BROWSER_ACTION_CHANGING)) return EFI_UNSUPPORTED;
  PRESET_FORWARD_51E_PROTOCOL* Forward = LocateOnce(State().Forward51E);
  if (Forward == nullptr) return EFI_NOT_FOUND;
  if (Forward->Run != nullptr) WithStandardErrorSilenced([&] { return Forward->Run(HiiHandle, Forward); });
  return EFI_SUCCESS;
}
