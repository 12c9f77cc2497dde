// Scripted user actions: the grammar of one action, of an action list (a
// --do argument or a script file) and the names of browser actions.
//
//   set STORE OFFSET WIDTH VALUE            write into a browser store
//   callback FORMSET KEY ACTION [VALUE]     send a question callback
//   show FORMSET                            print a page as it is now
//   save                                    the browser saves its changed stores
//   answer N [N ...]                        queue the user's answers to message boxes
//   choose N [N ...]                        queue the user's choices in list boxes
//   text WORD [WORD ...]                    queue the user's answer to a text prompt
//   text-cancel                             queue a cancelled text prompt
//   reboot                                  power-cycle the board; setup opens again
//   ready-to-boot                           signal ready to boot; a restart asked for reboots
//   resolution-trigger                      the display driver installs its resolution trigger
//   sata                                    the board's SATA driver calls the SATA port string protocol again
//   callback-any FORMSET KEY ACTION [VALUE] a callback sent whether or not anything serves the key
//   and the test bench's actions (bench_actions.h)
//
// Actions are separated by ';' or line ends; '#' starts a comment.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/boardsim/bench_actions.h"

namespace boardsim {

// A queued list choice that leaves the list, as escape does.
constexpr uint64_t CHOICE_ESCAPE = ~0ull;

enum class ActionKind { Set, Callback, Show, Save, Answer, Choose, ReadyToBoot, Text, Reboot, ResolutionTrigger, Sata, Bench };

struct Action {
  ActionKind Kind = ActionKind::Show;
  std::string Text;    // the action as written, blanks collapsed
  std::string Origin;  // where it came from: "--do 1", "fan.txt:4", "tour"

  // set
  std::string Store;
  uint32_t Offset = 0;
  unsigned Width = 1;  // 1, 2 or 4 bytes, little-endian
  uint32_t Value = 0;

  // callback and show
  std::string FormSet;  // class number or name, resolved after boot
  uint16_t Key = 0;
  uint64_t BrowserAction = 0;
  uint8_t ValueType = 0;  // EFI_IFR_TYPE_NUM_SIZE_8 ... EFI_IFR_TYPE_BOOLEAN
  uint64_t CallbackValue = 0;

  // answer and choose
  std::vector<uint64_t> Numbers;

  // text: the words joined by single blanks; none for text-cancel
  std::optional<std::string> TypedText;

  // callback-any: sent without checking that anything serves the key
  bool Unchecked = false;
  // the test bench's actions (fail, install, register, port, ...)
  BenchCommand Bench;
  // --at-boot K: run once boot K is up (0: after the last boot)
  unsigned AtBoot = 0;
};

struct ActionError {
  std::string Origin;
  std::string Text;
  std::string Why;
  // One line: "<origin>: "<text>": <why>".
  std::string Message() const;
};

struct ActionParse {
  std::vector<Action> Actions;
  std::optional<ActionError> Error;
};

// One action (no ';', no comment).
ActionParse ParseAction(std::string_view Text, const std::string& Origin);

// Several actions. Origin names the source; actions from a file get
// "<Origin>:<line>", those of one line "<Origin>" (with " #n" when a line
// holds more than one).
ActionParse ParseActionList(std::string_view Text, const std::string& Origin, bool IsFile);

// Browser actions by name ("changed", "form-open", ...) or number.
std::optional<uint64_t> ParseBrowserAction(std::string_view Word);
std::string BrowserActionName(uint64_t Action);

// "u8", "u16", "u32", "u64", "bool" with their EFI_IFR_TYPE value.
std::string ValueTypeName(uint8_t Type);

std::string WidthName(unsigned Width);

}  // namespace boardsim
