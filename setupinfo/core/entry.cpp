// Start-up of the setup driver.
#include "lib/firmware_services.h"
#include "platform/setup_load_trigger.h"
#include "setupinfo/core/callback_registry.h"
#include "setupinfo/core/entry.h"
#include "setupinfo/core/form_sets.h"
#include "setupinfo/core/language_variables.h"
#include "setupinfo/core/setup_record.h"
#include "setupinfo/core/core_state.h"

namespace {

// "PlatformLastLangCodes" is written by the form-set loader, so it tells
// whether an earlier boot has loaded the form sets.
bool FormSetsLoadedBefore() {
  UINTN Size = 0;
  return gRT()->GetVariable(PLATFORM_LAST_LANG_CODES_NAME, &SETUP_VARIABLE_GUID, nullptr, &Size, nullptr) ==
         EFI_BUFFER_TOO_SMALL;
}

}  // namespace

// Nothing that fails here unloads the driver: the result is always EFI_SUCCESS.
extern "C" EFI_STATUS EFIAPI SetupInfoEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable) {
  CoreState().ImageHandle = ImageHandle;
  LibraryInit(ImageHandle, SystemTable);
  if (gBS() == nullptr || gRT() == nullptr) return EFI_SUCCESS;

  // First, so that the dispatcher always finds it.
  InstallCallbackRegistry();

  if (FormSetsLoadedBefore()) {
    // Later boots: the form sets wait for the trigger protocol. If the event
    // cannot be created they are not loaded in this boot.
    VOID* Registration = nullptr;
    WaitForProtocol(&SETUP_LOAD_TRIGGER_PROTOCOL::Guid, LoadFormSets, nullptr, &CoreState().FormSetLoadEvent,
                    &Registration);
  } else {
    // First boot: loading now records the language list that the
    // reconciliation below publishes.
    LoadFormSets(nullptr, nullptr);
  }

  ReconcileLanguageVariables();
  return EFI_SUCCESS;
}
