#include "forms/form_packages.h"

const FORM_PACKAGE* FindFormPackage(const EFI_GUID* Guid) {
  if (Guid == nullptr) return nullptr;
  for (UINTN i = 0; i < gFormPackageCount; ++i)
    if (*gFormPackages[i].Guid == *Guid) return &gFormPackages[i];
  return nullptr;
}
