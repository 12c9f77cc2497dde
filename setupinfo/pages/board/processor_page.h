// Processor information page (form set of class 4): brand, signature,
// microcode, frequencies, caches, core count and feature support, from the
// processor itself, the processor driver's two protocols and the early
// phase's HOBs. Also computes the processor limits that the ratio settings
// (processor_settings.h) are kept inside.
#pragma once

#include "setupinfo/pages/board/processor_page_state.h"

// Page-string initialiser (slot 2). The limits are computed on the first run
// of any class; the page itself is built only for class 4.
VOID EFIAPI InitProcessorPage(EFI_HII_HANDLE HiiHandle, UINT16 Class);

// Sets every class 4 string from fresh data; does nothing until both
// processor protocols are located.
void BuildProcessorStrings();

// Arrival notifications for the two protocols, registered only for the ones
// missing when the page was built.
VOID EFIAPI OnProcessorInformationArrived(EFI_EVENT Event, VOID* Context);
VOID EFIAPI OnProcessorTopologyArrived(EFI_EVENT Event, VOID* Context);

// Reads the limits from MSRs 0xCE, 0x606 and 0x614 and from the processor
// ratio HOB of HobList (null: no HOB list, the ratios fall back to the
// maximum non-turbo ratio).
void ComputeProcessorLimits(const VOID* HobList, PROCESSOR_LIMITS* Limits);

// MSRs read by this page.
constexpr UINT32 MSR_PLATFORM_INFO = 0xCE;
constexpr UINT32 MSR_PERF_STATUS = 0x198;
constexpr UINT32 MSR_RAPL_POWER_UNIT = 0x606;
constexpr UINT32 MSR_PKG_POWER_INFO = 0x614;
