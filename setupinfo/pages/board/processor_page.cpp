#include "setupinfo/pages/board/processor_page.h"

#include "lib/firmware_services.h"
#include "lib/hw/hw.h"
#include "lib/util.h"
#include "setupinfo/core/form_set_table.h"
#include "setupinfo/core/page_strings.h"
#include "setupinfo/pages/board/processor_facts.h"

namespace {

PROCESSOR_PAGE_STATE& State() { return ProcessorPageState(); }

constexpr UINT64 Bits(UINT64 Value, UINTN High, UINTN Low) {
  return (Value >> Low) & ((UINT64(1) << (High - Low + 1)) - 1);
}

// Strings of the class 4 form set.
constexpr UINT16 STR_BRAND = 0x00B6;
constexpr UINT16 STR_SIGNATURE = 0x00E1;
constexpr UINT16 STR_MICROCODE = 0x00DE;
constexpr UINT16 STR_PROCESSOR_SPEED = 0x00B9;
constexpr UINT16 STR_MIN_SPEED = 0x00BC;
constexpr UINT16 STR_CURRENT_SPEED = 0x00BE;
constexpr UINT16 STR_CORE_COUNT = 0x00CE;
constexpr UINT16 STR_NOT_SUPPORTED = 0x00DB;
constexpr UINT16 STR_SUPPORTED_TEXT = 0x00D5;  // source of the three copies, in each language's wording

// One cache line of the page: which size it shows and which per-core flag
// decides whether the core count follows.
struct CACHE_LINE {
  UINT16 StringId;
  UINT32 CACHE_SUMMARY::*SizeKb;
  UINTN PerCoreLevel;  // index into CACHE_SUMMARY::PerCore
};
constexpr CACHE_LINE CacheLines[] = {
    {0x00C2, &CACHE_SUMMARY::Level1DataKb, 0},
    {0x00C5, &CACHE_SUMMARY::Level1InstructionKb, 0},
    {0x00C8, &CACHE_SUMMARY::Level2Kb, 1},
    {0x00CB, &CACHE_SUMMARY::Level3Kb, 2},
};

// Feature lines that receive the text of STR_SUPPORTED_TEXT when their
// condition holds (threads per core above 1, feature bits 37 and 38).
enum FEATURE_COPY_CONDITION : UINT8 { COPY_IF_HYPERTHREADING, COPY_IF_FEATURE_37, COPY_IF_FEATURE_38 };
struct FEATURE_COPY {
  UINT16 StringId;
  FEATURE_COPY_CONDITION Condition;
};
constexpr FEATURE_COPY FeatureCopies[] = {
    {0x00D1, COPY_IF_HYPERTHREADING},
    {0x00D4, COPY_IF_FEATURE_37},
    {0x00D8, COPY_IF_FEATURE_38},
};

// Lines that read "Supported" when a CPUID flag is set: leaf 01H ECX bit 7
// (enhanced frequency stepping) and the MWAIT sub-state counts of leaf 05H
// EDX for C-states 2, 3 and 4.
enum CPUID_FLAG : UINT8 { FLAG_EST, FLAG_C2_SUBSTATES, FLAG_C3_SUBSTATES, FLAG_C4_SUBSTATES, CPUID_FLAG_COUNT };
struct CPUID_FLAG_LINE {
  UINT16 StringId;
  CPUID_FLAG Flag;
};
constexpr CPUID_FLAG_LINE CpuidFlagLines[] = {
    {0x0167, FLAG_EST},
    {0x015A, FLAG_C2_SUBSTATES},
    {0x015D, FLAG_C3_SUBSTATES},
    {0x0160, FLAG_C4_SUBSTATES},
};

void ReadCpuidFlags(BOOLEAN (&Flags)[CPUID_FLAG_COUNT]) {
  UINT32 Ecx = 0;
  ReadCpuid(1, nullptr, nullptr, &Ecx, nullptr);
  Flags[FLAG_EST] = Bits(Ecx, 7, 7) != 0;
  UINT32 Edx = 0;
  Ecx = 0;
  ReadCpuid(5, nullptr, nullptr, &Ecx, &Edx);
  Flags[FLAG_C2_SUBSTATES] = Bits(Edx, 11, 8) != 0;
  Flags[FLAG_C3_SUBSTATES] = Bits(Edx, 15, 12) != 0;
  Flags[FLAG_C4_SUBSTATES] = Bits(Edx, 19, 16) != 0;
}

const VOID* FindHobList() { return gST() ? FindConfigurationTable(gST(), &EFI_HOB_LIST_GUID) : nullptr; }

// The GUID HOB named Guid, or null. The search starts after the list's first HOB.
const UINT8* FindProcessorHob(const VOID* HobList, const EFI_GUID& Guid) {
  if (HobList == nullptr) return nullptr;
  VOID* Cursor = const_cast<VOID*>(HobList);
  if (EFI_ERROR(FindGuidHob(&Guid, &Cursor))) return nullptr;
  return (const UINT8*)Cursor;
}

void ArriveAndRebuild(bool Information) {
  PROCESSOR_PAGE_STATE& S = State();
  if (Information)
    S.Information = LocateProtocol<PROCESSOR_INFORMATION_PROTOCOL>();
  else
    S.Topology = LocateProtocol<PROCESSOR_TOPOLOGY_PROTOCOL>();
  BuildProcessorStrings();
}

}  // namespace

