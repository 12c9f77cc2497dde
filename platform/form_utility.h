// The firmware framework's form utility service, as the drivers call it,
// and the form-set table row it fills in while publishing form sets.
#pragma once

#include "uefi/base.h"

struct EFI_HII_CONFIG_ACCESS_PROTOCOL;

// The board's setup browser sends this action (beyond the UEFI ones) to have
// a page's strings redrawn from the current settings; nothing is changed by it.
constexpr UINTN BROWSER_ACTION_REFRESH = 10;

// One row of a driver's form-set table. The service publishes the package
// list named by PackageListGuid, writes its HII handle here and installs
// ConfigAccess for the form set.
struct FORM_SET_INFO {
  const EFI_GUID* PackageListGuid;
  EFI_HII_CONFIG_ACCESS_PROTOCOL* ConfigAccess;
  UINT16 Class;
  UINT16 SubClass;
  EFI_HII_HANDLE HiiHandle;
};
static_assert(offsetof(FORM_SET_INFO, ConfigAccess) == 8);
static_assert(offsetof(FORM_SET_INFO, Class) == 16);
static_assert(offsetof(FORM_SET_INFO, SubClass) == 18);
static_assert(offsetof(FORM_SET_INFO, HiiHandle) == 24);
static_assert(sizeof(FORM_SET_INFO) == 32);

typedef VOID(EFIAPI* FORM_SET_LOADED_CALLBACK)(EFI_HII_HANDLE HiiHandle, FORM_SET_INFO* FormSetInfo);

struct FORM_UTILITY_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x67B5787C, 0x0E6A, 0x4796, {0x94, 0x3E, 0xA0, 0x93, 0xB7, 0x3A, 0x02, 0x67}};

  using LoadResourcesFn = EFI_STATUS(EFIAPI*)(EFI_HANDLE ImageHandle, UINTN Count, FORM_SET_INFO* Table,
                                              FORM_SET_LOADED_CALLBACK Callback);
  using GetBrowserDataFn = EFI_STATUS(EFIAPI*)(UINTN* Size, VOID* Buffer, const EFI_GUID* VariableGuid,
                                               const CHAR16* VariableName);
  using SetBrowserDataFn = EFI_STATUS(EFIAPI*)(UINTN Size, VOID* Buffer, const EFI_GUID* VariableGuid,
                                               const CHAR16* VariableName);
  using GetHiiStringFn = EFI_STATUS(EFIAPI*)(EFI_HII_HANDLE HiiHandle, EFI_STRING_ID StringId, UINTN* Size,
                                             CHAR16* Buffer);
  using SetHiiStringFn = EFI_STATUS(EFIAPI*)(EFI_HII_HANDLE HiiHandle, EFI_STRING_ID StringId,
                                             const CHAR16* Text);

  LoadResourcesFn LoadResources;  // slot 0
  VOID* Reserved1;                // slots 1 and 2 are not called by these drivers
  VOID* Reserved2;
  GetBrowserDataFn GetBrowserData;  // slot 3
  SetBrowserDataFn SetBrowserData;  // slot 4
  GetHiiStringFn GetHiiString;      // slot 5
  SetHiiStringFn SetHiiString;      // slot 6
};
static_assert(offsetof(FORM_UTILITY_PROTOCOL, GetBrowserData) == 3 * 8);
static_assert(offsetof(FORM_UTILITY_PROTOCOL, SetHiiString) == 6 * 8);
static_assert(sizeof(FORM_UTILITY_PROTOCOL) == 7 * 8);
