#include "fuzz/updatefetch_fuzz_env.h"

#include <cstdio>
#include <cstdlib>

#include <sys/mman.h>
#include <unistd.h>

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
  auto Large = gFirmware->Large_.find(Buffer);
  if (Large != gFirmware->Large_.end()) {
    munmap(Large->second.first, Large->second.second);
    gFirmware->Large_.erase(Large);
    return EFI_SUCCESS;
  }
  std::free(Buffer);
  return EFI_SUCCESS;
}

VOID* FuzzFirmware::AllocateLarge(size_t Size) {
  const size_t Page = (size_t)sysconf(_SC_PAGESIZE);
  const size_t Pages = (Size + Page - 1) / Page * Page;
  const size_t Mapped = Pages + Page;
  void* Base = mmap(nullptr, Mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (Base == MAP_FAILED) return nullptr;
  mprotect((UINT8*)Base + Pages, Page, PROT_NONE);
  VOID* Buffer = (UINT8*)Base + (Pages - Size);
  Live_.insert(Buffer);
  Large_[Buffer] = {Base, Mapped};
  return Buffer;
}

EFI_STATUS EFIAPI FuzzFirmware::LocateProtocol(const EFI_GUID* Protocol, VOID*, VOID** Interface) {
  if (Protocol == nullptr || Interface == nullptr) return EFI_INVALID_PARAMETER;
  auto It = gFirmware->Interfaces_.find(*Protocol);
  if (It == gFirmware->Interfaces_.end()) return EFI_NOT_FOUND;
  *Interface = It->second;
  return EFI_SUCCESS;
}
