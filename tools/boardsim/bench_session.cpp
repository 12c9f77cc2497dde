// The board session's test bench: peers held back for "install NAME",
// item callbacks registered as another driver would, and the string and
// port logs.
#include <algorithm>
#include <cstring>

#include "platform/callback_registry.h"
#include "sim/hii/form_utility_service.h"
#include "tools/boardsim/machine_boot.h"
#include "tools/boardsim/text_util.h"

namespace boardsim {

size_t BoardSession::FormSetsPublished() { return Forms().FormSets().size(); }

bool BoardSession::AtLoad(const std::string& Peer) const {
  const sim::PeerPresenceProfile& P = Machine_->Profile().Peers;
  return !P.IsAbsent(Peer) && !P.WaitsForAction(Peer);
}

std::optional<std::string> BoardSession::CheckPeerInstall(const std::string& Peer) const {
  const sim::BoardProfile& Profile = Machine_->Profile();
  const auto& Known = sim::BoardPeerNames();
  if (std::find(Known.begin(), Known.end(), Peer) == Known.end()) {
    std::string List;
    for (const auto& K : Known) List += (List.empty() ? "" : ", ") + K;
    return "unknown peer \"" + Peer + "\" (peers: " + List + ")";
  }
  if (!Profile.Peers.WaitsForAction(Peer))
    return "the profile does not hold " + Peer + " for this action (list it in peers.onAction)";
  // A peer whose section is missing has nothing to install.
  const bool Missing = (Peer == "nvme" && !Profile.Nvme) || (Peer == "usb" && !Profile.Usb) ||
                       (Peer == "profile-storage" && !Profile.ProfileStorage) ||
                       (Peer == "key-volume" && (!Profile.SecureBoot || !Profile.SecureBoot->FirmwareVolumePresent));
  if (Missing) return "the board has no " + Peer + " to install (its profile section is missing)";
  return std::nullopt;
}

EFI_STATUS BoardSession::InstallPeer(const std::string& Peer) {
  // Installed once per boot; the second time is the firmware's refusal.
  if (std::find(InstalledByAction_.begin(), InstalledByAction_.end(), Peer) != InstalledByAction_.end())
    return EFI_ALREADY_STARTED;
  InstalledByAction_.push_back(Peer);
  EFI_BOOT_SERVICES* Bs = Machine_->BootServices();
  EFI_SYSTEM_TABLE* St = Machine_->SystemTable();
  if (Peer == "processor") {
    EFI_STATUS S = Processor_->InstallInformation(Bs);
    return EFI_ERROR(S) ? S : Processor_->InstallTopology(Bs);
  }
  if (Peer == "super-io") return SuperIo_->Install(Bs);
  if (Peer == "south-bridge") return SouthBridge_->InstallVersion(Bs);
  if (Peer == "sata-drives") return SataDrives_->InstallAll(Bs);
  if (Peer == "message-box") return MessageBox_->Install(Bs);
  if (Peer == "clocks") {
    InstallClocks();
    return EFI_SUCCESS;
  }
  if (Peer == "boot-phase") return BootPhase_->Install(Bs);
  if (Peer == "memory") {
    Memory_->InstallPresent(Bs);
    return EFI_SUCCESS;
  }
  if (Peer == "graphics") return Graphics_->Install(Bs);
  if (Peer == "nvme" && Nvme_) return Nvme_->Install(Bs);
  // Peers with parts present at load and parts late: both come now.
  if (Peer == "network") {
    Network_->InstallPresent(St);
    Network_->InstallLate(St);
    return EFI_SUCCESS;
  }
  if (Peer == "main-page") {
    MainPage_->InstallPresent(Bs);
    MainPage_->InstallLate(Bs);
    return EFI_SUCCESS;
  }
  if (Peer == "presets") {
    Presets_->InstallPresent(St);
    Presets_->InstallLate(St);
    return EFI_SUCCESS;
  }
  if (Peer == "key-volume" && KeyVolume_) return KeyVolume_->Install(Bs);
  if (Peer == "usb" && Usb_) return Usb_->Install(Bs);
  if (Peer == "profile-storage" && ProfileStorage_)
    return Machine_->Profile().ProfileStorage->Late ? ProfileStorage_->InstallLate(Bs) : ProfileStorage_->Install(Bs);
  if (Peer == "file-systems") return FileSystems_->Install(Bs);
  return EFI_NOT_FOUND;
}

void BoardSession::BeginBenchBoot() {
  // The old board's accesses, before the power cycle drops them (Boots_ already counts the new boot).
  if (Boots_ > 1)
    for (const sim::Board::PortAccess& A : Machine_->Board().PortLog())
      EarlierPorts_.push_back(PortRecord{unsigned(Boots_ - 1), A.Port, A.Width, A.Write, A.Value});
  UnregisterCallbacks();
  InstalledByAction_.clear();
}

void BoardSession::UnregisterCallbacks() {
  CALLBACK_REGISTRY_PROTOCOL* Registry = nullptr;
  if (!Registrations_.empty() &&
      !EFI_ERROR(Machine_->Handles().LocateProtocol(&CALLBACK_REGISTRY_PROTOCOL::Guid, nullptr, (VOID**)&Registry)) &&
      Registry != nullptr)
    for (const Registration& R : Registrations_) Registry->UnregisterItemCallback(R.Token);
  Registrations_.clear();
}

std::vector<PortRecord> BoardSession::PortLog() {
  std::vector<PortRecord> All = EarlierPorts_;
  for (const sim::Board::PortAccess& A : Machine_->Board().PortLog())
    All.push_back(PortRecord{Boots_, A.Port, A.Width, A.Write, A.Value});
  return All;
}

template <size_t Slot>
EFI_STATUS EFIAPI BoardSession::RegisteredHandler(EFI_HII_HANDLE, UINT16 Class, UINT16 SubClass, UINT16 Key) {
  BoardSession* Self = Active;
  const EFI_STATUS Returns = Slot < Self->Registrations_.size() ? Self->Registrations_[Slot].Returns : EFI_UNSUPPORTED;
  Self->RegisteredCalls.push_back(RegisteredCall{unsigned(Slot + 1), Class, SubClass, Key, Returns});
  return Returns;
}

EFI_STATUS BoardSession::RegisterCallback(UINT16 Class, UINT16 SubClass, UINT16 Key, EFI_STATUS Returns) {
  static const ITEM_CALLBACK Handlers[REGISTRATION_SLOTS] = {
      RegisteredHandler<0>, RegisteredHandler<1>, RegisteredHandler<2>, RegisteredHandler<3>,
      RegisteredHandler<4>, RegisteredHandler<5>, RegisteredHandler<6>, RegisteredHandler<7>};
  if (Registrations_.size() >= REGISTRATION_SLOTS) return EFI_OUT_OF_RESOURCES;
  CALLBACK_REGISTRY_PROTOCOL* Registry = nullptr;
  // Through the firmware's services, as the other driver would (faults apply).
  EFI_STATUS S =
      Machine_->BootServices()->LocateProtocol(&CALLBACK_REGISTRY_PROTOCOL::Guid, nullptr, (VOID**)&Registry);
  if (EFI_ERROR(S)) return S;
  if (Registry == nullptr) return EFI_NOT_FOUND;
  Registrations_.push_back(Registration{Class, SubClass, Key, Returns, nullptr});
  S = Registry->RegisterItemCallback(Class, SubClass, Key, Handlers[Registrations_.size() - 1],
                                     &Registrations_.back().Token);
  if (EFI_ERROR(S)) Registrations_.pop_back();
  return S;
}

void BoardSession::ObserveStringWrites() {
  EFI_HII_STRING_PROTOCOL* Strings = Machine_->Hii().Database->StringProtocol();
  if (Strings->SetString != SetStringObserved) {
    OriginalSetString_ = Strings->SetString;
    Strings->SetString = SetStringObserved;
  }
  if (Strings->NewString != NewStringObserved) {
    OriginalNewString_ = Strings->NewString;
    Strings->NewString = NewStringObserved;
  }
}

void BoardSession::LogStringWrite(const char* Call, EFI_HII_HANDLE PackageList, EFI_STRING_ID Id,
                                  const CHAR8* Language, const CHAR16* String, EFI_STATUS Status) {
  StringWrite W;
  W.Boot = (unsigned)Boots_;
  W.Call = Call;
  for (const auto& F : Forms().FormSets())
    if (F.HiiHandle == PackageList) W.Class = F.Class;
  W.Id = Id;
  // Bounded: the caller's texts are not trusted to end.
  if (Language != nullptr) W.Language.assign(Language, strnlen(Language, 256));
  if (String != nullptr) {
    std::u16string Text;
    for (size_t I = 0; I < 4096 && String[I] != 0; ++I) Text += String[I];
    W.Text = Utf8FromUcs2(Text);
  }
  W.Status = Status;
  StringLog.push_back(std::move(W));
}

EFI_STATUS EFIAPI BoardSession::SetStringObserved(const EFI_HII_STRING_PROTOCOL* This, EFI_HII_HANDLE PackageList,
                                                  EFI_STRING_ID StringId, const CHAR8* Language,
                                                  const CHAR16* String, const EFI_FONT_INFO* StringFontInfo) {
  BoardSession* Self = Active;
  EFI_STATUS S = Self->OriginalSetString_(This, PackageList, StringId, Language, String, StringFontInfo);
  Self->LogStringWrite("SetString", PackageList, StringId, Language, String, S);
  return S;
}

EFI_STATUS EFIAPI BoardSession::NewStringObserved(const EFI_HII_STRING_PROTOCOL* This, EFI_HII_HANDLE PackageList,
                                                  EFI_STRING_ID* StringId, const CHAR8* Language,
                                                  const CHAR16* LanguageName, const CHAR16* String,
                                                  const EFI_FONT_INFO* StringFontInfo) {
  BoardSession* Self = Active;
  EFI_STATUS S = Self->OriginalNewString_(This, PackageList, StringId, Language, LanguageName, String, StringFontInfo);
  Self->LogStringWrite("NewString", PackageList, StringId != nullptr && !EFI_ERROR(S) ? *StringId : 0, Language,
                       String, S);
  return S;
}

}  // namespace boardsim
