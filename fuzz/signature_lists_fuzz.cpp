// Signature lists from a key file: the chain check over any bytes, read
// from an exactly sized copy so a read past the end is a finding; and the
// image builder for any payload size, whose image must pass the same check
// exactly when its list size lies in the accepted range.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "setupinfo/secureboot/secure_boot_keys.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  {
    std::unique_ptr<uint8_t[]> Copy(new uint8_t[Size ? Size : 1]);
    if (Size) std::memcpy(Copy.get(), Data, Size);
    EFI_STATUS Status = ValidateSignatureLists(Size ? Copy.get() : nullptr, Size);
    if (Status != EFI_SUCCESS && Status != EFI_SECURITY_VIOLATION) abort();
  }
  if (Size < 4) return 0;
  // The first four bytes pick a payload size; the top bit moves it up to
  // just below 4 GiB, where the image's sizes would wrap.
  uint32_t Pick;
  std::memcpy(&Pick, Data, 4);
  UINTN Payload = (Pick & 0x80000000u) ? (UINTN)0xFFFFFFFFu - (Pick & 0xFF) : (Pick & 0x3FFFF);
  uint8_t Header[SIGNATURE_LIST_IMAGE_HEADER_SIZE];
  EFI_STATUS Status = BuildSignatureListImage(Header, Payload);
  if (Status == EFI_INVALID_PARAMETER) {
    if (Payload > 256 && Payload <= 0xFFFFFFFFu - SIGNATURE_LIST_IMAGE_HEADER_SIZE) abort();
    return 0;
  }
  if (Status != EFI_SUCCESS || Payload > 0x40000) return 0;
  UINTN ImageSize = SIGNATURE_LIST_IMAGE_HEADER_SIZE + Payload;
  std::unique_ptr<uint8_t[]> Image(new uint8_t[ImageSize]);
  std::memcpy(Image.get(), Header, sizeof(Header));
  for (UINTN I = 0; I < Payload; ++I) Image[sizeof(Header) + I] = Size > 4 ? Data[4 + I % (Size - 4)] : 0;
  UINTN ListSize = ImageSize - AUTHENTICATED_HEADER_SIZE;
  bool InRange = ListSize >= SIGNATURE_LIST_MIN_SIZE && ListSize <= SIGNATURE_LIST_MAX_SIZE;
  if ((ValidateSignatureLists(Image.get() + AUTHENTICATED_HEADER_SIZE, ListSize) == EFI_SUCCESS) != InRange) abort();
  return 0;
}
