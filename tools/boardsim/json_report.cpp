#include "tools/boardsim/json_report.h"

#include "tools/boardsim/status_name.h"
#include "tools/boardsim/text_util.h"

namespace boardsim {
namespace {

Json StatusJson(EFI_STATUS Status) {
  Json J;
  J["code"] = uint64_t(Status);
  J["name"] = StatusName(Status);
  return J;
}

Json VariableWriteJson(const VariableWrite& W) {
  Json J;
  J["name"] = W.Name;
  J["guid"] = W.Guid;
  J["attributes"] = W.Attributes;
  J["size"] = W.Data.size();
  J["data"] = HexBytes(W.Data);
  J["status"] = StatusJson(W.Status);
  return J;
}

Json BootJson(const BootRecord& B) {
  Json J;
  J["boot"] = B.Number;
  J["load_path"] = LoadPathName(B.Deferred);
  J["trigger_installed"] = B.TriggerInstalled;
  J["setupinfo_status"] = StatusJson(B.SetupInfoStatus);
  J["updatefetch_status"] = StatusJson(B.UpdateFetchStatus);
  J["form_sets_published"] = B.FormSetsPublished;
  J["setup_store_created"] = B.SetupStoreCreated;
  Json Languages = Json::object();
  for (const LanguageVariable& L : B.LanguageVariables) {
    if (L.Present) {
      Json V;
      V["guid"] = L.Guid;
      V["attributes"] = L.Attributes;
      V["text"] = L.Text;
      Languages[L.Name] = V;
    } else {
      Languages[L.Name] = nullptr;
    }
  }
  J["language_variables"] = Languages;
  Json Writes = Json::array();
  for (const VariableWrite& W : B.VariablesWritten) {
    Writes.push_back(VariableWriteJson(W));
  }
  J["variables_written"] = Writes;
  return J;
}

Json ActionJson(size_t Index, const ActionResult& A) {
  Json J;
  J["index"] = Index;
  J["origin"] = A.Source.Origin;
  J["text"] = A.Source.Text;
  switch (A.Source.Kind) {
    case ActionKind::Set:
      J["kind"] = "set";
      J["store"] = A.Source.Store;
      J["offset"] = A.Source.Offset;
      J["width"] = A.Source.Width;
      J["value"] = A.Source.Value;
      J["status"] = StatusJson(A.Status);
      break;
    case ActionKind::Callback:
      J["kind"] = "callback";
      J["class"] = A.Class;
      J["form_set"] = A.FormSetName;
      J["key"] = A.Source.Key;
      J["browser_action"] = A.Source.BrowserAction;
      J["browser_action_name"] = BrowserActionName(A.Source.BrowserAction);
      J["value_type"] = ValueTypeName(A.Source.ValueType);
      J["value"] = A.Source.CallbackValue;
      J["status"] = StatusJson(A.Status);
      J["action_request"] = A.ActionRequest;
      J["browser_outcome"] = A.BrowserOutcome;
      break;
    case ActionKind::Save:
      J["kind"] = "save";
      J["status"] = StatusJson(A.Status);
      break;
    case ActionKind::Answer:
    case ActionKind::Choose:
      J["kind"] = A.Source.Kind == ActionKind::Answer ? "answer" : "choose";
      J["queued"] = A.Source.Numbers;
      if (A.Source.Kind == ActionKind::Choose) {
        Json Choices = Json::array();
        for (uint64_t N : A.Source.Numbers) Choices.push_back(N == CHOICE_ESCAPE ? Json("escape") : Json(N));
        J["queued"] = Choices;
      }
      return J;
    case ActionKind::Text:
      J["kind"] = "text";
      J["queued"] = A.Source.TypedText ? Json(*A.Source.TypedText) : Json(nullptr);
      return J;
    case ActionKind::Reboot:
      J["kind"] = "reboot";
      J["boot"] = A.BootNumber;
      break;
    case ActionKind::Sata:
      J["kind"] = "sata";
      J["status"] = StatusJson(A.Status);
      break;
    case ActionKind::ReadyToBoot:
      J["kind"] = "ready-to-boot";
      J["restarted"] = A.Restarted;
      if (A.Restarted) {
        J["reset_type"] = A.ResetType;
        J["boot"] = A.BootNumber;
      }
      break;
    case ActionKind::ResolutionTrigger:
      J["kind"] = "resolution-trigger";
      J["status"] = StatusJson(A.Status);
      break;
    case ActionKind::Bench:
      J["kind"] = BenchVerbName(A.Source.Bench.Verb);
      J["status"] = StatusJson(A.Status);
      J["detail"] = A.BenchDetail;
      if (A.FormSetsPublished) J["form_sets_published"] = *A.FormSetsPublished;
      break;
    case ActionKind::Show:
      J["kind"] = "show";
      J["class"] = A.Class;
      J["form_set"] = A.FormSetName;
      if (A.Page) {
        J["page"] = PageJson(*A.Page);
      }
      return J;
  }
  Json Stores = Json::array();
  for (const StoreDiff& D : A.StoreChanges) {
    Json S;
    S["store"] = D.Store;
    S["guid"] = D.Guid;
    Json Bytes = Json::array();
    for (const ByteChange& B : D.Bytes) {
      Bytes.push_back(Json{{"offset", B.Offset}, {"before", B.Before}, {"after", B.After}});
    }
    S["bytes"] = Bytes;
    Stores.push_back(S);
  }
  J["store_changes"] = Stores;
  Json Boxes = Json::array();
  for (const BoxShown& B : A.Boxes) Boxes.push_back(Json{{"title", B.Title}, {"text", B.Text}, {"kind", B.Kind}});
  J["message_boxes"] = Boxes;
  Json Prompts = Json::array();
  for (const TextPromptRecord& P : A.Prompts) {
    Prompts.push_back(Json{{"prompt_id", P.PromptId},
                           {"prompt", P.Prompt},
                           {"proposed", P.Proposed},
                           {"typed", P.Typed ? Json(*P.Typed) : Json(nullptr)}});
  }
  J["text_prompts"] = Prompts;
  Json Lists = Json::array();
  for (const ListShown& L : A.Lists) Lists.push_back(Json{{"title", L.Title}, {"items", L.Items}});
  J["list_boxes"] = Lists;
  Json Strings = Json::array();
  for (const StringChange& C : A.StringChanges) {
    Strings.push_back(
        Json{{"class", C.Class}, {"id", C.Id}, {"language", C.Language}, {"before", C.Before}, {"after", C.After}});
  }
  J["string_changes"] = Strings;
  Json Writes = Json::array();
  for (const VariableWrite& W : A.VariablesWritten) {
    Writes.push_back(VariableWriteJson(W));
  }
  J["variables_written"] = Writes;
  J["device_calls"] = A.DeviceCalls;
  if (A.Source.Unchecked) J["unchecked"] = true;
  if (!A.RegisteredCalls.empty()) {
    Json Calls = Json::array();
    for (const RegisteredCall& C : A.RegisteredCalls)
      Calls.push_back(Json{{"slot", C.Slot},
                           {"class", C.Class},
                           {"subclass", C.SubClass},
                           {"key", C.Key},
                           {"returned", StatusJson(C.Returned)}});
    J["registered_calls"] = Calls;
  }
  return J;
}

}  // namespace

Json PageJson(const FormSetPage& Page) {
  Json J;
  J["class"] = Page.Class;
  J["name"] = Page.Name;
  J["guid"] = Page.Guid;
  J["published"] = Page.Published;
  J["kept"] = Page.Kept;
  J["languages"] = Page.Languages;
  Json Strings = Json::array();
  for (const PageString& S : Page.Strings) {
    Json One;
    One["id"] = S.Id;
    Json SetIn = Json::array();
    for (const std::string& L : Page.Languages) {
      if (S.SetIn(L)) {
        SetIn.push_back(L);
      }
    }
    One["set_in"] = SetIn;
    Json Text = Json::object();
    for (const std::string& L : Page.Languages) {
      auto T = S.Text.find(L);
      if (T != S.Text.end()) {
        Text[L] = T->second;
      }
    }
    One["text"] = Text;
    Json Package = Json::object();
    for (const std::string& L : Page.Languages) {
      auto T = S.PackageText.find(L);
      if (T != S.PackageText.end()) {
        Package[L] = T->second;
      }
    }
    One["package_text"] = Package;
    Strings.push_back(One);
  }
  J["strings"] = Strings;
  // The form as the browser shows it; texts in every language of the page.
  auto Texts = [&](uint16_t Id) {
    Json T = Json::object();
    auto ById = Page.ItemTexts.find(Id);
    if (ById != Page.ItemTexts.end())
      for (const auto& [Language, Text] : ById->second) T[Language] = Text;
    return T;
  };
  Json Items = Json::array();
  for (const PageItem& I : Page.Items) {
    Json One{{"kind", I.Kind}, {"prompt_id", I.Prompt}, {"prompt", Texts(I.Prompt)}};
    if (I.Kind == "text") {
      One["value_id"] = I.TextTwo == 0 ? Json(nullptr) : Json(I.TextTwo);
      One["value"] = I.TextTwo == 0 ? Json(nullptr) : Texts(I.TextTwo);
    }
    if (I.QuestionId != 0) {
      One["key"] = I.QuestionId;
      if (!I.Store.empty()) {
        One["store"] = I.Store;
        One["offset"] = I.Offset;
        One["width"] = I.Width;
        One["current"] = I.Value ? Json(*I.Value) : Json(nullptr);
      }
      if (I.Kind == "oneof") {
        Json Options = Json::array();
        for (const auto& [Value, Text] : I.Options)
          Options.push_back(Json{{"value", Value}, {"text_id", Text}, {"text", Texts(Text)}});
        One["options"] = Options;
      }
    }
    Items.push_back(One);
  }
  J["items"] = Items;
  return J;
}

Json ReportJson(const RunReport& Report) {
  Json J;
  J["format"] = JSON_FORMAT_NAME;
  J["board"] = Json{{"name", Report.BoardName},
                    {"file", Report.BoardFile.empty() ? Json(nullptr) : Json(Report.BoardFile)}};
  J["language"] = Report.Language;
  Json Boots = Json::array();
  for (const BootRecord& B : Report.Boots) {
    Boots.push_back(BootJson(B));
  }
  J["boots"] = Boots;
  Json Pages = Json::array();
  for (const FormSetPage& P : Report.Pages) {
    Pages.push_back(PageJson(P));
  }
  J["form_sets"] = Pages;
  Json Actions = Json::array();
  for (size_t I = 0; I < Report.Actions.size(); ++I) {
    Actions.push_back(ActionJson(I + 1, Report.Actions[I]));
  }
  J["actions"] = Actions;
  if (Report.Update) {
    const UpdateRecord& U = *Report.Update;
    Json Up;
    Up["result"] = uint64_t(U.Result);
    Up["result_name"] = U.ResultName;
    Up["meaning"] = U.Meaning;
    Up["found"] = U.Found;
    Up["server_choice"] = U.ServerChoice ? Json(*U.ServerChoice) : Json(nullptr);
    Up["host"] = U.Found ? Json(U.Host) : Json(nullptr);
    Up["path"] = U.Found ? Json(U.Path) : Json(nullptr);
    Up["address"] = U.Found ? Json(U.Address) : Json(nullptr);
    Up["request"] = U.Request;
    Up["name_queries"] = U.Queries;
    J["update"] = Up;
  } else {
    J["update"] = nullptr;
  }
  if (Report.SecureBoot) {
    const SecureBootRecord& S = *Report.SecureBoot;
    auto Byte = [](const std::optional<uint8_t>& B) { return B ? Json(*B) : Json(nullptr); };
    J["secure_boot"] = Json{{"secure_boot", Byte(S.SecureBoot)},
                            {"setup_mode", Byte(S.SetupMode)},
                            {"secure_var_present", S.SecureVarPresent ? Json(*S.SecureVarPresent) : Json(nullptr)}};
  } else {
    J["secure_boot"] = nullptr;
  }
  Json Volumes = Json::array();
  for (const VolumeRecord& V : Report.Volumes) {
    Json Files = Json::array();
    for (const VolumeFile& F : V.Files) {
      static const char Digits[] = "0123456789abcdef";
      std::string Hex;
      for (uint8_t B : F.Data) {
        Hex += Digits[B >> 4];
        Hex += Digits[B & 15];
      }
      Files.push_back(F.Directory ? Json{{"path", F.Path}, {"directory", true}}
                                  : Json{{"path", F.Path}, {"directory", false}, {"size", F.Data.size()}, {"hex", Hex}});
    }
    Volumes.push_back(Json{{"label", V.Label}, {"device_path", V.HasDevicePath}, {"files", Files}});
  }
  J["volumes"] = Volumes;
  J["stopped"] = Report.StoppedBy.empty() ? Json(nullptr) : Json(Report.StoppedBy);
  Json Pool;
  Pool["leaked"] = !Report.Pool.LeakReport.empty();
  Pool["live_allocations"] = Report.Pool.LiveAllocations;
  Pool["leak_report"] = Report.Pool.LeakReport;
  Pool["misuse"] = Report.Pool.Misuse;
  J["pool"] = Pool;
  J["exit_code"] = Report.ExitCode;
  // Test bench keys, only when asked for.
  if (Report.ServiceCalls) {
    Json Calls = Json::array();
    for (const ServiceCount& C : *Report.ServiceCalls)
      Calls.push_back(Json{{"service", C.Service}, {"calls", C.Calls}, {"failures", C.Failures}});
    J["service_calls"] = Calls;
  }
  if (Report.StringWrites) {
    Json Writes = Json::array();
    for (const StringWrite& W : *Report.StringWrites)
      Writes.push_back(Json{{"boot", W.Boot},
                            {"call", W.Call},
                            {"class", W.Class ? Json(*W.Class) : Json(nullptr)},
                            {"id", W.Id},
                            {"language", W.Language},
                            {"text", W.Text},
                            {"status", StatusJson(W.Status)}});
    J["string_writes"] = Writes;
  }
  if (Report.PortAccesses) {
    Json Ports = Json::array();
    for (const PortRecord& P : *Report.PortAccesses)
      Ports.push_back(Json{{"boot", P.Boot}, {"port", P.Port}, {"width", P.Width}, {"write", P.Write}, {"value", P.Value}});
    J["port_accesses"] = Ports;
  }
  return J;
}

Json ErrorJson(const std::string& Kind, const std::string& Message, int ExitCode) {
  Json J;
  J["format"] = JSON_FORMAT_NAME;
  J["error"] = Json{{"kind", Kind}, {"message", Message}};
  J["exit_code"] = ExitCode;
  return J;
}

}  // namespace boardsim
