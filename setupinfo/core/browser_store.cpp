#include "setupinfo/core/browser_store.h"

#include "lib/strings.h"
#include "setupinfo/core/form_utility.h"

EFI_STATUS BrowserStoreEdit::Fetch() {
  Fetched_ = false;
  Size_ = 0;
  if (!Buffer_.Allocate(Store_.Size)) return FetchStatus_ = EFI_OUT_OF_RESOURCES;
  UINTN Size = Store_.Size;
  FetchStatus_ = GetBrowserData(&Size, Buffer_.Get(), Store_.Guid, Store_.Name);
  // A size beyond the buffer cannot come with success; it is not believed.
  if (EFI_ERROR(FetchStatus_) || Size > Store_.Size) {
    if (!EFI_ERROR(FetchStatus_)) FetchStatus_ = EFI_BAD_BUFFER_SIZE;
    MemFill(Buffer_.Get(), Store_.Size, 0);
    return FetchStatus_;
  }
  Size_ = Size;
  Fetched_ = true;
  return EFI_SUCCESS;
}

EFI_STATUS BrowserStoreEdit::HandBack() {
  if (!Fetched_) return FetchStatus_;
  return SetBrowserData(Size_, Buffer_.Get(), Store_.Guid, Store_.Name);
}
