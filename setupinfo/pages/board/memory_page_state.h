// Mutable state of the memory, memory controller and integrated graphics
// page and of its setting callbacks: one record inside the image state
// (setupinfo/image_state.h), with its load-time values below.
#pragma once

#include "uefi/legacy_bios.h"

struct MEMORY_PAGE_STATE {
  // Kept once found; the video BIOS is asked for its version only when it is found.
  EFI_LEGACY_BIOS_PROTOCOL* LegacyBios = nullptr;
  // 0 until the platform data names a feature (1 or 2); bounds the selection
  // of keys 0x444 to 0x447.
  UINT8 NbFeatureSelect = 0;
};

// The memory page's record in the image state; the page reaches no other.
MEMORY_PAGE_STATE& MemoryPageState();
