// A machine with the setup driver: helpers to load it, read what it left in
// the variable store and the HII database, and reach its interfaces.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/callback_registry.h"
#include "platform/setup_load_trigger.h"
#include "setupinfo/core/setup_record.h"
#include "setupinfo/core/entry.h"
#include "setupinfo/image_state.h"
#include "sim/hii/form_utility_service.h"
#include "sim/hii/hii_database.h"
#include "sim/hii/setup_browser.h"
#include "sim/machine_test.h"


namespace setupinfo_test {

inline const sim::ImageDescriptor SETUP_INFO_IMAGE{"setupinfo", SetupInfoEntry, SetupInfoResetState};

class SetupInfoTest : public sim::MachineTest {
 protected:
  EFI_STATUS LoadDriver() { return M().LoadImage(SETUP_INFO_IMAGE); }

  sim::FormUtilityService& Forms() { return *M().Hii().Forms; }
  sim::HiiDatabase& Database() { return *M().Hii().Database; }
  sim::SetupBrowser& Browser() { return *M().Hii().Browser; }

  const sim::FormUtilityService::FormSet* PublishedFormSet(UINT16 Class) {
    for (auto& FormSet : Forms().FormSets())
      if (FormSet.Class == Class) return &FormSet;
    return nullptr;
  }
  EFI_HII_HANDLE FormSetHandle(UINT16 Class) {
    const auto* FormSet = PublishedFormSet(Class);
    return FormSet != nullptr ? FormSet->HiiHandle : nullptr;
  }

  // The driver's Config Access instance of a form set.
  const EFI_HII_CONFIG_ACCESS_PROTOCOL* Instance(UINT16 Class) {
    for (auto& Row : CoreState().ConfigAccess)
      if (Row.Class == Class) return &Row.Protocol;
    return nullptr;
  }

  // A string as its package list holds it in one language; "<none>" when absent.
  std::u16string HiiText(EFI_HII_HANDLE Handle, EFI_STRING_ID Id, const char* Language = "en-US") {
    const sim::HiiPackageList* List = Database().Find(Handle);
    if (List == nullptr) return u"<none>";
    const sim::HiiStringPackage* Package = List->FindLanguage(Language);
    if (Package == nullptr) return u"<none>";
    auto It = Package->Strings.find(Id);
    return It == Package->Strings.end() ? u"<none>" : It->second;
  }

  void SetHiiText(EFI_HII_HANDLE Handle, EFI_STRING_ID Id, const char* Language, const std::u16string& Text) {
    EFI_HII_STRING_PROTOCOL* Strings = Database().StringProtocol();
    ASSERT_EQ(Strings->SetString(Strings, Handle, Id, Language, Text.c_str(), nullptr), EFI_SUCCESS);
  }

  // Variables as bytes; a missing one gives "<none>".
  std::string Variable(const std::u16string& Name, const EFI_GUID& Guid) {
    const auto* V = M().Variables().Find(Name, Guid);
    return V == nullptr ? "<none>" : std::string(V->Data.begin(), V->Data.end());
  }
  std::string GlobalVariable(const std::u16string& Name) { return Variable(Name, EFI_GLOBAL_VARIABLE_GUID); }
  std::string SetupGuidVariable(const std::u16string& Name) { return Variable(Name, SETUP_VARIABLE_GUID); }

  void PutVariable(const std::u16string& Name, const EFI_GUID& Guid, const std::string& Bytes, UINT32 Attributes) {
    M().Variables().Put(Name, Guid, Attributes, std::vector<UINT8>(Bytes.begin(), Bytes.end()));
  }

  // Names written with SetVariable since the log was last cleared, in order.
  std::vector<std::u16string> WrittenNames() {
    std::vector<std::u16string> Names;
    for (auto& Entry : M().Variables().SetLog()) Names.push_back(Entry.Name);
    return Names;
  }

  // Takes the HII Database and HII String protocols out of the handle
  // database, and puts them back.
  void RemoveHiiProtocols() {
    ASSERT_EQ(BS()->UninstallProtocolInterface(Database().Handle(), &EFI_HII_STRING_PROTOCOL::Guid,
                                               Database().StringProtocol()),
              EFI_SUCCESS);
    ASSERT_EQ(BS()->UninstallProtocolInterface(Database().Handle(), &EFI_HII_DATABASE_PROTOCOL::Guid,
                                               Database().DatabaseProtocol()),
              EFI_SUCCESS);
  }
  void RestoreHiiProtocols() {
    EFI_HANDLE Handle = nullptr;
    ASSERT_EQ(BS()->InstallMultipleProtocolInterfaces(&Handle, &EFI_HII_DATABASE_PROTOCOL::Guid,
                                                      Database().DatabaseProtocol(), &EFI_HII_STRING_PROTOCOL::Guid,
                                                      Database().StringProtocol(), (VOID*)nullptr),
              EFI_SUCCESS);
  }

  EFI_STATUS InstallTrigger() {
    EFI_HANDLE Handle = nullptr;
    return BS()->InstallProtocolInterface(&Handle, &SETUP_LOAD_TRIGGER_PROTOCOL::Guid, EFI_NATIVE_INTERFACE, nullptr);
  }

  CALLBACK_REGISTRY_PROTOCOL* Registry() {
    VOID* Interface = nullptr;
    if (EFI_ERROR(BS()->LocateProtocol(&CALLBACK_REGISTRY_PROTOCOL::Guid, nullptr, &Interface))) return nullptr;
    return (CALLBACK_REGISTRY_PROTOCOL*)Interface;
  }
};

}  // namespace setupinfo_test
