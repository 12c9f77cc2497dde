// CRC-32 (IEEE 802.3, reflected), as table headers and CalculateCrc32 use it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sim {
uint32_t Crc32(const void* Data, size_t Size);
}
