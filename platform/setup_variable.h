// The vendor GUID of the board's setup variables: "Setup" itself and the
// records other platform drivers keep beside it (SbPlatformData,
// NBPlatformData, ...).
#pragma once

#include "uefi/base.h"

constexpr EFI_GUID SETUP_VARIABLE_GUID = {0xEC87D643, 0xEBA4, 0x4BB5, {0xA1, 0xE5, 0x3F, 0x3E, 0x36, 0xB2, 0x0D, 0xA9}};
