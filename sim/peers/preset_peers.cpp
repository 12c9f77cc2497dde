#include "sim/peers/preset_peers.h"

#include <cstdio>

namespace sim {

namespace {

PresetPeers* Active = nullptr;

}  // namespace

PresetPeers::PresetPeers(const PresetProfile& Profile) : Profile_(Profile) {
  for (size_t I = 0; I < PRESET_TABLE_COUNT; ++I) {
    if (!Profile_.Tables[I]) continue;
    for (const std::vector<uint8_t>& Row : *Profile_.Tables[I]) Tables_[I].insert(Tables_[I].end(), Row.begin(), Row.end());
    // Exactly the rows, so a read past the table is past its buffer; an
    // empty table still has an address: a pointer with no rows.
    Tables_[I].shrink_to_fit();
    if (Tables_[I].empty()) Tables_[I].reserve(1);
    Provider_.Tables[I] = Tables_[I].data();
    Provider_.RowCounts[I] = Profile_.RowCounts[I] ? *Profile_.RowCounts[I] : (UINT32)Profile_.Tables[I]->size();
  }
  Forward51C_.Run = Run51C;
  Forward51D_.Run = Run51D;
  Forward51E_.Run = Run51E;
  Forward51DStatus = Profile_.Forward51D.Status;
  Forward51EStatus = Profile_.Forward51E.Status;
  Active = this;
}

PresetPeers::~PresetPeers() {
  if (Active == this) Active = nullptr;
}

void PresetPeers::Install(EFI_SYSTEM_TABLE* SystemTable, bool Late) {
  SystemTable_ = SystemTable;
  Active = this;
  EFI_BOOT_SERVICES* Bs = SystemTable->BootServices;
  auto One = [&](bool Present, bool IsLate, const EFI_GUID& Guid, VOID* Interface) {
    if (Present && IsLate == Late) Bs->InstallProtocolInterface(&Handle_, &Guid, EFI_NATIVE_INTERFACE, Interface);
  };
  One(Profile_.ProviderPresent, Profile_.ProviderLate, PRESET_PROVIDER_PROTOCOL::Guid, &Provider_);
  One(Profile_.Forward51C.Present, Profile_.Forward51C.Late, PRESET_FORWARD_51C_PROTOCOL::Guid, &Forward51C_);
  One(Profile_.Forward51D.Present, Profile_.Forward51D.Late, PRESET_FORWARD_51D_PROTOCOL::Guid, &Forward51D_);
  One(Profile_.Forward51E.Present, Profile_.Forward51E.Late, PRESET_FORWARD_51E_PROTOCOL::Guid, &Forward51E_);
}

void PresetPeers::InstallPresent(EFI_SYSTEM_TABLE* SystemTable) { Install(SystemTable, false); }
void PresetPeers::InstallLate(EFI_SYSTEM_TABLE* SystemTable) { Install(SystemTable, true); }

void PresetPeers::Record(PresetForwardCall Call) {
  Call.StandardErrorSilenced =
      SystemTable_ != nullptr && SystemTable_->StandardErrorHandle == nullptr && SystemTable_->StdErr == nullptr;
  Calls.push_back(Call);
  if (Transcript != nullptr) Transcript->push_back(PresetForwardCallText(Call));
}

VOID EFIAPI PresetPeers::Run51C(EFI_HII_HANDLE HiiHandle) {
  if (Active == nullptr) return;
  Active->Record(PresetForwardCall{PresetForward::Key51C, HiiHandle, false, false});
}

EFI_STATUS EFIAPI PresetPeers::Run51D(EFI_HII_HANDLE HiiHandle, PRESET_FORWARD_51D_PROTOCOL* This) {
  if (Active == nullptr) return EFI_NOT_READY;
  Active->Record(PresetForwardCall{PresetForward::Key51D, HiiHandle, This == &Active->Forward51D_, false});
  return Active->Forward51DStatus;
}

EFI_STATUS EFIAPI PresetPeers::Run51E(EFI_HII_HANDLE HiiHandle, PRESET_FORWARD_51E_PROTOCOL* This) {
  if (Active == nullptr) return EFI_NOT_READY;
  Active->Record(PresetForwardCall{PresetForward::Key51E, HiiHandle, This == &Active->Forward51E_, false});
  return Active->Forward51EStatus;
}

std::string PresetForwardCallText(const PresetForwardCall& Call) {
  const char* Key = Call.Entry == PresetForward::Key51C ? "0x51C" : Call.Entry == PresetForward::Key51D ? "0x51D" : "0x51E";
  char Line[160];
  std::snprintf(Line, sizeof(Line), "preset forwarder %s(HII handle %s%s), standard error %s", Key,
                Call.HiiHandle ? "given" : "null",
                Call.Entry == PresetForward::Key51C ? "" : (Call.ThisPassed ? ", its interface" : ", another pointer"),
                Call.StandardErrorSilenced ? "off" : "on");
  return Line;
}

}  // namespace sim
