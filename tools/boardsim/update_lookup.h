// The update lookup as an update application would run it: the board's
// identity and name service installed, the caller's transport handed to
// LocateDownload, and the answer (or the code) explained.
#pragma once

#include <string>

#include "tools/boardsim/machine_boot.h"
#include "tools/boardsim/run_report.h"

namespace boardsim {

// Name and one-line meaning of a locator result: its own codes 100 to 109,
// success, or an EFI status.
std::string UpdateResultName(EFI_STATUS Result);
std::string UpdateResultMeaning(EFI_STATUS Result);
// Success is 0 or another non-error status outside the locator's codes.
bool UpdateResultFound(EFI_STATUS Result);

// "10.0.0.5", first field from the lowest byte.
std::string DottedAddress(const EFI_IPv4_ADDRESS& Address);

UpdateRecord RunUpdateLookup(BoardSession& Session);

}  // namespace boardsim
