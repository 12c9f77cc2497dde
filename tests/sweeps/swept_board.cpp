#include "tests/sweeps/swept_board.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <thread>

#include "setupinfo/core/item_callback_table.h"
#include "setupinfo/secureboot/secure_boot_keys.h"
#include "setupinfo/secureboot/secure_boot_page.h"
#include "sim/hii/hii_database.h"
#include "sim/hii/hii_services.h"
#include "sim/hii/setup_browser.h"
#include "sim/peers/message_box_peer.h"
#include "sim/peers/profile_peers.h"
#include "tools/boardsim/action_runner.h"
#include "tools/boardsim/machine_boot.h"
#include "tools/boardsim/page_capture.h"
#include "tools/boardsim/text_util.h"
#include "tools/boardsim/update_lookup.h"

// The item callbacks, to tell each row's browser action by its handler.
#include "setupinfo/pages/board/hardware_monitor.h"
#include "setupinfo/pages/board/main_page.h"
#include "setupinfo/pages/board/memory_settings.h"
#include "setupinfo/pages/board/processor_settings.h"
#include "setupinfo/pages/platform/clock_control.h"
#include "setupinfo/pages/platform/graphics_output.h"
#include "setupinfo/pages/platform/management_engine.h"
#include "setupinfo/pages/platform/network_page.h"
#include "setupinfo/pages/platform/presets.h"
#include "setupinfo/pages/platform/user_profiles.h"

namespace sweeps {
namespace {

bool IsKeyVariable(const std::u16string& Name, const EFI_GUID& Guid) {
  for (UINTN I = 0; I < KEY_VARIABLE_COUNT; ++I)
    if (Name == KeyVariables[I].Name && boardsim::GuidText(Guid) == boardsim::GuidText(*KeyVariableGuid(I)))
      return true;
  return false;
}

bool IsSetup(const std::u16string& Name, const EFI_GUID& Guid) {
  return Name == u"Setup" && boardsim::GuidText(Guid) == boardsim::GuidText(SETUP_VARIABLE_GUID);
}

// Fresh pool holds 0xAF: a CHAR16 of it is U+AFAF, a CHAR8 of it widened is
// U+00AF twice in a row.
bool CarriesFreshFill(const std::u16string& Text) {
  for (size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] == 0xAFAF) return true;
    if (Text[I] == 0x00AF && I + 1 < Text.size() && Text[I + 1] == 0x00AF) return true;
  }
  return false;
}

std::string Hex(unsigned Value) { return boardsim::Hex(Value); }

// Size and FNV-1a of the bytes: enough to tell two writes apart.
std::string Digest(const std::vector<UINT8>& Bytes) {
  uint64_t Hash = 1469598103934665603ull;
  for (UINT8 B : Bytes) Hash = (Hash ^ B) * 1099511628211ull;
  return std::to_string(Bytes.size()) + " bytes, digest " + boardsim::Hex(Hash, 16);
}

}  // namespace

const sim::BoardProfile& DefaultBoard() {
  static const sim::BoardProfile Board = sim::DefaultBoardProfile();
  return Board;
}

