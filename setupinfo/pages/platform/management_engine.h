// Management engine information on every form set: the engine's firmware
// version, its two PTT numbers, its state and its firmware size class, and
// the version number the platform keeps in the legacy BIOS area.
#pragma once

#include "setupinfo/pages/platform/management_engine_state.h"
#include "uefi/hii.h"

// Page-string initialisers: slot 7 (legacy-area version) and slot 9
// (management engine information), for every class.
VOID EFIAPI InitLegacyAreaVersion(EFI_HII_HANDLE HiiHandle, UINT16 Class);
VOID EFIAPI InitManagementEngineStrings(EFI_HII_HANDLE HiiHandle, UINT16 Class);

// Item callback, class 0x30 key 0x4BA: every change is turned back to 0.
EFI_STATUS EFIAPI OnLockedQuestionChanging(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);

constexpr UINT16 STR_LEGACY_AREA_VERSION = 0x07B2;
constexpr UINT16 STR_ME_STATE = 0x07D3;
constexpr UINT16 STR_ME_VERSION = 0x07DF;
constexpr UINT16 STR_PTT_INFO = 0x07E2;
constexpr UINT16 STR_ME_FIRMWARE_SIZE = 0x07E5;

constexpr UINT64 LEGACY_AREA_VERSION_ADDRESS = 0xF0018;

// Room for the state text, in bytes, as the form utility service fetches it.
constexpr UINTN ME_STATE_TEXT_BYTES = 256;
