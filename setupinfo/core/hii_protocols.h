// The HII String and HII Database protocols, located on first use and kept
// for the life of the driver (the loader, the page strings and the language
// variables share them).
#pragma once

#include "uefi/hii.h"

// Null while the protocol is missing; the next call looks again.
EFI_HII_STRING_PROTOCOL* HiiStringProtocol();
EFI_HII_DATABASE_PROTOCOL* HiiDatabaseProtocol();
