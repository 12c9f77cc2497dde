// Processor ratio, power-limit and override questions of the form set of
// class 2: each change is corrected in the browser's copy of Setup so that it
// stays inside the installed processor's limits, and the frequency lines of
// the class 1 and class 2 form sets follow the chosen ratios.
#pragma once

#include "setupinfo/core/setup_record.h"
#include "setupinfo/pages/board/processor_page_state.h"
#include "uefi/hii.h"

// Item callback for the class 2 keys 0x413 to 0x427 except 0x41A, for the
// browser actions CHANGED (the key's rule, then the frequency lines, then the
// record handed back) and refresh (the frequency lines only). Always
// EFI_SUCCESS.
EFI_STATUS EFIAPI OnProcessorSettingChanged(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);

// Sets the core and ring frequency lines of every loaded class 1 and class 2
// form set from Record, for the keys that move them.
void RefreshRatioStrings(EFI_HII_HANDLE HiiHandle, UINT16 Key, const SETUP_RECORD* Record);
