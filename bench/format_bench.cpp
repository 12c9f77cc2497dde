// Cost of the formatter on the lines a setup page builds, in both widths.
#include "lib/text_format.h"

#include <benchmark/benchmark.h>

namespace {

constexpr EFI_GUID SetupGuid = {0xEC87D643, 0xEBA4, 0x4BB5, {0xA1, 0xE5, 0x3F, 0x3E, 0x36, 0xB2, 0x0D, 0xA9}};
constexpr UINTN LineCapacity = 128;

template <typename C>
struct Texts;

template <>
struct Texts<CHAR8> {
  static constexpr const CHAR8* Frequency = "%d.%02d MHz";
  static constexpr const CHAR8* Name = "%a";
  static constexpr const CHAR8* Size = "%s (%d.%dGB)";
  static constexpr const CHAR8* Guid = "%g";
  static constexpr const CHAR8* Kind = "DDR3";
  template <typename... T>
  static UINTN Format(CHAR8* Buffer, const CHAR8* Format, T... Values) {
    return FormatAscii(Buffer, LineCapacity, Format, Values...);
  }
};

template <>
struct Texts<CHAR16> {
  static constexpr const CHAR16* Frequency = u"%d.%02d MHz";
  static constexpr const CHAR16* Name = u"%a";
  static constexpr const CHAR16* Size = u"%s (%d.%dGB)";
  static constexpr const CHAR16* Guid = u"%g";
  static constexpr const CHAR16* Kind = u"DDR3";
  template <typename... T>
  static UINTN Format(CHAR16* Buffer, const CHAR16* Format, T... Values) {
    return FormatWide(Buffer, LineCapacity, Format, Values...);
  }
};

template <typename C, typename... T>
void RunLine(benchmark::State& State, const C* Format, T... Values) {
  C Buffer[LineCapacity];
  UINTN Characters = 0;
  for (auto _ : State) {
    benchmark::DoNotOptimize(Format);
    UINTN Count = Texts<C>::Format(Buffer, Format, Values...);
    benchmark::DoNotOptimize(Buffer);
    Characters += Count;
  }
  State.SetItemsProcessed((int64_t)Characters);  // items = characters written
}

template <typename C>
void BM_Frequency(benchmark::State& State) {
  RunLine<C>(State, Texts<C>::Frequency, 3400, 7);
}

template <typename C>
void BM_ProcessorName(benchmark::State& State) {
  RunLine<C>(State, Texts<C>::Name, "Intel(R) Core(TM) i7-4790K CPU @ 4.00GHz");
}

template <typename C>
void BM_MemorySize(benchmark::State& State) {
  RunLine<C>(State, Texts<C>::Size, Texts<C>::Kind, 15, 9);
}

template <typename C>
void BM_Guid(benchmark::State& State) {
  RunLine<C>(State, Texts<C>::Guid, &SetupGuid);
}

BENCHMARK_TEMPLATE(BM_Frequency, CHAR8);
BENCHMARK_TEMPLATE(BM_Frequency, CHAR16);
BENCHMARK_TEMPLATE(BM_ProcessorName, CHAR8);
BENCHMARK_TEMPLATE(BM_ProcessorName, CHAR16);
BENCHMARK_TEMPLATE(BM_MemorySize, CHAR8);
BENCHMARK_TEMPLATE(BM_MemorySize, CHAR16);
BENCHMARK_TEMPLATE(BM_Guid, CHAR8);
BENCHMARK_TEMPLATE(BM_Guid, CHAR16);

}  // namespace