namespace {

// What boardsim's action runner does for the actions a stage uses, without
// the page snapshots it takes for its report. False when the action left a
// box or a list unanswered.
bool RunAction(boardsim::BoardSession& Session, const boardsim::Action& A) {
  sim::MessageBoxPeer* Boxes = Session.MessageBox();
  const size_t Unanswered = Boxes != nullptr ? Boxes->Unanswered : 0;
  sim::SetupBrowser& Browser = Session.Browser();
  switch (A.Kind) {
    case boardsim::ActionKind::Answer:
      for (uint64_t N : A.Numbers) Boxes->Answers.push_back(uint8_t(N));
      break;
    case boardsim::ActionKind::Choose:
      for (uint64_t N : A.Numbers) Boxes->ListChoices.push_back(N);
      break;
    case boardsim::ActionKind::Text:
      Session.ProfileStorage()->TextAnswers.push_back(sim::ToUtf16(A.TypedText.value_or("")));
      break;
    case boardsim::ActionKind::Save:
      Browser.Save();
      break;
    case boardsim::ActionKind::Set: {
      for (const auto& Store : Browser.Stores()) {
        if (sim::ToUtf8(Store.Name) != A.Store) continue;
        std::vector<UINT8>* Bytes = Browser.StoreBytes(Store.Name, Store.Guid);
        for (unsigned I = 0; I < A.Width && A.Offset + I < Bytes->size(); ++I)
          (*Bytes)[A.Offset + I] = UINT8(A.Value >> (8 * I));
        break;
      }
      break;
    }
    case boardsim::ActionKind::Callback: {
      const auto* FormSet = boardsim::FindFormSet(boardsim::CompiledFormSets().FormSets, A.FormSet);
      EFI_IFR_TYPE_VALUE Value{};
      Value.u64 = A.CallbackValue;
      Browser.Callback(FormSet->Class, A.BrowserAction, A.Key, A.ValueType, Value);
      break;
    }
    default:
      break;
  }
  return Boxes == nullptr || Boxes->Unanswered <= Unanswered;
}

bool Supported(const boardsim::Action& A) {
  using K = boardsim::ActionKind;
  return A.Kind == K::Answer || A.Kind == K::Choose || A.Kind == K::Text || A.Kind == K::Save || A.Kind == K::Set ||
         A.Kind == K::Callback;
}

std::string Serialise(const Outcome& O) {
  std::string Out = O.FaultHit ? "1" : "0";
  for (const std::string& F : O.Findings) Out += "\nF" + F;
  for (const std::string& W : O.Writes) Out += "\nW" + W;
  return Out;
}

Outcome Deserialise(const std::string& Text) {
  Outcome O;
  O.FaultHit = !Text.empty() && Text[0] == '1';
  size_t At = Text.find('\n');
  while (At != std::string::npos) {
    const size_t Next = Text.find('\n', At + 1);
    const std::string Line = Text.substr(At + 1, Next == std::string::npos ? std::string::npos : Next - At - 1);
    if (!Line.empty()) (Line[0] == 'W' ? O.Writes : O.Findings).push_back(Line.substr(1));
    At = Next;
  }
  return O;
}

// Marks a key write after the fault that left the variable as the step
// found it: the driver put the old key back.
constexpr const char* PUT_BACK = " (put back as it was)";

// A child that never ends is a hang, reported as its case's finding.
constexpr unsigned CHILD_SECONDS = 60;

class Execution {
 public:
  Execution(const sim::BoardProfile& Profile, const Stage& P, const FaultKind* Kind, StageSweep* Sweep)
      : Session_(Profile), M_(Session_.Machine()), P_(P), Kind_(Kind), Sweep_(Sweep) {}

  Outcome Run() {
    if (P_.Boot) {
      if (P_.BeforeSwept) P_.BeforeSwept(M_);
      SnapshotKeys();
      Watch();
      Session_.Boot();
      Unwatch();
      Attribute("boot");
      return Finish();
    }
    Session_.Boot();
    boardsim::ActionParse Setup = boardsim::ParseActionList(P_.Setup, "setup", false);
    boardsim::ActionParse Swept = boardsim::ParseActionList(P_.Swept, "swept", false);
    if (Setup.Error || Swept.Error) return Problem((Setup.Error ? Setup.Error : Swept.Error)->Message());
    std::vector<boardsim::Action> All = Setup.Actions;
    All.insert(All.end(), Swept.Actions.begin(), Swept.Actions.end());
    boardsim::ActionRunner Checker(Session_, boardsim::CompiledFormSets().FormSets);
    if (auto Error = Checker.Check(All)) return Problem(Error->Message());
    for (const boardsim::Action& A : All)
      if (!Supported(A)) return Problem(A.Text + ": not an action the sweeps run");
    for (const boardsim::Action& A : Setup.Actions)
      if (!RunAction(Session_, A)) return Problem(A.Text + ": a dialog was left unanswered");
    if (P_.BeforeSwept) P_.BeforeSwept(M_);
    Watch();
    for (const boardsim::Action& A : Swept.Actions) {
      SnapshotKeys();
      const bool Answered = RunAction(Session_, A);
      Attribute(A.Text);
      // Without the fault the stage must run to its end.
      if (!Answered) {
        if (!O_.FaultHit) {
          Unwatch();
          return Problem(A.Text + ": a dialog was left unanswered");
        }
        break;
      }
    }
    if (P_.Update) {
      SnapshotKeys();
      boardsim::RunUpdateLookup(Session_);
      Attribute("update lookup");
    }
    Unwatch();
    return Finish();
  }

