// Stand-ins for the network drivers: the network configuration driver's
// protocol, shared both ways (the setup driver writes its refresh function
// and HII handle into it), and the three action protocols. Every call is
// recorded with what the console looked like during it. The functions take
// no instance pointer, so one peer at a time is the installed one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/net_config.h"
#include "sim/board_profile.h"
#include "uefi/system_table.h"

namespace sim {

enum class NetworkEntry { Configure, Action52A, Action52D, Action52E };

struct NetworkCall {
  NetworkEntry Entry = NetworkEntry::Configure;
  EFI_HII_HANDLE HiiHandle = nullptr;  // the handle passed
  UINT16 Class = 0, SubClass = 0, Key = 0;  // Configure only
  UINTN Argument = 0;                       // Action52A only
  EFI_HII_HANDLE FieldHandle = nullptr;     // Action52E: its second field during the call
  bool ThisPassed = false;                  // Action52E: its own interface came as the second argument
  bool StandardErrorSilenced = false;       // StandardErrorHandle and StdErr were both null
};

class NetworkPeers {
 public:
  NetworkPeers();
  explicit NetworkPeers(const NetworkProfile& Profile);
  ~NetworkPeers();
  NetworkPeers(const NetworkPeers&) = delete;
  NetworkPeers& operator=(const NetworkPeers&) = delete;

  // Installs every present protocol that is not late; InstallLate the late ones.
  void InstallPresent(EFI_SYSTEM_TABLE* SystemTable);
  void InstallLate(EFI_SYSTEM_TABLE* SystemTable);

  NETWORK_CONFIG_PROTOCOL* Configuration() { return &Config_; }
  NETWORK_ACTION_52E_PROTOCOL* Action52E() { return &Action52E_; }

  // What the driver does after its settings changed: calls the refresh the
  // setup driver wrote into the protocol. False when none was written.
  bool RequestRefresh(bool ViaBrowser);

  // Statuses the called functions return.
  EFI_STATUS ConfigureStatus = EFI_SUCCESS;
  EFI_STATUS Action52AStatus = EFI_SUCCESS;
  EFI_STATUS Action52DStatus = EFI_SUCCESS;
  EFI_STATUS Action52EStatus = EFI_SUCCESS;
  bool RefreshAfterConfigure = true;

  std::vector<NetworkCall> Calls;
  // When set, each call is also written there as one line of text, so a
  // board's other device calls and these read in the order they came.
  std::vector<std::string>* Transcript = nullptr;
  UINTN RefreshRequests = 0;

 private:
  static EFI_STATUS EFIAPI Configure(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);
  static EFI_STATUS EFIAPI Run52A(UINTN Argument);
  static EFI_STATUS EFIAPI Run52D(EFI_HII_HANDLE HiiHandle);
  static EFI_STATUS EFIAPI Run52E(EFI_HII_HANDLE HiiHandle, NETWORK_ACTION_52E_PROTOCOL* This);
  void Record(NetworkCall Call);
  void Install(EFI_SYSTEM_TABLE* SystemTable, bool Late);

  NetworkProfile Profile_;
  EFI_SYSTEM_TABLE* SystemTable_ = nullptr;
  NETWORK_CONFIG_PROTOCOL Config_{};
  NETWORK_ACTION_52A_PROTOCOL Action52A_{};
  NETWORK_ACTION_52D_PROTOCOL Action52D_{};
  NETWORK_ACTION_52E_PROTOCOL Action52E_{};
  EFI_HANDLE Handle_ = nullptr;
};

// "configure", "0x52A", ... for reports.
const char* NetworkEntryName(NetworkEntry Entry);
std::string NetworkCallText(const NetworkCall& Call);

}  // namespace sim
