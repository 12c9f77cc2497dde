// The nine form sets by class: their rows in the form-set table, and the
// look-ups every page uses instead of walking the table by hand.
#pragma once

#include "lib/util.h"
#include "platform/form_utility.h"

constexpr UINTN FORM_SET_COUNT = 9;

// Classes of the nine form sets (subclass 0 for all), in table order.
constexpr UINT16 FORM_SET_CLASS_MAIN = 0x1;
constexpr UINT16 FORM_SET_CLASS_TUNING = 0x2;
constexpr UINT16 FORM_SET_CLASS_ADVANCED = 0x4;
constexpr UINT16 FORM_SET_CLASS_TOOLS = 0x8;
constexpr UINT16 FORM_SET_CLASS_HARDWARE_MONITOR = 0x10;
constexpr UINT16 FORM_SET_CLASS_MEMORY = 0x20;
constexpr UINT16 FORM_SET_CLASS_MANAGEMENT_ENGINE = 0x30;
constexpr UINT16 FORM_SET_CLASS_SECURE_BOOT = 0x40;
constexpr UINT16 FORM_SET_CLASS_EXIT = 0x100;

// Package lists of the form sets. The Secure Boot one is also the vendor
// GUID of the "SecureVarPresent" variable.
constexpr EFI_GUID MAIN_FORM_SET_GUID = {0x985EEE91, 0xBCAC, 0x4238, {0x87, 0x78, 0x57, 0xEF, 0xDC, 0x93, 0xF2, 0x4E}};
constexpr EFI_GUID TUNING_FORM_SET_GUID = {0xE6BCE822, 0xDCA5, 0x47E5, {0xBB, 0xBB, 0xE2, 0x9E, 0x8E, 0xF1, 0x11, 0x2B}};
constexpr EFI_GUID ADVANCED_FORM_SET_GUID = {0xE14F04FA, 0x8706, 0x4353, {0x92, 0xF2, 0x9C, 0x24, 0x24, 0x74, 0x6F, 0x9F}};
constexpr EFI_GUID TOOLS_FORM_SET_GUID = {0x2C0C4EDF, 0x4A8F, 0x450E, {0xBE, 0x2D, 0xB6, 0x00, 0xCD, 0x86, 0x77, 0xBD}};
constexpr EFI_GUID HARDWARE_MONITOR_FORM_SET_GUID = {0xA34CBD5E, 0x9FC5, 0x423B,
                                                     {0x8E, 0x2B, 0x70, 0x93, 0x58, 0x80, 0x00, 0xA0}};
constexpr EFI_GUID MEMORY_FORM_SET_GUID = {0xADFE34C8, 0x9AE1, 0x4F8F, {0xBE, 0x13, 0xCF, 0x96, 0xA2, 0xCB, 0x2C, 0x5B}};
constexpr EFI_GUID MANAGEMENT_ENGINE_FORM_SET_GUID = {0x8B33FFE0, 0xD71C, 0x4F82,
                                                      {0x9C, 0xEB, 0xC9, 0x70, 0x58, 0xC1, 0x3F, 0x8E}};
constexpr EFI_GUID SECURE_BOOT_FORM_SET_GUID = {0x981CEAEE, 0x931C, 0x4A17, {0xB9, 0xC8, 0x66, 0xC7, 0xBC, 0xFD, 0x77, 0xE1}};
constexpr EFI_GUID EXIT_FORM_SET_GUID = {0xA43B03DC, 0xC18A, 0x41B1, {0x91, 0xC8, 0x3F, 0xF9, 0xAA, 0xA2, 0x57, 0x13}};

// Row description of the form-set table; the writable rows live in the core
// state and start from these.
struct FORM_SET_DESCRIPTION {
  const EFI_GUID* PackageListGuid;
  UINT16 Class;
};

inline constexpr FORM_SET_DESCRIPTION FormSetDescriptions[FORM_SET_COUNT] = {
    {&MAIN_FORM_SET_GUID, FORM_SET_CLASS_MAIN},
    {&TUNING_FORM_SET_GUID, FORM_SET_CLASS_TUNING},
    {&ADVANCED_FORM_SET_GUID, FORM_SET_CLASS_ADVANCED},
    {&TOOLS_FORM_SET_GUID, FORM_SET_CLASS_TOOLS},
    {&HARDWARE_MONITOR_FORM_SET_GUID, FORM_SET_CLASS_HARDWARE_MONITOR},
    {&MEMORY_FORM_SET_GUID, FORM_SET_CLASS_MEMORY},
    {&MANAGEMENT_ENGINE_FORM_SET_GUID, FORM_SET_CLASS_MANAGEMENT_ENGINE},
    {&SECURE_BOOT_FORM_SET_GUID, FORM_SET_CLASS_SECURE_BOOT},
    {&EXIT_FORM_SET_GUID, FORM_SET_CLASS_EXIT},
};

// 0: the package list leaves the HII database once every row is loaded; its
// Config Access instance stays, so its questions still reach the dispatcher.
inline constexpr UINT8 FormSetKeepFlags[FORM_SET_COUNT] = {1, 1, 1, 1, 1, 0, 1, 1, 1};

// The form-set table as the form utility service filled it.
Span<const FORM_SET_INFO> FormSetTable();

// The HII handle of the first row of Class; null while that form set is not
// published (or for a class that has no row).
EFI_HII_HANDLE FormSetHiiHandle(UINT16 Class);

// Calls Visit(row) for every published row whose class is one of Classes, in
// table order (which ends at the class 0x100 row).
template <UINTN N, typename VISIT>
void ForEachFormSet(const UINT16 (&Classes)[N], VISIT&& Visit) {
  for (const FORM_SET_INFO& Row : FormSetTable()) {
    if (Row.HiiHandle == nullptr) continue;
    for (UINT16 Class : Classes) {
      if (Row.Class != Class) continue;
      Visit(Row);
      break;
    }
  }
}
