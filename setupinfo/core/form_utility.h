// The form utility service as this driver calls it: each wrapper locates the
// service on first use and keeps it; while it is missing the wrapper returns
// EFI_UNSUPPORTED and the next call looks again.
#pragma once

#include "platform/form_utility.h"

EFI_STATUS LoadResources(EFI_HANDLE ImageHandle, UINTN Count, FORM_SET_INFO* Table, FORM_SET_LOADED_CALLBACK Callback);
EFI_STATUS GetBrowserData(UINTN* Size, VOID* Buffer, const EFI_GUID* VariableGuid, const CHAR16* VariableName);
EFI_STATUS SetBrowserData(UINTN Size, VOID* Buffer, const EFI_GUID* VariableGuid, const CHAR16* VariableName);
EFI_STATUS GetHiiString(EFI_HII_HANDLE HiiHandle, EFI_STRING_ID StringId, UINTN* Size, CHAR16* Buffer);
EFI_STATUS SetHiiString(EFI_HII_HANDLE HiiHandle, EFI_STRING_ID StringId, const CHAR16* Text);
