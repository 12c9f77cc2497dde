// The form sets' HII package lists, compiled from the sources in forms/ at
// build time (formc.py). Read-only data, usable in both builds.
#pragma once

#include "uefi/base.h"

struct FORM_PACKAGE {
  const EFI_GUID* Guid;  // package-list GUID
  const UINT8* Data;     // EFI_HII_PACKAGE_LIST_HEADER and its packages
  UINTN Size;
  UINT16 Class;
  const char* Name;
  // String IDs the form added for its own prompts (0, 0: none); the rest
  // are the strings the drivers know.
  UINT16 FormStringsFirst;
  UINT16 FormStringsLast;
};

extern const FORM_PACKAGE gFormPackages[];
extern const UINTN gFormPackageCount;

// The package list whose GUID matches, or null.
const FORM_PACKAGE* FindFormPackage(const EFI_GUID* Guid);