 private:
  void Watch() {
    if (Kind_ == nullptr) return;
    Kind_->Watch(M_, [this] { AtPoint(); });
  }
  void Unwatch() {
    if (Kind_ != nullptr && !Child_) Kind_->Unwatch(M_);
  }

  // The parent forks here; the child fails this point and runs on. Up to
  // one child per processor runs beside the parent.
  void AtPoint() {
    if (Child_) return;
    if (Running_.size() >= Parallel()) Collect();
    std::fflush(stdout);
    std::fflush(stderr);
    int Fds[2];
    if (pipe(Fds) != 0) std::abort();
    const pid_t Pid = fork();
    if (Pid < 0) std::abort();
    if (Pid == 0) {
      close(Fds[0]);
      for (const Running& R : Running_) close(R.Fd);
      Running_.clear();
      Child_ = true;
      Fd_ = Fds[1];
      alarm(CHILD_SECONDS);
      Kind_->Unwatch(M_);
      Kind_->FailHere(M_, [this] { Reached(); });
      return;
    }
    close(Fds[1]);
    Running_.push_back({Pid, Fds[0], Sweep_->Cases.size()});
    Sweep_->Cases.emplace_back();
  }

  static size_t Parallel() {
    static const size_t N = std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 2);
    return N;
  }

  // The oldest child's outcome.
  void Collect() {
    const Running R = Running_.front();
    Running_.pop_front();
    std::string Text;
    char Buffer[4096];
    for (ssize_t Got; (Got = read(R.Fd, Buffer, sizeof(Buffer))) != 0;) {
      if (Got < 0) {
        if (errno == EINTR) continue;
        break;
      }
      Text.append(Buffer, (size_t)Got);
    }
    close(R.Fd);
    int Status = 0;
    waitpid(R.Pid, &Status, 0);
    Outcome O = Deserialise(Text);
    if (WIFSIGNALED(Status))
      O.Findings.push_back(std::string("the run ended on signal ") + std::to_string(WTERMSIG(Status)) +
                           (WTERMSIG(Status) == SIGALRM ? " (a hang)" : " (a crash)"));
    else if (!WIFEXITED(Status) || WEXITSTATUS(Status) != 0)
      O.Findings.push_back("the run ended with status " + std::to_string(WEXITSTATUS(Status)) +
                           " (a sanitizer report is on standard error)");
    Sweep_->Cases[R.Case] = std::move(O);
  }

  void Reached() {
    if (O_.FaultHit) return;
    O_.FaultHit = true;
  }

  // The key variable and Setup writes of each step in the run without a
  // fault; in a faulted run those of the step the fault hit, from its start.
  void Attribute(const std::string& Step) {
    const std::string Tag = std::to_string(++Steps_) + " " + Step + ": ";
    const bool Faulted = Child_;
    if (Faulted && (!O_.FaultHit || Attributed_)) return;
    Attributed_ = Faulted;
    const auto& Log = M_.Variables().SetLog();
    for (size_t I = VarSeen_; I < Log.size(); ++I)
      // A write the store refused wrote nothing.
      if (IsKeyVariable(Log[I].Name, Log[I].Guid) && !EFI_ERROR(Log[I].Status))
        O_.Writes.push_back(Tag + "K key variable " + sim::ToUtf8(Log[I].Name) + " written, attributes " +
                            Hex(Log[I].Attributes) + ", " + Digest(Log[I].Data) +
                            (Faulted && Stored(Log[I].Name, Log[I].Guid) == KeysBefore_[Log[I].Name] ? PUT_BACK : ""));
    const auto& Data = M_.Hii().Browser->DataLog();
    for (size_t I = DataSeen_; I < Data.size(); ++I)
      if (IsSetup(Data[I].Name, Data[I].Guid) && !EFI_ERROR(Data[I].Status))
        O_.Writes.push_back(Tag + "S Setup handed back to the browser, " + Digest(Data[I].Bytes));
    VarSeen_ = Log.size();
    DataSeen_ = Data.size();
  }

