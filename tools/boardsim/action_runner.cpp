#include "tools/boardsim/action_runner.h"

#include <algorithm>
#include <set>

#include "platform/callback_registry.h"
#include "setupinfo/core/item_callback_table.h"
#include "sim/hii/form_utility_service.h"
#include "sim/hii/setup_browser.h"
#include "tools/boardsim/text_util.h"

namespace boardsim {
namespace {

const char* OutcomeName(sim::SetupBrowser::Outcome Outcome) {
  switch (Outcome) {
    case sim::SetupBrowser::Outcome::None:
      return "none";
    case sim::SetupBrowser::Outcome::Saved:
      return "saved";
    case sim::SetupBrowser::Outcome::SaveFailed:
      return "save failed";
    case sim::SetupBrowser::Outcome::Discarded:
      return "discarded";
    case sim::SetupBrowser::Outcome::Closed:
      return "closed";
    case sim::SetupBrowser::Outcome::Reset:
      return "reset";
    case sim::SetupBrowser::Outcome::Reconnect:
      return "reconnect";
    case sim::SetupBrowser::Outcome::NotCalled:
      return "not called";
  }
  return "unknown";
}

ActionError ErrorFor(const Action& A, std::string Why) { return ActionError{A.Origin, A.Text, std::move(Why)}; }

}  // namespace

std::string KeyRanges(const std::vector<uint16_t>& Keys) {
  std::string Out;
  for (size_t I = 0; I < Keys.size();) {
    size_t J = I;
    while (J + 1 < Keys.size() && Keys[J + 1] == Keys[J] + 1) {
      ++J;
    }
    Out += (Out.empty() ? "" : ", ") + Hex(Keys[I]);
    if (J > I) {
      Out += "-" + Hex(Keys[J]);
    }
    I = J + 1;
  }
  return Out;
}

ActionRunner::ActionRunner(BoardSession& Session, const std::vector<PackagedFormSet>& FormSets)
    : Session_(Session), FormSets_(FormSets) {}

std::vector<uint16_t> ActionRunner::KeysOf(uint16_t Class) {
  std::set<uint16_t> Keys;
  auto Take = [&](const ITEM_CALLBACK_ENTRY& E) {
    // The main form set answers for every class.
    if (E.Handler != nullptr && E.SubClass == 0 && (E.Class == Class || Class == 1)) {
      Keys.insert(E.Key);
    }
  };
  for (const ITEM_CALLBACK_ENTRY& E : StaticItemCallbacks()) {
    Take(E);
  }
  EFI_BOOT_SERVICES* Bs = Session_.Machine().BootServices();
  CALLBACK_REGISTRY_PROTOCOL* Registry = nullptr;
  if (!EFI_ERROR(Bs->LocateProtocol(&CALLBACK_REGISTRY_PROTOCOL::Guid, nullptr, (VOID**)&Registry)) &&
      Registry != nullptr) {
    UINTN Size = 0;
    if (Registry->ListItemCallbacks(&Size, nullptr) == EFI_BUFFER_TOO_SMALL && Size > 0) {
      std::vector<ITEM_CALLBACK_ENTRY> Entries(Size / sizeof(ITEM_CALLBACK_ENTRY) + 1);
      if (!EFI_ERROR(Registry->ListItemCallbacks(&Size, Entries.data()))) {
        for (size_t I = 0; I < Size / sizeof(ITEM_CALLBACK_ENTRY); ++I) {
          Take(Entries[I]);
        }
      }
    }
  }
  return std::vector<uint16_t>(Keys.begin(), Keys.end());
}

const sim::SetupBrowser::Store* ActionRunner::FindStore(const std::string& Name) {
  const auto& All = Session_.Browser().Stores();
  for (const auto& S : All) {
    if (Utf8FromUcs2(S.Name) == Name) {
      return &S;
    }
  }
  const sim::SetupBrowser::Store* Found = nullptr;
  for (const auto& S : All) {
    if (Lower(Utf8FromUcs2(S.Name)) == Lower(Name)) {
      if (Found != nullptr) {
        return nullptr;  // ambiguous without the exact case
      }
      Found = &S;
    }
  }
  return Found;
}

std::optional<ActionError> ActionRunner::Check(const std::vector<Action>& Actions) {
  for (const Action& A : Actions) {
    if (A.Kind == ActionKind::Set) {
      const sim::SetupBrowser::Store* Store = FindStore(A.Store);
      if (Store == nullptr) {
        std::string Names;
        for (const auto& S : Session_.Browser().Stores()) {
          Names += (Names.empty() ? "" : ", ") + Utf8FromUcs2(S.Name);
        }
        return ErrorFor(A, "the browser holds no store named \"" + A.Store + "\" (stores: " +
                               (Names.empty() ? std::string("none") : Names) + ")");
      }
      if (uint64_t(A.Offset) + A.Width > Store->Current.size()) {
        return ErrorFor(A, WidthName(A.Width) + " at " + Hex(A.Offset) + " lies outside " + Utf8FromUcs2(Store->Name) +
                               " (" + std::to_string(Store->Current.size()) + " bytes)");
      }
      continue;
    }
    if (A.Kind == ActionKind::Answer || A.Kind == ActionKind::Choose) {
      if (!Session_.HasMessageBox()) {
        return ErrorFor(A, "the board has no message box service to answer (messageBox.present is false)");
      }
      continue;
    }
    if (A.Kind == ActionKind::Text) {
      if (!Session_.HasProfileStorage()) {
        return ErrorFor(A, "the board has no profile storage protocol to type into (no profileStorage section)");
      }
      continue;
    }
    if (A.Kind == ActionKind::Save || A.Kind == ActionKind::ReadyToBoot || A.Kind == ActionKind::Reboot ||
        A.Kind == ActionKind::ResolutionTrigger) {
      continue;
    }
    if (A.Kind == ActionKind::Bench) {
      if (auto Why = CheckBenchAction(Session_, A.Bench)) return ErrorFor(A, *Why);
      continue;
    }
    if (A.Kind == ActionKind::Sata) {
      if (!Session_.HasSataDriver()) {
        return ErrorFor(A, "the board has no SATA driver to call (no sataPortDriver section)");
      }
      continue;
    }
    const PackagedFormSet* FormSet = FindFormSet(FormSets_, A.FormSet);
    if (FormSet == nullptr) {
      return ErrorFor(A, "unknown form set \"" + A.FormSet + "\" (form sets: " + FormSetChoices(FormSets_) + ")");
    }
    if (A.Kind == ActionKind::Callback && !A.Unchecked) {
      const std::vector<uint16_t> Keys = KeysOf(FormSet->Class);
      if (!std::binary_search(Keys.begin(), Keys.end(), A.Key)) {
        return ErrorFor(A, "key " + Hex(A.Key) + " has no question callback on " + FormSet->Name + " (" +
                               Hex(FormSet->Class) + "); its keys: " +
                               (Keys.empty() ? std::string("none") : KeyRanges(Keys)));
      }
    }
  }
  return std::nullopt;
}

std::vector<ActionRunner::StoreCopy> ActionRunner::Stores() {
  std::vector<StoreCopy> Copies;
  for (const auto& S : Session_.Browser().Stores()) {
    Copies.push_back(StoreCopy{S.Name, S.Guid, S.Current});
  }
  return Copies;
}

std::vector<ActionResult> ActionRunner::Run(const std::vector<Action>& Actions) {
  std::vector<ActionResult> Results;
  for (const Action& A : Actions) {
    sim::MessageBoxPeer* Boxes = Session_.MessageBox();
    const size_t Unanswered = Boxes != nullptr ? Boxes->Unanswered : 0;
    Results.push_back(RunOne(A));
    // A reboot during the action made a new service; the old one is gone.
    if (Boxes == nullptr || Session_.MessageBox() != Boxes || Boxes->Unanswered <= Unanswered) continue;
    const ActionResult& R = Results.back();
    if (Boxes->LastUnansweredWasList) {
      Stopped_ = ErrorFor(A, "the list \"" + (R.Lists.empty() ? std::string() : R.Lists.back().Title) +
                                 "\" was shown with no choice queued (queue one with \"choose N\" or \"choose "
                                 "escape\" before this action)");
    } else {
      Stopped_ = ErrorFor(A, "the message box \"" + (R.Boxes.empty() ? std::string() : R.Boxes.back().Title) +
                                 "\" asked for an answer and none was queued (queue one with \"answer N\" before "
                                 "this action)");
    }
    break;
  }
  return Results;
}

// A string of a package list in the board's language (PlatformLang), else
// in its first language.
std::string ActionRunner::ResolveString(EFI_HII_HANDLE Handle, EFI_STRING_ID Id) {
  const sim::HiiPackageList* List = Session_.Machine().Hii().Database->Find(Handle);
  if (List == nullptr || Id == 0) return "";
  std::string Language = "en-US";
  if (const auto* V = Session_.Machine().Variables().Find(u"PlatformLang", EFI_GLOBAL_VARIABLE_GUID)) {
    Language.assign(V->Data.begin(), V->Data.end());
    while (!Language.empty() && Language.back() == 0) Language.pop_back();
  }
  const sim::HiiStringPackage* Package = List->FindLanguage(Language.c_str());
  if (Package == nullptr && !List->StringPackages.empty()) Package = &List->StringPackages.front();
  if (Package == nullptr) return "";
  auto It = Package->Strings.find(Id);
  return It == Package->Strings.end() ? "" : Utf8FromUcs2(It->second);
}

ActionResult ActionRunner::RunOne(const Action& A) {
  ActionResult Result;
  Result.Source = A;
  const bool NamesFormSet = A.Kind == ActionKind::Callback || A.Kind == ActionKind::Show;
  const PackagedFormSet* FormSet = NamesFormSet ? FindFormSet(FormSets_, A.FormSet) : nullptr;
  if (FormSet != nullptr) {
    Result.Class = FormSet->Class;
    Result.FormSetName = FormSet->Name;
  }
  if (A.Kind == ActionKind::Show) {
    Result.Page = Session_.Page(*FormSet);
    return Result;
  }
  const std::vector<StoreCopy> StoresBefore = Stores();
  const StringSnapshot StringsBefore = Session_.Strings(FormSets_);
  const auto& Log = Session_.Machine().Variables().SetLog();
  const size_t LogStart = Log.size();
  const size_t CallStart = Session_.DeviceCalls().size();
  const size_t RegisteredStart = Session_.RegisteredCalls.size();

  sim::MessageBoxPeer* Boxes = Session_.MessageBox();
  const size_t BoxesBefore = Boxes != nullptr ? Boxes->Boxes.size() : 0;
  sim::ProfileStoragePeer* Profiles = Session_.ProfileStorage();
  const size_t MessagesBefore = Profiles != nullptr ? Profiles->Messages.size() : 0;
  const size_t PromptsBefore = Profiles != nullptr ? Profiles->Prompts.size() : 0;
  const size_t ListsBefore = Boxes != nullptr ? Boxes->Lists.size() : 0;
  // Taken once: an action that ends in a restart takes them before the
  // restart, and the common path must not take them again.
  auto TakeBoxes = [&] {
    if (Boxes != nullptr) {
      for (size_t I = BoxesBefore; I < Boxes->Boxes.size(); ++I) {
        const sim::MessageBoxShown& B = Boxes->Boxes[I];
        Result.Boxes.push_back(BoxShown{Utf8FromUcs2(B.Title), Utf8FromUcs2(B.Text), B.Kind});
      }
      for (size_t I = ListsBefore; I < Boxes->Lists.size(); ++I) {
        const sim::ListBoxShown& L = Boxes->Lists[I];
        ListShown Shown{ResolveString(L.HiiHandle, L.Title), {}};
        for (EFI_STRING_ID Item : L.Items) Shown.Items.push_back(ResolveString(L.HiiHandle, Item));
        Result.Lists.push_back(std::move(Shown));
      }
    }
    // The profile storage protocol's prompts and boxes are dialogs too.
    if (Profiles != nullptr) {
      for (size_t I = PromptsBefore; I < Profiles->Prompts.size(); ++I) {
        const sim::TextPromptShown& P = Profiles->Prompts[I];
        TextPromptRecord Record{P.Prompt, Session_.FormSetText(P.HiiHandle, P.Prompt), Utf8FromUcs2(P.Proposed),
                                std::nullopt};
        if (P.Given) Record.Typed = Utf8FromUcs2(*P.Given);
        Result.Prompts.push_back(std::move(Record));
      }
      for (size_t I = MessagesBefore; I < Profiles->Messages.size(); ++I) {
        const sim::ProfileMessageShown& M = Profiles->Messages[I];
        Result.Boxes.push_back(BoxShown{Utf8FromUcs2(M.Title), Utf8FromUcs2(M.Text), unsigned(M.Kind)});
      }
    }
    Boxes = nullptr;
    Profiles = nullptr;
  };

  sim::SetupBrowser& Browser = Session_.Browser();
  if (A.Kind == ActionKind::Answer && Boxes != nullptr) {
    for (uint64_t N : A.Numbers) Boxes->Answers.push_back(uint8_t(N));
  } else if (A.Kind == ActionKind::Choose && Boxes != nullptr) {
    for (uint64_t N : A.Numbers) Boxes->ListChoices.push_back(N);
  } else if (A.Kind == ActionKind::Text && Profiles != nullptr) {
    Profiles->TextAnswers.push_back(A.TypedText ? std::optional<std::u16string>(Ucs2FromUtf8(*A.TypedText))
                                                : std::nullopt);
  } else if (A.Kind == ActionKind::Reboot) {
    // The user turns the board off and on: whatever the browser did not
    // save is gone, the drivers load again and setup opens.
    const auto& LogBefore = Session_.Machine().Variables().SetLog();
    for (size_t I = LogStart; I < LogBefore.size(); ++I) {
      const auto& E = LogBefore[I];
      Result.VariablesWritten.push_back(
          VariableWrite{Utf8FromUcs2(E.Name), GuidText(E.Guid), E.Attributes, E.Data, E.Status});
    }
    Result.Restarted = true;
    Result.ResetType = "power cycle";
    Result.BootNumber = Session_.Boot().Number;
    Result.StringChanges = DiffStrings(StringsBefore, Session_.Strings(FormSets_));
    return Result;
  } else if (A.Kind == ActionKind::ReadyToBoot) {
    // The boot manager's signal. A restart asked for meanwhile ends this boot
    // as it would on the board: the machine boots again and setup reopens.
    Session_.Machine().SignalReadyToBoot();
    TakeBoxes();
    if (const auto& Reset = Session_.Machine().ResetRequest()) {
      Result.Restarted = true;
      Result.ResetType = Reset->Type == EfiResetCold   ? "cold"
                         : Reset->Type == EfiResetWarm ? "warm"
                         : Reset->Type == EfiResetShutdown ? "shutdown"
                                                           : "platform-specific";
      const auto& LogBefore = Session_.Machine().Variables().SetLog();
      for (size_t I = LogStart; I < LogBefore.size(); ++I) {
        const auto& E = LogBefore[I];
        Result.VariablesWritten.push_back(
            VariableWrite{Utf8FromUcs2(E.Name), GuidText(E.Guid), E.Attributes, E.Data, E.Status});
      }
      Result.BootNumber = Session_.Boot().Number;
      Result.StringChanges = DiffStrings(StringsBefore, Session_.Strings(FormSets_));
      return Result;
    }
  } else if (A.Kind == ActionKind::ResolutionTrigger) {
    Result.Status = Session_.InstallResolutionTrigger();
  } else if (A.Kind == ActionKind::Set) {
    const sim::SetupBrowser::Store* Store = FindStore(A.Store);
    std::vector<UINT8>* Bytes = Store == nullptr ? nullptr : Browser.StoreBytes(Store->Name, Store->Guid);
    if (Bytes == nullptr || A.Offset + A.Width > Bytes->size()) {
      Result.Status = EFI_NOT_READY;  // an earlier action closed the browser or dropped the store
    } else {
      for (unsigned I = 0; I < A.Width; ++I) {
        (*Bytes)[A.Offset + I] = UINT8(A.Value >> (8 * I));
      }
    }
  } else if (A.Kind == ActionKind::Save) {
    Result.Status = Browser.Save();
  } else if (A.Kind == ActionKind::Bench) {
    RunBenchAction(Session_, A.Bench, Result);
  } else if (A.Kind == ActionKind::Sata) {
    // No protocol to call: the setup driver has not loaded its form sets.
    Result.Status = Session_.CallSataDriver() > 0 ? EFI_SUCCESS : EFI_NOT_FOUND;
  } else {
    EFI_IFR_TYPE_VALUE Value{};
    Value.u64 = A.CallbackValue;
    const size_t Before = Browser.Log().size();
    Result.Status = Browser.Callback(FormSet->Class, A.BrowserAction, A.Key, A.ValueType, Value);
    if (Browser.Log().size() > Before) {
      const sim::SetupBrowser::CallbackRecord& Record = Browser.Log().back();
      Result.ActionRequest = Record.Request;
      Result.BrowserOutcome = OutcomeName(Record.Result);
    } else {
      Result.BrowserOutcome = "not called";
    }
  }

  TakeBoxes();
  const std::vector<StoreCopy> StoresAfter = Stores();
  for (const StoreCopy& After : StoresAfter) {
    std::vector<UINT8> Old;
    for (const StoreCopy& Before : StoresBefore) {
      if (Before.Name == After.Name && Before.Guid == After.Guid) {
        Old = Before.Bytes;
      }
    }
    std::vector<ByteChange> Bytes = DiffBytes(Old, After.Bytes);
    if (!Bytes.empty()) {
      Result.StoreChanges.push_back(StoreDiff{Utf8FromUcs2(After.Name), GuidText(After.Guid), std::move(Bytes)});
    }
  }
  Result.StringChanges = DiffStrings(StringsBefore, Session_.Strings(FormSets_));
  const auto& LogAfter = Session_.Machine().Variables().SetLog();
  for (size_t I = LogStart; I < LogAfter.size(); ++I) {
    const auto& E = LogAfter[I];
    Result.VariablesWritten.push_back(
        VariableWrite{Utf8FromUcs2(E.Name), GuidText(E.Guid), E.Attributes, E.Data, E.Status});
  }
  const std::vector<std::string> Calls = Session_.DeviceCalls();
  if (Calls.size() > CallStart) Result.DeviceCalls.assign(Calls.begin() + CallStart, Calls.end());
  Result.RegisteredCalls.assign(Session_.RegisteredCalls.begin() + RegisteredStart, Session_.RegisteredCalls.end());
  return Result;
}

}  // namespace boardsim
