#include "setupinfo/core/callback_parameters.h"

#include "setupinfo/core/callback_dispatch.h"

bool InBrowserCallback() { return GetCurrentCallbackParameters() != nullptr; }

EFI_BROWSER_ACTION CurrentBrowserAction() {
  const CALLBACK_PARAMETERS* Parameters = GetCurrentCallbackParameters();
  return Parameters != nullptr ? Parameters->Action : BROWSER_ACTION_NONE;
}

bool CurrentActionIs(EFI_BROWSER_ACTION Action) {
  const CALLBACK_PARAMETERS* Parameters = GetCurrentCallbackParameters();
  return Parameters != nullptr && Parameters->Action == Action;
}

EFI_IFR_TYPE_VALUE* CurrentValue() {
  const CALLBACK_PARAMETERS* Parameters = GetCurrentCallbackParameters();
  return Parameters != nullptr ? Parameters->Value : nullptr;
}

UINT8 CurrentValueType() {
  const CALLBACK_PARAMETERS* Parameters = GetCurrentCallbackParameters();
  return Parameters != nullptr ? Parameters->Type : CALLBACK_VALUE_TYPE_NONE;
}

bool RequestBrowserAction(EFI_BROWSER_ACTION_REQUEST Request) {
  const CALLBACK_PARAMETERS* Parameters = GetCurrentCallbackParameters();
  if (Parameters == nullptr || Parameters->ActionRequest == nullptr) return false;
  *Parameters->ActionRequest = Request;
  return true;
}
