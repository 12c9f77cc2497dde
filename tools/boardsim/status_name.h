// EFI status names for the reports.
#pragma once

#include <string>

#include "uefi/base.h"

namespace boardsim {

// "EFI_NOT_FOUND", or the value in hex when the status has no name.
std::string StatusName(EFI_STATUS Status);

}  // namespace boardsim
