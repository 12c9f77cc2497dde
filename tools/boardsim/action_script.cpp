#include "tools/boardsim/action_script.h"

#include "tools/boardsim/text_util.h"
#include "platform/form_utility.h"
#include "uefi/hii.h"

namespace boardsim {
namespace {

struct NamedAction {
  const char* Name;
  uint64_t Value;
};

constexpr NamedAction BrowserActions[] = {
    {"changing", EFI_BROWSER_ACTION_CHANGING},
    {"changed", EFI_BROWSER_ACTION_CHANGED},
    {"retrieve", EFI_BROWSER_ACTION_RETRIEVE},
    {"form-open", EFI_BROWSER_ACTION_FORM_OPEN},
    {"form-close", EFI_BROWSER_ACTION_FORM_CLOSE},
    {"submitted", EFI_BROWSER_ACTION_SUBMITTED},
    {"refresh", BROWSER_ACTION_REFRESH},
    {"default-standard", EFI_BROWSER_ACTION_DEFAULT_STANDARD},
    {"default-manufacturing", EFI_BROWSER_ACTION_DEFAULT_MANUFACTURING},
    {"default-safe", EFI_BROWSER_ACTION_DEFAULT_SAFE},
    {"default-platform", EFI_BROWSER_ACTION_DEFAULT_PLATFORM},
    {"default-hardware", EFI_BROWSER_ACTION_DEFAULT_HARDWARE},
    {"default-firmware", EFI_BROWSER_ACTION_DEFAULT_FIRMWARE},
};

struct NamedType {
  const char* Name;
  uint8_t Type;
  uint64_t Max;
};

constexpr NamedType ValueTypes[] = {
    {"u8", EFI_IFR_TYPE_NUM_SIZE_8, 0xFF},
    {"u16", EFI_IFR_TYPE_NUM_SIZE_16, 0xFFFF},
    {"u32", EFI_IFR_TYPE_NUM_SIZE_32, 0xFFFFFFFF},
    {"u64", EFI_IFR_TYPE_NUM_SIZE_64, UINT64_MAX},
    {"bool", EFI_IFR_TYPE_BOOLEAN, 1},
};

std::string Joined(const std::vector<std::string>& Words) {
  std::string Out;
  for (const std::string& W : Words) {
    if (!Out.empty()) {
      Out += ' ';
    }
    Out += W;
  }
  return Out;
}

class Parser {
 public:
  Parser(std::vector<std::string> Words, std::string Origin) : Words_(std::move(Words)) {
    Action_.Text = Joined(Words_);
    Action_.Origin = std::move(Origin);
  }

  ActionParse Run() {
    const std::string Verb = Lower(Words_[0]);
    if (Verb == "set") {
      return Set();
    }
    if (Verb == "callback" || Verb == "callback-any") {
      Action_.Unchecked = Verb == "callback-any";
      return Callback();
    }
    if (Verb == "show") {
      return Show();
    }
    if (Verb == "save") {
      if (Words_.size() != 1) {
        return Fail("expected: save");
      }
      Action_.Kind = ActionKind::Save;
      return Done();
    }
    if (Verb == "answer" || Verb == "choose") {
      return Queue(Verb == "answer");
    }
    if (Verb == "text") {
      if (Words_.size() < 2) {
        return Fail("expected: text WORD [WORD ...] (or text-cancel)");
      }
      Action_.Kind = ActionKind::Text;
      Action_.TypedText = Joined(std::vector<std::string>(Words_.begin() + 1, Words_.end()));
      return Done();
    }
    if (Verb == "text-cancel" || Verb == "reboot") {
      if (Words_.size() != 1) {
        return Fail("expected: " + Verb);
      }
      Action_.Kind = Verb == "reboot" ? ActionKind::Reboot : ActionKind::Text;
      return Done();
    }
    if (Verb == "ready-to-boot") {
      if (Words_.size() != 1) {
        return Fail("expected: ready-to-boot");
      }
      Action_.Kind = ActionKind::ReadyToBoot;
      return Done();
    }
    if (Verb == "resolution-trigger") {
      if (Words_.size() != 1) {
        return Fail("expected: resolution-trigger");
      }
      Action_.Kind = ActionKind::ResolutionTrigger;
      return Done();
    }
    if (Verb == "sata") {
      if (Words_.size() != 1) {
        return Fail("expected: sata");
      }
      Action_.Kind = ActionKind::Sata;
      return Done();
    }
    if (auto Why = ParseBenchAction(Words_, Action_.Bench)) {
      if (!Why->empty()) return Fail(*Why);
      Action_.Kind = ActionKind::Bench;
      return Done();
    }
    return Fail("unknown action \"" + Words_[0] +
                "\" (expected set, callback, show, save, answer, choose, text, text-cancel, reboot, ready-to-boot, "
                "resolution-trigger or sata)");
  }

