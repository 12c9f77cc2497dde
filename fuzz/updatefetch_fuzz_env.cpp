#include "fuzz/updatefetch_fuzz_env.h"

#include <cstdio>
#include <cstdlib>

namespace {
FuzzFirmware* gFirmware = nullptr;
}

FuzzFirmware::FuzzFirmware() {
  if (gFirmware != nullptr) std::abort();
  gFirmware = this;
  BootServices.AllocatePool = AllocatePool;
  BootServices.FreePool = FreePool;
  BootServices.LocateProtocol = LocateProtocol;
  SystemTable.BootServices = &BootServices;
  SystemTable.RuntimeServices = &RuntimeServices;
  LibResetState();
  LibraryInit((EFI_HANDLE)0x1000, &SystemTable);
}

FuzzFirmware::~FuzzFirmware() {
  LibResetState();
  gFirmware = nullptr;
  if (!Live_.empty()) {
    std::fprintf(stderr, "%zu pool buffer(s) left behind\n", Live_.size());
    std::abort();
  }
}

EFI_STATUS EFIAPI FuzzFirmware::AllocatePool(EFI_MEMORY_TYPE Type, UINTN Size, VOID** Buffer) {
  if (Buffer == nullptr || Type != EfiBootServicesData) return EFI_INVALID_PARAMETER;
  if (++gFirmware->Allocations == gFirmware->FailAllocation) return EFI_OUT_OF_RESOURCES;
  VOID* p = std::malloc(Size == 0 ? 1 : Size);
  if (p == nullptr) return EFI_OUT_OF_RESOURCES;
  gFirmware->Live_.insert(p);
  *Buffer = p;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FuzzFirmware::FreePool(VOID* Buffer) {
  // Freeing what the pool did not hand out is a fault of the caller.
  if (gFirmware->Live_.erase(Buffer) != 1) std::abort();
  std::free(Buffer);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FuzzFirmware::LocateProtocol(const EFI_GUID* Protocol, VOID*, VOID** Interface) {
  if (Protocol == nullptr || Interface == nullptr) return EFI_INVALID_PARAMETER;
  auto It = gFirmware->Interfaces_.find(*Protocol);
  if (It == gFirmware->Interfaces_.end()) return EFI_NOT_FOUND;
  *Interface = It->second;
  return EFI_SUCCESS;
}
