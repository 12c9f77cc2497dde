// Device paths come from other drivers: any bytes must give a bounded text or
// an error, and the walkers must stop, without reading outside the path.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/malloc_firmware.h"
#include "lib/device_path_text.h"
#include "lib/firmware_services.h"

namespace {
// Open run: a node starting inside the input can jump at most 0xFFFF bytes
// on and then read a 4-byte header; padding of 0xFF bytes there reads as end
// nodes. The buffer is sized exactly, so any read past it is caught.
constexpr size_t PADDING = 0xFFFF + 4;

[[noreturn]] void Fail() { std::abort(); }

bool IsEndType(UINT8 Type) { return Type == END_DEVICE_PATH_TYPE || Type == 0xFF; }

std::string Describe(const std::vector<UINT8>& Bytes, EFI_STATUS* Status) {
  CHAR8* Text = nullptr;
  *Status = DescribeDevicePath((const EFI_DEVICE_PATH_PROTOCOL*)Bytes.data(), &Text);
  if (*Status != EFI_SUCCESS) {
    if (*Status != EFI_INVALID_PARAMETER || Text != nullptr) Fail();
    return {};
  }
  if (Text == nullptr) Fail();
  std::string Out(Text);
  FreeBootPool(Text);
  if (Out.size() > 511) Fail();
  return Out;
}

void OpenRun(const uint8_t* Data, size_t Size) {
  std::vector<UINT8> Bytes(Size + PADDING, 0xFF);
  if (Size != 0) std::memcpy(Bytes.data(), Data, Size);
  const auto* Path = (const EFI_DEVICE_PATH_PROTOCOL*)Bytes.data();

  EFI_STATUS Status;
  Describe(Bytes, &Status);
  if (DevicePathLength(Path) > Bytes.size()) Fail();
  const EFI_DEVICE_PATH_PROTOCOL* Last = LastDevicePathNode(Path);
  if (Last != nullptr) {
    const UINT8* p = (const UINT8*)Last;
    if (p < Bytes.data() || p + 4 > Bytes.data() + Bytes.size() || IsEndType(Last->Type)) Fail();
  }
}

// Bounded run: the input cut to its well-formed prefix (every node inside the
// input) and closed by an end node at the very end of the buffer. Reading a
// node past its own Length then either leaves the buffer or reads the end
// node, whose type and Length bytes differ between two otherwise equal runs.
void BoundedRun(const uint8_t* Data, size_t Size) {
  size_t Used = 0;
  bool SawTypeZero = false;
  size_t LengthBeforeTypeZero = 0;
  while (Used + 4 <= Size) {
    const uint8_t* Node = Data + Used;
    size_t Length = Node[2] | (Node[3] << 8);
    if (Length < 4 || Length > Size - Used || (IsEndType(Node[0]) && Node[1] == 0xFF)) break;
    if (Node[0] == 0 && !SawTypeZero) {
      SawTypeZero = true;
      LengthBeforeTypeZero = Used;
    }
    Used += Length;
  }
  std::vector<UINT8> A(Data, Data + Used), B(Data, Data + Used);
  A.insert(A.end(), {END_DEVICE_PATH_TYPE, END_ENTIRE_DEVICE_PATH_SUBTYPE, 4, 0});
  B.insert(B.end(), {0xFF, END_ENTIRE_DEVICE_PATH_SUBTYPE, 0xFF, 0xFF});

  EFI_STATUS StatusA, StatusB;
  std::string TextA = Describe(A, &StatusA);
  std::string TextB = Describe(B, &StatusB);
  if (StatusA != EFI_SUCCESS || StatusB != EFI_SUCCESS) Fail();
  // B's end node adds its bar unless the text was already cut.
  if (TextA.size() < 511 && TextB != TextA + "|") Fail();
  if (TextA.size() == 511 && TextB != TextA) Fail();

  UINTN Expected = SawTypeZero ? LengthBeforeTypeZero : Used + 4;
  if (DevicePathLength((const EFI_DEVICE_PATH_PROTOCOL*)A.data()) != Expected) Fail();
  const EFI_DEVICE_PATH_PROTOCOL* Last = LastDevicePathNode((const EFI_DEVICE_PATH_PROTOCOL*)A.data());
  if (Used == 0 && Last != nullptr) Fail();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  UseMallocFirmware();
  OpenRun(Data, Size);
  BoundedRun(Data, Size);
  return 0;
}