 private:
  ActionParse Fail(std::string Why) const {
    ActionParse Result;
    Result.Error = ActionError{Action_.Origin, Action_.Text, std::move(Why)};
    return Result;
  }

  ActionParse Done() const {
    ActionParse Result;
    Result.Actions.push_back(Action_);
    return Result;
  }

  ActionParse Set() {
    if (Words_.size() != 5) {
      return Fail("expected: set STORE OFFSET byte|word|dword VALUE");
    }
    Action_.Kind = ActionKind::Set;
    Action_.Store = Words_[1];
    auto Offset = ParseUnsigned(Words_[2]);
    if (!Offset || *Offset > 0xFFFF) {
      return Fail("offset \"" + Words_[2] + "\" is not a number from 0 to 0xFFFF");
    }
    Action_.Offset = uint32_t(*Offset);
    const std::string Width = Lower(Words_[3]);
    if (Width == "byte") {
      Action_.Width = 1;
    } else if (Width == "word") {
      Action_.Width = 2;
    } else if (Width == "dword") {
      Action_.Width = 4;
    } else {
      return Fail("unknown width \"" + Words_[3] + "\" (expected byte, word or dword)");
    }
    auto Value = ParseUnsigned(Words_[4]);
    if (!Value) {
      return Fail("value \"" + Words_[4] + "\" is not a number");
    }
    const uint64_t Max = Action_.Width == 4 ? 0xFFFFFFFFull : (1ull << (8 * Action_.Width)) - 1;
    if (*Value > Max) {
      return Fail("value " + Words_[4] + " does not fit a " + Width + " (at most " + Hex(Max) + ")");
    }
    Action_.Value = uint32_t(*Value);
    return Done();
  }

  ActionParse Callback() {
    if (Words_.size() != 4 && Words_.size() != 5) {
      return Fail("expected: callback FORMSET KEY ACTION [VALUE]");
    }
    Action_.Kind = ActionKind::Callback;
    Action_.FormSet = Words_[1];
    auto Key = ParseUnsigned(Words_[2]);
    if (!Key || *Key > 0xFFFF) {
      return Fail("key \"" + Words_[2] + "\" is not a number from 0 to 0xFFFF");
    }
    Action_.Key = uint16_t(*Key);
    auto BrowserAction = ParseBrowserAction(Words_[3]);
    if (!BrowserAction) {
      return Fail("unknown browser action \"" + Words_[3] +
                  "\" (expected changing, changed, retrieve, form-open, form-close, submitted, refresh, default-... or a number)");
    }
    Action_.BrowserAction = *BrowserAction;
    Action_.ValueType = EFI_IFR_TYPE_NUM_SIZE_8;
    Action_.CallbackValue = 0;
    if (Words_.size() == 5) {
      return CallbackValue(Words_[4]);
    }
    return Done();
  }

  ActionParse CallbackValue(const std::string& Word) {
    const size_t Colon = Word.find(':');
    if (Colon == std::string::npos) {
      auto Value = ParseUnsigned(Word);
      if (!Value) {
        return Fail("value \"" + Word + "\" is not a number (or TYPE:NUMBER with u8, u16, u32, u64, bool)");
      }
      // A bare number takes the smallest unsigned type that holds it.
      for (const NamedType& T : ValueTypes) {
        if (T.Type != EFI_IFR_TYPE_BOOLEAN && *Value <= T.Max) {
          Action_.ValueType = T.Type;
          break;
        }
      }
      Action_.CallbackValue = *Value;
      return Done();
    }
    const std::string TypeName = Lower(Word.substr(0, Colon));
    const NamedType* Found = nullptr;
    for (const NamedType& T : ValueTypes) {
      if (TypeName == T.Name) {
        Found = &T;
      }
    }
    if (Found == nullptr) {
      return Fail("unknown value type \"" + Word.substr(0, Colon) + "\" (expected u8, u16, u32, u64 or bool)");
    }
    auto Value = ParseUnsigned(Word.substr(Colon + 1));
    if (!Value) {
      return Fail("value \"" + Word.substr(Colon + 1) + "\" is not a number");
    }
    if (*Value > Found->Max) {
      return Fail("value " + Word.substr(Colon + 1) + " does not fit " + Found->Name);
    }
    Action_.ValueType = Found->Type;
    Action_.CallbackValue = *Value;
    return Done();
  }

