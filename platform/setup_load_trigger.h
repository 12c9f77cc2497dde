// Installed by another driver when the setup form sets are wanted; only its
// installation is watched, its interface is never called.
#pragma once

#include "uefi/base.h"

struct SETUP_LOAD_TRIGGER_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x71202EEE, 0x5F53, 0x40D9, {0xAB, 0x3D, 0x9E, 0x0C, 0x26, 0xD9, 0x66, 0x57}};
};
