// Processor ratio, power-limit and override questions of the form set of
// class 2: each change is corrected in the browser's copy of Setup so that it
// stays inside the installed processor's limits, and the frequency lines of
// the class 1 and class 2 form sets follow the chosen ratios.
#pragma once

#include "setupinfo/core/setup_record.h"
#include "setupinfo/pages/board/processor_page_state.h"
#include "uefi/hii.h"

// The firmware's browser sends this action to have a page's strings redrawn;
// the settings are not changed by it.
constexpr EFI_BROWSER_ACTION PROCESSOR_BROWSER_ACTION_REFRESH = 10;

// Item callback for the class 2 keys 0x413 to 0x427 except 0x41A. Always
// EFI_SUCCESS.
EFI_STATUS EFIAPI OnProcessorSettingChanged(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);

// Applies the rule of Key to Record within Limits. A key without a rule
// leaves the record as it is.
void ApplyProcessorSettingRule(UINT16 Key, const PROCESSOR_LIMITS& Limits, SETUP_RECORD* Record);

// Whether Key's change moves the frequency lines.
bool ProcessorSettingRefreshesStrings(UINT16 Key);

// Sets the core and ring frequency lines of every loaded class 1 and class 2
// form set from Record, for the keys that move them.
void RefreshRatioStrings(EFI_HII_HANDLE HiiHandle, UINT16 Key, const SETUP_RECORD* Record);

// Keeps Value in [Low, High] for a question whose 0 means automatic: above
// High becomes High; a non-zero value below Low becomes Low if it is 1 (a step
// up from automatic) and 0 otherwise (a step down from the minimum). A bound
// of 0 is not applied.
UINT16 ClampOrAutomatic(UINT16 Value, UINT16 Low, UINT16 High);
