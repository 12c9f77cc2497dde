#include "bench/scenarios.h"

#include <cstdio>

#include "setupinfo/core/callback_dispatch.h"
#include "setupinfo/core/core_state.h"
#include "setupinfo/core/item_callback_table.h"
#include "tools/boardsim/page_capture.h"

namespace bench {

namespace {

EFI_STATUS EFIAPI Declines(EFI_HII_HANDLE, UINT16, UINT16, UINT16) { return EFI_UNSUPPORTED; }
EFI_STATUS EFIAPI Answers(EFI_HII_HANDLE, UINT16, UINT16, UINT16) { return EFI_SUCCESS; }

std::string Hex(unsigned V) {
  char Text[16];
  std::snprintf(Text, sizeof Text, "0x%X", V);
  return Text;
}

bool Shown(const std::vector<boardsim::ActionResult>& Results, const std::string& Text) {
  for (const boardsim::ActionResult& R : Results)
    for (const boardsim::BoxShown& B : R.Boxes)
      if (B.Text.find(Text) != std::string::npos) return true;
  return false;
}

}  // namespace

ScenarioBoard::ScenarioBoard() : Session_(std::make_unique<boardsim::BoardSession>(sim::DefaultBoardProfile())) {}

ScenarioBoard::~ScenarioBoard() {
  UnregisterAll();
  Runner_.reset();
  Session_.reset();
}

bool ScenarioBoard::Boot(bool ExpectDeferred) {
  UnregisterAll();
  boardsim::BootRecord Record = Session_->Boot();
  Runner_ = std::make_unique<boardsim::ActionRunner>(*Session_, boardsim::CompiledFormSets().FormSets);
  Registry_ = nullptr;
  return Record.SetupInfoStatus == EFI_SUCCESS && Record.Deferred == ExpectDeferred && Record.FormSetsPublished > 0;
}

bool ScenarioBoard::RegisterFive() {
  EFI_BOOT_SERVICES* BS = Session_->Machine().BootServices();
  if (Registry_ == nullptr &&
      BS->LocateProtocol(&CALLBACK_REGISTRY_PROTOCOL::Guid, nullptr, (VOID**)&Registry_) != EFI_SUCCESS)
    return false;
  const struct {
    UINT16 Class, Key;
    ITEM_CALLBACK Handler;
  } Entries[] = {{DISPATCH_CLASS, 0x0F01, Answers},
                 {0x2, 0x0F02, Answers},
                 {0x8, 0x0F03, Answers},
                 {DISPATCH_CLASS, HitKey(), Declines},
                 {DISPATCH_CLASS, HitKey(), Answers}};
  for (const auto& E : Entries) {
    VOID* Token = nullptr;
    if (Registry_->RegisterItemCallback(E.Class, 0, E.Key, E.Handler, &Token) != EFI_SUCCESS) return false;
    Tokens_.push_back(Token);
  }
  return true;
}

void ScenarioBoard::UnregisterAll() {
  for (VOID* Token : Tokens_) Registry_->UnregisterItemCallback(Token);
  Tokens_.clear();
}

EFI_STATUS ScenarioBoard::Dispatch(uint16_t Class, uint16_t Key, EFI_BROWSER_ACTION Action) {
  for (const CONFIG_ACCESS_INSTANCE& Instance : CoreState().ConfigAccess) {
    if (Instance.Class != Class) continue;
    EFI_IFR_TYPE_VALUE Value{};
    EFI_BROWSER_ACTION_REQUEST Request = EFI_BROWSER_ACTION_REQUEST_NONE;
    return Instance.Protocol.Callback(&Instance.Protocol, Action, Key, EFI_IFR_TYPE_NUM_SIZE_8, &Value, &Request);
  }
  return EFI_NOT_FOUND;
}

bool ScenarioBoard::Run(const std::string& Actions) {
  Last_.clear();
  boardsim::ActionParse Parsed = boardsim::ParseActionList(Actions, "bench", false);
  if (Parsed.Error || Runner_->Check(Parsed.Actions)) return false;
  Last_ = Runner_->Run(Parsed.Actions);
  return !Runner_->StoppedBy();
}

// Clear every key ("yes"), then restore the factory defaults ("yes").
bool ScenarioBoard::PrepareEnroll() {
  return Run("answer 0; callback 0x40 0x507 changing; answer 0; callback 0x40 0x508 changing");
}

// Append to db (0x514): not the default file, the stick, <KEYS>,
// DB-APPEND.AUTH used as it is, and "yes" to the last question.
bool ScenarioBoard::Enroll() {
  return Run("answer 1 0; choose 0 3 3 1; callback 0x40 0x514 changing") &&
         Shown(Last_, "The operation is complete.");
}

std::vector<std::string> StaticRowTargets() {
  std::vector<std::string> Targets;
  for (const ITEM_CALLBACK_ENTRY& Row : StaticItemCallbacks()) {
    if (Row.Handler == nullptr) break;
    Targets.push_back(Hex(Row.Class) + " " + Hex(Row.Key));
  }
  return Targets;
}

}  // namespace bench
