// The memory initialisation hands over a module HOB whose length only its
// producer knows and a packed information record. The input's first two
// bytes give the HOB's length field; the HOB is an allocation of exactly that
// length, so any read past it is a finding. The rest fills the information
// record, itself an allocation of exactly its size, and the two selectors.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "setupinfo/pages/board/memory_facts.h"
#include "uefi/pi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 4) return 0;
  const UINT16 HobLength = (UINT16)(Data[0] | (Data[1] << 8));
  const UINT8 SelectorA = Data[2], SelectorB = Data[3];
  Data += 4;
  Size -= 4;

  // The HOB: its header's length as given, its bytes from the input (zero past it).
  const size_t HobBytes = HobLength < sizeof(EFI_HOB_GENERIC_HEADER) ? sizeof(EFI_HOB_GENERIC_HEADER) : HobLength;
  std::unique_ptr<UINT8[]> Hob(new UINT8[HobBytes]());
  const size_t Taken = Size < HobBytes ? Size : HobBytes;
  memcpy(Hob.get(), Data, Taken);
  memcpy(Hob.get() + offsetof(EFI_HOB_GENERIC_HEADER, HobLength), &HobLength, sizeof HobLength);
  for (UINTN i = 0; i < MEMORY_MODULE_RECORD_COUNT + 1; ++i) {
    MEMORY_MODULE_RECORD Record;
    const bool Present = ReadMemoryModuleRecord(Hob.get(), i, &Record);
    if (Present && sizeof(EFI_HOB_GUID_TYPE) + MemoryModuleRecordOffsets[i] + sizeof(Record) > HobLength) __builtin_trap();
    if (!Present && (Record.Revision | Record.Frequency | Record.Cycles) != 0) __builtin_trap();
    UINT32 Values[MODULE_TEMPLATE_VALUES];
    ModuleTemplateValues(Record, Values);
    if (Values[0] == 0) __builtin_trap();  // revisions below 1.0 are raised
  }

  // The information record, from what is left of the input.
  std::unique_ptr<MEMORY_INFO_PROTOCOL> Info(new MEMORY_INFO_PROTOCOL());
  const size_t Rest = Size - Taken < sizeof(*Info) ? Size - Taken : sizeof(*Info);
  memcpy(Info.get(), Data + Taken, Rest);
  const COUNTED_MEMORY Counted = CountModules(*Info, SelectorA, SelectorB);
  UINT32 Sum = 0;
  for (UINTN i = 0; i < MEMORY_INFO_MODULES; ++i) {
    if (Counted.SizeMb[i] != 0 && Counted.SizeMb[i] != Info->ModuleSizeMb[i]) __builtin_trap();
    Sum += Counted.SizeMb[i];
  }
  if (Sum != Counted.TotalMb) __builtin_trap();
  return 0;
}
