#include "updatefetch/location_split.h"

#include "lib/pool_buffer.h"
#include "lib/strings.h"
#include "platform/update_locator.h"
#include "updatefetch/reply_search.h"

EFI_STATUS SplitLocation(const CHAR8* Location, CHAR8* HostOut, CHAR8* PathOut) {
  if (Location == nullptr || HostOut == nullptr || PathOut == nullptr) return EFI_INVALID_PARAMETER;
  UINTN Length = 0;
  while (Length < SPLIT_BUFFER_SIZE && Location[Length] != '\0') ++Length;
  if (Length == SPLIT_BUFFER_SIZE) return EFI_BAD_BUFFER_SIZE;

  PoolBuffer<CHAR8> Host;
  PoolBuffer<CHAR8> Path;
  if (!Host.Allocate(SPLIT_BUFFER_SIZE) || !Path.Allocate(SPLIT_BUFFER_SIZE)) return EFI_OUT_OF_RESOURCES;

  UINTN Slash = PlainSearch(Location, 0, Length, "/", true);
  UINTN HostLength = (Slash == NO_POSITION) ? Length : Slash;
  UINTN PathLength = Length - HostLength;
  MemMove(Host.Get(), Location, HostLength);
  MemMove(Path.Get(), Location + HostLength, PathLength);
  if (HostLength >= UPDATE_HOST_BUFFER_SIZE || PathLength >= UPDATE_PATH_BUFFER_SIZE) return EFI_BAD_BUFFER_SIZE;

  // The working buffers are zero-filled, so each part carries its NUL.
  MemMove(HostOut, Host.Get(), HostLength + 1);
  MemMove(PathOut, Path.Get(), PathLength + 1);
  return EFI_SUCCESS;
}

bool IsDottedDecimalText(const CHAR8* Text) {
  if (Text == nullptr) return false;
  for (; *Text != '\0'; ++Text) {
    if (*Text != '.' && (*Text < '0' || *Text > '9')) return false;
  }
  return true;
}

EFI_STATUS ParseDottedDecimal(const CHAR8* Text, EFI_IPv4_ADDRESS* Address) {
  if (Text == nullptr || Address == nullptr) return EFI_INVALID_PARAMETER;
  UINT8 Bytes[4] = {0, 0, 0, 0};
  UINTN Field = 0;
  UINTN Digits = 0;
  UINT32 Value = 0;
  for (UINTN p = 0;; ++p) {
    CHAR8 c = Text[p];
    if (c == '.' || c == '\0') {
      if (Field == 4) return EFI_INVALID_PARAMETER;
      Bytes[Field++] = (UINT8)Value;
      Value = 0;
      Digits = 0;
      if (c == '\0') break;
      continue;
    }
    if (c < '0' || c > '9' || ++Digits > 3) return EFI_INVALID_PARAMETER;
    Value = Value * 10 + (UINT32)(c - '0');
  }
  for (UINTN i = 0; i < 4; ++i) Address->Addr[i] = Bytes[i];
  return EFI_SUCCESS;
}
