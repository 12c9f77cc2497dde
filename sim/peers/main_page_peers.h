// Stand-ins for the main page's outside components: the board identity
// protocol (model name and its two values), the component version protocols
// that no other peer models, the main page's and tools page's action
// protocols, and the resolution trigger. Everything comes from a
// MainPageProfile; each protocol can be absent, installed late, or faulty
// (a null interface, a null function, a failing call). The action functions
// take no instance pointer, so one peer at a time is the installed one.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/component_version.h"
#include "platform/page_actions.h"
#include "sim/board_profile.h"
#include "uefi/system_table.h"

namespace sim {

enum class PageActionEntry { MainAction, ToolAction1, ToolAction2 };

struct PageActionCall {
  PageActionEntry Entry = PageActionEntry::MainAction;
  EFI_HII_HANDLE HiiHandle = nullptr;  // tool actions only
};

class MainPagePeers {
 public:
  // ModelName: the identity's model name (the update profile's).
  MainPagePeers(const MainPageProfile& Profile, const std::string& ModelName);
  ~MainPagePeers();
  MainPagePeers(const MainPagePeers&) = delete;
  MainPagePeers& operator=(const MainPagePeers&) = delete;

  // Installs every present protocol that is not late; InstallLate the late
  // ones (the resolution trigger too when the profile says so).
  void InstallPresent(EFI_BOOT_SERVICES* BootServices);
  void InstallLate(EFI_BOOT_SERVICES* BootServices);
  // Stands for the display driver settling its mode; each call installs the
  // trigger once more, on a new handle.
  EFI_STATUS InstallResolutionTrigger(EFI_BOOT_SERVICES* BootServices);

  VOID* Identity() { return Identity_.data(); }
  // The version record of a component ("platform", ...), for tests to change.
  COMPONENT_VERSION_RECORD* Version(const std::string& Component);

  std::vector<PageActionCall> Calls;
  // When set, each call is also written there as one line of text.
  std::vector<std::string>* Transcript = nullptr;
  size_t ResolutionTriggers = 0;

 private:
  struct VersionInstance {
    ComponentVersionProfile Profile;
    const EFI_GUID* Guid;
    COMPONENT_VERSION_RECORD Record;
  };

  static EFI_STATUS EFIAPI RunMain();
  static EFI_STATUS EFIAPI RunTool1(EFI_HII_HANDLE HiiHandle);
  static EFI_STATUS EFIAPI RunTool2(EFI_HII_HANDLE HiiHandle);
  void Record(PageActionCall Call);
  void Install(EFI_BOOT_SERVICES* BootServices, bool Late);

  MainPageProfile Profile_;
  std::vector<UINT8> Identity_;
  std::vector<VersionInstance> Versions_;
  MAIN_PAGE_ACTION_PROTOCOL MainAction_{};
  TOOL_ACTION_1_PROTOCOL ToolAction1_{};
  TOOL_ACTION_2_PROTOCOL ToolAction2_{};
  RESOLUTION_TRIGGER_PROTOCOL Trigger_{};
};

// "main action", "tool action 1", ... for reports.
std::string PageActionCallText(const PageActionCall& Call);

}  // namespace sim
