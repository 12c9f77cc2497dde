// Stand-ins for the preset provider (its four tables and their row counts)
// and the three forwarding protocols, whose calls are recorded with what
// the console looked like during them. The forwarders' functions reach
// their peer through one active instance, as the 0x51C one takes no
// interface pointer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/presets.h"
#include "sim/board_profile.h"
#include "uefi/system_table.h"

namespace sim {

enum class PresetForward { Key51C, Key51D, Key51E };

struct PresetForwardCall {
  PresetForward Entry = PresetForward::Key51C;
  EFI_HII_HANDLE HiiHandle = nullptr;
  bool ThisPassed = false;              // 0x51D, 0x51E: its own interface came as the second argument
  bool StandardErrorSilenced = false;   // StandardErrorHandle and StdErr were both null
};

class PresetPeers {
 public:
  explicit PresetPeers(const PresetProfile& Profile);
  ~PresetPeers();
  PresetPeers(const PresetPeers&) = delete;
  PresetPeers& operator=(const PresetPeers&) = delete;

  // Installs every present protocol that is not late; InstallLate the late ones.
  void InstallPresent(EFI_SYSTEM_TABLE* SystemTable);
  void InstallLate(EFI_SYSTEM_TABLE* SystemTable);

  PRESET_PROVIDER_PROTOCOL* Provider() { return &Provider_; }
  // Table Index (0 to 3) as the provider holds it: rows back to back.
  const std::vector<uint8_t>& Table(size_t Index) const { return Tables_[Index]; }

  EFI_STATUS Forward51DStatus = EFI_SUCCESS;
  EFI_STATUS Forward51EStatus = EFI_SUCCESS;
  std::vector<PresetForwardCall> Calls;
  // When set, each call is also written there as one line of text.
  std::vector<std::string>* Transcript = nullptr;

 private:
  static VOID EFIAPI Run51C(EFI_HII_HANDLE HiiHandle);
  static EFI_STATUS EFIAPI Run51D(EFI_HII_HANDLE HiiHandle, PRESET_FORWARD_51D_PROTOCOL* This);
  static EFI_STATUS EFIAPI Run51E(EFI_HII_HANDLE HiiHandle, PRESET_FORWARD_51E_PROTOCOL* This);
  void Record(PresetForwardCall Call);
  void Install(EFI_SYSTEM_TABLE* SystemTable, bool Late);

  PresetProfile Profile_;
  EFI_SYSTEM_TABLE* SystemTable_ = nullptr;
  std::vector<uint8_t> Tables_[PRESET_TABLE_COUNT];
  PRESET_PROVIDER_PROTOCOL Provider_{};
  PRESET_FORWARD_51C_PROTOCOL Forward51C_{};
  PRESET_FORWARD_51D_PROTOCOL Forward51D_{};
  PRESET_FORWARD_51E_PROTOCOL Forward51E_{};
  EFI_HANDLE Handle_ = nullptr;
};

std::string PresetForwardCallText(const PresetForwardCall& Call);

}  // namespace sim
