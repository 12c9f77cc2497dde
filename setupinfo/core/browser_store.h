// Editing the browser's working copy of a store (Setup, NetConfigData, a
// clock or profile store, ...): the one way every page does it.
//
// The rule for every page: Fetch takes the browser's copy into a pool buffer
// that the edit owns; the caller changes it; HandBack gives it back with the
// size that was read. When the fetch failed, HandBack hands nothing back and
// returns the fetch's status, because a blank (or stale) buffer would
// overwrite the user's settings. The buffer goes back to the pool on every
// path when the edit goes out of scope.
#pragma once

#include "lib/pool_buffer.h"

// A variable the browser keeps a copy of, and the size a page asks for.
struct BROWSER_STORE {
  const CHAR16* Name;
  const EFI_GUID* Guid;
  UINTN Size;
};

class BrowserStoreEdit {
 public:
  explicit BrowserStoreEdit(const BROWSER_STORE& Store) : Store_(Store) {}
  BrowserStoreEdit(const BrowserStoreEdit&) = delete;
  BrowserStoreEdit& operator=(const BrowserStoreEdit&) = delete;

  // EFI_OUT_OF_RESOURCES: no buffer at all. Any other error: the browser has
  // no copy to give (or a larger one); the buffer stays, zeroed, and nothing
  // will be handed back.
  EFI_STATUS Fetch();
  bool Fetched() const { return Fetched_; }

  // Store.Size bytes (zeroed past what the browser gave); null without pool memory.
  UINT8* Bytes() const { return Buffer_.Get(); }
  // The bytes the browser gave; 0 until a fetch succeeded.
  UINTN Size() const { return Size_; }

  // SetBrowserData with the size that was read; the fetch's status when
  // there is nothing to hand back.
  EFI_STATUS HandBack();

 private:
  BROWSER_STORE Store_;
  PoolBuffer<UINT8> Buffer_;
  UINTN Size_ = 0;
  bool Fetched_ = false;
  EFI_STATUS FetchStatus_ = EFI_NOT_READY;
};