void ComputeProcessorLimits(const VOID* HobList, PROCESSOR_LIMITS* Limits) {
  const UINT64 PlatformInfo = ReadMsr(MSR_PLATFORM_INFO);
  Limits->MaxNonTurboRatio = (UINT8)Bits(PlatformInfo, 15, 8);
  Limits->MaxEfficiencyRatio = (UINT8)Bits(PlatformInfo, 47, 40);

  // The ratio HOB comes from the early phase: one too short to hold the four
  // ratio bytes counts as absent.
  const UINT8* RatioHob = FindProcessorHob(HobList, PROCESSOR_RATIO_HOB_GUID);
  const UINTN RatioEnd =
      sizeof(EFI_HOB_GUID_TYPE) + PROCESSOR_RATIO_HOB_FIRST_RATIO + PROCESSOR_RATIO_HOB_RATIO_COUNT;
  if (RatioHob != nullptr && ReadLe16(RatioHob + offsetof(EFI_HOB_GENERIC_HEADER, HobLength)) >= RatioEnd) {
    const UINT8* Ratios = RatioHob + sizeof(EFI_HOB_GUID_TYPE) + PROCESSOR_RATIO_HOB_FIRST_RATIO;
    Limits->RatioCeiling = Ratios[0];
    for (UINTN i = 0; i < PROCESSOR_RATIO_HOB_RATIO_COUNT; ++i) Limits->CoreRatioFloor[i] = Ratios[i];
  } else {
    Limits->RatioCeiling = Limits->MaxNonTurboRatio;
    for (UINT8& Floor : Limits->CoreRatioFloor) Floor = Limits->MaxNonTurboRatio;
  }

  // Power values are in units of 1/2^unit watts. The factor is kept at full
  // width: for units above 7 it no longer fits a byte, and the half-TDP
  // fallback must not divide by a truncated (zero) factor.
  const UINTN Unit = (UINTN)Bits(ReadMsr(MSR_RAPL_POWER_UNIT), 3, 0);
  const UINT64 PowerInfo = ReadMsr(MSR_PKG_POWER_INFO);
  Limits->PackageMaxPower = (UINT16)(Bits(PowerInfo, 46, 32) >> Unit);
  Limits->PackageMinPower = (UINT16)(Bits(PowerInfo, 30, 16) >> Unit);
  if (Limits->PackageMinPower == 0) {
    const UINT32 Factor = UINT32(1) << Unit;
    Limits->PackageMinPower = (UINT16)(Bits(PowerInfo, 14, 0) / (2 * Factor));
  }
}

VOID EFIAPI InitProcessorPage(EFI_HII_HANDLE HiiHandle, UINT16 Class) {
  PROCESSOR_PAGE_STATE& S = State();
  if (S.Limits.MaxNonTurboRatio == 0) ComputeProcessorLimits(FindHobList(), &S.Limits);
  if (Class != FORM_SET_CLASS_ADVANCED) return;

  S.PageHandle = HiiHandle;
  S.HobList = const_cast<VOID*>(FindHobList());
  if (S.HobList == nullptr) return;
  // Without the platform HOB the processor driver did not run: the page
  // keeps its package texts and nothing waits for the protocols.
  if (FindProcessorHob(S.HobList, PROCESSOR_PLATFORM_HOB_GUID) == nullptr) return;

  S.Information = LocateProtocol<PROCESSOR_INFORMATION_PROTOCOL>();
  S.Topology = LocateProtocol<PROCESSOR_TOPOLOGY_PROTOCOL>();
  BuildProcessorStrings();

  if (S.Information == nullptr && S.InformationArrival == nullptr)
    WaitForProtocol(&PROCESSOR_INFORMATION_PROTOCOL::Guid, OnProcessorInformationArrived, nullptr,
                    &S.InformationArrival, &S.InformationRegistration);
  if (S.Topology == nullptr && S.TopologyArrival == nullptr)
    WaitForProtocol(&PROCESSOR_TOPOLOGY_PROTOCOL::Guid, OnProcessorTopologyArrived, nullptr, &S.TopologyArrival,
                    &S.TopologyRegistration);
}

