// The measured scenarios on the default board, shared by the instruction
// counts (callgrind_scenarios) and the timings (scenario_bench): each call
// runs one scenario once and says whether it behaved as the board expects.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/callback_registry.h"
#include "tools/boardsim/action_runner.h"
#include "tools/boardsim/machine_boot.h"

namespace bench {

// A question key that no entry serves, on the class the registered entries use.
constexpr uint16_t UNSERVED_KEY = 0x0F10;
// The class whose form set the dispatch scenarios call through.
constexpr uint16_t DISPATCH_CLASS = 0x10;

class ScenarioBoard {
 public:
  ScenarioBoard();
  ~ScenarioBoard();
  ScenarioBoard(const ScenarioBoard&) = delete;
  ScenarioBoard& operator=(const ScenarioBoard&) = delete;

  // The first boot loads the form sets at once; every later one defers them
  // to the setup-load trigger.
  bool Boot(bool ExpectDeferred);

  // Five registered entries: three of other questions, one that declines
  // the hit key and the one that answers it.
  bool RegisterFive();
  void UnregisterAll();
  uint16_t HitKey() const { return 0x0F00; }
  // SetupCallback on the form set of Class, as the browser calls it.
  EFI_STATUS Dispatch(uint16_t Class, uint16_t Key, EFI_BROWSER_ACTION Action);

  // A boardsim action (one or more, ';' between); false when it does not
  // parse, names what the board lacks or stops on an unanswered box.
  bool Run(const std::string& Actions);
  const std::vector<boardsim::ActionResult>& LastResults() const { return Last_; }

  // The board back in user mode with its default keys, then db appended
  // from a signed key file on the stick: true when the board took it.
  bool PrepareEnroll();
  bool Enroll();

  boardsim::BoardSession& Session() { return *Session_; }

 private:
  std::unique_ptr<boardsim::BoardSession> Session_;
  std::unique_ptr<boardsim::ActionRunner> Runner_;
  CALLBACK_REGISTRY_PROTOCOL* Registry_ = nullptr;
  std::vector<VOID*> Tokens_;
  std::vector<boardsim::ActionResult> Last_;
};

// Every static table row as a boardsim callback target: "0x40 0x507".
std::vector<std::string> StaticRowTargets();

}  // namespace bench
