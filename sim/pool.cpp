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
  size_t Attempt = Attempts_++;
  if (FailAt_ && *FailAt_ == Attempt) {
    FailAt_.reset();
    *Buffer = nullptr;
    return EFI_OUT_OF_RESOURCES;
  }
  if (Size > (UINTN)1 << 40) {
    *Buffer = nullptr;
    return EFI_OUT_OF_RESOURCES;
  }
  void* Memory = std::malloc(Size == 0 ? 1 : Size);
  if (Memory == nullptr) {
    *Buffer = nullptr;
    return EFI_OUT_OF_RESOURCES;
  }
  std::memset(Memory, FRESH_FILL, Size);
  Live_[Memory] = Block{Type, Size, Caller, Serial_++, false};
  *Buffer = Memory;
  return EFI_SUCCESS;
}

EFI_STATUS Pool::Free(VOID* Buffer) {
  auto It = Live_.find(Buffer);
  if (It == Live_.end()) return EFI_INVALID_PARAMETER;
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

void Pool::Release() {
  for (auto& [Ptr, B] : Live_) std::free(const_cast<void*>(Ptr));
  Live_.clear();
  FailAt_.reset();
}

}  // namespace sim
