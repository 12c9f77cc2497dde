#include "sim/crc32.h"

#include <array>

namespace sim {

namespace {
constexpr std::array<uint32_t, 256> MakeTable() {
  std::array<uint32_t, 256> T{};
  for (uint32_t I = 0; I < 256; ++I) {
    uint32_t C = I;
    for (int K = 0; K < 8; ++K) C = (C & 1) ? 0xEDB88320u ^ (C >> 1) : C >> 1;
    T[I] = C;
  }
  return T;
}
constexpr auto TABLE = MakeTable();
}  // namespace

uint32_t Crc32(const void* Data, size_t Size) {
  uint32_t C = 0xFFFFFFFFu;
  auto* P = (const uint8_t*)Data;
  for (size_t I = 0; I < Size; ++I) C = TABLE[(C ^ P[I]) & 0xFF] ^ (C >> 8);
  return C ^ 0xFFFFFFFFu;
}

}  // namespace sim
