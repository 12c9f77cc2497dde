// Mutable state of the main page summary and its action questions: one
// record inside the image state (setupinfo/image_state.h), with its
// load-time values below.
#pragma once

#include "platform/net_config.h"
#include "platform/page_actions.h"
#include "platform/processor_info.h"

struct MAIN_PAGE_STATE {
  // Outside interfaces, located on first use and kept.
  PROCESSOR_INFORMATION_PROTOCOL* Processor = nullptr;
  MAIN_PAGE_ACTION_PROTOCOL* MainAction = nullptr;
  TOOL_ACTION_1_PROTOCOL* ToolAction1 = nullptr;
  TOOL_ACTION_2_PROTOCOL* ToolAction2 = nullptr;
  NETWORK_CONFIG_PROTOCOL* NetworkConfig = nullptr;
  // The resolution trigger's notification, registered once by the summary.
  EFI_EVENT ResolutionEvent = nullptr;
  VOID* ResolutionRegistration = nullptr;
};

// The main page's record in the image state; the page reaches no other.
MAIN_PAGE_STATE& MainPageState();
