#include "sim/peers/main_page_peers.h"

#include <cstdio>
#include <stdexcept>

#include "platform/board_identity.h"
#include "sim/peers/update_peers.h"

namespace sim {

namespace {

MainPagePeers* gActive = nullptr;

MainPagePeers& Peers() {
  if (gActive == nullptr) throw std::logic_error("no MainPagePeers");
  return *gActive;
}

const EFI_GUID* ComponentGuid(const std::string& Component) {
  if (Component == "platform") return &PLATFORM_VERSION_PROTOCOL::Guid;
  if (Component == "processorCode") return &PROCESSOR_CODE_VERSION_PROTOCOL::Guid;
  if (Component == "engineCode") return &ENGINE_CODE_VERSION_PROTOCOL::Guid;
  if (Component == "graphicsCode") return &GRAPHICS_CODE_VERSION_PROTOCOL::Guid;
  throw std::invalid_argument("unknown component " + Component);
}

EFI_STATUS InstallOnNewHandle(EFI_BOOT_SERVICES* BootServices, const EFI_GUID* Guid, VOID* Interface) {
  EFI_HANDLE Handle = nullptr;
  return BootServices->InstallProtocolInterface(&Handle, Guid, EFI_NATIVE_INTERFACE, Interface);
}

}  // namespace

MainPagePeers::MainPagePeers(const MainPageProfile& Profile, const std::string& ModelName) : Profile_(Profile) {
  if (gActive != nullptr) throw std::logic_error("one MainPagePeers at a time");
  gActive = this;
  // Room for any model name the update profile may hold.
  Identity_ = BoardIdentityBytes(ModelName, Profile.Identity.Values,
                                 offsetof(BOARD_IDENTITY_PROTOCOL, ModelName) + ModelName.size() + 1 + 0x58);
  Versions_.reserve(Profile.Versions.size());  // stable addresses once installed
  for (const ComponentVersionProfile& V : Profile.Versions)
    Versions_.push_back(VersionInstance{V, ComponentGuid(V.Component), COMPONENT_VERSION_RECORD{0, V.Version}});
  if (!Profile.MainAction.NullFunction) MainAction_.Run = RunMain;
  if (!Profile.ToolAction1.NullFunction) ToolAction1_.Run = RunTool1;
  if (!Profile.ToolAction2.NullFunction) ToolAction2_.Run = RunTool2;
}

MainPagePeers::~MainPagePeers() { gActive = nullptr; }

COMPONENT_VERSION_RECORD* MainPagePeers::Version(const std::string& Component) {
  for (VersionInstance& V : Versions_)
    if (V.Profile.Component == Component) return &V.Record;
  return nullptr;
}

void MainPagePeers::InstallPresent(EFI_BOOT_SERVICES* BootServices) { Install(BootServices, false); }

void MainPagePeers::InstallLate(EFI_BOOT_SERVICES* BootServices) {
  Install(BootServices, true);
  if (Profile_.ResolutionTriggerLate) InstallResolutionTrigger(BootServices);
}

void MainPagePeers::Install(EFI_BOOT_SERVICES* BootServices, bool Late) {
  if (Profile_.Identity.Present && Profile_.Identity.Late == Late)
    InstallOnNewHandle(BootServices, &BOARD_IDENTITY_PROTOCOL::Guid, Identity_.data());
  for (VersionInstance& V : Versions_)
    if (V.Profile.Late == Late)
      InstallOnNewHandle(BootServices, V.Guid, V.Profile.NullInterface ? nullptr : &V.Record);
  const struct {
    const PageActionProfile& Profile;
    const EFI_GUID* Guid;
    VOID* Interface;
  } Actions[] = {
      {Profile_.MainAction, &MAIN_PAGE_ACTION_PROTOCOL::Guid, &MainAction_},
      {Profile_.ToolAction1, &TOOL_ACTION_1_PROTOCOL::Guid, &ToolAction1_},
      {Profile_.ToolAction2, &TOOL_ACTION_2_PROTOCOL::Guid, &ToolAction2_},
  };
  for (const auto& A : Actions)
    if (A.Profile.Present && A.Profile.Late == Late) InstallOnNewHandle(BootServices, A.Guid, A.Interface);
}

EFI_STATUS MainPagePeers::InstallResolutionTrigger(EFI_BOOT_SERVICES* BootServices) {
  ++ResolutionTriggers;
  return InstallOnNewHandle(BootServices, &RESOLUTION_TRIGGER_PROTOCOL::Guid, &Trigger_);
}

void MainPagePeers::Record(PageActionCall Call) {
  Calls.push_back(Call);
  if (Transcript != nullptr) Transcript->push_back(PageActionCallText(Call));
}

EFI_STATUS EFIAPI MainPagePeers::RunMain() {
  MainPagePeers& P = Peers();
  P.Record({PageActionEntry::MainAction, nullptr});
  return P.Profile_.MainAction.Status;
}

EFI_STATUS EFIAPI MainPagePeers::RunTool1(EFI_HII_HANDLE HiiHandle) {
  MainPagePeers& P = Peers();
  P.Record({PageActionEntry::ToolAction1, HiiHandle});
  return P.Profile_.ToolAction1.Status;
}

EFI_STATUS EFIAPI MainPagePeers::RunTool2(EFI_HII_HANDLE HiiHandle) {
  MainPagePeers& P = Peers();
  P.Record({PageActionEntry::ToolAction2, HiiHandle});
  return P.Profile_.ToolAction2.Status;
}

std::string PageActionCallText(const PageActionCall& Call) {
  switch (Call.Entry) {
    case PageActionEntry::MainAction:
      return "main page action";
    case PageActionEntry::ToolAction1:
    case PageActionEntry::ToolAction2: {
      char Text[64];
      std::snprintf(Text, sizeof Text, "tool action %d (HII handle %s)",
                    Call.Entry == PageActionEntry::ToolAction1 ? 1 : 2, Call.HiiHandle ? "given" : "null");
      return Text;
    }
  }
  return "?";
}

}  // namespace sim
