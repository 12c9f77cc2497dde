// Graphics output selection on the class 4 form set: the display
// controllers with their drivers and outputs, the output the firmware's
// graphics output uses, and the level and switch an output may offer.
#pragma once

#include "setupinfo/core/setup_record.h"
#include "uefi/device_path.h"
#include "uefi/hii.h"

// Page-string initialisers: slot 5 (the page, class 4 only) and slot 6
// (which output properties exist, for every form set).
VOID EFIAPI InitGraphicsOutputPage(EFI_HII_HANDLE HiiHandle, UINT16 Class);
VOID EFIAPI InitOutputPlatformData(EFI_HII_HANDLE HiiHandle, UINT16 Class);

// Item callbacks, class 4: keys 0x4F3-0x4FA choose the output (the key is
// not looked at), 0x4FB applies the level and 0x4FC the switch.
EFI_STATUS EFIAPI OnOutputChosen(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);
EFI_STATUS EFIAPI OnOutputPropertyChanged(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);

constexpr UINT16 KEY_FIRST_OUTPUT_CHOICE = 0x4F3;
constexpr UINT16 KEY_LAST_OUTPUT_CHOICE = 0x4FA;
constexpr UINT16 KEY_OUTPUT_LEVEL = 0x4FB;
constexpr UINT16 KEY_OUTPUT_SWITCH = 0x4FC;

constexpr UINTN SHOWN_CONTROLLERS = 4;
constexpr UINTN SHOWN_OUTPUTS = 8;
constexpr UINT16 ControllerNameStrings[SHOWN_CONTROLLERS] = {0x0A91, 0x0A92, 0x0A93, 0x0A94};
constexpr UINT16 DriverNameStrings[SHOWN_CONTROLLERS] = {0x0A95, 0x0A96, 0x0A97, 0x0A98};
constexpr UINT16 OutputNameStrings[SHOWN_OUTPUTS] = {0x0A99, 0x0A9A, 0x0A9B, 0x0A9C, 0x0A9D, 0x0A9E, 0x0A9F, 0x0AA0};

// Most modes tried when matching a resolution: MaxMode is the driver's word.
constexpr UINT32 MAX_MODES_TRIED = 256;

// Output-apply hooks run in order until one succeeds, with the browser's
// Setup and the chosen output's device path (well-formed, end node included).
using OUTPUT_APPLY_HOOK = EFI_STATUS(EFIAPI*)(EFI_HANDLE Controller, EFI_HANDLE Driver, SetupEdit* Setup,
                                              const EFI_DEVICE_PATH_PROTOCOL* OutputPath);
EFI_STATUS EFIAPI ApplyChosenOutput(EFI_HANDLE Controller, EFI_HANDLE Driver, SetupEdit* Setup,
                                    const EFI_DEVICE_PATH_PROTOCOL* OutputPath);

// The vendor whose graphics driver produces outputs on request.
constexpr UINT16 OUTPUT_APPLY_VENDOR_ID = 0x8086;
