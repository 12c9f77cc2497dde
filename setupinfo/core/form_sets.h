// Publishing the nine form sets through the form utility service, and the
// page-string initialisers run for each of them.
#pragma once

#include "lib/util.h"
#include "platform/form_utility.h"
#include "setupinfo/core/core_state.h"

// Row description of the form-set table; the writable rows live in the image
// state and start from these.
struct FORM_SET_DESCRIPTION {
  EFI_GUID PackageListGuid;
  UINT16 Class;
};

inline constexpr FORM_SET_DESCRIPTION FormSetDescriptions[FORM_SET_COUNT] = {
    {{0x985EEE91, 0xBCAC, 0x4238, {0x87, 0x78, 0x57, 0xEF, 0xDC, 0x93, 0xF2, 0x4E}}, 0x1},  // main
    {{0xE6BCE822, 0xDCA5, 0x47E5, {0xBB, 0xBB, 0xE2, 0x9E, 0x8E, 0xF1, 0x11, 0x2B}}, 0x2},
    {{0xE14F04FA, 0x8706, 0x4353, {0x92, 0xF2, 0x9C, 0x24, 0x24, 0x74, 0x6F, 0x9F}}, 0x4},
    {{0x2C0C4EDF, 0x4A8F, 0x450E, {0xBE, 0x2D, 0xB6, 0x00, 0xCD, 0x86, 0x77, 0xBD}}, 0x8},
    {{0xA34CBD5E, 0x9FC5, 0x423B, {0x8E, 0x2B, 0x70, 0x93, 0x58, 0x80, 0x00, 0xA0}}, 0x10},
    {{0xADFE34C8, 0x9AE1, 0x4F8F, {0xBE, 0x13, 0xCF, 0x96, 0xA2, 0xCB, 0x2C, 0x5B}}, 0x20},
    {{0x8B33FFE0, 0xD71C, 0x4F82, {0x9C, 0xEB, 0xC9, 0x70, 0x58, 0xC1, 0x3F, 0x8E}}, 0x30},
    {{0x981CEAEE, 0x931C, 0x4A17, {0xB9, 0xC8, 0x66, 0xC7, 0xBC, 0xFD, 0x77, 0xE1}}, 0x40},
    {{0xA43B03DC, 0xC18A, 0x41B1, {0x91, 0xC8, 0x3F, 0xF9, 0xAA, 0xA2, 0x57, 0x13}}, 0x100},
};

// 0: the package list leaves the HII database once every row is loaded; its
// Config Access instance stays, so its questions still reach the dispatcher.
inline constexpr UINT8 FormSetKeepFlags[FORM_SET_COUNT] = {1, 1, 1, 1, 1, 0, 1, 1, 1};

constexpr UINT16 MAIN_FORM_SET_CLASS = 0x1;
constexpr UINT16 SECURE_BOOT_FORM_SET_CLASS = 0x40;

typedef VOID(EFIAPI* PAGE_STRING_INITIALISER)(EFI_HII_HANDLE HiiHandle, UINT16 Class);
constexpr UINTN PAGE_STRING_INITIALISER_SLOTS = 25;

// The initialiser table, null-terminated, in calling order.
Span<const PAGE_STRING_INITIALISER> PageStringInitialisers();

VOID EFIAPI LoadFormSets(EFI_EVENT Event, VOID* Context);
VOID EFIAPI FormSetLoaded(EFI_HII_HANDLE HiiHandle, FORM_SET_INFO* FormSetInfo);
void RunPageStringInitialisers(EFI_HII_HANDLE HiiHandle, UINT16 Class);

// HII String and HII Database protocols, located by the loader and kept.
EFI_HII_STRING_PROTOCOL* HiiStringProtocol();
