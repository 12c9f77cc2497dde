#include "setupinfo/pages/platform/graphics_output_facts.h"

#include "lib/text_format.h"
#include "lib/util.h"

namespace {
constexpr UINTN NODE_HEADER = sizeof(EFI_DEVICE_PATH_PROTOCOL);
}

UINTN BoundedDevicePathSize(const UINT8* Bytes, UINTN Size) {
  if (Bytes == nullptr) return 0;
  // Each step moves at least a header forward, so the walk ends within Size.
  UINTN Offset = 0;
  while (Size - Offset >= NODE_HEADER) {
    const auto* Node = (const EFI_DEVICE_PATH_PROTOCOL*)(Bytes + Offset);
    const UINTN Length = DevicePathNodeLength(Node);
    if (Length < NODE_HEADER || Length > Size - Offset) return 0;
    if (Node->Type == END_DEVICE_PATH_TYPE && Node->SubType == END_ENTIRE_DEVICE_PATH_SUBTYPE)
      return Length == NODE_HEADER ? Offset + Length : 0;
    Offset += Length;
  }
  return 0;
}

bool DevicePathStartsWith(const UINT8* Path, UINTN PathSize, const UINT8* Prefix, UINTN PrefixSize) {
  const UINTN Whole = BoundedDevicePathSize(Path, PathSize);
  const UINTN Start = BoundedDevicePathSize(Prefix, PrefixSize);
  if (Whole == 0 || Start == 0 || Start > Whole) return false;
  // Equal bytes are equal nodes, so the match ends on a node boundary of Path.
  return __builtin_memcmp(Path, Prefix, Start - NODE_HEADER) == 0;
}

bool CopyNameText(const CHAR16* Name, CHAR8 (&Buffer)[NAME_TEXT_BYTES]) {
  __builtin_memset(Buffer, 0, sizeof(Buffer));
  if (Name == nullptr) return false;
  // The formatter stops reading once the buffer is full.
  FormatAscii(Buffer, NAME_TEXT_BYTES, "%S", Name);
  return true;
}
