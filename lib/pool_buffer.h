// Owner of one boot-services pool buffer: whatever path leaves the scope,
// the buffer goes back to the pool.
#pragma once

#include "lib/firmware_services.h"

template <typename T>
class PoolBuffer {
 public:
  PoolBuffer() = default;
  explicit PoolBuffer(T* adopted) : ptr_(adopted) {}
  PoolBuffer(const PoolBuffer&) = delete;
  PoolBuffer& operator=(const PoolBuffer&) = delete;
  PoolBuffer(PoolBuffer&& other) : ptr_(other.Release()) {}
  PoolBuffer& operator=(PoolBuffer&& other) {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  ~PoolBuffer() { Reset(); }

  // Allocates Count elements; false (and empty) when the pool refuses.
  bool Allocate(UINTN Count, bool Zeroed = true) {
    Reset();
    UINTN Bytes = Count * sizeof(T);
    ptr_ = (T*)(Zeroed ? AllocateZeroedBootPool(Bytes) : AllocateBootPool(Bytes));
    return ptr_ != nullptr;
  }

  void Reset(T* adopted = nullptr) {
    if (ptr_ != nullptr) FreeBootPool(ptr_);
    ptr_ = adopted;
  }

  T* Release() {
    T* p = ptr_;
    ptr_ = nullptr;
    return p;
  }

  T* Get() const { return ptr_; }
  // For out-parameters of services that hand over a pool buffer (VOID**).
  VOID** OutPtr() {
    Reset();
    return (VOID**)&ptr_;
  }
  T& operator[](UINTN i) const { return ptr_[i]; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }

 private:
  T* ptr_ = nullptr;
};

enum VARIABLE_READ_AS : UINT8 { VARIABLE_AS_BYTES, VARIABLE_AS_TEXT };

// ReadWholeVariable into an owner. As text, one zero element of T follows
// the data, so a stored value without its NUL still reads as a terminated
// string of T.
template <typename T>
EFI_STATUS ReadWholeVariable(const CHAR16* Name, const EFI_GUID* Guid, PoolBuffer<T>& Owner, UINTN* Size,
                             VARIABLE_READ_AS ReadAs = VARIABLE_AS_BYTES, UINT32* Attributes = nullptr) {
  return ReadWholeVariable(Name, Guid, Owner.OutPtr(), Size, ReadAs == VARIABLE_AS_TEXT ? sizeof(T) : 0, Attributes);
}
