// Memory, graphics and chipset questions of the form sets of class 0x20, 4
// and 2: each change is corrected in the browser's copy of Setup so that it
// stays within what the hardware can do and consistent with its partner
// fields, and the record is handed back.
#pragma once

#include "uefi/hii.h"

// Mirrors a setting and its copy on the class 0x20 page, and the class 4
// setting that follows another (keys 0x42A, 0x42B). Action CHANGED only.
EFI_STATUS EFIAPI OnLinkedSettingChanged(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);

// Graphics frequency, timing reset and override questions; actions CHANGED
// and refresh. Needs the memory module HOB (its search status without it).
// Key 0x442 refuses a value of 15 or more while its switch is on
// (EFI_NOT_FOUND, nothing handed back).
EFI_STATUS EFIAPI OnGraphicsSettingChanged(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);

// Memory timing values and the feature-bounded selection; action CHANGED only.
EFI_STATUS EFIAPI OnMemoryTimingChanged(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);