  using Content = std::optional<std::vector<UINT8>>;
  Content Stored(const std::u16string& Name, const EFI_GUID& Guid) {
    const auto* V = M_.Variables().Find(Name, Guid);
    return V == nullptr ? Content() : Content(V->Data);
  }
  // The key variables as a step finds them, to tell a put-back from a write.
  void SnapshotKeys() {
    for (UINTN I = 0; I < KEY_VARIABLE_COUNT; ++I) KeysBefore_[KeyVariables[I].Name] = Stored(KeyVariables[I].Name, *KeyVariableGuid(I));
  }

  Outcome Problem(std::string Why) {
    O_.Problem = std::move(Why);
    return Finish();
  }

  Outcome Finish() {
    while (!Running_.empty()) Collect();
    M_.Pool().CheckGuards();
    for (const std::string& Misuse : M_.Misuse()) O_.Findings.push_back("misuse: " + Misuse);
    const std::string Leaks = M_.LeakReport();
    if (!Leaks.empty()) {
      std::string Line = Leaks.substr(0, 240);
      std::replace(Line.begin(), Line.end(), '\n', ' ');
      O_.Findings.push_back("leak: " + Line);
    }
    for (const auto& W : M_.Hii().Database->StringWrites())
      if (CarriesFreshFill(W.Text)) {
        O_.Findings.push_back("string " + Hex(W.StringId) + " (" + W.Language + ") set from uninitialised pool");
        break;
      }
    if (P_.Verify) P_.Verify(M_, O_.Findings);
    if (Child_) {
      if (!O_.Problem.empty()) O_.Findings.push_back("stopped: " + O_.Problem);
      const std::string Text = Serialise(O_);
      for (size_t Done = 0; Done < Text.size();) {
        const ssize_t Put = write(Fd_, Text.data() + Done, Text.size() - Done);
        if (Put <= 0) break;
        Done += (size_t)Put;
      }
      _exit(0);
    }
    return O_;
  }

  boardsim::BoardSession Session_;
  sim::Machine& M_;
  const Stage& P_;
  const FaultKind* Kind_;
  StageSweep* Sweep_;
  Outcome O_;
  bool Child_ = false;
  int Fd_ = -1;
  struct Running {
    pid_t Pid;
    int Fd;
    size_t Case;
  };
  std::deque<Running> Running_;
  std::map<std::u16string, Content> KeysBefore_;
  size_t VarSeen_ = 0, DataSeen_ = 0;  // the run without a fault: logged so far
  bool Attributed_ = false;
  size_t Steps_ = 0;
};

}  // namespace

Outcome RunStage(const sim::BoardProfile& Profile, const Stage& P) { return Execution(Profile, P, nullptr, nullptr).Run(); }

StageSweep SweepStage(const sim::BoardProfile& Profile, const Stage& P, const FaultKind& Kind) {
  StageSweep Sweep;
  Sweep.Baseline = Execution(Profile, P, &Kind, &Sweep).Run();
  return Sweep;
}

