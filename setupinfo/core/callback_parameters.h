// What an item callback reads of the browser callback in progress. Every
// accessor is safe outside a callback and with the pointers the browser may
// leave null, so a page never touches the raw parameters.
#pragma once

#include "platform/form_utility.h"
#include "uefi/hii.h"

// Outside a callback there is no action at all.
constexpr EFI_BROWSER_ACTION BROWSER_ACTION_NONE = ~(EFI_BROWSER_ACTION)0;
// Outside a callback there is no value type.
constexpr UINT8 CALLBACK_VALUE_TYPE_NONE = 0xFF;

// True while a browser callback is being dispatched.
bool InBrowserCallback();

// The browser's action; BROWSER_ACTION_NONE outside a callback.
EFI_BROWSER_ACTION CurrentBrowserAction();
bool CurrentActionIs(EFI_BROWSER_ACTION Action);

// The question's value, which a callback may change in place (null outside
// a callback or when the browser gave none) and its type as the browser gave it (EFI_IFR_TYPE_...;
// CALLBACK_VALUE_TYPE_NONE outside a callback).
EFI_IFR_TYPE_VALUE* CurrentValue();
UINT8 CurrentValueType();

// Asks the browser for Request (exit, submit, ...). False, and nothing
// asked, outside a callback or when the browser passed no request to fill.
bool RequestBrowserAction(EFI_BROWSER_ACTION_REQUEST Request);
