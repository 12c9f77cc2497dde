#include "tools/boardsim/live_check.h"

#include <nlohmann/json.hpp>

#include "tools/boardsim/text_util.h"

namespace boardsim {
namespace {

using Json = nlohmann::ordered_json;

// A run of IDs, First to Last by Step, that one page fills on the listed
// form-set classes; no classes: on every form set whose package has the ID.
struct StringRun {
  std::vector<uint16_t> Classes;
  uint16_t First;
  uint16_t Last;
  uint16_t Step;
  const char* SetBy;
};

StringRun Ids(std::vector<uint16_t> Classes, uint16_t First, uint16_t Last, const char* SetBy, uint16_t Step = 1) {
  return StringRun{std::move(Classes), First, Last, Step, SetBy};
}
StringRun Id(std::vector<uint16_t> Classes, uint16_t One, const char* SetBy) {
  return StringRun{std::move(Classes), One, One, 1, SetBy};
}

const std::vector<uint16_t> EveryFormSet{};

// Ordered as the initialiser slots and then the callbacks that fill
// strings; docs/boardsim.md lists the same table.
const std::vector<StringRun>& StringRuns() {
  static const std::vector<StringRun> Runs = [] {
    std::vector<StringRun> R;
    auto Add = [&R](StringRun Run) { R.push_back(std::move(Run)); };
    auto AddEach = [&R](std::vector<uint16_t> Classes, std::initializer_list<uint16_t> List, const char* SetBy) {
      for (uint16_t One : List) R.push_back(Id(Classes, One, SetBy));
    };
    Add(Id({0x4}, 0x0AB0, "fixed version text"));
    AddEach({0x10}, {0x0888, 0x0897, 0x0898, 0x08A3, 0x08AF}, "Super I/O resources");
    AddEach({0x4},
            {0x00B6, 0x00E1, 0x00DE, 0x00B9, 0x00BC, 0x00BE, 0x00C2, 0x00C5, 0x00C8, 0x00CB, 0x00CE, 0x00DB, 0x00D1,
             0x00D4, 0x00D8, 0x0167, 0x015A, 0x015D, 0x0160},
            "processor page");
    AddEach(EveryFormSet, {0x0202, 0x0205, 0x0208}, "controller hub page");
    AddEach({0x4}, {0x0249, 0x024B, 0x024D, 0x024F, 0x0251, 0x0253}, "controller hub SATA drives");
    Add(Ids({0x4}, 0x026D, 0x0272, "controller hub SATA drives"));
    AddEach({0x20},
            {0x0548, 0x0545, 0x054B, 0x0552, 0x0553, 0x0554, 0x0555, 0x049E, 0x0498, 0x0495, 0x04A3, 0x0442, 0x051E,
             0x049B, 0x06EE, 0x06F1, 0x06F4, 0x047F, 0x056F, 0x0570},
            "memory and graphics page");
    AddEach({0x4, 0x1}, {0x0495, 0x0732, 0x0731, 0x0730, 0x072F, 0x0725}, "memory page options");
    AddEach({0x2, 0x1},
            {0x073F, 0x073E, 0x073D, 0x073C, 0x073A, 0x058A, 0x0588, 0x0586, 0x0584, 0x0582, 0x0580, 0x073B, 0x0739,
             0x0589, 0x0587, 0x0585, 0x0583, 0x0581},
            "memory frequency options");
    AddEach({0x2, 0x1},
            {0x057C, 0x0737, 0x0738, 0x0452, 0x0454, 0x0456, 0x0458, 0x0598, 0x045A, 0x045E, 0x0460, 0x0462, 0x0466,
             0x045C, 0x0468, 0x046A, 0x074C, 0x0756, 0x0758, 0x075A, 0x075C, 0x075E, 0x0760, 0x0762, 0x0764, 0x0766,
             0x0768, 0x076A, 0x076C, 0x074E, 0x0750, 0x0752, 0x0754},
            "memory timings");
    AddEach(EveryFormSet, {0x1089, 0x056C, 0x108A, 0x056D}, "memory module details");
    Add(Ids({0x4}, 0x0A91, 0x0AA0, "graphics output names"));
    Add(Id(EveryFormSet, 0x07B2, "legacy-area version"));
    AddEach(EveryFormSet, {0x07DF, 0x07E2, 0x07D3, 0x07E5}, "management engine");
    Add(Ids({0x4}, 0x0B4C, 0x0B53, "NVMe devices"));
    AddEach({0x4}, {0x0B58, 0x0B5B, 0x0B5E, 0x0B61, 0x0B64, 0x0B6A}, "component versions");
    AddEach({0x4}, {2155, 2092}, "USB summary");
    Add(Ids({0x4}, 2124, 2139, "USB mass-storage names"));
    Add(Ids({0x4}, 3244, 3273, "SATA port strings"));
    Add(Ids({0x4}, 3324, 3329, "SATA port strings"));
    Add(Ids({0x4}, 3228, 3233, "SATA port strings"));
    AddEach({0x8, 0x1}, {3533, 3344}, "network summary");
    AddEach({0x8, 0x1}, {3449, 3452, 3455}, "profile names");
    AddEach({0x1, 0x2}, {0x0E23, 0x0E27}, "strap and configuration texts");
    AddEach({0x1}, {0x1063, 0x1064, 0x1065, 0x1066, 0x1067, 0x1068, 0x1071, 0x1072, 0x1073, 0x1074, 0x106C, 0x106F},
            "main page summary");
    Add(Id({0x1}, 0x107A, "display resolution trigger"));
    AddEach({0x1}, {0x0D, 0x0F, 0x13, 0x15, 0x11}, "firmware identity");
    AddEach({0x40}, {0x42, 0x44}, "form-set loading");
    AddEach({0x1, 0x2}, {0x0115, 0x0118, 0x011B}, "processor ratio callbacks (0x413-0x427)");
    AddEach({0x10},
            {0x08B6, 0x08B8, 0x08BE, 0x08C0, 0x08BC, 0x08C2, 0x08C4, 0x08D1, 0x08D2, 0x08C8, 0x08CC, 0x08D4},
            "hardware monitor refresh (0x48D)");
    Add(Id({0x4}, 0x0A3F, "clock page refresh (0x4BC)"));
    Add(Ids({0x4}, 0x0A54, 0x0A56, "clock selection (0x4C0-0x4C7)"));
    Add(Ids({0x4}, 0x0A71, 0x0A77, "clock selection (0x4C0-0x4C7)"));
    return R;
  }();
  return Runs;
}

bool Carries(const PackagedFormSet& F, uint16_t Id) {
  for (const auto& [Language, Strings] : F.Strings)
    if (Strings.count(Id) != 0) return true;
  return false;
}

bool Lists(const std::vector<uint16_t>& Classes, uint16_t Class) {
  if (Classes.empty()) return true;
  for (uint16_t C : Classes)
    if (C == Class) return true;
  return false;
}

}  // namespace

std::map<uint16_t, std::vector<DriverString>> DriverStrings(const std::vector<PackagedFormSet>& FormSets) {
  std::map<uint16_t, std::vector<DriverString>> ByClass;
  for (const PackagedFormSet& F : FormSets) {
    std::vector<DriverString>& Out = ByClass[F.Class];
    for (const StringRun& Run : StringRuns()) {
      if (!Lists(Run.Classes, F.Class)) continue;
      for (unsigned Id = Run.First; Id <= Run.Last; Id += Run.Step) {
        bool Known = false;
        for (const DriverString& S : Out) Known = Known || S.Id == Id;
        // A package without the ID has no such string to fill.
        if (!Known && Carries(F, uint16_t(Id))) Out.push_back(DriverString{uint16_t(Id), Run.SetBy});
      }
    }
  }
  return ByClass;
}

std::optional<LiveAllowances> ParseLiveAllowances(const std::string& Text, const std::string& Origin,
                                                  const std::vector<PackagedFormSet>& FormSets, std::string& Error) {
  Json Doc = Json::parse(Text, nullptr, false);
  if (Doc.is_discarded() || !Doc.is_object()) {
    Error = Origin + ": not a JSON object";
    return std::nullopt;
  }
  const auto Strings = DriverStrings(FormSets);
  LiveAllowances Result;
  auto Fail = [&](const std::string& Path, const std::string& Why) {
    Error = Origin + ": " + Path + ": " + Why;
    return std::nullopt;
  };
  for (const auto& [Key, Value] : Doc.items()) {
    if (Key != "mayStay" && Key != "board" && Key != "comment") return Fail("$." + Key, "unknown key");
  }
  if (!Doc.contains("mayStay")) return Result;
  const Json& List = Doc["mayStay"];
  if (!List.is_array()) return Fail("$.mayStay", "must be an array");
  for (size_t I = 0; I < List.size(); ++I) {
    const std::string Path = "$.mayStay[" + std::to_string(I) + "]";
    const Json& Entry = List[I];
    if (!Entry.is_object()) return Fail(Path, "must be an object");
    for (const auto& [Key, Value] : Entry.items())
      if (Key != "formSet" && Key != "ids" && Key != "reason") return Fail(Path + "." + Key, "unknown key");
    if (!Entry.contains("formSet") || !Entry["formSet"].is_string()) return Fail(Path + ".formSet", "needs a form set");
    const PackagedFormSet* F = FindFormSet(FormSets, Entry["formSet"].get<std::string>());
    if (F == nullptr) return Fail(Path + ".formSet", "unknown form set (form sets: " + FormSetChoices(FormSets) + ")");
    if (!Entry.contains("reason") || !Entry["reason"].is_string() || Trim(Entry["reason"].get<std::string>()).empty())
      return Fail(Path + ".reason", "every allowance needs its reason");
    if (!Entry.contains("ids") || !Entry["ids"].is_array() || Entry["ids"].empty())
      return Fail(Path + ".ids", "needs a list of string IDs");
    const auto Found = Strings.find(F->Class);
    for (size_t J = 0; J < Entry["ids"].size(); ++J) {
      const std::string IdPath = Path + ".ids[" + std::to_string(J) + "]";
      const Json& Item = Entry["ids"][J];
      if (!Item.is_string()) return Fail(IdPath, "an ID is a string such as \"0x00DB\" or \"0x0A92-0x0A94\"");
      const std::string S = Item.get<std::string>();
      const size_t Dash = S.find('-');
      const auto First = ParseUnsigned(Trim(S.substr(0, Dash)));
      const auto Last = Dash == std::string::npos ? First : ParseUnsigned(Trim(S.substr(Dash + 1)));
      if (!First || !Last || *Last < *First || *Last > 0xFFFF) return Fail(IdPath, "\"" + S + "\" is not an ID or range");
      for (uint64_t Id = *First; Id <= *Last; ++Id) {
        bool Filled = false;
        if (Found != Strings.end())
          for (const DriverString& D : Found->second) Filled = Filled || D.Id == Id;
        if (!Filled) return Fail(IdPath, Hex(Id, 4) + ": no driver fills this string on " + F->Name);
        Result.MayStay[{F->Class, uint16_t(Id)}] = Entry["reason"].get<std::string>();
      }
    }
  }
  return Result;
}

LiveReport CheckLive(const std::vector<FormSetPage>& Pages, const std::vector<PackagedFormSet>& FormSets,
                     const LiveAllowances& Allowances, const std::string& Language) {
  LiveReport Report;
  Report.Language = Language;
  const auto Strings = DriverStrings(FormSets);
  for (const FormSetPage& Page : Pages) {
    LiveFormSet Out;
    Out.Class = Page.Class;
    Out.Name = Page.Name;
    Out.Published = Page.Published;
    const auto Found = Strings.find(Page.Class);
    if (Found == Strings.end()) continue;
    std::map<uint16_t, const PageString*> ById;
    for (const PageString& S : Page.Strings) ById[S.Id] = &S;
    Out.DriverSet = Found->second.size();
    for (const DriverString& D : Found->second) {
      auto S = ById.find(D.Id);
      // An unpublished form set keeps every text; the same rule applies.
      const bool Set = S != ById.end() && S->second->SetIn(Language);
      auto Allowed = Allowances.MayStay.find({Page.Class, D.Id});
      if (Set) {
        if (Allowed != Allowances.MayStay.end()) {
          Out.StaleAllowances.push_back(D.Id);
          ++Report.Stale;
        }
        continue;
      }
      LiveEntry E;
      E.Id = D.Id;
      E.SetBy = D.SetBy;
      if (S != ById.end()) {
        auto Packaged = S->second->PackageText.find(Language);
        if (Packaged != S->second->PackageText.end()) E.PackageText = Packaged->second;
      }
      if (Allowed != Allowances.MayStay.end()) {
        E.Reason = Allowed->second;
        ++Report.Allowed;
      } else {
        ++Report.Unexpected;
      }
      Out.AtPackageText.push_back(std::move(E));
    }
    Report.FormSets.push_back(std::move(Out));
  }
  return Report;
}

std::string RenderLiveText(const LiveReport& Report) {
  std::string Text = "Live check: " + Report.BoardName + " (" +
                     (Report.BoardFile.empty() ? std::string("built-in") : Report.BoardFile) + "), language " +
                     Report.Language + "; allowed to stay: " +
                     (Report.AllowanceFile.empty() ? std::string("none") : Report.AllowanceFile) + "\n";
  for (const LiveFormSet& F : Report.FormSets) {
    Text += "\n== " + F.Name + " (class " + Hex(F.Class, 2) + ") ==\n";
    Text += "  " + std::to_string(F.DriverSet - F.AtPackageText.size()) + " of " + std::to_string(F.DriverSet) +
            " driver-filled strings set" + (F.Published ? "" : "; the form set was not published") + "\n";
    for (const LiveEntry& E : F.AtPackageText) {
      Text += "  " + Hex(E.Id, 4) + "  " + (E.Reason ? "allowed " : "NOT SET ") + "\"" + E.PackageText + "\" (" +
              E.SetBy + ")";
      if (E.Reason) Text += ": " + *E.Reason;
      Text += "\n";
    }
    for (uint16_t Id : F.StaleAllowances) Text += "  " + Hex(Id, 4) + "  STALE   allowed to stay, but the drivers set it\n";
  }
  Text += "\n" + std::to_string(Report.Unexpected) + " not set, " + std::to_string(Report.Allowed) +
          " allowed to stay, " + std::to_string(Report.Stale) + " stale allowances\n";
  return Text;
}

std::string RenderLiveJson(const LiveReport& Report, int ExitCode) {
  Json Doc;
  Doc["format"] = "boardsim-live/1";
  Doc["board"] = {{"name", Report.BoardName}, {"file", Report.BoardFile}};
  Doc["language"] = Report.Language;
  Doc["allowances"] = Report.AllowanceFile;
  Json Sets = Json::array();
  for (const LiveFormSet& F : Report.FormSets) {
    Json Entries = Json::array();
    for (const LiveEntry& E : F.AtPackageText) {
      Json J{{"id", E.Id}, {"set_by", E.SetBy}, {"package_text", E.PackageText}, {"allowed", E.Reason.has_value()}};
      if (E.Reason) J["reason"] = *E.Reason;
      Entries.push_back(std::move(J));
    }
    Sets.push_back({{"class", F.Class},
                    {"name", F.Name},
                    {"published", F.Published},
                    {"driver_set", F.DriverSet},
                    {"at_package_text", std::move(Entries)},
                    {"stale_allowances", F.StaleAllowances}});
  }
  Doc["form_sets"] = std::move(Sets);
  Doc["not_set"] = Report.Unexpected;
  Doc["allowed"] = Report.Allowed;
  Doc["stale"] = Report.Stale;
  Doc["exit_code"] = ExitCode;
  return Doc.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace boardsim
