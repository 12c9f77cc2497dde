// The callback registry of the setup driver: other drivers hook questions of
// the setup pages by (class, subclass, key), and read the parameters of the
// browser callback in progress.
#pragma once

#include "uefi/hii.h"

// The browser callback being dispatched; lives on the dispatcher's stack.
struct CALLBACK_PARAMETERS {
  const EFI_HII_CONFIG_ACCESS_PROTOCOL* This;  // a form set's instance: Class and SubClass follow the protocol
  EFI_BROWSER_ACTION Action;
  EFI_QUESTION_ID QuestionId;
  UINT8 Type;
  EFI_IFR_TYPE_VALUE* Value;
  EFI_BROWSER_ACTION_REQUEST* ActionRequest;  // may be null
};
static_assert(offsetof(CALLBACK_PARAMETERS, Action) == 8);
static_assert(offsetof(CALLBACK_PARAMETERS, QuestionId) == 16);
static_assert(offsetof(CALLBACK_PARAMETERS, Type) == 18);
static_assert(offsetof(CALLBACK_PARAMETERS, Value) == 24);
static_assert(offsetof(CALLBACK_PARAMETERS, ActionRequest) == 32);
static_assert(sizeof(CALLBACK_PARAMETERS) == 40);

// Returning EFI_UNSUPPORTED declines the question; the search goes on.
typedef EFI_STATUS(EFIAPI* ITEM_CALLBACK)(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);

// One row of an item callback list; a list ends at the first null Handler.
struct ITEM_CALLBACK_ENTRY {
  UINT16 Class;
  UINT16 SubClass;
  UINT16 Key;
  UINT16 Reserved;
  ITEM_CALLBACK Handler;
};
static_assert(offsetof(ITEM_CALLBACK_ENTRY, Key) == 4);
static_assert(offsetof(ITEM_CALLBACK_ENTRY, Handler) == 8);
static_assert(sizeof(ITEM_CALLBACK_ENTRY) == 16);

struct CALLBACK_REGISTRY_PROTOCOL {
  static constexpr EFI_GUID Guid = {0xC528AA1C, 0x4011, 0x42EE, {0xA5, 0x51, 0x52, 0x38, 0xB8, 0xFB, 0x5A, 0x9F}};

  // Registration receives the token for UnregisterItemCallback.
  using RegisterItemCallbackFn = EFI_STATUS(EFIAPI*)(UINT16 Class, UINT16 SubClass, UINT16 Key, ITEM_CALLBACK Handler,
                                                     VOID** Registration);
  using UnregisterItemCallbackFn = EFI_STATUS(EFIAPI*)(VOID* Registration);
  // Size in bytes, 16 per entry, in registration order.
  using ListItemCallbacksFn = EFI_STATUS(EFIAPI*)(UINTN* Size, ITEM_CALLBACK_ENTRY* Buffer);
  // Null outside a browser callback.
  using GetCurrentCallbackParametersFn = EFI_STATUS(EFIAPI*)(CALLBACK_PARAMETERS** Parameters);

  RegisterItemCallbackFn RegisterItemCallback;
  UnregisterItemCallbackFn UnregisterItemCallback;
  ListItemCallbacksFn ListItemCallbacks;
  GetCurrentCallbackParametersFn GetCurrentCallbackParameters;
};
static_assert(offsetof(CALLBACK_REGISTRY_PROTOCOL, UnregisterItemCallback) == 8);
static_assert(offsetof(CALLBACK_REGISTRY_PROTOCOL, ListItemCallbacks) == 16);
static_assert(offsetof(CALLBACK_REGISTRY_PROTOCOL, GetCurrentCallbackParameters) == 24);
static_assert(sizeof(CALLBACK_REGISTRY_PROTOCOL) == 32);
