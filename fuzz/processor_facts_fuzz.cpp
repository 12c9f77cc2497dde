// The processor drivers hand over a brand string and an array of cache
// descriptor records whose size only they know. The input splits into a
// brand text and descriptor bytes; the descriptor bytes are followed by the
// most the walk may ever read, so any read beyond that bound is a finding.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "setupinfo/pages/board/processor_facts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 2) return 0;
  const size_t BrandLength = Data[0] % (Size - 1);
  const UINT32 Count = Data[1];
  const uint8_t* Rest = Data + 2;
  const size_t RestSize = Size - 2;
  const size_t Split = BrandLength < RestSize ? BrandLength : RestSize;

  std::vector<CHAR8> Brand(Rest, Rest + Split);
  Brand.push_back(0);
  CHAR8 Copy[BRAND_STRING_LIMIT + 1];
  CopyBrandString(Brand.data(), Copy);
  if (strlen(Copy) > BRAND_STRING_LIMIT) __builtin_trap();
  CHAR8 Template[BRAND_FREQUENCY_TEMPLATE_SIZE];
  memcpy(Template, BRAND_FREQUENCY_TEMPLATE, sizeof(Template));
  if (ParseBrandFrequency(Copy, Template) && Template[BRAND_FREQUENCY_TEMPLATE_SIZE - 1] != 0) __builtin_trap();

  // Records: the fuzz bytes, then zeros up to the walk's own bound.
  const size_t Bound = (size_t)CACHE_DESCRIPTOR_WALK_LIMIT * CACHE_DESCRIPTOR_MAX_LENGTH;
  const size_t RecordBytes = RestSize - Split;
  std::vector<uint32_t> Records((Bound + RecordBytes + 3) / 4, 0);
  memcpy(Records.data(), Rest + Split, RecordBytes);
  CACHE_SUMMARY Summary = {};
  UINT32 Read = ScanCacheDescriptors((const CACHE_DESCRIPTOR*)Records.data(), Count, &Summary);
  if (Read > CACHE_DESCRIPTOR_WALK_LIMIT || Read > Count) __builtin_trap();
  return 0;
}
