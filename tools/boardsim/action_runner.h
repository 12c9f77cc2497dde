// Runs scripted actions on a booted board, after checking every one of them
// against what the board has (form sets, question keys, browser stores), so
// a bad action stops the script before anything ran.
#pragma once

#include <optional>
#include <vector>

#include "sim/hii/setup_browser.h"
#include "tools/boardsim/action_script.h"
#include "tools/boardsim/machine_boot.h"
#include "tools/boardsim/page_capture.h"
#include "tools/boardsim/run_report.h"

namespace boardsim {

class ActionRunner {
 public:
  ActionRunner(BoardSession& Session, const std::vector<PackagedFormSet>& FormSets);

  // The first action that names something the board does not have.
  std::optional<ActionError> Check(const std::vector<Action>& Actions);
  // Stops after an action that left a box or list unanswered.
  std::vector<ActionResult> Run(const std::vector<Action>& Actions);
  const std::optional<ActionError>& StoppedBy() const { return Stopped_; }

  // Question keys that reach an item callback on a form set of this class.
  std::vector<uint16_t> KeysOf(uint16_t Class);

 private:
  struct StoreCopy {
    std::u16string Name;
    EFI_GUID Guid;
    std::vector<UINT8> Bytes;
  };
  std::vector<StoreCopy> Stores();
  const sim::SetupBrowser::Store* FindStore(const std::string& Name);
  ActionResult RunOne(const Action& A);

  std::string ResolveString(EFI_HII_HANDLE Handle, EFI_STRING_ID Id);

  BoardSession& Session_;
  const std::vector<PackagedFormSet>& FormSets_;
  std::optional<ActionError> Stopped_;
};

// "0x48D-0x4A8, 0x4BA" from sorted keys.
std::string KeyRanges(const std::vector<uint16_t>& Keys);

}  // namespace boardsim
