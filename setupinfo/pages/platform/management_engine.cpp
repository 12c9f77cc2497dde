#include "setupinfo/pages/platform/management_engine.h"

#include "lib/firmware_services.h"
#include "lib/hw/hw.h"
#include "platform/management_engine.h"
#include "setupinfo/core/callback_parameters.h"
#include "setupinfo/core/form_utility.h"
#include "setupinfo/core/page_strings.h"
#include "setupinfo/core/setup_record.h"

namespace {

MANAGEMENT_ENGINE_STATE& State() { return ManagementEngineState(); }

// State code (low four bits of MeInfoSetup byte 0) -> string whose text is shown.
constexpr UINT16 MeStateStrings[] = {0x07D8, 0x07D9, 0x07DC, 0x07DA, 0x07DB, 0x07D9};
constexpr UINTN ME_STATE_COUNT = sizeof(MeStateStrings) / sizeof(MeStateStrings[0]);

const CHAR8* FirmwareSizeText(UINT8 Class) {
  switch (Class) {
    case 3: return "1.5MB";
    case 4: return "5MB";
    default: return "Unidentified";
  }
}

// Reads a variable of exactly sizeof(T) bytes. A shorter one would leave
// part of the record unset and a longer one does not fit: both count as
// missing, so no stale byte is ever shown.
template <typename T>
bool ReadExact(const CHAR16* Name, T* Out) {
  if (gRT() == nullptr) return false;
  UINT8 Bytes[sizeof(T)] = {};
  UINTN Size = sizeof(Bytes);
  if (EFI_ERROR(gRT()->GetVariable(Name, &T::Guid, nullptr, &Size, Bytes)) || Size != sizeof(Bytes)) return false;
  __builtin_memcpy(Out, Bytes, sizeof(T));
  return true;
}

void SetStateText(EFI_HII_HANDLE HiiHandle, UINT8 Code) {
  const UINTN Index = Code & 0x0F;
  // Codes past the table have no text: the package's own text stays.
  if (Index >= ME_STATE_COUNT) return;
  CHAR16 Text[ME_STATE_TEXT_BYTES / sizeof(CHAR16)] = {};
  UINTN Size = sizeof(Text);
  if (EFI_ERROR(GetHiiString(HiiHandle, MeStateStrings[Index], &Size, Text))) return;
  Text[ME_STATE_TEXT_BYTES / sizeof(CHAR16) - 1] = 0;
  SetPageString(HiiHandle, STR_ME_STATE, u"%s", (const CHAR16*)Text);
}

void RefreshFirmwareSizeClass() {
  if (gRT() == nullptr) return;
  SETUP_RECORD Record = {};
  UINTN Size = sizeof(Record);
  if (EFI_ERROR(gRT()->GetVariable(SETUP_VARIABLE_NAME, &SETUP_VARIABLE_GUID, nullptr, &Size, &Record))) return;
  // A record too short to hold the byte has no class at all.
  State().FirmwareSizeClass =
      Size >= setup::MeFirmwareSizeClass::End ? Record.Get<setup::MeFirmwareSizeClass>() : (UINT8)0;
}

}  // namespace

VOID EFIAPI InitLegacyAreaVersion(EFI_HII_HANDLE HiiHandle, UINT16) {
  SetPageString(HiiHandle, STR_LEGACY_AREA_VERSION, u"%02x.%02x", PhysicalRead8(LEGACY_AREA_VERSION_ADDRESS),
                PhysicalRead8(LEGACY_AREA_VERSION_ADDRESS + 1));
}

VOID EFIAPI InitManagementEngineStrings(EFI_HII_HANDLE HiiHandle, UINT16) {
  ME_INFO_SETUP Info = {};
  if (!ReadExact(ME_INFO_SETUP_NAME, &Info)) return;
  SetPageString(HiiHandle, STR_ME_VERSION, u"%d.%d.%d.%d", Info.Version[0], Info.Version[1], Info.Version[2],
                Info.Version[3]);

  PTT_INFO_VARIABLE Ptt = {};
  if (ReadExact(PTT_INFO_VARIABLE_NAME, &Ptt)) SetPageString(HiiHandle, STR_PTT_INFO, u"%d / %d", Ptt.First, Ptt.Second);

  SetStateText(HiiHandle, Info.State);

  RefreshFirmwareSizeClass();
  SetPageString(HiiHandle, STR_ME_FIRMWARE_SIZE, u"%S", FirmwareSizeText(State().FirmwareSizeClass));
}

EFI_STATUS EFIAPI OnLockedQuestionChanging(EFI_HII_HANDLE, UINT16, UINT16, UINT16) {
  if (!CurrentActionIs(EFI_BROWSER_ACTION_CHANGING)) return EFI_UNSUPPORTED;
  // No value to clear: nothing to turn back.
  EFI_IFR_TYPE_VALUE* Value = CurrentValue();
  if (Value == nullptr) return EFI_UNSUPPORTED;
  __builtin_memset(Value, 0, sizeof(UINT64));
  return EFI_SUCCESS;
}
