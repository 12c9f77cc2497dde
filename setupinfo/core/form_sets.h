// Publishing the nine form sets through the form utility service, and the
// page-string initialisers run for each of them.
#pragma once

#include "platform/form_utility.h"

VOID EFIAPI LoadFormSets(EFI_EVENT Event, VOID* Context);
VOID EFIAPI FormSetLoaded(EFI_HII_HANDLE HiiHandle, FORM_SET_INFO* FormSetInfo);
void RunPageStringInitialisers(EFI_HII_HANDLE HiiHandle, UINT16 Class);
