// Mutable state of the processor page: one record inside the image state
// (setupinfo/image_state.h), with its load-time values below.
#pragma once

#include "platform/processor_info.h"

// Limits of the installed processor, computed by the first initialiser run
// and read by the ratio-setting callback. MaxNonTurboRatio 0: not computed yet.
struct PROCESSOR_LIMITS {
  UINT8 MaxNonTurboRatio = 0;
  UINT8 MaxEfficiencyRatio = 0;
  UINT8 RatioCeiling = 0;
  UINT8 CoreRatioFloor[4] = {};  // 1, 2, 3, 4 active cores
  UINT16 PackageMaxPower = 0;    // watts
  UINT16 PackageMinPower = 0;    // watts
};

// Sizes in kB per level, and whether each level is one cache per core
// (level 1 data and instruction share one flag).
struct CACHE_SUMMARY {
  UINT32 Level1DataKb = 0;
  UINT32 Level1InstructionKb = 0;
  UINT32 Level2Kb = 0;
  UINT32 Level3Kb = 0;
  BOOLEAN PerCore[3] = {};  // levels 1, 2, 3
};

struct PROCESSOR_PAGE_STATE {
  PROCESSOR_LIMITS Limits;
  EFI_HII_HANDLE PageHandle = nullptr;  // the class 4 form set, saved by the initialiser
  VOID* HobList = nullptr;
  PROCESSOR_INFORMATION_PROTOCOL* Information = nullptr;  // null until located
  PROCESSOR_TOPOLOGY_PROTOCOL* Topology = nullptr;        // null until located
  CACHE_SUMMARY Caches;
  // Arrival notifications for protocols missing at page build; they stay
  // registered for the life of the driver.
  EFI_EVENT InformationArrival = nullptr;
  EFI_EVENT TopologyArrival = nullptr;
  VOID* InformationRegistration = nullptr;
  VOID* TopologyRegistration = nullptr;
};

// The processor page's record in the image state; the page reaches no other.
PROCESSOR_PAGE_STATE& ProcessorPageState();
