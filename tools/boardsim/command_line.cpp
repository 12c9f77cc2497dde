#include "tools/boardsim/command_line.h"

#include "tools/boardsim/exit_codes.h"
#include "tools/boardsim/text_util.h"

namespace boardsim {

const char* ExitCodeMeaning(int Code) {
  switch (Code) {
    case EXIT_OK:
      return "the run completed";
    case EXIT_INTERNAL:
      return "the simulator failed (an internal error)";
    case EXIT_USAGE:
      return "bad command line";
    case EXIT_BAD_PROFILE:
      return "the board profile is unreadable or invalid";
    case EXIT_BAD_ACTION:
      return "an action does not parse, or names an unknown form set, key or store";
    case EXIT_UPDATE_FAILED:
      return "the update lookup returned a failure";
    case EXIT_POOL_LEAK:
      return "pool memory was still allocated at the end of the run";
    case EXIT_NOT_LIVE:
      return "--check-live found a driver-filled string still as packaged, or a stale allowance";
    default:
      return "unknown";
  }
}

std::string UsageText() {
  std::string Text =
      "usage: boardsim [update] [options]\n"
      "\n"
      "Boots the setup drivers on a simulated board and prints the setup pages.\n"
      "'boardsim update' runs the update lookup of the board instead, after the\n"
      "actions if any (set NetConfigData 105 byte N picks the download server).\n"
      "\n"
      "options:\n"
      "  --board FILE.json  board profile (default: the built-in board)\n"
      "  --lang CODE        language of the page texts (default en-US)\n"
      "  --formset SET      print only this form set (class such as 0x10, or name\n"
      "                     such as hardware-monitor); may be repeated\n"
      "  --all-strings      print every string of a page; '*' marks those the drivers set\n"
      "  --prompts          print pages as the browser shows them: prompts, texts and\n"
      "                     questions with their values, string IDs and keys beside them\n"
      "  --no-pages         print no pages (actions and boots only)\n"
      "  --do ACTIONS       run actions after boot (';' separates them); may be repeated\n"
      "  --script FILE      run the actions in FILE, one per line, '#' comments\n"
      "  --boots N          boot N times in a row keeping the variable store (1 to 64);\n"
      "                     the language variables are shown after each\n"
      "  --json             print one JSON document instead of text\n"
      "  --tour             a short guided tour: a page, a fan-curve point raised and\n"
      "                     the later ones corrected, a profile saved and loaded back,\n"
      "                     the update lookup\n"
      "  --check-live       list the driver-filled strings still as packaged, by form\n"
      "                     set, after boot and actions, instead of the pages\n"
      "  --live-allow FILE  the strings the board leaves as packaged, each with its reason\n"
      "  --at-boot K ACTS   run actions once boot K is up, before the next boot\n"
      "  --fail FAULT       arm a fault before the first boot: SERVICE:N[:STATUS],\n"
      "                     SERVICE:always[:STATUS] or pool:N\n"
      "  --log-strings      list every string write in the report\n"
      "  --log-ports        list every I/O port access in the report\n"
      "  -h, --help         this text\n"
      "\n"
      "actions:\n"
      "  set STORE OFFSET byte|word|dword VALUE   write into a browser store (Setup, ...)\n"
      "  callback FORMSET KEY ACTION [VALUE]      question callback; ACTION is changing,\n"
      "                                           changed, retrieve, form-open, ...;\n"
      "                                           VALUE is N or u8:N, u16:N, u32:N, u64:N, bool:N\n"
      "  show FORMSET                             print the page as it is now\n"
      "  save                                     the browser saves its changed stores\n"
      "  text WORD [WORD ...] | text-cancel       the user's answer to the next text prompt\n"
      "  reboot                                   power-cycle the board; setup opens again\n"
      "  sata                                     the SATA driver calls the SATA port string protocol again\n"
      "\n"
      "exit codes:\n";
  for (int Code = EXIT_OK; Code <= EXIT_NOT_LIVE; ++Code) {
    Text += "  " + std::to_string(Code) + "  " + ExitCodeMeaning(Code) + "\n";
  }
  return Text;
}

CommandLine ParseCommandLine(const std::vector<std::string>& Args) {
  CommandLine Result;
  Options& O = Result.Parsed;
  auto Fail = [&Result](std::string Why) {
    Result.Error = std::move(Why);
    return Result;
  };
  size_t DoCount = 0;
  bool BootsGiven = false;
  for (size_t I = 0; I < Args.size(); ++I) {
    const std::string& Arg = Args[I];
    auto Value = [&](std::string& Out) -> bool {
      if (I + 1 >= Args.size()) {
        return false;
      }
      Out = Args[++I];
      return true;
    };
    std::string V;
    if (I == 0 && Arg == "update") {
      O.Mode = Command::Update;
    } else if (Arg == "-h" || Arg == "--help") {
      O.Mode = Command::Help;
      return Result;
    } else if (Arg == "--board") {
      if (!Value(V) || V.empty()) {
        return Fail("--board needs a profile file");
      }
      O.BoardFile = V;
    } else if (Arg == "--lang") {
      if (!Value(V) || V.empty()) {
        return Fail("--lang needs a language code such as en-US");
      }
      O.Language = V;
    } else if (Arg == "--formset") {
      if (!Value(V) || V.empty()) {
        return Fail("--formset needs a class (0x10) or a name (hardware-monitor)");
      }
      O.FormSets.push_back(V);
    } else if (Arg == "--all-strings") {
      O.AllStrings = true;
    } else if (Arg == "--prompts") {
      O.Prompts = true;
    } else if (Arg == "--no-pages") {
      O.NoPages = true;
    } else if (Arg == "--do") {
      if (!Value(V)) {
        return Fail("--do needs an action, such as \"set Setup 0x430 byte 20\"");
      }
      ++DoCount;
      O.Actions.push_back(ActionSource{false, V, "--do " + std::to_string(DoCount)});
    } else if (Arg == "--script") {
      if (!Value(V) || V.empty()) {
        return Fail("--script needs a file");
      }
      O.Actions.push_back(ActionSource{true, V, V});
    } else if (Arg == "--boots") {
      if (!Value(V)) {
        return Fail("--boots needs a count");
      }
      auto N = ParseUnsigned(V);
      if (!N || *N < 1 || *N > MAX_BOOTS) {
        return Fail("--boots " + V + ": the count must be a number from 1 to " + std::to_string(MAX_BOOTS));
      }
      O.Boots = unsigned(*N);
      BootsGiven = true;
    } else if (Arg == "--json") {
      O.Json = true;
    } else if (Arg == "--tour") {
      O.Tour = true;
    } else if (Arg == "--check-live") {
      O.CheckLive = true;
    } else if (Arg == "--live-allow") {
      if (!Value(V) || V.empty()) {
        return Fail("--live-allow needs a file of allowances");
      }
      O.LiveAllowFile = V;
    } else if (Arg == "--fail") {
      // SERVICE:N[:STATUS], SERVICE:always[:STATUS] or pool:N.
      if (!Value(V)) return Fail("--fail needs SERVICE:N[:STATUS], SERVICE:always[:STATUS] or pool:N");
      std::vector<std::string> Parts;
      for (size_t Start = 0;;) {
        const size_t Colon = V.find(':', Start);
        Parts.push_back(V.substr(Start, Colon == std::string::npos ? std::string::npos : Colon - Start));
        if (Colon == std::string::npos) break;
        Start = Colon + 1;
      }
      if (Parts.size() < 2 || Parts.size() > 3)
        return Fail("--fail " + V + ": expected SERVICE:N[:STATUS], SERVICE:always[:STATUS] or pool:N");
      std::string Why;
      auto Wanted = ParseFault(Parts[0], Parts[1], Parts.size() == 3 ? Parts[2] : std::string(), Why);
      if (!Wanted) return Fail("--fail " + V + ": " + Why);
      O.Faults.push_back(*Wanted);
    } else if (Arg == "--at-boot") {
      std::string Boot;
      if (!Value(Boot) || !Value(V)) return Fail("--at-boot needs a boot number and actions");
      auto N = ParseUnsigned(Boot);
      if (!N || *N < 1 || *N > MAX_BOOTS)
        return Fail("--at-boot " + Boot + ": the boot must be a number from 1 to " + std::to_string(MAX_BOOTS));
      O.Actions.push_back(ActionSource{false, V, "--at-boot " + Boot, unsigned(*N)});
    } else if (Arg == "--log-strings") {
      O.LogStrings = true;
    } else if (Arg == "--log-ports") {
      O.LogPorts = true;
    } else if (Arg == "update") {
      return Fail("'update' must come first: boardsim update [options]");
    } else if (!Arg.empty() && Arg[0] == '-') {
      return Fail("unknown option " + Arg);
    } else {
      return Fail("unexpected argument \"" + Arg + "\"");
    }
  }
  if (O.Mode == Command::Update) {
    if (O.Tour || BootsGiven || !O.FormSets.empty() || O.AllStrings || O.Prompts || O.NoPages) {
      return Fail("'boardsim update' takes only --board, --lang, --do, --script and --json");
    }
  }
  if (!O.LiveAllowFile.empty() && !O.CheckLive) {
    return Fail("--live-allow goes with --check-live");
  }
  if (O.CheckLive && (O.Mode == Command::Update || O.Tour)) {
    return Fail("--check-live goes with neither 'update' nor --tour");
  }
  if (O.Tour && !O.Actions.empty()) {
    return Fail("--tour runs its own actions; leave out --do and --script");
  }
  for (const ActionSource& Source : O.Actions)
    if (Source.AtBoot > O.Boots)
      return Fail("--at-boot " + std::to_string(Source.AtBoot) + ": the run has " + std::to_string(O.Boots) +
                  " boot(s) (--boots N)");
  return Result;
}

}  // namespace boardsim
