// The question dispatcher shared by the nine Config Access instances.
#pragma once

#include "lib/util.h"
#include "platform/callback_registry.h"

EFI_STATUS EFIAPI SetupCallback(const EFI_HII_CONFIG_ACCESS_PROTOCOL* This, EFI_BROWSER_ACTION Action,
                                EFI_QUESTION_ID QuestionId, UINT8 Type, EFI_IFR_TYPE_VALUE* Value,
                                EFI_BROWSER_ACTION_REQUEST* ActionRequest);

// SetupCallback over a given static table (null-terminated): the registered
// entries are walked before it.
EFI_STATUS DispatchQuestion(const EFI_HII_CONFIG_ACCESS_PROTOCOL* This, EFI_BROWSER_ACTION Action,
                            EFI_QUESTION_ID QuestionId, UINT8 Type, EFI_IFR_TYPE_VALUE* Value,
                            EFI_BROWSER_ACTION_REQUEST* ActionRequest, Span<const ITEM_CALLBACK_ENTRY> StaticTable);

// The parameters of the browser callback in progress; null outside one, and
// null again once a nested callback has returned.
CALLBACK_PARAMETERS* GetCurrentCallbackParameters();
