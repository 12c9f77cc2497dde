#include "setupinfo/core/setup_record.h"

#include "lib/firmware_services.h"

EFI_STATUS ReadStoredSetup(SETUP_RECORD* Record) {
  if (Record == nullptr || gRT() == nullptr) return EFI_INVALID_PARAMETER;
  UINTN Size = SETUP_RECORD_SIZE;
  EFI_STATUS Status = gRT()->GetVariable(SETUP_VARIABLE_NAME, &SETUP_VARIABLE_GUID, nullptr, &Size, Record);
  if (EFI_ERROR(Status)) return Status;
  // A shorter record comes from another layout; its tail would be stale bytes.
  if (Size != SETUP_RECORD_SIZE) return EFI_BAD_BUFFER_SIZE;
  return EFI_SUCCESS;
}

EFI_STATUS WriteStoredSetup(const SETUP_RECORD* Record) {
  if (Record == nullptr || gRT() == nullptr) return EFI_INVALID_PARAMETER;
  return gRT()->SetVariable(SETUP_VARIABLE_NAME, &SETUP_VARIABLE_GUID, SETUP_VARIABLE_ATTRIBUTES, SETUP_RECORD_SIZE,
                            Record);
}
