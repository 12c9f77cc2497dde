#include "tools/boardsim/boardsim_run.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "sim/hii/hii_services.h"
#include "sim/hii/setup_browser.h"
#include "setupinfo/core/form_set_table.h"
#include "setupinfo/core/setup_record.h"
#include "tools/boardsim/action_runner.h"
#include "tools/boardsim/exit_codes.h"
#include "tools/boardsim/json_report.h"
#include "tools/boardsim/live_check.h"
#include "tools/boardsim/machine_boot.h"
#include "tools/boardsim/page_capture.h"
#include "tools/boardsim/text_report.h"
#include "tools/boardsim/text_util.h"
#include "tools/boardsim/update_lookup.h"

namespace boardsim {
namespace {

constexpr uint16_t HARDWARE_MONITOR_CLASS = 0x10;
// The first fan curve: five points at 0x42E-0x432, the third one's key is 0x490.
constexpr uint32_t FAN_CURVE_THIRD_POINT = 0x430;
constexpr size_t MAX_SCRIPT_FILE = 4u << 20;

// Texts from the command line, files and the drivers need not be UTF-8: a
// byte that is not becomes U+FFFD rather than stopping the document.
std::string DumpJson(const Json& J) {
  return J.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

const char* const TourIntro =
    "Tour: the hardware monitor page refreshed and shown, a fan-curve point raised\n"
    "above the later ones and those corrected by the page's callback, a preset\n"
    "applied, a user profile saved under a name, a setting changed and the profile\n"
    "loaded back, then the update lookup. Run 'boardsim --help' for more;\n"
    "docs/boardsim.md has the details.\n\n";

constexpr uint16_t TOOLS_CLASS = 0x8;
constexpr uint32_t TOUR_PROFILE_SETTING = 0x80;
// Saves profile 1; the next key loads it.
constexpr uint16_t PROFILE_TOUR_KEY = 0x532;
// Table A's row index in Setup, the row the tour picks, and its question.
constexpr uint32_t TOUR_PRESET_INDEX = 0x481;
constexpr uint8_t TOUR_PRESET_ROW = 1;
constexpr uint16_t TOUR_PRESET_KEY = 0x51F;
constexpr uint16_t TUNING_CLASS = 0x2;

class Runner {
 public:
  explicit Runner(RunOutput& Output) : Output_(Output) {}

  int Run(const std::vector<std::string>& Args) {
    try {
      return RunChecked(Args);
    } catch (const std::exception& E) {
      for (const std::string& Arg : Args) {
        Options_.Json = Options_.Json || Arg == "--json";
      }
      Output_.Out.clear();
      return Fail(EXIT_INTERNAL, "internal", std::string("internal error: ") + E.what());
    }
  }

 private:
  int RunChecked(const std::vector<std::string>& Args) {
    CommandLine Line = ParseCommandLine(Args);
    if (Line.Error) {
      for (const std::string& Arg : Args) {
        Options_.Json = Options_.Json || Arg == "--json";  // scripts still get a document
      }
      return Fail(EXIT_USAGE, "usage", *Line.Error + " (see boardsim --help)");
    }
    Options_ = Line.Parsed;
    if (Options_.Mode == Command::Help) {
      Output_.Out = UsageText();
      return EXIT_OK;
    }
    const PackagedFormSets& Compiled = CompiledFormSets();
    if (!Compiled.Error.empty()) {
      return Fail(EXIT_INTERNAL, "internal", Compiled.Error);
    }
    FormSets_ = &Compiled.FormSets;
    if (int Code = CheckLanguage()) {
      return Code;
    }
    if (int Code = SelectPages()) {
      return Code;
    }
    if (int Code = ReadActions()) {
      return Code;
    }
    if (int Code = ReadLiveAllowances()) {
      return Code;
    }
    sim::BoardProfile Profile = sim::DefaultBoardProfile();
    if (!Options_.BoardFile.empty()) {
      std::string Error;
      if (!sim::LoadBoardProfile(Options_.BoardFile, Profile, Error)) {
        return Fail(EXIT_BAD_PROFILE, "profile", Error);
      }
    }
    Report_.BoardName = Profile.Name;
    Report_.BoardFile = Options_.BoardFile;
    Report_.Language = Options_.Language;
    Report_.AllStrings = Options_.AllStrings || Options_.Tour;  // the tour shows labels too
    Report_.Prompts = Options_.Prompts;
    // Several boots are asked for to see the language variables after each.
    Report_.BriefBoots = (Options_.Tour && Options_.Boots == 1) || Options_.Mode == Command::Update;
    if (Options_.Tour) {
      Report_.Intro = TourIntro;
    }
    BoardSession Session(Profile);
    return Simulate(Session);
  }

  std::string ProfileName() const { return Options_.BoardFile.empty() ? "boards/default.json" : Options_.BoardFile; }

  int Fail(int Code, const std::string& Kind, const std::string& Message) {
    Output_.Err += "boardsim: " + Message + "\n";
    if (Options_.Json) {
      Output_.Out = DumpJson(ErrorJson(Kind, Message, Code));
    }
    return Code;
  }

  int CheckLanguage() {
    const std::vector<std::string> Languages = PackagedLanguages(*FormSets_);
    std::string List;
    for (const std::string& L : Languages) {
      if (L == Options_.Language) {
        return EXIT_OK;
      }
      List += (List.empty() ? "" : ", ") + L;
    }
    return Fail(EXIT_USAGE, "usage", "--lang " + Options_.Language + ": no form set carries this language (" + List + ")");
  }

  int SelectPages() {
    if (Options_.Mode == Command::Update || Options_.NoPages) {
      return EXIT_OK;
    }
    if (Options_.Tour && Options_.FormSets.empty()) {
      return EXIT_OK;  // the tour shows its page from its script
    }
    for (const std::string& Selector : Options_.FormSets) {
      const PackagedFormSet* F = FindFormSet(*FormSets_, Selector);
      if (F == nullptr) {
        return Fail(EXIT_BAD_ACTION, "action",
                    "--formset " + Selector + ": unknown form set (form sets: " + FormSetChoices(*FormSets_) + ")");
      }
      Selected_.push_back(F);
    }
    if (Options_.FormSets.empty()) {
      for (const PackagedFormSet& F : *FormSets_) {
        Selected_.push_back(&F);
      }
    }
    return EXIT_OK;
  }

  int ReadActions() {
    for (const ActionSource& Source : Options_.Actions) {
      std::string Text = Source.Text;
      if (Source.IsFile) {
        // A directory opens like a file and reads as nothing, a device may never
        // end: only regular files are read, and only up to the bound.
        std::error_code Ignored;
        const std::filesystem::file_status Status = std::filesystem::status(Source.Text, Ignored);
        if (std::filesystem::is_directory(Status)) {
          return Fail(EXIT_USAGE, "usage", "--script " + Source.Text + ": is a directory, not a file of actions");
        }
        if (std::filesystem::exists(Status) && !std::filesystem::is_regular_file(Status)) {
          return Fail(EXIT_USAGE, "usage", "--script " + Source.Text + ": is not a regular file");
        }
        std::ifstream File(Source.Text, std::ios::binary);
        if (!File) {
          return Fail(EXIT_USAGE, "usage", "--script " + Source.Text + ": cannot read the file");
        }
        Text.assign(MAX_SCRIPT_FILE + 1, '\0');
        File.read(Text.data(), (std::streamsize)Text.size());
        if (File.bad()) {
          return Fail(EXIT_USAGE, "usage", "--script " + Source.Text + ": cannot read the file");
        }
        Text.resize((size_t)File.gcount());
        if (Text.size() > MAX_SCRIPT_FILE) {
          return Fail(EXIT_USAGE, "usage", "--script " + Source.Text + ": larger than 4 MiB, too large for a file of actions");
        }
      }
      ActionParse Parsed = ParseActionList(Text, Source.Origin, Source.IsFile);
      if (Parsed.Error) {
        return Fail(EXIT_BAD_ACTION, "action", Parsed.Error->Message());
      }
      for (Action& A : Parsed.Actions) A.AtBoot = Source.AtBoot;
      Actions_.insert(Actions_.end(), Parsed.Actions.begin(), Parsed.Actions.end());
    }
    return EXIT_OK;
  }

  int Simulate(BoardSession& Session) {
    if (Options_.Language != Options().Language) {
      Session.PresetLanguage(Options_.Language);
    }
    Session.LogStrings = Options_.LogStrings;
    for (const FaultSpec& F : Options_.Faults) ArmFault(Session, F);
    std::vector<ActionResult> Earlier;
    for (unsigned I = 0; I < Options_.Boots; ++I) {
      Report_.Boots.push_back(Session.Boot());
      if (I + 1 == Options_.Boots) continue;
      if (int Code = RunAtBoot(Session, I + 1, Earlier)) return Code;
      if (!Report_.StoppedBy.empty()) break;
    }
    // What is left runs after the last boot.
    std::erase_if(Actions_, [this](const Action& A) { return A.AtBoot != 0 && A.AtBoot != Options_.Boots; });
    if (Options_.Tour) {
      const std::vector<UINT8>* Setup = Session.Browser().StoreBytes(SETUP_VARIABLE_NAME, SETUP_VARIABLE_GUID);
      // A board without Setup gets a store of zeros; a shorter Setup is the profile's.
      if (Setup == nullptr || Setup->size() <= FAN_CURVE_THIRD_POINT + 2) {
        return Fail(EXIT_BAD_PROFILE, "profile",
                    ProfileName() + ": $.variables: the Setup variable holds " +
                        std::to_string(Setup == nullptr ? 0 : Setup->size()) + " bytes; the tour needs " +
                        std::to_string(FAN_CURVE_THIRD_POINT + 3) + " (its first fan curve)");
      }
      std::string Script = TourScript((*Setup)[FAN_CURVE_THIRD_POINT + 1], (*Setup)[FAN_CURVE_THIRD_POINT + 2]);
      const sim::PresetProfile& Presets = Session.Machine().Profile().Presets;
      if (Presets.ProviderPresent && Presets.Tables[0] && Presets.Tables[0]->size() > TOUR_PRESET_ROW) {
        Script += PresetTourScript();
      }
      // Last, so that the tour ends on the page it shows.
      if (Session.HasProfileStorage()) Script += ProfileTourScript((*Setup)[TOUR_PROFILE_SETTING]);
      ActionParse Tour = ParseActionList(Script, "tour", false);
      Actions_ = Tour.Actions;
    }
    ActionRunner Actions(Session, *FormSets_);
    if (auto Error = Actions.Check(Actions_)) {
      return Fail(EXIT_BAD_ACTION, "action", Error->Message());
    }
    for (const PackagedFormSet* F : Selected_) {
      Report_.Pages.push_back(Session.Page(*F));
    }
    int Code = EXIT_OK;
    if (Report_.StoppedBy.empty()) Report_.Actions = Actions.Run(Actions_);
    Report_.Actions.insert(Report_.Actions.begin(), Earlier.begin(), Earlier.end());
    if (!Report_.StoppedBy.empty()) {
      Code = EXIT_BAD_ACTION;  // an earlier boot's actions stopped the run
    } else if (const auto& Stopped = Actions.StoppedBy()) {
      Report_.StoppedBy = Stopped->Message();
      Output_.Err += "boardsim: " + Report_.StoppedBy + "\n";
      Code = EXIT_BAD_ACTION;
    }
    RecordSecureBootAndVolumes(Session);
    if (Options_.Mode == Command::Update || Options_.Tour) {
      Report_.Update = RunUpdateLookup(Session);
      if (Options_.Mode == Command::Update && !Report_.Update->Found) {
        Code = EXIT_UPDATE_FAILED;
      }
    }
    RecordBench(Session);
    Report_.Pool.LiveAllocations = Session.Machine().LiveAllocationCount();
    Report_.Pool.LeakReport = Session.Machine().LeakReport();
    Session.Machine().Pool().CheckGuards();
    Report_.Pool.Misuse = Session.Machine().Misuse();
    if (!Report_.Pool.LeakReport.empty()) {
      Code = EXIT_POOL_LEAK;
      Output_.Err += "boardsim: pool memory leaked:\n" + Report_.Pool.LeakReport;
    }
    if (Options_.CheckLive) {
      return ReportLive(Session, Code);
    }
    Report_.ExitCode = Code;
    Output_.Out = Options_.Json ? DumpJson(ReportJson(Report_)) : RenderText(Report_);
    return Code;
  }

  int ReadLiveAllowances() {
    if (Options_.LiveAllowFile.empty()) {
      return EXIT_OK;
    }
    std::error_code Ignored;
    if (!std::filesystem::is_regular_file(Options_.LiveAllowFile, Ignored)) {
      return Fail(EXIT_USAGE, "usage", "--live-allow " + Options_.LiveAllowFile + ": not a readable file");
    }
    std::ifstream File(Options_.LiveAllowFile, std::ios::binary);
    std::string Text(MAX_SCRIPT_FILE + 1, '\0');
    File.read(Text.data(), (std::streamsize)Text.size());
    if (File.bad() || (size_t)File.gcount() > MAX_SCRIPT_FILE) {
      return Fail(EXIT_USAGE, "usage", "--live-allow " + Options_.LiveAllowFile + ": unreadable or larger than 4 MiB");
    }
    Text.resize((size_t)File.gcount());
    std::string Error;
    auto Parsed = ParseLiveAllowances(Text, Options_.LiveAllowFile, *FormSets_, Error);
    if (!Parsed) {
      return Fail(EXIT_BAD_PROFILE, "profile", Error);
    }
    Allowances_ = std::move(*Parsed);
    return EXIT_OK;
  }

  // After boots and actions: the pages as they are now, instead of the report.
  int ReportLive(BoardSession& Session, int Code) {
    std::vector<FormSetPage> Pages;
    for (const PackagedFormSet& F : *FormSets_) {
      bool Chosen = Options_.FormSets.empty();
      for (const PackagedFormSet* S : Selected_) Chosen = Chosen || S == &F;
      if (Chosen) Pages.push_back(Session.Page(F));
    }
    LiveReport Live = CheckLive(Pages, *FormSets_, Allowances_, Options_.Language);
    Live.BoardName = Report_.BoardName;
    Live.BoardFile = Report_.BoardFile;
    Live.AllowanceFile = Options_.LiveAllowFile;
    // A failed action or a leak outranks the check.
    if (Code == EXIT_OK && (Live.Unexpected != 0 || Live.Stale != 0)) {
      Code = EXIT_NOT_LIVE;
    }
    Output_.Out = Options_.Json ? RenderLiveJson(Live, Code) : RenderLiveText(Live);
    return Code;
  }

  // The actions given for boot K (--at-boot K), checked and run once it is up.
  int RunAtBoot(BoardSession& Session, unsigned Boot, std::vector<ActionResult>& Results) {
    std::vector<Action> Now;
    for (const Action& A : Actions_)
      if (A.AtBoot == Boot) Now.push_back(A);
    if (Now.empty()) return EXIT_OK;
    ActionRunner Runner(Session, *FormSets_);
    if (auto Error = Runner.Check(Now)) return Fail(EXIT_BAD_ACTION, "action", Error->Message());
    std::vector<ActionResult> Done = Runner.Run(Now);
    Results.insert(Results.end(), Done.begin(), Done.end());
    if (const auto& Stopped = Runner.StoppedBy()) {
      Report_.StoppedBy = Stopped->Message();
      Output_.Err += "boardsim: " + Report_.StoppedBy + "\n";
    }
    return EXIT_OK;
  }

  // Service call counts once a fault was armed, and the logs asked for.
  void RecordBench(BoardSession& Session) {
    Session.UnregisterCallbacks();
    if (Session.FaultsUsed) {
      std::vector<ServiceCount> Counts;
      for (unsigned S = 0; S < (unsigned)sim::FaultableService::Count; ++S) {
        const auto Service = (sim::FaultableService)S;
        Counts.push_back(ServiceCount{sim::FaultableServiceName(Service), Session.Machine().Faults().Calls(Service),
                                      Session.Machine().Faults().Failures(Service)});
      }
      Report_.ServiceCalls = std::move(Counts);
    }
    if (Options_.LogStrings) Report_.StringWrites = Session.StringLog;
    if (Options_.LogPorts) Report_.PortAccesses = Session.PortLog();
  }

  // The Secure Boot state bytes and every volume's files, as the run left them.
  void RecordSecureBootAndVolumes(BoardSession& Session) {
    sim::VariableStore& Store = Session.Machine().Variables();
    if (Session.Machine().Profile().SecureBoot) {
      SecureBootRecord S;
      auto Byte = [&](const char16_t* Name) -> std::optional<uint8_t> {
        const auto* V = Store.Find(Name, EFI_GLOBAL_VARIABLE_GUID);
        if (V == nullptr || V->Data.empty()) return std::nullopt;
        return V->Data[0];
      };
      S.SecureBoot = Byte(u"SecureBoot");
      S.SetupMode = Byte(u"SetupMode");
      if (const auto* V = Store.Find(u"SecureVarPresent", SECURE_BOOT_FORM_SET_GUID)) S.SecureVarPresent = V->Data;
      Report_.SecureBoot = S;
    }
    sim::FileSystemPeers* Files = Session.FileSystems();
    if (Files == nullptr) return;
    for (size_t I = 0; I < Files->VolumeCount(); ++I) {
      const sim::FileSystemPeers::Volume& V = Files->VolumeAt(I);
      VolumeRecord R;
      R.Label = V.Profile.Label;
      R.HasDevicePath = V.Profile.DevicePath.has_value();
      std::function<void(const sim::FileNodeProfile&, const std::string&)> Walk =
          [&](const sim::FileNodeProfile& Dir, const std::string& Prefix) {
            for (const auto& C : Dir.Children) {
              const std::string Path = Prefix.empty() ? C.Name : Prefix + "\\" + C.Name;
              R.Files.push_back(VolumeFile{Path, C.Directory, C.Data});
              if (C.Directory) Walk(C, Path);
            }
          };
      Walk(V.Root, "");
      Report_.Volumes.push_back(std::move(R));
    }
  }

  RunOutput& Output_;
  Options Options_;
  const std::vector<PackagedFormSet>* FormSets_ = nullptr;
  std::vector<const PackagedFormSet*> Selected_;
  std::vector<Action> Actions_;
  LiveAllowances Allowances_;
  RunReport Report_;
};

}  // namespace

std::string TourScript(uint8_t FourthPoint, uint8_t FifthPoint) {
  // The browser refreshes the monitor readings when it shows the page.
  std::string Script = "callback " + Hex(HARDWARE_MONITOR_CLASS, 2) + " 0x48D retrieve\n";
  Script += "show " + Hex(HARDWARE_MONITOR_CLASS, 2) + "\n";
  unsigned Fourth = FourthPoint;
  if (Fourth == 0xFF) {
    // Nothing lies above 255: bring the fourth point down first.
    Fourth = 200;
    Script += "set Setup " + Hex(FAN_CURVE_THIRD_POINT + 1, 3) + " byte " + std::to_string(Fourth) + "\n";
  }
  // Above both later points, so the callback raises each of them to it.
  const unsigned Third = std::min(std::max(Fourth, unsigned(FifthPoint)) + 5, 0xFFu);
  Script += "set Setup " + Hex(FAN_CURVE_THIRD_POINT, 3) + " byte " + std::to_string(Third) + "\n";
  Script += "callback " + Hex(HARDWARE_MONITOR_CLASS, 2) + " 0x490 changed u8:" + std::to_string(Third) + "\n";
  return Script;
}

std::string ProfileTourScript(uint8_t AllCoreRatio) {
  const std::string Save = Hex(PROFILE_TOUR_KEY, 3), Load = Hex(PROFILE_TOUR_KEY + 1, 3);
  std::string Script = "text Tour profile\n";
  Script += "callback " + Hex(TOOLS_CLASS, 2) + " " + Save + " changing\n";
  Script += "set Setup " + Hex(TOUR_PROFILE_SETTING, 2) + " byte " + std::to_string((AllCoreRatio + 1) & 0xFF) + "\n";
  Script += "callback " + Hex(TOOLS_CLASS, 2) + " " + Load + " changing\n";
  Script += "show " + Hex(TOOLS_CLASS, 2) + "\n";
  return Script;
}

std::string PresetTourScript() {
  return "set Setup " + Hex(TOUR_PRESET_INDEX, 3) + " byte " + std::to_string(TOUR_PRESET_ROW) + "\n" + "callback " +
         Hex(TUNING_CLASS, 2) + " " + Hex(TOUR_PRESET_KEY, 3) + " changed\n";
}

RunOutput RunBoardSim(const std::vector<std::string>& Args) {
  RunOutput Output;
  Runner R(Output);
  Output.ExitCode = R.Run(Args);
  return Output;
}

}  // namespace boardsim
