#include "sim/peers/network_peers.h"

#include <cstdio>

namespace sim {

namespace {

NetworkPeers* Active = nullptr;

}  // namespace

NetworkPeers::NetworkPeers() {
  Config_.Configure = Configure;
  Action52A_.Run = Run52A;
  Action52D_.Run = Run52D;
  Action52E_.Run = Run52E;
  Active = this;
}

NetworkPeers::NetworkPeers(const NetworkProfile& Profile) : NetworkPeers() {
  Profile_ = Profile;
  ConfigureStatus = Profile.Configuration.Status;
  Action52AStatus = Profile.Action52A.Status;
  Action52DStatus = Profile.Action52D.Status;
  Action52EStatus = Profile.Action52E.Status;
  RefreshAfterConfigure = Profile.RefreshAfterConfigure;
}

NetworkPeers::~NetworkPeers() {
  if (Active == this) Active = nullptr;
}

void NetworkPeers::Install(EFI_SYSTEM_TABLE* SystemTable, bool Late) {
  SystemTable_ = SystemTable;
  Active = this;
  EFI_BOOT_SERVICES* Bs = SystemTable->BootServices;
  auto One = [&](const NetworkProtocolProfile& P, const EFI_GUID& Guid, VOID* Interface) {
    if (P.Present && P.Late == Late) Bs->InstallProtocolInterface(&Handle_, &Guid, EFI_NATIVE_INTERFACE, Interface);
  };
  One(Profile_.Configuration, NETWORK_CONFIG_PROTOCOL::Guid, &Config_);
  One(Profile_.Action52A, NETWORK_ACTION_52A_PROTOCOL::Guid, &Action52A_);
  One(Profile_.Action52D, NETWORK_ACTION_52D_PROTOCOL::Guid, &Action52D_);
  One(Profile_.Action52E, NETWORK_ACTION_52E_PROTOCOL::Guid, &Action52E_);
}

void NetworkPeers::InstallPresent(EFI_SYSTEM_TABLE* SystemTable) { Install(SystemTable, false); }
void NetworkPeers::InstallLate(EFI_SYSTEM_TABLE* SystemTable) { Install(SystemTable, true); }

bool NetworkPeers::RequestRefresh(bool ViaBrowser) {
  if (Config_.Refresh == nullptr) return false;
  ++RefreshRequests;
  Config_.Refresh(ViaBrowser ? TRUE : FALSE);
  return true;
}

void NetworkPeers::Record(NetworkCall Call) {
  Call.StandardErrorSilenced =
      SystemTable_ != nullptr && SystemTable_->StandardErrorHandle == nullptr && SystemTable_->StdErr == nullptr;
  Calls.push_back(Call);
  if (Transcript != nullptr) Transcript->push_back(NetworkCallText(Call));
}

EFI_STATUS EFIAPI NetworkPeers::Configure(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key) {
  NetworkPeers* Self = Active;
  if (!Self) return EFI_NOT_READY;
  NetworkCall Call;
  Call.Entry = NetworkEntry::Configure;
  Call.HiiHandle = HiiHandle;
  Call.Class = Class;
  Call.SubClass = SubClass;
  Call.Key = Key;
  Self->Record(Call);
  if (Self->ConfigureStatus != EFI_SUCCESS) return Self->ConfigureStatus;
  if (Self->RefreshAfterConfigure) Self->RequestRefresh(true);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI NetworkPeers::Run52A(UINTN Argument) {
  NetworkPeers* Self = Active;
  if (!Self) return EFI_NOT_READY;
  NetworkCall Call;
  Call.Entry = NetworkEntry::Action52A;
  Call.Argument = Argument;
  Self->Record(Call);
  return Self->Action52AStatus;
}

EFI_STATUS EFIAPI NetworkPeers::Run52D(EFI_HII_HANDLE HiiHandle) {
  NetworkPeers* Self = Active;
  if (!Self) return EFI_NOT_READY;
  NetworkCall Call;
  Call.Entry = NetworkEntry::Action52D;
  Call.HiiHandle = HiiHandle;
  Self->Record(Call);
  return Self->Action52DStatus;
}

EFI_STATUS EFIAPI NetworkPeers::Run52E(EFI_HII_HANDLE HiiHandle, NETWORK_ACTION_52E_PROTOCOL* This) {
  NetworkPeers* Self = Active;
  if (!Self) return EFI_NOT_READY;
  NetworkCall Call;
  Call.Entry = NetworkEntry::Action52E;
  Call.HiiHandle = HiiHandle;
  Call.ThisPassed = This == &Self->Action52E_;
  Call.FieldHandle = Self->Action52E_.HiiHandle;
  Self->Record(Call);
  return Self->Action52EStatus;
}

const char* NetworkEntryName(NetworkEntry Entry) {
  switch (Entry) {
    case NetworkEntry::Configure: return "configure";
    case NetworkEntry::Action52A: return "action 0x52A";
    case NetworkEntry::Action52D: return "action 0x52D";
    case NetworkEntry::Action52E: return "action 0x52E";
  }
  return "?";
}

std::string NetworkCallText(const NetworkCall& Call) {
  char Line[160];
  const char* Console = Call.StandardErrorSilenced ? "standard error off" : "standard error on";
  switch (Call.Entry) {
    case NetworkEntry::Configure:
      std::snprintf(Line, sizeof(Line), "network configure(class 0x%x, subclass %u, key 0x%x), %s", Call.Class,
                    Call.SubClass, Call.Key, Console);
      break;
    case NetworkEntry::Action52A:
      std::snprintf(Line, sizeof(Line), "network action 0x52A(%llu), %s", (unsigned long long)Call.Argument, Console);
      break;
    case NetworkEntry::Action52D:
      std::snprintf(Line, sizeof(Line), "network action 0x52D(HII handle %s), %s",
                    Call.HiiHandle ? "given" : "null", Console);
      break;
    case NetworkEntry::Action52E:
      std::snprintf(Line, sizeof(Line), "network action 0x52E(HII handle %s, %s; field handle %s), %s",
                    Call.HiiHandle ? "given" : "null", Call.ThisPassed ? "its interface" : "another pointer",
                    Call.FieldHandle ? "given" : "null", Console);
      break;
  }
  return Line;
}

}  // namespace sim
