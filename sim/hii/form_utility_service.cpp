#include "sim/hii/form_utility_service.h"

#include <cstring>

#include "forms/form_packages.h"
#include "sim/hii/hii_database.h"
#include "sim/hii/setup_browser.h"

namespace sim {

FormUtilityService* FormUtilityService::Active = nullptr;

FormUtilityService::FormUtilityService(EFI_SYSTEM_TABLE* SystemTable) : SystemTable_(SystemTable) {
  Protocol_.LoadResources = LoadResourcesEntry;
  Protocol_.GetBrowserData = GetBrowserDataEntry;
  Protocol_.SetBrowserData = SetBrowserDataEntry;
  Protocol_.GetHiiString = GetHiiStringEntry;
  Protocol_.SetHiiString = SetHiiStringEntry;
}

// Boot services may be gone already; see HiiDatabase's destructor.
FormUtilityService::~FormUtilityService() {
  if (Active == this) Active = nullptr;
}

EFI_STATUS FormUtilityService::Install() {
  if (Handle_ != nullptr) return EFI_ALREADY_STARTED;
  EFI_HANDLE handle = nullptr;
  EFI_STATUS status = SystemTable_->BootServices->InstallProtocolInterface(&handle, &FORM_UTILITY_PROTOCOL::Guid,
                                                                           EFI_NATIVE_INTERFACE, &Protocol_);
  if (EFI_ERROR(status)) return status;
  Handle_ = handle;
  Active = this;
  return EFI_SUCCESS;
}

EFI_STATUS FormUtilityService::Uninstall() {
  if (Handle_ == nullptr) return EFI_NOT_STARTED;
  EFI_STATUS status =
      SystemTable_->BootServices->UninstallProtocolInterface(Handle_, &FORM_UTILITY_PROTOCOL::Guid, &Protocol_);
  if (EFI_ERROR(status)) return status;
  Handle_ = nullptr;
  if (Active == this) Active = nullptr;
  return EFI_SUCCESS;
}

void FormUtilityService::AddResource(const EFI_GUID& Guid, std::vector<UINT8> PackageList) {
  for (auto& r : Resources_) {
    if (r.first == Guid) {
      r.second = std::move(PackageList);
      return;
    }
  }
  Resources_.emplace_back(Guid, std::move(PackageList));
}

const FormUtilityService::FormSet* FormUtilityService::FindFormSet(UINT16 Class) const {
  for (const auto& f : FormSets_)
    if (f.Class == Class && f.HiiHandle != nullptr) return &f;
  return nullptr;
}

const FormUtilityService::FormSet* FormUtilityService::FindFormSet(EFI_HII_HANDLE HiiHandle) const {
  if (HiiHandle == nullptr) return nullptr;
  for (const auto& f : FormSets_)
    if (f.HiiHandle == HiiHandle) return &f;
  return nullptr;
}

EFI_HII_DATABASE_PROTOCOL* FormUtilityService::Database() const {
  VOID* interface = nullptr;
  if (EFI_ERROR(SystemTable_->BootServices->LocateProtocol(&EFI_HII_DATABASE_PROTOCOL::Guid, nullptr, &interface)))
    return nullptr;
  return (EFI_HII_DATABASE_PROTOCOL*)interface;
}

EFI_HII_STRING_PROTOCOL* FormUtilityService::Strings() const {
  VOID* interface = nullptr;
  if (EFI_ERROR(SystemTable_->BootServices->LocateProtocol(&EFI_HII_STRING_PROTOCOL::Guid, nullptr, &interface)))
    return nullptr;
  return (EFI_HII_STRING_PROTOCOL*)interface;
}

// One form set: its Config Access goes on a new handle first, so that the
// package list can name that handle as its driver handle (the way a browser
// finds a form set's Config Access). A failure undoes the installation.
EFI_STATUS FormUtilityService::Publish(FORM_SET_INFO& Entry) {
  const UINT8* data = nullptr;
  for (const auto& r : Resources_) {
    if (Entry.PackageListGuid != nullptr && r.first == *Entry.PackageListGuid) {
      data = r.second.data();
      if (r.second.size() < sizeof(EFI_HII_PACKAGE_LIST_HEADER) ||
          ((const EFI_HII_PACKAGE_LIST_HEADER*)data)->PackageLength > r.second.size())
        return EFI_INVALID_PARAMETER;  // a resource that does not hold what its header claims
    }
  }
  if (data == nullptr) {
    const FORM_PACKAGE* package = FindFormPackage(Entry.PackageListGuid);
    if (package == nullptr) return EFI_NOT_FOUND;
    data = package->Data;
  }
  EFI_HII_DATABASE_PROTOCOL* database = Database();
  if (database == nullptr) return EFI_NOT_READY;

  EFI_BOOT_SERVICES* bs = SystemTable_->BootServices;
  EFI_HANDLE driverHandle = nullptr;
  if (Entry.ConfigAccess != nullptr) {
    EFI_STATUS status = bs->InstallProtocolInterface(&driverHandle, &EFI_HII_CONFIG_ACCESS_PROTOCOL::Guid,
                                                     EFI_NATIVE_INTERFACE, Entry.ConfigAccess);
    if (EFI_ERROR(status)) return status;
  }
  EFI_HII_HANDLE hiiHandle = nullptr;
  EFI_STATUS status =
      database->NewPackageList(database, (const EFI_HII_PACKAGE_LIST_HEADER*)data, driverHandle, &hiiHandle);
  if (EFI_ERROR(status)) {
    if (driverHandle != nullptr)
      bs->UninstallProtocolInterface(driverHandle, &EFI_HII_CONFIG_ACCESS_PROTOCOL::Guid, Entry.ConfigAccess);
    return status;
  }
  Entry.HiiHandle = hiiHandle;
  FormSets_.push_back({*Entry.PackageListGuid, Entry.Class, Entry.SubClass, hiiHandle, driverHandle, Entry.ConfigAccess});
  return EFI_SUCCESS;
}

// Every entry is tried. An entry whose package list cannot be published
// (unknown GUID, malformed list, GUID already in the database) keeps a null
// HII handle, gets no Config Access and no callback; the first such failure
// is the status returned.
EFI_STATUS FormUtilityService::LoadResources(EFI_HANDLE ImageHandle, UINTN Count, FORM_SET_INFO* Table,
                                             FORM_SET_LOADED_CALLBACK Callback) {
  ++Calls_.LoadResources;
  if (Count != 0 && Table == nullptr) return EFI_INVALID_PARAMETER;
  EFI_STATUS result = EFI_SUCCESS;
  for (UINTN i = 0; i < Count; ++i) {
    FORM_SET_INFO& entry = Table[i];
    entry.HiiHandle = nullptr;
    EFI_STATUS status = entry.PackageListGuid == nullptr ? EFI_INVALID_PARAMETER : Publish(entry);
    if (EFI_ERROR(status)) {
      if (!EFI_ERROR(result)) result = status;
      continue;
    }
    if (Callback != nullptr) Callback(entry.HiiHandle, &entry);
  }
  return result;
}

std::string FormUtilityService::CurrentLanguage(EFI_HII_HANDLE HiiHandle) const {
  EFI_HII_STRING_PROTOCOL* strings = Strings();
  if (strings == nullptr) return {};
  UINTN size = 0;
  if (strings->GetLanguages(strings, HiiHandle, nullptr, &size) != EFI_BUFFER_TOO_SMALL) return {};
  std::string list(size, '\0');
  if (EFI_ERROR(strings->GetLanguages(strings, HiiHandle, list.data(), &size))) return {};
  list.resize(list.find('\0'));

  std::vector<std::string> languages;
  for (size_t start = 0; start <= list.size();) {
    size_t cut = list.find(';', start);
    if (cut == std::string::npos) cut = list.size();
    if (cut > start) languages.push_back(list.substr(start, cut - start));
    start = cut + 1;
  }
  if (languages.empty()) return {};

  char platformLang[64] = {};
  UINTN langSize = sizeof(platformLang) - 1;
  EFI_STATUS status = SystemTable_->RuntimeServices->GetVariable(u"PlatformLang", &EFI_GLOBAL_VARIABLE_GUID, nullptr,
                                                                 &langSize, platformLang);
  if (!EFI_ERROR(status)) {
    std::string wanted(platformLang, strnlen(platformLang, langSize));
    for (const auto& l : languages)
      if (SameLanguage(l, wanted)) return l;
  }
  for (const auto& l : languages)
    if (SameLanguage(l, "en-US")) return l;
  return languages.front();
}

// While the browser is closed there is no working copy: a read answers from
// the stored variable, and a write has nowhere to go (EFI_NOT_READY).
EFI_STATUS FormUtilityService::GetBrowserData(UINTN* Size, VOID* Buffer, const EFI_GUID* VariableGuid,
                                              const CHAR16* VariableName) {
  ++Calls_.GetBrowserData;
  if (Size == nullptr || VariableGuid == nullptr || VariableName == nullptr) return EFI_INVALID_PARAMETER;
  if (Browser_ != nullptr && Browser_->IsOpen()) return Browser_->GetData(Size, Buffer, VariableGuid, VariableName);
  return SystemTable_->RuntimeServices->GetVariable(VariableName, VariableGuid, nullptr, Size, Buffer);
}

EFI_STATUS FormUtilityService::SetBrowserData(UINTN Size, const VOID* Buffer, const EFI_GUID* VariableGuid,
                                              const CHAR16* VariableName) {
  ++Calls_.SetBrowserData;
  if (VariableGuid == nullptr || VariableName == nullptr) return EFI_INVALID_PARAMETER;
  if (Browser_ == nullptr || !Browser_->IsOpen()) return EFI_NOT_READY;
  return Browser_->SetData(Size, Buffer, VariableGuid, VariableName);
}

EFI_STATUS FormUtilityService::GetHiiString(EFI_HII_HANDLE HiiHandle, EFI_STRING_ID StringId, UINTN* Size,
                                            CHAR16* Buffer) {
  ++Calls_.GetHiiString;
  if (Size == nullptr) return EFI_INVALID_PARAMETER;
  EFI_HII_STRING_PROTOCOL* strings = Strings();
  if (strings == nullptr) return EFI_NOT_READY;
  std::string language = CurrentLanguage(HiiHandle);
  if (language.empty()) return EFI_NOT_FOUND;
  return strings->GetString(strings, language.c_str(), HiiHandle, StringId, Buffer, Size, nullptr);
}

EFI_STATUS FormUtilityService::SetHiiString(EFI_HII_HANDLE HiiHandle, EFI_STRING_ID StringId, const CHAR16* Text) {
  ++Calls_.SetHiiString;
  if (Text == nullptr) return EFI_INVALID_PARAMETER;
  EFI_HII_STRING_PROTOCOL* strings = Strings();
  if (strings == nullptr) return EFI_NOT_READY;
  std::string language = CurrentLanguage(HiiHandle);
  if (language.empty()) return EFI_NOT_FOUND;
  return strings->SetString(strings, HiiHandle, StringId, language.c_str(), Text, nullptr);
}

// ---- Protocol slots -----------------------------------------------------------

EFI_STATUS EFIAPI FormUtilityService::LoadResourcesEntry(EFI_HANDLE ImageHandle, UINTN Count, FORM_SET_INFO* Table,
                                                         FORM_SET_LOADED_CALLBACK Callback) {
  return Active == nullptr ? EFI_NOT_READY : Active->LoadResources(ImageHandle, Count, Table, Callback);
}

EFI_STATUS EFIAPI FormUtilityService::GetBrowserDataEntry(UINTN* Size, VOID* Buffer, const EFI_GUID* VariableGuid,
                                                          const CHAR16* VariableName) {
  return Active == nullptr ? EFI_NOT_READY : Active->GetBrowserData(Size, Buffer, VariableGuid, VariableName);
}

EFI_STATUS EFIAPI FormUtilityService::SetBrowserDataEntry(UINTN Size, VOID* Buffer, const EFI_GUID* VariableGuid,
                                                          const CHAR16* VariableName) {
  return Active == nullptr ? EFI_NOT_READY : Active->SetBrowserData(Size, Buffer, VariableGuid, VariableName);
}

EFI_STATUS EFIAPI FormUtilityService::GetHiiStringEntry(EFI_HII_HANDLE HiiHandle, EFI_STRING_ID StringId, UINTN* Size,
                                                        CHAR16* Buffer) {
  return Active == nullptr ? EFI_NOT_READY : Active->GetHiiString(HiiHandle, StringId, Size, Buffer);
}

EFI_STATUS EFIAPI FormUtilityService::SetHiiStringEntry(EFI_HII_HANDLE HiiHandle, EFI_STRING_ID StringId,
                                                        const CHAR16* Text) {
  return Active == nullptr ? EFI_NOT_READY : Active->SetHiiString(HiiHandle, StringId, Text);
}

}  // namespace sim