namespace {

// Browser action each item callback reacts to.
const std::map<ITEM_CALLBACK, const char*>& ActionOfHandler() {
  static const std::map<ITEM_CALLBACK, const char*> Actions = {
      {RefreshHardwareMonitor, "retrieve"},
      {NormalizePointList, "changed"},
      {OnProcessorSettingChanged, "changed"},
      {OnLinkedSettingChanged, "changed"},
      {OnGraphicsSettingChanged, "changed"},
      {OnMemoryTimingChanged, "changed"},
      {OnOutputChosen, "changed"},
      {OnOutputPropertyChanged, "changed"},
      {OnLockedQuestionChanging, "changing"},
      {OnClockPageRefresh, "changed"},
      {OnClockSelected, "changed"},
      {OnClockFrequencyChanged, "changed"},
      {OnClockApply, "changed"},
      {OnForward51C, "changing"},
      {OnPresetChosen, "changed"},
      {OnForward51D, "changing"},
      {OnForward51E, "changing"},
      {OnNetworkConfigure, "changing"},
      {OnNetworkAction52A, "changing"},
      {OnNetworkAction52D, "changing"},
      {OnNetworkAction52E, "changing"},
      {OnSaveUserProfile, "changing"},
      {OnLoadUserProfile, "changing"},
      {OnMainPageAction, "changing"},
      {OnNetworkSummaryAction, "changed"},
      {OnToolAction1, "changing"},
      {OnToolAction2, "changing"},
  };
  return Actions;
}

std::string Callback(UINT16 Class, UINT16 Key, const std::string& Action, const std::string& Value = "") {
  return "callback " + Hex(Class) + " " + Hex(Key) + " " + Action + (Value.empty() ? "" : " " + Value);
}

// Every dialog a generic row may meet gets an answer: "go on" / "yes", the
// first list item, the proposed name.
const char* const AnyDialog = "answer 0 0 0 0; choose 0 0 0 0; text Swept";

// The Secure Boot page's actions with their dialogs, as a user goes through
// them on the default board (keys enrolled, user mode).
void AddSecureBootStages(std::vector<Stage>& Stages) {
  const UINT16 Page = 0x40;
  const std::string ClearAll = "answer 0; " + Callback(Page, KEY_DELETE_ALL_KEYS, "changing");
  Stages.push_back({"install defaults in setup mode", ClearAll,
                   Callback(Page, KEY_INSTALL_DEFAULTS_SILENTLY, "changing", "u8:1")});
  Stages.push_back({"delete all keys", "answer 0", Callback(Page, KEY_DELETE_ALL_KEYS, "changing")});
  Stages.push_back({"restore default keys", "answer 0", Callback(Page, KEY_RESTORE_DEFAULT_KEYS, "changing")});
  Stages.push_back({"restore default keys from setup mode", ClearAll + "; answer 0",
                   Callback(Page, KEY_RESTORE_DEFAULT_KEYS, "changing")});
  Stages.push_back({"restore default keys if set", "answer 0",
                   Callback(Page, KEY_RESTORE_DEFAULT_KEYS_IF_SET, "changing", "u8:1")});
  Stages.push_back({"save all keys to the stick", "choose 0", Callback(Page, KEY_SAVE_ALL_KEYS, "changing")});
  for (const KEY_VARIABLE_QUESTION& Q : KeyVariableQuestions) {
    const std::string Name = sim::ToUtf8(KeyVariables[Q.Index].Name);
    const std::string Send = Callback(Page, Q.Key, "changing");
    if (Q.Operation == KEY_OPERATION_DELETE) {
      Stages.push_back({"delete " + Name, "answer 0", Send});
      continue;
    }
    const std::string Verb = Q.Operation == KEY_OPERATION_SET ? "set " : "append ";
    Stages.push_back({Verb + Name + " from its default file", "answer 0", Send});
    // "no" to the default file; the stick, <KEYS>, DB-APPEND.AUTH, used as it is; "yes".
    Stages.push_back({Verb + Name + " from a signed file", "answer 1 0; choose 0 3 3 1", Send});
    // The bare certificate in the root, wrapped into one list; "yes".
    Stages.push_back({Verb + Name + " from a wrapped certificate", "answer 1 0; choose 0 0 0", Send});
  }
}

}  // namespace

static std::vector<Stage> FullScenario();

