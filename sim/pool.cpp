#include "sim/pool.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sim {

namespace {
// Fresh pool is not zeroed by real firmware; a recognisable pattern makes
// reads of uninitialised pool show up in test output.
constexpr unsigned char FRESH_FILL = 0xAF;
constexpr unsigned char FREED_FILL = 0xDE;
constexpr unsigned char GUARD_FILL = 0xC5;

// Under ASan the guard is poisoned too, so that a read past the end is still
// reported where it happens; the checks unpoison it first.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SIM_POOL_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define SIM_POOL_ASAN 1
#endif

#ifdef SIM_POOL_ASAN
extern "C" void __asan_poison_memory_region(void const volatile* Address, size_t Size);
extern "C" void __asan_unpoison_memory_region(void const volatile* Address, size_t Size);
void PoisonGuard(void* Guard) { __asan_poison_memory_region(Guard, Pool::GUARD_SIZE); }
void UnpoisonGuard(const void* Guard) { __asan_unpoison_memory_region(Guard, Pool::GUARD_SIZE); }
#else
void PoisonGuard(void*) {}
void UnpoisonGuard(const void*) {}
#endif

const char* TypeName(EFI_MEMORY_TYPE Type) {
  switch (Type) {
    case EfiLoaderData: return "LoaderData";
    case EfiBootServicesData: return "BootServicesData";
    case EfiRuntimeServicesData: return "RuntimeServicesData";
    case EfiBootServicesCode: return "BootServicesCode";
    case EfiRuntimeServicesCode: return "RuntimeServicesCode";
    case EfiACPIReclaimMemory: return "ACPIReclaimMemory";
    case EfiACPIMemoryNVS: return "ACPIMemoryNVS";
    default: return "other";
  }
}
}  // namespace

bool IsValidPoolType(UINT32 Type) {
  // OEM and OS ranges are allowed; among the defined types conventional and
  // persistent memory cannot be pool.
  if (Type >= 0x70000000u) return true;
  if (Type >= EfiMaxMemoryType) return false;
  return Type != EfiConventionalMemory && Type != EfiPersistentMemory;
}

Pool::~Pool() { Release(); }

EFI_STATUS Pool::Allocate(EFI_MEMORY_TYPE Type, UINTN Size, VOID** Buffer, const void* Caller) {
  if (Buffer == nullptr || !IsValidPoolType(Type)) return EFI_INVALID_PARAMETER;
  if (AttemptHook_) AttemptHook_();
  size_t Attempt = Attempts_++;
  if (FailAt_ && *FailAt_ == Attempt) {
    FailAt_.reset();
    *Buffer = nullptr;
    if (FailureObserver_) FailureObserver_();
    return EFI_OUT_OF_RESOURCES;
  }
  if (Size > (UINTN)1 << 40) {
    *Buffer = nullptr;
    return EFI_OUT_OF_RESOURCES;
  }
  void* Memory = std::malloc(Size + GUARD_SIZE);
  if (Memory == nullptr) {
    *Buffer = nullptr;
    return EFI_OUT_OF_RESOURCES;
  }
  std::memset(Memory, FRESH_FILL, Size);
  std::memset((unsigned char*)Memory + Size, GUARD_FILL, GUARD_SIZE);
  PoisonGuard((unsigned char*)Memory + Size);
  Live_[Memory] = Block{Type, Size, Caller, Serial_++, false};
  *Buffer = Memory;
  return EFI_SUCCESS;
}

EFI_STATUS Pool::Free(VOID* Buffer) {
  auto It = Live_.find(Buffer);
  if (It == Live_.end()) return EFI_INVALID_PARAMETER;
  if (!It->second.GuardReported && !GuardIntact(Buffer, It->second)) ReportGuard(Buffer, It->second, "at FreePool");
  UnpoisonGuard((unsigned char*)Buffer + It->second.Size);
  std::memset(Buffer, FREED_FILL, It->second.Size);
  std::free(Buffer);
  Live_.erase(It);
  return EFI_SUCCESS;
}

void Pool::FailAllocationAfter(size_t N) { FailAt_ = Attempts_ + N; }

size_t Pool::LiveAllocationCount() const {
  size_t Count = 0;
  for (auto& [Ptr, B] : Live_)
    if (!B.Resident) ++Count;
  return Count;
}

size_t Pool::LiveBytes() const {
  size_t Bytes = 0;
  for (auto& [Ptr, B] : Live_) Bytes += B.Size;
  return Bytes;
}

const Pool::Block* Pool::Find(const void* Buffer) const {
  auto It = Live_.find(Buffer);
  return It == Live_.end() ? nullptr : &It->second;
}

bool Pool::MarkResident(const void* Buffer) {
  auto It = Live_.find(Buffer);
  if (It == Live_.end()) return false;
  It->second.Resident = true;
  return true;
}

void Pool::MarkAllResident() {
  for (auto& [Ptr, B] : Live_) B.Resident = true;
}

std::string Pool::LeakReport() const {
  std::string Report;
  std::map<size_t, std::pair<const void*, const Block*>> BySerial;
  for (auto& [Ptr, B] : Live_)
    if (!B.Resident) BySerial[B.Serial] = {Ptr, &B};
  for (auto& [Serial, Entry] : BySerial) {
    const Block& B = *Entry.second;
    char Line[200];
    std::snprintf(Line, sizeof Line, "leaked pool buffer #%zu at %p: %zu bytes of %s, allocated from %p\n", Serial,
                  Entry.first, B.Size, TypeName(B.Type), B.Caller);
    Report += Line;
  }
  return Report;
}

bool Pool::GuardIntact(const void* Buffer, const Block& B) const {
  const unsigned char* Guard = (const unsigned char*)Buffer + B.Size;
  UnpoisonGuard(Guard);
  bool Intact = true;
  for (size_t I = 0; I < GUARD_SIZE; ++I) Intact = Intact && Guard[I] == GUARD_FILL;
  PoisonGuard(const_cast<unsigned char*>(Guard));
  return Intact;
}

void Pool::ReportGuard(const void* Buffer, const Block& B, const char* When) {
  const unsigned char* Guard = (const unsigned char*)Buffer + B.Size;
  UnpoisonGuard(Guard);
  size_t Last = 0;
  for (size_t I = 0; I < GUARD_SIZE; ++I)
    if (Guard[I] != GUARD_FILL) Last = I + 1;
  PoisonGuard(const_cast<unsigned char*>(Guard));
  char Line[220];
  std::snprintf(Line, sizeof Line,
                "pool buffer #%zu at %p (%zu bytes, allocated from %p) was written past its end: guard byte%s up to "
                "+%zu changed, seen %s",
                B.Serial, Buffer, B.Size, B.Caller, Last == 1 ? "" : "s", Last, When);
  if (GuardHandler_) GuardHandler_(Line);
}

size_t Pool::CheckGuards() {
  size_t Damaged = 0;
  for (auto& [Ptr, B] : Live_) {
    if (B.GuardReported || GuardIntact(Ptr, B)) continue;
    B.GuardReported = true;
    ++Damaged;
    ReportGuard(Ptr, B, "while it was live");
  }
  return Damaged;
}

void Pool::Release() {
  for (auto& [Ptr, B] : Live_) {
    UnpoisonGuard((const unsigned char*)Ptr + B.Size);
    std::free(const_cast<void*>(Ptr));
  }
  Live_.clear();
  FailAt_.reset();
}

}  // namespace sim
