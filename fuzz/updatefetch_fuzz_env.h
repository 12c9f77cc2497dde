// The least firmware the update locator's fuzz targets need: a pool that
// hands out buffers of exactly the asked size (so the sanitizer sees any
// overrun) and counts them, and LocateProtocol over a few interfaces.
#pragma once

#include <cstddef>
#include <map>
#include <utility>
#include <set>

#include "lib/firmware_services.h"

class FuzzFirmware {
 public:
  // Resets the library and initialises it with this firmware's tables.
  FuzzFirmware();
  // Aborts (a finding) when the input left a pool buffer behind.
  ~FuzzFirmware();
  FuzzFirmware(const FuzzFirmware&) = delete;
  FuzzFirmware& operator=(const FuzzFirmware&) = delete;

  void Provide(const EFI_GUID& Guid, VOID* Interface) { Interfaces_[Guid] = Interface; }
  // A pool buffer too large to allocate and fill: zero pages reserved, not
  // committed, that end exactly where an unreadable page begins. FreePool
  // returns it like any other. Null when it cannot be mapped.
  VOID* AllocateLarge(size_t Size);
  size_t LiveBuffers() const { return Live_.size(); }
  // The allocation attempt with this number (counted from 1) fails; 0: none.
  size_t FailAllocation = 0;
  size_t Allocations = 0;

  EFI_SYSTEM_TABLE SystemTable{};
  EFI_BOOT_SERVICES BootServices{};
  EFI_RUNTIME_SERVICES RuntimeServices{};

 private:
  struct GuidLess {
    bool operator()(const EFI_GUID& A, const EFI_GUID& B) const { return __builtin_memcmp(&A, &B, sizeof A) < 0; }
  };
  static EFI_STATUS EFIAPI AllocatePool(EFI_MEMORY_TYPE Type, UINTN Size, VOID** Buffer);
  static EFI_STATUS EFIAPI FreePool(VOID* Buffer);
  static EFI_STATUS EFIAPI LocateProtocol(const EFI_GUID* Protocol, VOID* Registration, VOID** Interface);

  std::set<VOID*> Live_;
  std::map<VOID*, std::pair<VOID*, size_t>> Large_;  // buffer -> mapping
  std::map<EFI_GUID, VOID*, GuidLess> Interfaces_;
};
