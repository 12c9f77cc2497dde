// Mutable state of the processor page: one record inside the image state
// (setupinfo/image_state.h), zero at load.
#pragma once

#include "platform/processor_info.h"

// Limits of the installed processor, computed by the first initialiser run
// and read by the ratio-setting callback. MaxNonTurboRatio 0: not computed yet.
struct PROCESSOR_LIMITS {
  UINT8 MaxNonTurboRatio;
  UINT8 MaxEfficiencyRatio;
  UINT8 RatioCeiling;
  UINT8 CoreRatioFloor[4];  // 1, 2, 3, 4 active cores
  UINT16 PackageMaxPower;   // watts
  UINT16 PackageMinPower;   // watts
};

// Sizes in kB per level, and whether each level is one cache per core
// (level 1 data and instruction share one flag).
struct CACHE_SUMMARY {
  UINT32 Level1DataKb;
  UINT32 Level1InstructionKb;
  UINT32 Level2Kb;
  UINT32 Level3Kb;
  BOOLEAN PerCore[3];  // levels 1, 2, 3
};

struct PROCESSOR_PAGE_STATE {
  PROCESSOR_LIMITS Limits;
  EFI_HII_HANDLE PageHandle;  // the class 4 form set, saved by the initialiser
  VOID* HobList;
  PROCESSOR_INFORMATION_PROTOCOL* Information;  // null until located
  PROCESSOR_TOPOLOGY_PROTOCOL* Topology;        // null until located
  CACHE_SUMMARY Caches;
  // Arrival notifications for protocols missing at page build; they stay
  // registered for the life of the driver.
  EFI_EVENT InformationArrival;
  EFI_EVENT TopologyArrival;
  VOID* InformationRegistration;
  VOID* TopologyRegistration;
};
