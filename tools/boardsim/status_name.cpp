#include "tools/boardsim/status_name.h"

#include "lib/text_format.h"
#include "tools/boardsim/text_util.h"

namespace boardsim {

std::string StatusName(EFI_STATUS Status) {
  const CHAR8* Name = StatusCodeName(Status);
  return Name != nullptr ? std::string(Name) : Hex(Status);
}

}  // namespace boardsim
