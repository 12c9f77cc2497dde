// The formatter header must come before any standard header: its trait
// builtins share names with libstdc++ internals, which clang then stops
// treating as builtins.
#include "lib/text_format.h"

#include "tools/boardsim/status_name.h"
#include "tools/boardsim/text_util.h"

namespace boardsim {

std::string StatusName(EFI_STATUS Status) {
  const CHAR8* Name = StatusCodeName(Status);
  return Name != nullptr ? std::string(Name) : Hex(Status);
}

}  // namespace boardsim
