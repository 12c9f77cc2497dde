// The early boot phase's services table, as far as a module that only looks
// up interfaces (PPIs) relies on it. The members that follow LocatePpi are
// not called by these drivers.
#pragma once

#include "uefi/base.h"

struct EFI_PEI_PPI_DESCRIPTOR {
  UINTN Flags;
  EFI_GUID* Guid;
  VOID* Ppi;
};
static_assert(sizeof(EFI_PEI_PPI_DESCRIPTOR) == 24);
static_assert(offsetof(EFI_PEI_PPI_DESCRIPTOR, Ppi) == 16);

constexpr UINTN EFI_PEI_PPI_DESCRIPTOR_PPI = 0x00000010;
constexpr UINTN EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST = 0x80000000;

struct EFI_PEI_SERVICES {
  static constexpr UINT64 Signature = 0x5652455320494550ull;  // "PEI SERV"

  // Every service takes the services table by double pointer, as the
  // early phase hands it to its modules.
  using InstallPpiFn = EFI_STATUS(EFIAPI*)(const EFI_PEI_SERVICES** PeiServices, const EFI_PEI_PPI_DESCRIPTOR* PpiList);
  using ReInstallPpiFn = EFI_STATUS(EFIAPI*)(const EFI_PEI_SERVICES** PeiServices, const EFI_PEI_PPI_DESCRIPTOR* OldPpi,
                                             const EFI_PEI_PPI_DESCRIPTOR* NewPpi);
  using LocatePpiFn = EFI_STATUS(EFIAPI*)(const EFI_PEI_SERVICES** PeiServices, const EFI_GUID* Guid, UINTN Instance,
                                          EFI_PEI_PPI_DESCRIPTOR** PpiDescriptor, VOID** Ppi);

  EFI_TABLE_HEADER Hdr;
  InstallPpiFn InstallPpi;
  ReInstallPpiFn ReInstallPpi;
  LocatePpiFn LocatePpi;
};
static_assert(offsetof(EFI_PEI_SERVICES, InstallPpi) == 24);
static_assert(offsetof(EFI_PEI_SERVICES, ReInstallPpi) == 32);
static_assert(offsetof(EFI_PEI_SERVICES, LocatePpi) == 40);
