#include "tools/boardsim/text_report.h"

#include <algorithm>

#include "tools/boardsim/status_name.h"
#include "tools/boardsim/text_util.h"

namespace boardsim {
namespace {

std::string StatusText(EFI_STATUS Status) { return StatusName(Status); }

// Control characters would break the line layout; show them escaped.
std::string Printable(const std::string& Text) {
  std::string Out;
  for (char C : Text) {
    if (C == '\n') {
      Out += "\\n";
    } else if (C == '\r') {
      Out += "\\r";
    } else if (C == '\t') {
      Out += "\\t";
    } else if (static_cast<unsigned char>(C) < 0x20) {
      Out += "\\x" + Hex(static_cast<unsigned char>(C), 2).substr(2);
    } else {
      Out += C;
    }
  }
  return Out;
}

std::string Quoted(const std::string& Text) { return "\"" + Printable(Text) + "\""; }

std::string Pad(std::string Text, size_t Width) {
  if (Text.size() < Width) {
    Text.append(Width - Text.size(), ' ');
  }
  return Text;
}

// Short view of a variable's bytes: text when it reads as text, else hex.
std::string Preview(const std::vector<uint8_t>& Data) {
  constexpr size_t Limit = 24;
  size_t Length = Data.size();
  while (Length > 0 && Data[Length - 1] == 0) {
    --Length;
  }
  bool Text = Length > 0;
  for (size_t I = 0; I < Length; ++I) {
    Text = Text && Data[I] >= 0x20 && Data[I] < 0x7F;
  }
  if (Text) {
    std::string S(Data.begin(), Data.begin() + std::min(Length, Limit));
    return Quoted(S) + (Length > Limit ? "..." : "");
  }
  std::vector<uint8_t> Head(Data.begin(), Data.begin() + std::min(Data.size(), Limit / 2));
  return HexBytes(Head) + (Data.size() > Head.size() ? "..." : "");
}

// What byte 105 of NetConfigData asks the locator for.
std::string ServerChoiceText(const std::optional<unsigned>& Choice) {
  if (!Choice) {
    return "no server choice: the browser holds no NetConfigData with a byte 105";
  }
  const std::string Text = "server choice " + std::to_string(*Choice);
  if (*Choice <= 3) {
    return Text + ", mirror URL" + std::to_string(*Choice + 1);
  }
  if (*Choice == 4) {
    return Text + ", as the server says";
  }
  return Text + ", not a mirror (0 to 4)";
}

void RenderVariableWrites(std::string& Out, const std::vector<VariableWrite>& Writes, const char* Indent) {
  for (const VariableWrite& W : Writes) {
    Out += Indent;
    Out += Pad(W.Name, 24) + " " + Pad(AttributeNames(W.Attributes), 9) + " " +
           Pad(std::to_string(W.Data.size()) + " bytes", 11);
    if (W.Status != EFI_SUCCESS) {
      Out += " " + StatusText(W.Status);
    } else {
      Out += " " + Preview(W.Data);
    }
    Out += "\n";
  }
}

void RenderStoreDiffs(std::string& Out, const std::vector<StoreDiff>& Diffs) {
  for (const StoreDiff& D : Diffs) {
    for (const ByteChange& B : D.Bytes) {
      Out += "    " + Pad(D.Store, 14) + " " + Hex(B.Offset, 4) + ": " + Hex(B.Before, 2) + " -> " + Hex(B.After, 2) +
             "  (" + std::to_string(B.Before) + " -> " + std::to_string(B.After) + ")\n";
    }
  }
}

void RenderAction(std::string& Out, size_t Number, const ActionResult& A, const std::string& Language,
                  bool AllStrings, bool Prompts) {
  Out += "Action " + std::to_string(Number) + " (" + A.Source.Origin + "): " + A.Source.Text + "\n";
  switch (A.Source.Kind) {
    case ActionKind::Set:
      if (A.Status != EFI_SUCCESS) {
        Out += "  not written: " + StatusText(A.Status) + " (the browser no longer holds the store)\n";
      }
      break;
    case ActionKind::Callback:
      Out += "  " + A.FormSetName + " (class " + Hex(A.Class, 2) + "), key " + Hex(A.Source.Key, 3) + ", " +
             BrowserActionName(A.Source.BrowserAction) + ", " + ValueTypeName(A.Source.ValueType) + " " +
             std::to_string(A.Source.CallbackValue) + ": " + StatusText(A.Status) + "\n";
      if (!A.BrowserOutcome.empty() && A.BrowserOutcome != "none") {
        Out += "  browser: " + A.BrowserOutcome + "\n";
      }
      break;
    case ActionKind::Save:
      Out += "  browser save: " + StatusText(A.Status) + "\n";
      break;
    case ActionKind::Answer:
    case ActionKind::Choose: {
      std::string Numbers;
      for (uint64_t N : A.Source.Numbers) Numbers += " " + (N == CHOICE_ESCAPE ? std::string("escape") : std::to_string(N));
      Out += std::string(A.Source.Kind == ActionKind::Answer ? "  answers queued:" : "  list choices queued:") +
             Numbers + "\n";
      return;
    }
    case ActionKind::ReadyToBoot:
      Out += "  ready to boot signalled\n";
      break;
    case ActionKind::Text:
      Out += A.Source.TypedText ? "  text queued: " + Quoted(*A.Source.TypedText) + "\n"
                                : std::string("  text prompt cancel queued\n");
      return;
    case ActionKind::Reboot:
      break;
    case ActionKind::ResolutionTrigger:
      Out += "  resolution trigger installed: " + StatusText(A.Status) + "\n";
      break;
    case ActionKind::Sata:
      Out += "  SATA driver called the port string protocol: " + StatusText(A.Status) + "\n";
      break;
    case ActionKind::Bench:
      Out += "  " + A.BenchDetail + "\n";
      break;
    case ActionKind::Show:
      if (A.Page) {
        Out += Prompts ? RenderFormPage(*A.Page, Language) : RenderPage(*A.Page, Language, AllStrings);
      }
      return;
  }
  if (!A.Boxes.empty()) {
    Out += "  message boxes:\n";
    for (const BoxShown& B : A.Boxes) {
      const char* Kind = B.Kind == 1 ? "notice" : B.Kind == 2 ? "confirm" : B.Kind == 3 ? "yes/no" : "kind ?";
      Out += std::string("    [") + Kind + "] " + Quoted(B.Title) + ": " + Quoted(B.Text) + "\n";
    }
  }
  if (!A.Prompts.empty()) {
    Out += "  text prompts:\n";
    for (const TextPromptRecord& P : A.Prompts) {
      Out += "    " + Quoted(P.Prompt) + " (string " + std::to_string(P.PromptId) + "), proposed " +
             Quoted(P.Proposed) + ": " + (P.Typed ? "typed " + Quoted(*P.Typed) : std::string("cancelled")) + "\n";
    }
  }
  if (!A.Lists.empty()) {
    Out += "  list boxes:\n";
    for (const ListShown& L : A.Lists) {
      Out += "    " + Quoted(L.Title) + ":";
      for (size_t I = 0; I < L.Items.size(); ++I) Out += " " + std::to_string(I) + "=" + Quoted(L.Items[I]);
      Out += "\n";
    }
  }
  if (A.Restarted && A.Source.Kind == ActionKind::Reboot) {
    Out += "  the board was power-cycled: boot " + std::to_string(A.BootNumber) + "\n";
  } else if (A.Restarted) {
    Out += "  restart asked for (" + A.ResetType + "): the machine rebooted, boot " + std::to_string(A.BootNumber) +
           "\n";
  }
  if (A.StoreChanges.empty()) {
    Out += "  stores: no change\n";
  } else {
    Out += "  stores:\n";
    RenderStoreDiffs(Out, A.StoreChanges);
  }
  // The run's language first, then every other language a change came in.
  std::vector<std::string> Languages{Language};
  for (const StringChange& S : A.StringChanges) {
    if (std::find(Languages.begin(), Languages.end(), S.Language) == Languages.end()) {
      Languages.push_back(S.Language);
    }
  }
  size_t Shown = 0;
  for (const std::string& L : Languages) {
    size_t InLanguage = 0;
    for (const StringChange& S : A.StringChanges) {
      if (S.Language != L) {
        continue;
      }
      if (InLanguage++ == 0) {
        Out += "  strings (" + L + "):\n";
      }
      Out += "    class " + Hex(S.Class, 2) + " " + Hex(S.Id, 4) + ": " + Quoted(S.Before) + " -> " + Quoted(S.After) +
             "\n";
    }
    Shown += InLanguage;
  }
  if (Shown == 0 && A.Source.Kind == ActionKind::Callback) {
    Out += "  strings: no change\n";
  }
  if (!A.VariablesWritten.empty()) {
    Out += "  variables written:\n";
    RenderVariableWrites(Out, A.VariablesWritten, "    ");
  }
  if (!A.DeviceCalls.empty()) {
    Out += "  device calls:\n";
    for (const std::string& Call : A.DeviceCalls) Out += "    " + Call + "\n";
  }
  if (!A.RegisteredCalls.empty()) {
    Out += "  registered callbacks called:\n";
    for (const RegisteredCall& C : A.RegisteredCalls)
      Out += "    #" + std::to_string(C.Slot) + " class " + Hex(C.Class, 2) + ", subclass " + Hex(C.SubClass, 2) +
             ", key " + Hex(C.Key, 3) + ": " + StatusText(C.Returned) + "\n";
  }
}

// The test bench's sections: only present when asked for.
void RenderBench(std::string& Out, const RunReport& Report) {
  if (Report.ServiceCalls) {
    Out += "Service calls (calls, failed):\n";
    for (const ServiceCount& C : *Report.ServiceCalls)
      Out += "  " + Pad(C.Service, 26) + " " + std::to_string(C.Calls) + ", " + std::to_string(C.Failures) + "\n";
  }
  if (Report.StringWrites) {
    Out += "String writes:\n";
    for (const StringWrite& W : *Report.StringWrites)
      Out += "  boot " + std::to_string(W.Boot) + " " + W.Call + " " +
             (W.Class ? "class " + Hex(*W.Class, 2) : std::string("no form set")) + " " + Hex(W.Id, 4) + " " +
             W.Language + ": " + Quoted(W.Text) + (W.Status == EFI_SUCCESS ? "" : " " + StatusText(W.Status)) + "\n";
  }
  if (Report.PortAccesses) {
    Out += "Port accesses:\n";
    for (const PortRecord& P : *Report.PortAccesses)
      Out += "  boot " + std::to_string(P.Boot) + (P.Write ? " out " : " in  ") + Hex(P.Port, 4) + " " +
             WidthName(P.Width) + " " + Hex(P.Value, 2 * P.Width) + "\n";
  }
}

}  // namespace

std::string RenderPage(const FormSetPage& Page, const std::string& Language, bool AllStrings) {
  std::string Out;
  size_t SetCount = 0;
  for (const PageString& S : Page.Strings) {
    SetCount += S.SetIn(Language) ? 1 : 0;
  }
  Out += "== " + Page.Name + " (class " + Hex(Page.Class, 2) + ") ==\n";
  if (!Page.Published) {
    Out += "  not published: the form utility service gave it no HII handle\n\n";
    return Out;
  }
  if (!Page.Kept) {
    Out += "  removed from the HII database after loading; texts as they were then\n";
  }
  bool HasLanguage = false;
  std::string Languages;
  for (const std::string& L : Page.Languages) {
    Languages += (Languages.empty() ? "" : " ") + L;
    HasLanguage = HasLanguage || L == Language;
  }
  if (!HasLanguage) {
    Out += "  no " + Language + " strings (languages: " + Languages + ")\n\n";
    return Out;
  }
  Out += "  " + std::to_string(SetCount) + " of " + std::to_string(Page.Strings.size()) +
         " strings set by the drivers; languages: " + Languages + "\n";
  for (const PageString& S : Page.Strings) {
    const bool Set = S.SetIn(Language);
    if (!Set && !AllStrings) {
      continue;
    }
    auto Text = S.Text.find(Language);
    if (Text == S.Text.end()) {
      continue;
    }
    Out += std::string(AllStrings && Set ? "* " : "  ") + Hex(S.Id, 4) + "  " + Printable(Text->second) + "\n";
  }
  Out += "\n";
  return Out;
}

namespace {

// Pads to Width characters, not bytes: prompts and values are UTF-8.
std::string PadChars(std::string Text, size_t Width) {
  size_t Chars = 0;
  for (unsigned char C : Text) Chars += (C & 0xC0) != 0x80 ? 1 : 0;
  if (Chars < Width) Text.append(Width - Chars, ' ');
  return Text;
}

std::string ItemText(const FormSetPage& Page, uint16_t Id, const std::string& Language) {
  auto ById = Page.ItemTexts.find(Id);
  if (ById == Page.ItemTexts.end()) return "";
  auto T = ById->second.find(Language);
  return T == ById->second.end() ? "" : Printable(T->second);
}

std::string QuestionValueText(const FormSetPage& Page, const PageItem& Item, const std::string& Language) {
  if (!Item.Value) return "(the browser holds no " + Item.Store + ")";
  const uint64_t V = *Item.Value;
  if (Item.Kind == "checkbox") return V != 0 ? "on" : "off";
  if (Item.Kind == "oneof") {
    for (const auto& [Value, Text] : Item.Options) {
      if (Value == V) return ItemText(Page, Text, Language) + " (" + std::to_string(V) + ")";
    }
    return std::to_string(V) + " (no such option)";
  }
  return std::to_string(V);
}

}  // namespace

std::string RenderFormPage(const FormSetPage& Page, const std::string& Language) {
  std::string Out = "== " + Page.Name + " (class " + Hex(Page.Class, 2) + ") ==\n";
  if (!Page.Published) {
    Out += "  not published: the form utility service gave it no HII handle\n\n";
    return Out;
  }
  if (!Page.Kept) {
    Out += "  removed from the HII database after loading; texts as they were then\n";
  }
  if (Page.Items.empty()) {
    Out += "  no form in its package list\n\n";
    return Out;
  }
  for (const PageItem& Item : Page.Items) {
    const std::string Prompt = ItemText(Page, Item.Prompt, Language);
    if (Item.Kind == "subtitle") {
      Out += "  " + Prompt + "  [" + Hex(Item.Prompt, 4) + "]\n";
      continue;
    }
    std::string Value, Ids;
    if (Item.Kind == "text") {
      const std::string Text = Item.TextTwo != 0 ? ItemText(Page, Item.TextTwo, Language) : "";
      // Some value strings bring their own separator (": N/A").
      Value = Item.TextTwo == 0 ? "" : Text.rfind(":", 0) == 0 ? Text : ": " + Text;
      Ids = Hex(Item.Prompt, 4) + (Item.TextTwo != 0 ? " " + Hex(Item.TextTwo, 4) : "");
    } else if (Item.Kind == "action") {
      Value = "> action";
      Ids = "key " + Hex(Item.QuestionId, 4) + ", " + Hex(Item.Prompt, 4);
    } else {
      Value = "= " + QuestionValueText(Page, Item, Language);
      Ids = "key " + Hex(Item.QuestionId, 4) + ", " + Item.Store + " " + Hex(Item.Offset, 3) + " u" +
            std::to_string(8 * Item.Width) + ", " + Hex(Item.Prompt, 4);
    }
    Out += "    " + PadChars(Prompt, 36) + " " + PadChars(Value, 32) + " [" + Ids + "]\n";
  }
  Out += "\n";
  return Out;
}

std::string RenderText(const RunReport& Report) {
  std::string Out = Report.Intro;
  Out += "Board: " + Report.BoardName + " (" + (Report.BoardFile.empty() ? "built-in" : Report.BoardFile) +
         "), language " + Report.Language + "\n\n";
  for (const BootRecord& B : Report.Boots) {
    Out += "Boot " + std::to_string(B.Number) + ": setupinfo " + StatusText(B.SetupInfoStatus) + ", updatefetch " +
           StatusText(B.UpdateFetchStatus) + "; form sets loaded " +
           (B.Deferred ? "when the trigger protocol was installed" : "at once") + " (" +
           std::to_string(B.FormSetsPublished) + " published)\n";
    if (Report.BriefBoots) {
      continue;
    }
    Out += "  language variables:\n";
    for (const LanguageVariable& L : B.LanguageVariables) {
      Out += "    " + Pad(L.Name, 22) + " ";
      if (L.Present) {
        Out += Pad(AttributeNames(L.Attributes), 9) + " " + Quoted(L.Text) + "\n";
      } else {
        Out += "(absent)\n";
      }
    }
    if (B.SetupStoreCreated) {
      Out += "  Setup: the board has no such variable; the browser starts from zeros (saving writes it)\n";
    }
    Out += "  variables written: " + std::to_string(B.VariablesWritten.size()) + "\n";
    RenderVariableWrites(Out, B.VariablesWritten, "    ");
    Out += "\n";
  }
  if (Report.BriefBoots && !Report.Boots.empty()) {
    Out += "\n";
  }
  for (const FormSetPage& Page : Report.Pages) {
    Out += Report.Prompts ? RenderFormPage(Page, Report.Language) : RenderPage(Page, Report.Language, Report.AllStrings);
  }
  for (size_t I = 0; I < Report.Actions.size(); ++I) {
    RenderAction(Out, I + 1, Report.Actions[I], Report.Language, Report.AllStrings, Report.Prompts);
    if (Out.size() < 2 || Out.compare(Out.size() - 2, 2, "\n\n") != 0) {
      Out += "\n";  // a page already ends in a blank line
    }
  }
  if (Report.Update) {
    const UpdateRecord& U = *Report.Update;
    Out += "Update lookup (" + ServerChoiceText(U.ServerChoice) + "):\n";
    if (!U.Request.empty()) {
      Out += "  request: " + Quoted(U.Request) + "\n";
    }
    for (const std::string& Q : U.Queries) {
      Out += "  name query: " + Q + "\n";
    }
    Out += "  result:  " + U.ResultName + " (" + U.Meaning + ")\n";
    if (U.Found) {
      Out += "  host:    " + U.Host + "\n";
      Out += "  path:    " + (U.Path.empty() ? std::string("(none)") : U.Path) + "\n";
      Out += "  address: " + U.Address + "\n";
    }
    Out += "\n";
  }
  if (Report.SecureBoot) {
    const SecureBootRecord& S = *Report.SecureBoot;
    auto Byte = [](const std::optional<uint8_t>& B) { return B ? std::to_string(*B) : std::string("(none)"); };
    Out += "Secure Boot: SecureBoot " + Byte(S.SecureBoot) + ", SetupMode " + Byte(S.SetupMode) +
           ", SecureVarPresent ";
    if (S.SecureVarPresent) {
      std::string Bytes;
      for (uint8_t B : *S.SecureVarPresent) Bytes += (Bytes.empty() ? "" : " ") + std::to_string(B);
      Out += Bytes + " (dbx dbt db KEK PK)\n";
    } else {
      Out += "(none)\n";
    }
    Out += "\n";
  }
  if (!Report.Volumes.empty()) {
    Out += "Volumes:\n";
    for (const VolumeRecord& V : Report.Volumes) {
      Out += "  " + Quoted(V.Label) + (V.HasDevicePath ? "" : " (no device path)") + ":\n";
      if (V.Files.empty()) Out += "    (empty)\n";
      for (const VolumeFile& F : V.Files) {
        if (F.Directory) {
          Out += "    " + F.Path + "\\\n";
          continue;
        }
        Out += "    " + F.Path + "  " + std::to_string(F.Data.size()) + " bytes";
        static const char Digits[] = "0123456789ABCDEF";
        std::string Hex;
        for (size_t I = 0; I < F.Data.size() && I < 16; ++I) {
          Hex += ' ';
          Hex += Digits[F.Data[I] >> 4];
          Hex += Digits[F.Data[I] & 15];
        }
        Out += (Hex.empty() ? "" : " :" + Hex) + (F.Data.size() > 16 ? " ..." : "") + "\n";
      }
    }
    Out += "\n";
  }
  if (!Report.StoppedBy.empty()) {
    Out += "Stopped: " + Report.StoppedBy + "\n";
  }
  if (Report.Pool.LeakReport.empty()) {
    Out += "Pool: nothing leaked\n";
  } else {
    Out += "Pool: LEAKED\n" + Report.Pool.LeakReport;
    if (Report.Pool.LeakReport.back() != '\n') {
      Out += "\n";
    }
  }
  for (const std::string& M : Report.Pool.Misuse) {
    Out += "Firmware misuse: " + M + "\n";
  }
  RenderBench(Out, Report);
  return Out;
}

}  // namespace boardsim
