// Private protocol of the test form utility driver: the check application
// reads what LoadResources did and asks for the setup-load trigger.
#pragma once

#include "platform/form_utility.h"

struct FORMUTIL_LOAD_RECORD {
  UINTN LoadCalls;           // LoadResources calls since the driver started
  UINTN EntryCount;          // entry count of the last call
  FORM_SET_INFO* Table;      // form-set table of the last call (the caller's own memory)
  UINTN Published;           // entries whose package list reached the HII database
  UINTN CallbacksMade;       // per-form-set callbacks of the last call
  EFI_STATUS FirstFailure;   // first failing step of the last call, EFI_SUCCESS if none
  UINTN TriggersInstalled;
};

struct FORMUTIL_CONTROL_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x678D254E, 0xACA7, 0x40B7, {0x9F, 0x79, 0x6D, 0xEB, 0x00, 0x3B, 0x22, 0x2B}};

  using GetLoadRecordFn = EFI_STATUS(EFIAPI*)(FORMUTIL_LOAD_RECORD* Record);
  // Installs the setup-load trigger protocol on a new handle of its own.
  using InstallSetupLoadTriggerFn = EFI_STATUS(EFIAPI*)();

  GetLoadRecordFn GetLoadRecord;
  InstallSetupLoadTriggerFn InstallSetupLoadTrigger;
};
static_assert(sizeof(FORMUTIL_CONTROL_PROTOCOL) == 16);