  // Answers are bytes (a box's answer); choices are list indices.
  ActionParse Queue(bool Answers) {
    const char* Usage = Answers ? "expected: answer N [N ...] (0 to 255)" : "expected: choose N|escape [N|escape ...]";
    if (Words_.size() < 2 || Words_.size() > 65) {
      return Fail(Usage);
    }
    Action_.Kind = Answers ? ActionKind::Answer : ActionKind::Choose;
    for (size_t I = 1; I < Words_.size(); ++I) {
      if (!Answers && Words_[I] == "escape") {
        Action_.Numbers.push_back(CHOICE_ESCAPE);
        continue;
      }
      auto Value = ParseUnsigned(Words_[I]);
      if (!Value || (Answers && *Value > 0xFF)) {
        return Fail("\"" + Words_[I] + "\": " + Usage);
      }
      Action_.Numbers.push_back(*Value);
    }
    return Done();
  }

  ActionParse Show() {
    if (Words_.size() != 2) {
      return Fail("expected: show FORMSET");
    }
    Action_.Kind = ActionKind::Show;
    Action_.FormSet = Words_[1];
    return Done();
  }

  std::vector<std::string> Words_;
  Action Action_;
};

}  // namespace

std::string ActionError::Message() const {
  return Origin + ": \"" + Text + "\": " + Why;
}

ActionParse ParseAction(std::string_view Text, const std::string& Origin) {
  std::vector<std::string> Words = SplitWords(Text);
  if (Words.empty()) {
    ActionParse Result;
    Result.Error = ActionError{Origin, "", "empty action"};
    return Result;
  }
  return Parser(std::move(Words), Origin).Run();
}

ActionParse ParseActionList(std::string_view Text, const std::string& Origin, bool IsFile) {
  ActionParse Result;
  size_t LineNumber = 0;
  size_t LineStart = 0;
  while (LineStart <= Text.size()) {
    size_t LineEnd = Text.find('\n', LineStart);
    if (LineEnd == std::string_view::npos) {
      LineEnd = Text.size();
    }
    ++LineNumber;
    std::string_view Line = Text.substr(LineStart, LineEnd - LineStart);
    const size_t Hash = Line.find('#');
    if (Hash != std::string_view::npos) {
      Line = Line.substr(0, Hash);
    }
    const std::string LineOrigin = IsFile ? Origin + ":" + std::to_string(LineNumber) : Origin;
    std::vector<std::string_view> Pieces;
    size_t PieceStart = 0;
    while (true) {
      const size_t Semicolon = Line.find(';', PieceStart);
      Pieces.push_back(Line.substr(PieceStart, Semicolon == std::string_view::npos ? std::string_view::npos
                                                                                     : Semicolon - PieceStart));
      if (Semicolon == std::string_view::npos) {
        break;
      }
      PieceStart = Semicolon + 1;
    }
    size_t Written = 0;
    for (std::string_view Piece : Pieces) {
      if (Trim(Piece).empty()) {
        continue;
      }
      ++Written;
      std::string PieceOrigin = LineOrigin;
      if (Pieces.size() > 1) {
        PieceOrigin += " #" + std::to_string(Written);
      }
      ActionParse One = ParseAction(Piece, PieceOrigin);
      if (One.Error) {
        Result.Error = One.Error;
        return Result;
      }
      Result.Actions.push_back(One.Actions.front());
    }
    if (LineEnd == Text.size()) {
      break;
    }
    LineStart = LineEnd + 1;
  }
  return Result;
}

std::optional<uint64_t> ParseBrowserAction(std::string_view Word) {
  const std::string Name = Lower(Word);
  for (const NamedAction& A : BrowserActions) {
    if (Name == A.Name) {
      return A.Value;
    }
  }
  return ParseUnsigned(Word);
}

std::string BrowserActionName(uint64_t Action) {
  for (const NamedAction& A : BrowserActions) {
    if (A.Value == Action) {
      return A.Name;
    }
  }
  return Hex(Action);
}

std::string ValueTypeName(uint8_t Type) {
  for (const NamedType& T : ValueTypes) {
    if (T.Type == Type) {
      return T.Name;
    }
  }
  return Hex(Type, 2);
}

std::string WidthName(unsigned Width) {
  switch (Width) {
    case 1:
      return "byte";
    case 2:
      return "word";
    case 4:
      return "dword";
    default:
      return std::to_string(Width) + " bytes";
  }
}

}  // namespace boardsim
