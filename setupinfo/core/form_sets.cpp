#include "setupinfo/core/form_sets.h"

#include "setupinfo/core/firmware_identity.h"
#include "setupinfo/core/form_utility.h"
#include "setupinfo/core/language_variables.h"
#include "setupinfo/core/page_strings.h"
#include "setupinfo/image_state.h"
#include "setupinfo/pages/board/processor_page.h"

namespace {

// For slots whose page has nothing to set.
VOID EFIAPI EmptyInitialiser(EFI_HII_HANDLE, UINT16) {}

// Slot order is calling order; each initialiser acts only for its classes.
constexpr PAGE_STRING_INITIALISER InitialiserTable[PAGE_STRING_INITIALISER_SLOTS + 1] = {
    EmptyInitialiser,  // 0: fixed Super I/O version text
    EmptyInitialiser,  // 1: Super I/O resource strings
    InitProcessorPage,  // 2: processor page
    EmptyInitialiser,  // 3: platform controller hub page
    EmptyInitialiser,  // 4: memory controller, memory and integrated graphics
    EmptyInitialiser,  // 5: graphics output selection
    EmptyInitialiser,  // 6: graphics output selection
    EmptyInitialiser,  // 7: legacy-area version string
    EmptyInitialiser,  // 8
    EmptyInitialiser,  // 9: management engine information
    EmptyInitialiser,  // 10: clock control page
    EmptyInitialiser,  // 11: NVMe devices
    EmptyInitialiser,  // 12: component versions
    EmptyInitialiser,  // 13: USB device summary
    EmptyInitialiser,  // 14: SATA port strings
    EmptyInitialiser,  // 15: network configuration page
    EmptyInitialiser,  // 16
    EmptyInitialiser,  // 17: user-default profile names
    EmptyInitialiser,  // 18: strap texts
    EmptyInitialiser,  // 19: configuration texts
    EmptyInitialiser,  // 20
    EmptyInitialiser,  // 21
    EmptyInitialiser,  // 22
    EmptyInitialiser,  // 23
    EmptyInitialiser,  // 24: main page summary
    nullptr,
};

}  // namespace

Span<const PAGE_STRING_INITIALISER> PageStringInitialisers() {
  return Span<const PAGE_STRING_INITIALISER>(InitialiserTable, ArrayCount(InitialiserTable));
}

EFI_HII_STRING_PROTOCOL* HiiStringProtocol() { return LocateOnce(gSetupInfo.Core.HiiString); }

VOID EFIAPI LoadFormSets(EFI_EVENT Event, VOID* Context) {
  CORE_STATE& Core = gSetupInfo.Core;
  // Both HII protocols are needed; until they are there, a later signal tries again.
  if (HiiStringProtocol() == nullptr) return;
  if (LocateOnce(Core.HiiDatabase) == nullptr) return;

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
  if (FormSetInfo->Class == MAIN_FORM_SET_CLASS) {
    SetFirmwareIdentityStrings(HiiHandle);
  } else if (FormSetInfo->Class == SECURE_BOOT_FORM_SET_CLASS) {
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
