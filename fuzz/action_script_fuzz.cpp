// Action scripts are a user's file or command-line text. The input is the
// text (its first byte says whether it came from a file); every accepted
// action must parse again from its own text to the same action, and carry
// values that fit what it names.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/boardsim/action_script.h"

namespace {

bool Same(const boardsim::Action& A, const boardsim::Action& B) {
  return A.Kind == B.Kind && A.Text == B.Text && A.Store == B.Store && A.Offset == B.Offset && A.Width == B.Width &&
         A.Value == B.Value && A.FormSet == B.FormSet && A.Key == B.Key && A.BrowserAction == B.BrowserAction &&
         A.ValueType == B.ValueType && A.CallbackValue == B.CallbackValue;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 1) return 0;
  const bool IsFile = Data[0] & 1;
  const std::string_view Text((const char*)Data + 1, Size - 1);
  const boardsim::ActionParse Parsed = boardsim::ParseActionList(Text, "fuzz.txt", IsFile);
  if (Parsed.Error) {
    if (Parsed.Error->Why.empty()) std::abort();
    if (Parsed.Error->Message().rfind("fuzz.txt", 0) != 0) std::abort();
    return 0;
  }
  for (const boardsim::Action& A : Parsed.Actions) {
    if (A.Text.empty() || A.Origin.rfind("fuzz.txt", 0) != 0) std::abort();
    if (A.Text.find_first_of(";#\n") != std::string::npos) std::abort();
    if (A.Kind == boardsim::ActionKind::Set) {
      if (A.Width != 1 && A.Width != 2 && A.Width != 4) std::abort();
      if (A.Width < 4 && A.Value >> (8 * A.Width) != 0) std::abort();
    }
    const boardsim::ActionParse Again = boardsim::ParseAction(A.Text, A.Origin);
    if (Again.Error || Again.Actions.size() != 1 || !Same(Again.Actions[0], A)) std::abort();
  }
  return 0;
}
