// Boot-services pool with allocation tracking, leak reports, injected
// allocation failures and guard bytes behind every buffer, so that a write
// past the end is caught without a sanitizer, as a firmware pool guard would.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "uefi/base.h"

namespace sim {

class Pool {
 public:
  struct Block {
    EFI_MEMORY_TYPE Type;
    size_t Size;
    const void* Caller;  // return address of the AllocatePool call, when known
    size_t Serial;       // allocation number within this pool
    bool Resident;       // declared as kept for the life of the boot
    bool GuardReported = false;
  };

  Pool() = default;
  ~Pool();
  Pool(const Pool&) = delete;
  Pool& operator=(const Pool&) = delete;

  EFI_STATUS Allocate(EFI_MEMORY_TYPE Type, UINTN Size, VOID** Buffer, const void* Caller = nullptr);
  EFI_STATUS Free(VOID* Buffer);

  // The n-th allocation attempt from now fails with EFI_OUT_OF_RESOURCES
  // (0 = the next one). One shot; ClearFailure cancels it.
  void FailAllocationAfter(size_t N);
  void ClearFailure() { FailAt_.reset(); }
  bool FailurePending() const { return FailAt_.has_value(); }
  // Called when the injected failure is handed out, so a test can tell what
  // happened after the caller saw it.
  void SetFailureObserver(std::function<void()> Observer) { FailureObserver_ = std::move(Observer); }
  // Called at every attempt before it is counted: a hook that calls
  // FailAllocationAfter(0) fails this one.
  void SetAttemptHook(std::function<void()> Hook) { AttemptHook_ = std::move(Hook); }

  // Attempts made so far (failed ones included): a test runs an operation once
  // to count them, then fails each in turn.
  size_t AllocationCount() const { return Attempts_; }

  size_t LiveAllocationCount() const;  // resident buffers excluded
  size_t LiveBytes() const;
  bool Owns(const void* Buffer) const { return Live_.count(Buffer) != 0; }
  const Block* Find(const void* Buffer) const;

  // A buffer that its owner legitimately keeps until reboot (a resident
  // driver's table) is left out of leak reports.
  bool MarkResident(const void* Buffer);
  void MarkAllResident();

  // One line per live, non-resident buffer; empty when there is none.
  std::string LeakReport() const;

  // Frees every buffer (end of a boot).
  void Release();

  // Bytes of known contents after each buffer.
  static constexpr size_t GUARD_SIZE = 16;
  // Receives one line per damaged guard: at FreePool, and from CheckGuards.
  void SetGuardHandler(std::function<void(const std::string&)> Handler) { GuardHandler_ = std::move(Handler); }
  // Checks the guards of the live buffers; each damaged one is reported once.
  // Returns how many were found damaged now.
  size_t CheckGuards();

 private:
  bool GuardIntact(const void* Buffer, const Block& B) const;
  void ReportGuard(const void* Buffer, const Block& B, const char* When);

  std::map<const void*, Block> Live_;
  std::function<void(const std::string&)> GuardHandler_;
  std::function<void()> FailureObserver_;
  std::function<void()> AttemptHook_;
  size_t Attempts_ = 0;
  size_t Serial_ = 0;
  std::optional<size_t> FailAt_;  // attempt number that fails
};

bool IsValidPoolType(UINT32 Type);

}  // namespace sim
