// Mutable state of the network configuration page: one record inside the
// image state (setupinfo/image_state.h), with its load-time values below.
#pragma once

#include "platform/net_config.h"

struct NETWORK_PAGE_STATE {
  // The network configuration driver's interface, located once and kept.
  NETWORK_CONFIG_PROTOCOL* Config = nullptr;
  // The network form set (class 8), saved by the initialiser; the refresh
  // does nothing before it is known.
  EFI_HII_HANDLE PageHandle = nullptr;
  NETWORK_ACTION_52A_PROTOCOL* Action52A = nullptr;
  NETWORK_ACTION_52D_PROTOCOL* Action52D = nullptr;
  NETWORK_ACTION_52E_PROTOCOL* Action52E = nullptr;
};

// The network page's record in the image state; the page reaches no other.
NETWORK_PAGE_STATE& NetworkPageState();
