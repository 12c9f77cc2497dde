#include "setupinfo/core/form_sets.h"

#include "lib/firmware_services.h"
#include "setupinfo/core/core_state.h"
#include "setupinfo/core/firmware_identity.h"
#include "setupinfo/core/form_utility.h"
#include "setupinfo/core/hii_protocols.h"
#include "setupinfo/core/language_variables.h"
#include "setupinfo/core/page_initialisers.h"
#include "setupinfo/core/page_strings.h"

VOID EFIAPI LoadFormSets(EFI_EVENT Event, VOID* Context) {
  CORE_STATE& Core = CoreState();
  // Both HII protocols are needed; until they are there, a later signal tries again.
  if (HiiStringProtocol() == nullptr) return;
  if (HiiDatabaseProtocol() == nullptr) return;

  if (Event != nullptr) {
    gBS()->CloseEvent(Event);
    if (Core.FormSetLoadEvent == Event) Core.FormSetLoadEvent = nullptr;
  }
  if (Core.Loaded) return;
  Core.Loaded = TRUE;

  LoadResources(Core.ImageHandle, FORM_SET_COUNT, Core.FormSets, FormSetLoaded);
  UpdateLastLanguageCodes(Core.FormSets[0].HiiHandle);

  for (UINTN i = 0; i < FORM_SET_COUNT; ++i) {
    if (FormSetKeepFlags[i] != 0 || Core.FormSets[i].HiiHandle == nullptr) continue;
    Core.HiiDatabase->RemovePackageList(Core.HiiDatabase, Core.FormSets[i].HiiHandle);
  }
}

VOID EFIAPI FormSetLoaded(EFI_HII_HANDLE HiiHandle, FORM_SET_INFO* FormSetInfo) {
  if (FormSetInfo == nullptr || FormSetInfo->HiiHandle == nullptr) return;
  RunPageStringInitialisers(HiiHandle, FormSetInfo->Class);
  if (FormSetInfo->Class == FORM_SET_CLASS_MAIN) {
    SetFirmwareIdentityStrings(HiiHandle);
  } else if (FormSetInfo->Class == FORM_SET_CLASS_SECURE_BOOT) {
    SetPageString(HiiHandle, 0x42, u"%d", 3);
    SetPageString(HiiHandle, 0x44, u"%d", 8);
  }
}

void RunPageStringInitialisers(EFI_HII_HANDLE HiiHandle, UINT16 Class) {
  for (PAGE_STRING_INITIALISER Initialiser : PageStringInitialisers()) {
    if (Initialiser == nullptr) break;
    Initialiser(HiiHandle, Class);
  }
}
