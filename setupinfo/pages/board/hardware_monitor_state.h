// Mutable state of the hardware monitor page: one record inside the image
// state (setupinfo/image_state.h), zero at load.
#pragma once

#include "uefi/base.h"

struct HARDWARE_MONITOR_STATE {
  // Refresh count of the multiplexed fan input; runs 0 to 23 and repeats.
  UINT16 FanMultiplexerCounter = 0;
};

// The hardware monitor page's record in the image state; the page reaches no other.
HARDWARE_MONITOR_STATE& HardwareMonitorState();
