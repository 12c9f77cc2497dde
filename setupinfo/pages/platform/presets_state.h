// Mutable state of the presets and forwarding callbacks: one record inside
// the image state (setupinfo/image_state.h), with its load-time values below.
#pragma once

#include "platform/presets.h"

struct PRESETS_STATE {
  // Located on first use and kept; null until the driver is found.
  PRESET_PROVIDER_PROTOCOL* Provider = nullptr;
  PRESET_FORWARD_51C_PROTOCOL* Forward51C = nullptr;
  PRESET_FORWARD_51D_PROTOCOL* Forward51D = nullptr;
  PRESET_FORWARD_51E_PROTOCOL* Forward51E = nullptr;
};

// The presets' record in the image state; the page reaches no other.
PRESETS_STATE& PresetsState();
