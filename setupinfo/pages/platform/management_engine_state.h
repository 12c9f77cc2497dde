// Mutable state of the management engine page: one record inside the image
// state (setupinfo/image_state.h), with its load-time values below.
#pragma once

#include "uefi/base.h"

struct MANAGEMENT_ENGINE_STATE {
  // Setup byte 0x40A as last read; kept while Setup cannot be read, so zero
  // ("Unidentified") until the first good read.
  UINT8 FirmwareSizeClass = 0;
};

// The management engine page's record in the image state; the page reaches no other.
MANAGEMENT_ENGINE_STATE& ManagementEngineState();
