#include "setupinfo/core/form_utility.h"

#include "lib/firmware_services.h"
#include "setupinfo/core/core_state.h"

namespace {
FORM_UTILITY_PROTOCOL* Service() { return LocateOnce(CoreState().FormUtility); }
}  // namespace

EFI_STATUS LoadResources(EFI_HANDLE ImageHandle, UINTN Count, FORM_SET_INFO* Table, FORM_SET_LOADED_CALLBACK Callback) {
  FORM_UTILITY_PROTOCOL* Utility = Service();
  if (Utility == nullptr) return EFI_UNSUPPORTED;
  return Utility->LoadResources(ImageHandle, Count, Table, Callback);
}

EFI_STATUS GetBrowserData(UINTN* Size, VOID* Buffer, const EFI_GUID* VariableGuid, const CHAR16* VariableName) {
  FORM_UTILITY_PROTOCOL* Utility = Service();
  if (Utility == nullptr) return EFI_UNSUPPORTED;
  return Utility->GetBrowserData(Size, Buffer, VariableGuid, VariableName);
}

EFI_STATUS SetBrowserData(UINTN Size, VOID* Buffer, const EFI_GUID* VariableGuid, const CHAR16* VariableName) {
  FORM_UTILITY_PROTOCOL* Utility = Service();
  if (Utility == nullptr) return EFI_UNSUPPORTED;
  return Utility->SetBrowserData(Size, Buffer, VariableGuid, VariableName);
}

EFI_STATUS GetHiiString(EFI_HII_HANDLE HiiHandle, EFI_STRING_ID StringId, UINTN* Size, CHAR16* Buffer) {
  FORM_UTILITY_PROTOCOL* Utility = Service();
  if (Utility == nullptr) return EFI_UNSUPPORTED;
  return Utility->GetHiiString(HiiHandle, StringId, Size, Buffer);
}

EFI_STATUS SetHiiString(EFI_HII_HANDLE HiiHandle, EFI_STRING_ID StringId, const CHAR16* Text) {
  FORM_UTILITY_PROTOCOL* Utility = Service();
  if (Utility == nullptr) return EFI_UNSUPPORTED;
  return Utility->SetHiiString(HiiHandle, StringId, Text);
}
