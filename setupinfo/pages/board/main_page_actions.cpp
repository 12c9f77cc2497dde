// The five action questions of the main and tools pages: each hands the
// user's action to an outside component and shows nothing itself.
#include "lib/firmware_services.h"
#include "setupinfo/core/callback_parameters.h"
#include "setupinfo/pages/board/main_page.h"

namespace {

MAIN_PAGE_STATE& State() { return MainPageState(); }

}  // namespace

EFI_STATUS EFIAPI OnMainPageAction(EFI_HII_HANDLE, UINT16, UINT16, UINT16 Key) {
  if (!CurrentActionIs(EFI_BROWSER_ACTION_CHANGING) || Key != MAIN_PAGE_ACTION_KEY) return EFI_UNSUPPORTED;
  MAIN_PAGE_ACTION_PROTOCOL* Action = LocateOnce(State().MainAction);
  if (Action == nullptr || Action->Run == nullptr) return EFI_UNSUPPORTED;
  Action->Run();
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI OnNetworkSummaryAction(EFI_HII_HANDLE, UINT16, UINT16, UINT16) {
  if (!CurrentActionIs(EFI_BROWSER_ACTION_CHANGED) && !CurrentActionIs(BROWSER_ACTION_REFRESH))
    return EFI_UNSUPPORTED;
  NETWORK_CONFIG_PROTOCOL* Config = LocateOnce(State().NetworkConfig);
  // The refresh is written into the protocol at load, and only if it was there
  // then; a protocol that came later carries whatever its driver left.
  if (Config == nullptr || Config->Refresh == nullptr) return EFI_UNSUPPORTED;
  Config->Refresh(TRUE);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI OnToolAction1(EFI_HII_HANDLE HiiHandle, UINT16, UINT16, UINT16) {
  if (!CurrentActionIs(EFI_BROWSER_ACTION_CHANGING)) return EFI_UNSUPPORTED;
  TOOL_ACTION_1_PROTOCOL* Action = LocateOnce(State().ToolAction1);
  if (Action == nullptr || Action->Run == nullptr) return EFI_UNSUPPORTED;
  Action->Run(HiiHandle);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI OnToolAction2(EFI_HII_HANDLE HiiHandle, UINT16, UINT16, UINT16) {
  if (!CurrentActionIs(EFI_BROWSER_ACTION_CHANGING)) return EFI_UNSUPPORTED;
  TOOL_ACTION_2_PROTOCOL* Action = LocateOnce(State().ToolAction2);
  if (Action == nullptr || Action->Run == nullptr) return EFI_UNSUPPORTED;
  Action->Run(HiiHandle);
  return EFI_SUCCESS;
}
