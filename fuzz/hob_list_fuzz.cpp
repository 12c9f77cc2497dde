// The HOB list comes from the early boot phase: its HOB lengths are not
// checked by anyone before the walk. The input is laid out as HOBs whose
// length fields are honoured, so the list in memory is exactly as long as
// its HOBs say and ends with an end HOB: a read past it is a finding.
//
// Input: [ratio byte 0..3][Setup per-core limits 4 bytes] then HOBs, each
//   [type u16][length u16][name: 0 keep, 1 ratio GUID, 2 platform GUID][payload ...]
// The raw walk is checked against a walk of the records made here; then the
// list replaces the machine's, the setup driver boots, and a ratio change
// through the browser is clamped by the ratios of the list's ratio HOB.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz/setupinfo_fuzz_machine.h"
#include "lib/firmware_services.h"
#include "platform/processor_info.h"
#include "uefi/pi.h"

namespace {

constexpr size_t MAX_HOBS = 48;
constexpr size_t HEADER = sizeof(EFI_HOB_GENERIC_HEADER);
constexpr size_t GUID_HEADER = sizeof(EFI_HOB_GUID_TYPE);
constexpr uint32_t MSR_PLATFORM_INFO = 0xCE;

struct Record {
  size_t Offset;
  uint16_t Type, Length;
};

struct Layout {
  std::unique_ptr<uint8_t[]> Bytes;
  size_t Size = 0;
  std::vector<Record> Records;  // the end HOB included
};

Layout Build(FuzzReader& In) {
  std::vector<uint8_t> List;
  Layout L;
  while (!In.Done() && L.Records.size() < MAX_HOBS) {
    const uint16_t Type = In.U16();
    const uint16_t Length = In.U16();
    const uint8_t Name = In.U8() % 3;
    if (Type == EFI_HOB_TYPE_END_OF_HOB_LIST) break;
    const size_t At = List.size();
    L.Records.push_back({At, Type, Length});
    // A length below the header ends every walk at this HOB: nothing after it is laid out.
    const size_t Room = Length < HEADER ? HEADER : Length;
    List.resize(At + Room, 0);
    List[At] = (uint8_t)Type, List[At + 1] = (uint8_t)(Type >> 8);
    List[At + 2] = (uint8_t)Length, List[At + 3] = (uint8_t)(Length >> 8);
    for (size_t I = At + HEADER; I < At + Room && !In.Done(); ++I) List[I] = In.U8();
    if (Length >= GUID_HEADER && Name != 0) {
      const EFI_GUID& Guid = Name == 1 ? PROCESSOR_RATIO_HOB_GUID : PROCESSOR_PLATFORM_HOB_GUID;
      std::memcpy(&List[At + HEADER], &Guid, sizeof Guid);
    }
    if (Length < HEADER) break;
  }
  if (L.Records.empty() || L.Records.back().Length >= HEADER) {
    const size_t At = List.size();
    L.Records.push_back({At, EFI_HOB_TYPE_END_OF_HOB_LIST, (uint16_t)HEADER});
    List.resize(At + HEADER, 0);
    List[At] = 0xFF, List[At + 1] = 0xFF, List[At + 2] = (uint8_t)HEADER;
  }
  L.Size = List.size();
  L.Bytes = std::make_unique<uint8_t[]>(L.Size);
  std::memcpy(L.Bytes.get(), List.data(), L.Size);
  return L;
}

// The HOBs a walk from the first one visits, as the records say.
std::vector<size_t> Walked(const Layout& L) {
  std::vector<size_t> Visited;
  for (size_t I = 0; I + 1 < L.Records.size(); ++I) {
    if (L.Records[I].Length < HEADER) break;
    if (L.Records[I + 1].Type == EFI_HOB_TYPE_END_OF_HOB_LIST) break;
    Visited.push_back(I + 1);
  }
  return Visited;
}

const Record* ExpectedGuidHob(const Layout& L, const EFI_GUID& Guid) {
  for (size_t I : Walked(L)) {
    const Record& R = L.Records[I];
    if (R.Type == EFI_HOB_TYPE_GUID_EXTENSION && R.Length >= GUID_HEADER &&
        std::memcmp(L.Bytes.get() + R.Offset + HEADER, &Guid, sizeof Guid) == 0)
      return &R;
  }
  return nullptr;
}

void CheckRawWalk(const Layout& L) {
  const std::vector<size_t> Visited = Walked(L);
  for (uint16_t Type : {(uint16_t)EFI_HOB_TYPE_GUID_EXTENSION, (uint16_t)EFI_HOB_TYPE_HANDOFF, (uint16_t)3}) {
    VOID* Cursor = L.Bytes.get();
    size_t Next = 0;
    for (;;) {
      EFI_STATUS Status = FindNextHob(Type, &Cursor);
      while (Next < Visited.size() && L.Records[Visited[Next]].Type != Type) ++Next;
      if (EFI_ERROR(Status)) {
        if (Status != EFI_NOT_FOUND || Next < Visited.size()) std::abort();
        break;
      }
      if (Next == Visited.size() || (uint8_t*)Cursor != L.Bytes.get() + L.Records[Visited[Next]].Offset) std::abort();
      ++Next;
    }
  }
  for (const EFI_GUID* Guid : {&PROCESSOR_RATIO_HOB_GUID, &PROCESSOR_PLATFORM_HOB_GUID}) {
    VOID* Cursor = L.Bytes.get();
    const Record* Expected = ExpectedGuidHob(L, *Guid);
    const EFI_STATUS Status = FindGuidHob(Guid, &Cursor);
    if ((Expected == nullptr) != EFI_ERROR(Status)) std::abort();
    if (Expected != nullptr && (uint8_t*)Cursor != L.Bytes.get() + Expected->Offset) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzReader In(Data, Size);
  uint8_t Requested[4];
  for (uint8_t& R : Requested) R = In.U8();
  Layout L = Build(In);
  CheckRawWalk(L);

  // The ratios the page's rules must keep to.
  const sim::BoardProfile& Board = sim::DefaultBoardProfile();
  auto Msr = Board.Msrs.find(MSR_PLATFORM_INFO);
  const uint8_t NonTurbo = Msr == Board.Msrs.end() ? 0 : (uint8_t)(Msr->second >> 8);
  uint8_t Ceiling = NonTurbo, Floor[4] = {NonTurbo, NonTurbo, NonTurbo, NonTurbo};
  const Record* Ratio = ExpectedGuidHob(L, PROCESSOR_RATIO_HOB_GUID);
  if (Ratio != nullptr && Ratio->Length >= GUID_HEADER + PROCESSOR_RATIO_HOB_FIRST_RATIO + PROCESSOR_RATIO_HOB_RATIO_COUNT) {
    const uint8_t* Ratios = L.Bytes.get() + Ratio->Offset + GUID_HEADER + PROCESSOR_RATIO_HOB_FIRST_RATIO;
    Ceiling = Ratios[0];
    std::copy(Ratios, Ratios + 4, Floor);
  }

  SetupMachine S(Board);
  EFI_SYSTEM_TABLE* St = S.M().SystemTable();
  for (UINTN I = 0; I < St->NumberOfTableEntries; ++I)
    if (std::memcmp(&St->ConfigurationTable[I].VendorGuid, &EFI_HOB_LIST_GUID, sizeof(EFI_GUID)) == 0)
      St->ConfigurationTable[I].VendorTable = L.Bytes.get();
  S.LoadSetupInfo();
  if (S.Browser().Open() != EFI_SUCCESS) std::abort();
  std::vector<UINT8>* Setup = S.Browser().StoreBytes(u"Setup", sim::SetupBrowser::SetupVariableGuid);
  if (Setup == nullptr || Setup->size() < 0x80) std::abort();
  (*Setup)[0x7F] = 2;  // per-core-count ratios
  std::copy(Requested, Requested + 4, Setup->begin() + 0x3C);
  EFI_IFR_TYPE_VALUE Value{};
  S.Browser().Callback(0x2, EFI_BROWSER_ACTION_CHANGED, 0x415, EFI_IFR_TYPE_NUM_SIZE_8, Value);
  uint8_t Previous = 0;
  for (int I = 0; I < 4; ++I) {
    uint8_t Want = Requested[I];
    if (I == 0) {
      Want = std::max(std::min(Want, Ceiling), Floor[0]);
    } else {
      Want = std::max(std::min(Want, Previous), Floor[I]);
    }
    if ((*Setup)[0x3C + I] != Want) std::abort();
    Previous = Want;
  }
  return 0;
}