VOID EFIAPI OnProcessorInformationArrived(EFI_EVENT, VOID*) { ArriveAndRebuild(true); }
VOID EFIAPI OnProcessorTopologyArrived(EFI_EVENT, VOID*) { ArriveAndRebuild(false); }

void BuildProcessorStrings() {
  PROCESSOR_PAGE_STATE& S = State();
  CHAR8 Frequency[BRAND_FREQUENCY_TEMPLATE_SIZE];
  for (UINTN i = 0; i < BRAND_FREQUENCY_TEMPLATE_SIZE; ++i) Frequency[i] = BRAND_FREQUENCY_TEMPLATE[i];
  if (S.Information == nullptr || S.Topology == nullptr) return;
  const EFI_HII_HANDLE Page = S.PageHandle;

  BOOLEAN Flags[CPUID_FLAG_COUNT] = {};
  ReadCpuidFlags(Flags);

  // A failed GetInfo leaves nothing to show; the page keeps its package texts.
  PROCESSOR_INFORMATION_RECORD* Record = nullptr;
  if (EFI_ERROR(S.Information->GetInfo(S.Information, 0, &Record)) || Record == nullptr) return;

  if (Record->Supported == 0) SetPageString(Page, STR_NOT_SUPPORTED, u"%a", "Not Supported");
  SetPageString(Page, STR_CURRENT_SPEED, u"%d MHz", (UINT32)Bits(ReadMsr(MSR_PERF_STATUS), 15, 8) * 100);

  UINT32 Cores = 0, Second = 0;
  S.Topology->GetCoreCounts(S.Topology, 0, &Cores, &Second, nullptr, nullptr);

  CHAR8 Brand[BRAND_STRING_LIMIT + 1];
  CopyBrandString(Record->BrandString, Brand);
  SetPageString(Page, STR_BRAND, u"%a", Brand);
  SetPageString(Page, STR_SIGNATURE, u"%x", Record->Signature);
  if (Record->MicrocodeRevision != 0) SetPageString(Page, STR_MICROCODE, u"%x", Record->MicrocodeRevision);

  const UINT64 PlatformInfo = ReadMsr(MSR_PLATFORM_INFO);
  if (ParseBrandFrequency(Brand, Frequency))
    SetPageString(Page, STR_PROCESSOR_SPEED, u"%a", Frequency);
  else
    SetPageString(Page, STR_PROCESSOR_SPEED, u"%d MHz", (UINT32)Bits(PlatformInfo, 15, 8) * 100);
  SetPageString(Page, STR_MIN_SPEED, u"%d MHz", (UINT32)Bits(PlatformInfo, 47, 40) * 100);

  S.Caches = CACHE_SUMMARY{};
  CACHE_DESCRIPTOR* Descriptors = nullptr;
  UINT32 Count = 0;
  if (!EFI_ERROR(S.Topology->GetCacheDescriptors(S.Topology, 0, 0, &Descriptors, &Count)))
    ScanCacheDescriptors(Descriptors, Count, &S.Caches);
  for (const CACHE_LINE& Line : CacheLines) {
    const UINT32 SizeKb = S.Caches.*Line.SizeKb;
    if (SizeKb == 0) continue;
    if (S.Caches.PerCore[Line.PerCoreLevel])
      SetPageString(Page, Line.StringId, u"%d kB x %i", SizeKb, Cores);
    else
      SetPageString(Page, Line.StringId, u"%d kB", SizeKb);
  }

  SetPageString(Page, STR_CORE_COUNT, u"%i", (UINT32)Record->CoreCount);

  const BOOLEAN CopyConditions[] = {
      Record->ThreadsPerCore > 1,
      Bits(Record->FeatureWord, PROCESSOR_FEATURE_BIT_37, PROCESSOR_FEATURE_BIT_37) != 0,
      Bits(Record->FeatureWord, PROCESSOR_FEATURE_BIT_38, PROCESSOR_FEATURE_BIT_38) != 0,
  };
  for (const FEATURE_COPY& Copy : FeatureCopies) {
    if (CopyConditions[Copy.Condition])
      SetPageStringAllLanguages(Page, Copy.StringId, STR_SUPPORTED_TEXT, TRUE, nullptr);
  }

  for (const CPUID_FLAG_LINE& Line : CpuidFlagLines) {
    if (Flags[Line.Flag]) SetPageString(Page, Line.StringId, u"%a", "Supported");
  }
}
