// The firmware framework's form utility service: publishes a driver's form
// sets (package list, Config Access, HII handle), answers the browser-data
// and HII-string calls of the drivers.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/form_utility.h"
#include "uefi/hii.h"
#include "uefi/system_table.h"

namespace sim {

class SetupBrowser;

class FormUtilityService {
 public:
  // What LoadResources did for one form set. The record outlives a removal
  // of the package list, so the browser still reaches the form set's
  // Config Access through it.
  struct FormSet {
    EFI_GUID Guid{};
    UINT16 Class = 0;
    UINT16 SubClass = 0;
    EFI_HII_HANDLE HiiHandle = nullptr;
    EFI_HANDLE DriverHandle = nullptr;  // carries the Config Access instance
    EFI_HII_CONFIG_ACCESS_PROTOCOL* ConfigAccess = nullptr;
  };

  struct CallCounts {
    UINTN LoadResources = 0;
    UINTN GetBrowserData = 0;
    UINTN SetBrowserData = 0;
    UINTN GetHiiString = 0;
    UINTN SetHiiString = 0;
  };

  explicit FormUtilityService(EFI_SYSTEM_TABLE* SystemTable);
  ~FormUtilityService();
  FormUtilityService(const FormUtilityService&) = delete;
  FormUtilityService& operator=(const FormUtilityService&) = delete;

  void AttachBrowser(SetupBrowser* Browser) { Browser_ = Browser; }

  // The protocol's slots carry no This, so one service answers at a time:
  // the one installed last.
  EFI_STATUS Install();
  // Takes the service out of the handle database (a board without it).
  EFI_STATUS Uninstall();
  bool Installed() const { return Handle_ != nullptr; }
  FORM_UTILITY_PROTOCOL* Protocol() { return &Protocol_; }

  // A package list found by GUID before the compiled form packages.
  void AddResource(const EFI_GUID& Guid, std::vector<UINT8> PackageList);

  const std::vector<FormSet>& FormSets() const { return FormSets_; }
  const FormSet* FindFormSet(UINT16 Class) const;
  const FormSet* FindFormSet(EFI_HII_HANDLE HiiHandle) const;

  // The language GetHiiString and SetHiiString work in for a package list:
  // "PlatformLang" when the list carries it, else en-US, else its first.
  // Empty when the list has no languages.
  std::string CurrentLanguage(EFI_HII_HANDLE HiiHandle) const;

  const CallCounts& Calls() const { return Calls_; }

  EFI_STATUS LoadResources(EFI_HANDLE ImageHandle, UINTN Count, FORM_SET_INFO* Table,
                           FORM_SET_LOADED_CALLBACK Callback);
  EFI_STATUS GetBrowserData(UINTN* Size, VOID* Buffer, const EFI_GUID* VariableGuid, const CHAR16* VariableName);
  EFI_STATUS SetBrowserData(UINTN Size, const VOID* Buffer, const EFI_GUID* VariableGuid,
                            const CHAR16* VariableName);
  EFI_STATUS GetHiiString(EFI_HII_HANDLE HiiHandle, EFI_STRING_ID StringId, UINTN* Size, CHAR16* Buffer);
  EFI_STATUS SetHiiString(EFI_HII_HANDLE HiiHandle, EFI_STRING_ID StringId, const CHAR16* Text);

 private:
  static EFI_STATUS EFIAPI LoadResourcesEntry(EFI_HANDLE ImageHandle, UINTN Count, FORM_SET_INFO* Table,
                                              FORM_SET_LOADED_CALLBACK Callback);
  static EFI_STATUS EFIAPI GetBrowserDataEntry(UINTN* Size, VOID* Buffer, const EFI_GUID* VariableGuid,
                                               const CHAR16* VariableName);
  static EFI_STATUS EFIAPI SetBrowserDataEntry(UINTN Size, VOID* Buffer, const EFI_GUID* VariableGuid,
                                               const CHAR16* VariableName);
  static EFI_STATUS EFIAPI GetHiiStringEntry(EFI_HII_HANDLE HiiHandle, EFI_STRING_ID StringId, UINTN* Size,
                                             CHAR16* Buffer);
  static EFI_STATUS EFIAPI SetHiiStringEntry(EFI_HII_HANDLE HiiHandle, EFI_STRING_ID StringId, const CHAR16* Text);

  EFI_STATUS Publish(FORM_SET_INFO& Entry);
  EFI_HII_DATABASE_PROTOCOL* Database() const;
  EFI_HII_STRING_PROTOCOL* Strings() const;

  static FormUtilityService* Active;

  EFI_SYSTEM_TABLE* SystemTable_;
  SetupBrowser* Browser_ = nullptr;
  EFI_HANDLE Handle_ = nullptr;
  FORM_UTILITY_PROTOCOL Protocol_{};
  std::vector<std::pair<EFI_GUID, std::vector<UINT8>>> Resources_;
  std::vector<FormSet> FormSets_;
  CallCounts Calls_;
};

}  // namespace sim
