// Mutable state of the platform controller hub page: one record inside the
// image state (setupinfo/image_state.h), with its load-time values below.
#pragma once

#include "platform/south_bridge.h"

struct SOUTH_BRIDGE_PAGE_STATE {
  // Located on first use and kept; looked up again while missing.
  SOUTH_BRIDGE_VERSION_PROTOCOL* Version = nullptr;
};

// The hub page's record in the image state; the page reaches no other.
SOUTH_BRIDGE_PAGE_STATE& SouthBridgePageState();