std::vector<Stage> Scenario() {
  std::vector<Stage> Stages = FullScenario();
  // SWEEP_ONLY=text keeps the stages whose name holds it, to rerun one.
  if (const char* Only = std::getenv("SWEEP_ONLY"))
    Stages.erase(std::remove_if(Stages.begin(), Stages.end(),
                                [Only](const Stage& S) { return S.Name.find(Only) == std::string::npos; }),
                 Stages.end());
  return Stages;
}

static std::vector<Stage> FullScenario() {
  std::vector<Stage> Stages;
  Stages.push_back({"first boot", "", "", true});
  const auto& Actions = ActionOfHandler();
  for (const ITEM_CALLBACK_ENTRY& E : StaticItemCallbacks()) {
    if (E.Handler == nullptr) break;
    if (E.Class == 0x40) continue;  // the Secure Boot rows come with their dialogs below
    auto It = Actions.find(E.Handler);
    const std::string Action = It == Actions.end() ? "" : It->second;
    Stage Row{"row " + Hex(E.Class) + "/" + Hex(E.Key), AnyDialog, Action.empty() ? "" : Callback(E.Class, E.Key, Action)};
    // A row with no known action is a harness fault, reported by the sweep.
    if (Action.empty()) Row.Setup = "unknown-action";
    Stages.push_back(Row);
  }
  // Row 1 of table A picked before its question, so the preset is applied.
  Stages.push_back({"preset row 1 of table A", "set Setup 0x481 byte 1", Callback(0x2, 0x51F, "changed")});
  AddSecureBootStages(Stages);
  Stages.push_back({"profile round trip", "",
                   "text Before; callback tools 0x530 changing; save; set Setup 0x80 byte 77; "
                   "callback tools 0x531 changing; save"});
  Stages.push_back({"update lookup", "", "", false, true});
  return Stages;
}

void SweepTally::Add(const std::string& Name, const StageSweep& Sweep) {
  ++Stages;
  if (!Sweep.Baseline.Problem.empty()) Findings.push_back(Name + ": " + Sweep.Baseline.Problem);
  for (const std::string& F : Sweep.Baseline.Findings) Findings.push_back(Name + " without a fault: " + F);
  for (size_t I = 0; I < Sweep.Cases.size(); ++I) {
    ++Cases;
    const Outcome& O = Sweep.Cases[I];
    const std::string Case = Name + " #" + std::to_string(I + 1) + ": ";
    // The child runs what the parent ran up to its point, so the fault lands.
    if (!O.FaultHit) Findings.push_back(Case + "the injected fault was never reached");
    for (const std::string& F : O.Findings) Findings.push_back(Case + F);
    // Up to the fault the child ran as the parent did. After it the driver
    // may stop or skip what the fault touched (a key whose default file
    // cannot be read is skipped and the restore goes on), but every write it
    // still makes must be one the run without the fault made in that step,
    // in the same order, or put a key back as the step found it: anything
    // else was written on the failed path.
    // "<n> <step>: <K|S> ..."
    auto OfKind = [](const std::string& W, const char* Kind) { return W.compare(W.find(": ") + 2, 2, Kind) == 0; };
    for (const char* Kind : {"K ", "S "}) {
      std::vector<std::string> Base, Faulted;
      std::string Step;
      for (const std::string& W : O.Writes)
        if (OfKind(W, Kind) && !W.ends_with(PUT_BACK)) {
          Step = W.substr(0, W.find(": ") + 2);
          Faulted.push_back(W);
        }
      if (Faulted.empty()) continue;
      for (const std::string& W : Sweep.Baseline.Writes)
        if (W.compare(0, Step.size(), Step) == 0 && OfKind(W, Kind)) Base.push_back(W);
      size_t Next = 0;
      for (const std::string& W : Faulted) {
        while (Next < Base.size() && Base[Next] != W) ++Next;
        if (Next == Base.size()) {
          Findings.push_back(Case + W + " on the failed path, unlike the run without the fault");
          break;
        }
        ++Next;
      }
    }
  }
}

}  // namespace sweeps
