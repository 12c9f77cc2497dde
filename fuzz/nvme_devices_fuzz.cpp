// What the NVMe page takes from other drivers: a handle's device path, walked
// for a namespace node, and a namespace name of any length, with or without
// its terminator.
//
// Input: the path's length (2 bytes), the path, then the name's characters
// (2 bytes each). The path is followed by 0xFF bytes as far as a node
// starting inside it can reach: they read as end nodes, and any read beyond
// them is a finding. A name shorter than the page's text is terminated, as it
// must be to be read at all; a longer one is given exactly sized with no
// terminator, so a read past 255 characters is a finding.
#include <cstring>
#include <vector>

#include "fuzz/malloc_firmware.h"
#include "setupinfo/pages/platform/nvme_devices.h"

namespace {
constexpr size_t PADDING = 0xFFFF + 4;
constexpr size_t MAX_NAME = NVME_TEXT_BYTES - 1;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  UseMallocFirmware();
  if (Size < 2) return 0;
  size_t PathBytes = Data[0] | (Data[1] << 8);
  if (PathBytes > Size - 2) PathBytes = Size - 2;
  std::vector<UINT8> Path(PathBytes + PADDING, 0xFF);
  std::memcpy(Path.data(), Data + 2, PathBytes);
  const bool Found = IsNvmeNamespacePath((const EFI_DEVICE_PATH_PROTOCOL*)Path.data());
  // A namespace node can only be found where the input put one.
  if (Found && PathBytes < 2) __builtin_trap();

  const size_t NameStart = 2 + PathBytes;
  const size_t Chars = (Size - NameStart) / 2;
  std::vector<CHAR16> Name(Chars < MAX_NAME ? Chars + 1 : Chars, 0);
  std::memcpy(Name.data(), Data + NameStart, Chars * 2);
  CHAR8 Text[NVME_TEXT_BYTES];
  std::memset(Text, 'x', sizeof Text);
  NarrowDeviceName(Name.data(), Text);
  const size_t Length = strnlen((const char*)Text, sizeof Text);
  if (Length > MAX_NAME) __builtin_trap();
  for (size_t i = 0; i < Length; ++i)
    if ((UINT8)Text[i] != (Name[i] & 0xFF) || Name[i] == 0) __builtin_trap();
  // Cut only at a character whose low byte is zero, or at the text's end.
  if (Length < MAX_NAME && Length < Name.size() && (Name[Length] & 0xFF) != 0) __builtin_trap();
  return 0;
}
