#include "tools/boardsim/machine_boot.h"

#include <stdexcept>

#include "platform/graphics_output.h"
#include "platform/setup_load_trigger.h"
#include "setupinfo/core/entry.h"
#include "setupinfo/core/language_variables.h"
#include "setupinfo/core/setup_record.h"
#include "setupinfo/image_state.h"
#include "sim/hii/form_utility_service.h"
#include "sim/hii/hii_services.h"
#include "sim/hii/setup_browser.h"
#include "tools/boardsim/text_util.h"
#include "updatefetch/update_locator.h"

namespace boardsim {

BoardSession* BoardSession::Active = nullptr;

BoardSession::BoardSession(const sim::BoardProfile& Profile) {
  if (Active != nullptr) {
    throw std::logic_error("one board session at a time");
  }
  Machine_ = std::make_unique<sim::Machine>(Profile);
  Active = this;  // the images below reach the session through it
}

BoardSession::~BoardSession() {
  KeyRules_.reset();
  FileSystems_.reset();
  Machine_.reset();
  Active = nullptr;
}

sim::SetupBrowser& BoardSession::Browser() { return *Machine_->Hii().Browser; }
sim::FormUtilityService& BoardSession::Forms() { return *Machine_->Hii().Forms; }

void BoardSession::PresetLanguage(const std::string& Language) {
  std::vector<UINT8> Bytes(Language.begin(), Language.end());
  Bytes.push_back(0);
  Machine_->Variables().Put(PLATFORM_LANG_NAME, EFI_GLOBAL_VARIABLE_GUID,
                            EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS,
                            std::move(Bytes));
}

// boardsim's own image, loaded before the drivers at every boot. It stands
// for the platform's processor driver (both processor protocols, from the
// profile), its Super I/O driver (one handle per device), its chipset and
// SATA drivers (the south bridge version protocol, SbPlatformData and the
// drives' Disk Info), its NVMe driver (controllers and namespaces), its USB
// driver (the USB support protocol and UsbMassDevNum), the main page's
// components (board identity, component versions, action protocols, the
// resolution trigger), the variable service's
// Secure Boot key rules and the firmware volume of default key files, and it
// keeps a copy of each package list the setup
// driver removes, so that page can still be shown; the drivers cannot tell.
EFI_STATUS EFIAPI BoardSession::PlatformEntry(EFI_HANDLE, EFI_SYSTEM_TABLE* SystemTable) {
  BoardSession* Self = Active;
  Self->Processor_ = std::make_unique<sim::ProcessorPeers>(Self->Machine_->Profile().Processor);
  if (Self->AtLoad("processor")) {
    Self->Processor_->InstallInformation(SystemTable->BootServices);
    Self->Processor_->InstallTopology(SystemTable->BootServices);
  }
  // The platform's Super I/O driver: one handle per device.
  Self->SuperIo_ = std::make_unique<sim::SuperIoPeers>(Self->Machine_->Profile().SuperIoDriver);
  if (Self->AtLoad("super-io")) Self->SuperIo_->Install(SystemTable->BootServices);
  Self->SouthBridge_ = std::make_unique<sim::SouthBridgePeer>(Self->Machine_->Profile().SouthBridge);
  if (Self->AtLoad("south-bridge")) Self->SouthBridge_->InstallVersion(SystemTable->BootServices);
  Self->SouthBridge_->WritePlatformData(SystemTable->RuntimeServices);
  Self->SataDrives_ = std::make_unique<sim::SataDrivePeers>(Self->Machine_->Profile().SataDrives);
  if (Self->AtLoad("sata-drives")) Self->SataDrives_->InstallAll(SystemTable->BootServices);
  // The message box service, answering from the profile's script.
  Self->MessageBox_ = std::make_unique<sim::MessageBoxPeer>(Self->Machine_->Profile().MessageBox);
  // A box that asks with no answer queued is not guessed at unless the
  // profile gives an answer for that case.
  Self->MessageBox_->Strict = !Self->Machine_->Profile().MessageBox.EmptyAnswerGiven;
  if (Self->AtLoad("message-box")) Self->MessageBox_->Install(SystemTable->BootServices);
  // The clock generator's driver: clock control, its setup variable and
  // the boot-phase record.
  Self->Clocks_ = std::make_unique<sim::ClockControlPeer>(Self->Machine_->Profile().Clocks);
  if (!Self->Machine_->Profile().Clocks.Late && Self->AtLoad("clocks")) Self->InstallClocks();
  Self->BootPhase_ = std::make_unique<sim::BootPhasePeer>(Self->Machine_->Profile().Clocks);
  if (Self->AtLoad("boot-phase")) Self->BootPhase_->Install(SystemTable->BootServices);
  // The memory initialisation's protocols and the compatibility module.
  Self->Memory_ = std::make_unique<sim::MemoryPeers>(Self->Machine_->Profile().Memory);
  if (Self->AtLoad("memory")) Self->Memory_->InstallPresent(SystemTable->BootServices);
  // The graphics stack: each display controller with its driver and outputs.
  Self->Graphics_ = std::make_unique<sim::GraphicsPeers>(Self->Machine_->Profile().Graphics, Self->Machine_->Board());
  if (Self->AtLoad("graphics")) Self->Graphics_->Install(SystemTable->BootServices);
  // The NVMe driver with its controllers and namespaces.
  Self->Nvme_.reset();
  if (const auto& Nvme = Self->Machine_->Profile().Nvme) {
    Self->Nvme_ = std::make_unique<sim::NvmePeers>(Self->Machine_->Board(), *Nvme);
    if (Self->AtLoad("nvme")) Self->Nvme_->Install(SystemTable->BootServices);
  }
  // The network drivers; their calls join the board's device call log.
  Self->Network_ = std::make_unique<sim::NetworkPeers>(Self->Machine_->Profile().Network);
  if (Self->Graphics_) Self->Network_->Transcript = &Self->Graphics_->Calls;
  if (Self->AtLoad("network")) Self->Network_->InstallPresent(SystemTable);
  // The main page's components: board identity, component versions, the
  // action protocols (their calls join the device call log) and, once the
  // drivers have loaded, the display's resolution trigger.
  Self->MainPage_.reset();
  Self->MainPage_ = std::make_unique<sim::MainPagePeers>(Self->Machine_->Profile().MainPage,
                                                         Self->Machine_->Profile().Update.ModelName);
  if (Self->Graphics_) Self->MainPage_->Transcript = &Self->Graphics_->Calls;
  if (Self->AtLoad("main-page")) Self->MainPage_->InstallPresent(SystemTable->BootServices);
  // The variable service's rules for the Secure Boot keys, and the firmware
  // volume with the default key files.
  Self->KeyVolume_.reset();
  if (const auto& SecureBoot = Self->Machine_->Profile().SecureBoot) {
    if (!Self->KeyRules_) {
      Self->KeyRules_ = std::make_unique<sim::SecureBootVariablePeer>(Self->Machine_->Variables(), *SecureBoot);
      Self->KeyRules_->EnrollProfileKeys();
    } else {
      Self->KeyRules_->PublishState();
    }
    if (SecureBoot->FirmwareVolumePresent) {
      Self->KeyVolume_ = std::make_unique<sim::FirmwareVolumePeer>(*SecureBoot);
      if (Self->AtLoad("key-volume")) Self->KeyVolume_->Install(SystemTable->BootServices);
    }
  }
  // The USB driver: its variable at once, its protocol now or once loaded.
  Self->Usb_.reset();
  if (const auto& Usb = Self->Machine_->Profile().Usb) {
    Self->Usb_ = std::make_unique<sim::UsbSupportPeer>(*Usb);
    Self->Usb_->WriteMassDevNum(SystemTable->RuntimeServices);
    if (!Usb->Late && Self->AtLoad("usb")) Self->Usb_->Install(SystemTable->BootServices);
  }
  // The profile storage protocol over this boot's browser, and the stores
  // the board's form sets declare for profiles.
  Self->ProfileStorage_.reset();
  if (const auto& Storage = Self->Machine_->Profile().ProfileStorage) {
    Self->ProfileStorage_ = std::make_unique<sim::ProfileStoragePeer>(*Storage);
    Self->ProfileStorage_->DeclareStores();
    if (Self->AtLoad("profile-storage")) Self->ProfileStorage_->Install(SystemTable->BootServices);
  }
  // The SATA driver; it calls the setup driver's protocol once that is there.
  Self->SataPort_.reset();
  if (const auto& Sata = Self->Machine_->Profile().SataPortDriver) {
    Self->SataPort_ = std::make_unique<sim::SataPortDriverPeer>(*Sata);
    if (Self->Graphics_) Self->SataPort_->Transcript = &Self->Graphics_->Calls;
  }
  // The preset provider and the forwarders; their calls join the device call log.
  Self->Presets_ = std::make_unique<sim::PresetPeers>(Self->Machine_->Profile().Presets);
  if (Self->Graphics_) Self->Presets_->Transcript = &Self->Graphics_->Calls;
  if (Self->AtLoad("presets")) Self->Presets_->InstallPresent(SystemTable);
  // Simple-file-system volumes: removable media keep their files across boots.
  if (!Self->FileSystems_) Self->FileSystems_ = std::make_unique<sim::FileSystemPeers>(Self->Machine_->Profile().FileVolumes);
  if (Self->AtLoad("file-systems")) Self->FileSystems_->Install(SystemTable->BootServices);
  Self->Removed_.clear();
  EFI_HII_DATABASE_PROTOCOL* Database = Self->Machine_->Hii().Database->DatabaseProtocol();
  if (Database->RemovePackageList != RemovePackageListObserved) {
    Self->OriginalRemove_ = Database->RemovePackageList;
    Database->RemovePackageList = RemovePackageListObserved;
  }
  if (Self->LogStrings) Self->ObserveStringWrites();
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI BoardSession::RemovePackageListObserved(const EFI_HII_DATABASE_PROTOCOL* This,
                                                          EFI_HII_HANDLE Handle) {
  BoardSession* Self = Active;
  if (const sim::HiiPackageList* List = Self->Machine_->Hii().Database->Find(Handle)) {
    Self->Removed_[Handle] = *List;
  }
  return Self->OriginalRemove_(This, Handle);
}

EFI_STATUS EFIAPI BoardSession::SetupInfoImage(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable) {
  Active->SetupInfoStatus_ = SetupInfoEntry(ImageHandle, SystemTable);
  return Active->SetupInfoStatus_;
}

EFI_STATUS EFIAPI BoardSession::UpdateFetchImage(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable) {
  Active->UpdateFetchStatus_ = UpdateFetchEntry(ImageHandle, SystemTable);
  return Active->UpdateFetchStatus_;
}

void BoardSession::InstallClocks() {
  if (!EFI_ERROR(Clocks_->Install(Machine_->BootServices())) && Machine_->Profile().Clocks.WriteSetupData)
    Clocks_->WriteSetupData(Machine_->RuntimeServices());
}

EFI_STATUS BoardSession::InstallTrigger() {
  // Stands for the firmware driver that asks for the setup pages.
  EFI_HANDLE Handle = nullptr;
  return Machine_->BootServices()->InstallProtocolInterface(&Handle, &SETUP_LOAD_TRIGGER_PROTOCOL::Guid,
                                                            EFI_NATIVE_INTERFACE, &TriggerInterface_);
}

BootRecord BoardSession::Boot() {
  BootRecord Record;
  Record.Number = ++Boots_;
  const size_t LogStart = Machine_->Variables().SetLog().size();
  Record.Deferred = Machine_->Variables().Find(PLATFORM_LAST_LANG_CODES_NAME, SETUP_VARIABLE_GUID) != nullptr;
  BeginBenchBoot();
  if (Record.Number == 1) {
    Machine_->LoadImage({"boardsim-platform", PlatformEntry, nullptr});
    Machine_->LoadImage({"setupinfo", SetupInfoImage, SetupInfoResetState});
    Machine_->LoadImage({"updatefetch", UpdateFetchImage, UpdateFetchResetState});
  } else {
    Machine_->Reboot();
  }
  Record.SetupInfoStatus = SetupInfoStatus_;
  Record.UpdateFetchStatus = UpdateFetchStatus_;
  if (Forms().FormSets().empty()) {
    Record.TriggerInstalled = true;
    InstallTrigger();
  }
  Record.FormSetsPublished = Forms().FormSets().size();
  // The advanced form set keeps the output flags beside Setup.
  Browser().AddStore(NB_GOP_PLATFORM_DATA_NAME, SETUP_VARIABLE_GUID);
  if (Machine_->Profile().Clocks.Late && AtLoad("clocks")) InstallClocks();
  if (Usb_ && Machine_->Profile().Usb->Late && AtLoad("usb")) Usb_->Install(Machine_->BootServices());
  if (Network_ && AtLoad("network")) Network_->InstallLate(Machine_->SystemTable());
  if (ProfileStorage_ && Machine_->Profile().ProfileStorage->Late && AtLoad("profile-storage"))
    ProfileStorage_->InstallLate(Machine_->BootServices());
  if (MainPage_ && AtLoad("main-page")) MainPage_->InstallLate(Machine_->BootServices());
  if (Presets_ && AtLoad("presets")) Presets_->InstallLate(Machine_->SystemTable());
  if (SataPort_ && !Machine_->Profile().SataPortDriver->Late) CallSataDriver();
  // The clock page's store, as the board's setup browser holds it.
  Browser().AddStore(ICC_ADVANCED_SETUP_DATA_NAME, ICC_SETUP_DATA_GUID);
  Browser().Open();
  if (Browser().StoreBytes(SETUP_VARIABLE_NAME, SETUP_VARIABLE_GUID) == nullptr) {
    // A board profile without the record: the browser starts from zeros, as
    // setup does on a board whose settings were never saved; saving writes it.
    Browser().CreateStore(SETUP_VARIABLE_NAME, SETUP_VARIABLE_GUID, std::vector<UINT8>(SETUP_RECORD_SIZE, 0),
                          SETUP_VARIABLE_ATTRIBUTES);
    Record.SetupStoreCreated = true;
  }
  const auto& Log = Machine_->Variables().SetLog();
  for (size_t I = LogStart; I < Log.size(); ++I) {
    const sim::VariableStore::LogEntry& E = Log[I];
    Record.VariablesWritten.push_back(
        VariableWrite{Utf8FromUcs2(E.Name), GuidText(E.Guid), E.Attributes, E.Data, E.Status});
  }
  Record.LanguageVariables = LanguageVariables();
  return Record;
}

std::vector<LanguageVariable> BoardSession::LanguageVariables() {
  static const struct {
    const CHAR16* Name;
    const EFI_GUID* Guid;
  } Names[] = {
      {PLATFORM_LANG_CODES_NAME, &EFI_GLOBAL_VARIABLE_GUID},
      {LANG_CODES_NAME, &EFI_GLOBAL_VARIABLE_GUID},
      {PLATFORM_LANG_NAME, &EFI_GLOBAL_VARIABLE_GUID},
      {LANG_NAME, &EFI_GLOBAL_VARIABLE_GUID},
      {PLATFORM_LAST_LANG_CODES_NAME, &SETUP_VARIABLE_GUID},
      {PLATFORM_LAST_LANG_NAME, &SETUP_VARIABLE_GUID},
  };
  std::vector<LanguageVariable> Out;
  for (const auto& N : Names) {
    LanguageVariable V;
    V.Name = Utf8FromUcs2(N.Name);
    V.Guid = GuidText(*N.Guid);
    if (const sim::VariableStore::Variable* Found = Machine_->Variables().Find(N.Name, *N.Guid)) {
      V.Present = true;
      V.Attributes = Found->Attributes;
      for (UINT8 B : Found->Data) {
        if (B == 0) {
          break;
        }
        V.Text += char(B);
      }
    }
    Out.push_back(std::move(V));
  }
  return Out;
}

FormSetPage BoardSession::Page(const PackagedFormSet& Packaged) {
  const sim::FormUtilityService::FormSet* Published = Forms().FindFormSet(Packaged.Class);
  if (Published == nullptr || Published->HiiHandle == nullptr) {
    return CapturePage(Packaged, nullptr, false);
  }
  // The form's questions show the browser's working copies.
  auto WithForm = [&](FormSetPage Page, const sim::HiiPackageList& List) {
    CaptureFormItems(Page, Packaged, List, [&](const sim::IfrStore& Store) {
      return Browser().StoreBytes(std::u16string(Store.Name.begin(), Store.Name.end()), Store.Guid);
    });
    return Page;
  };
  if (const sim::HiiPackageList* Live = Machine_->Hii().Database->Find(Published->HiiHandle)) {
    return WithForm(CapturePage(Packaged, Live, true), *Live);
  }
  auto Removed = Removed_.find(Published->HiiHandle);
  if (Removed != Removed_.end()) {
    return WithForm(CapturePage(Packaged, &Removed->second, false), Removed->second);
  }
  FormSetPage Page = CapturePage(Packaged, nullptr, false);
  Page.Published = true;  // removed before boardsim could copy it
  return Page;
}

std::string BoardSession::FormSetText(EFI_HII_HANDLE HiiHandle, uint16_t StringId) {
  const sim::HiiPackageList* List = Machine_->Hii().Database->Find(HiiHandle);
  if (List == nullptr) return "";
  const sim::HiiStringPackage* Package = List->FindLanguage(Forms().CurrentLanguage(HiiHandle).c_str());
  if (Package == nullptr) return "";
  auto It = Package->Strings.find(StringId);
  return It == Package->Strings.end() ? "" : Utf8FromUcs2(It->second);
}

EFI_STATUS BoardSession::InstallResolutionTrigger() {
  if (!MainPage_) return EFI_NOT_READY;
  return MainPage_->InstallResolutionTrigger(Machine_->BootServices());
}

std::vector<std::string> BoardSession::DeviceCalls() const {
  return Graphics_ ? Graphics_->Calls : std::vector<std::string>{};
}

size_t BoardSession::CallSataDriver() {
  return SataPort_ ? SataPort_->CallSetup(Machine_->BootServices()) : 0;
}

StringSnapshot BoardSession::Strings(const std::vector<PackagedFormSet>& FormSets) {
  StringSnapshot Snapshot;
  for (const PackagedFormSet& F : FormSets) {
    AddToSnapshot(Snapshot, Page(F));
  }
  return Snapshot;
}

}  // namespace boardsim
