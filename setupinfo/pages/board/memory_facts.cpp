#include "setupinfo/pages/board/memory_facts.h"

#include "lib/util.h"
#include "uefi/pi.h"

bool ReadMemoryModuleRecord(const VOID* GuidHob, UINTN Index, MEMORY_MODULE_RECORD* Record) {
  UINT8* Out = (UINT8*)Record;
  for (UINTN i = 0; i < sizeof(*Record); ++i) Out[i] = 0;
  if (GuidHob == nullptr || Index >= MEMORY_MODULE_RECORD_COUNT) return false;

  // The records lie far into the data; a HOB that ends before a record does
  // not have it, and nothing past its length is read.
  const UINT8* Hob = (const UINT8*)GuidHob;
  const UINTN HobLength = ReadLe16(Hob + offsetof(EFI_HOB_GENERIC_HEADER, HobLength));
  const UINTN Start = sizeof(EFI_HOB_GUID_TYPE) + MemoryModuleRecordOffsets[Index];
  if (HobLength < Start + sizeof(*Record)) return false;

  for (UINTN i = 0; i < sizeof(*Record); ++i) Out[i] = Hob[Start + i];
  if (ReadLe32(Out + offsetof(MEMORY_MODULE_RECORD, Frequency)) != 0) return true;
  for (UINTN i = 0; i < sizeof(*Record); ++i) Out[i] = 0;
  return false;
}

UINT8 ModuleRevision(const MEMORY_MODULE_RECORD& Record) {
  constexpr UINT8 LOWEST_REVISION = 0x10;
  return Record.Revision < LOWEST_REVISION ? LOWEST_REVISION : Record.Revision;
}

void ModuleTemplateValues(const MEMORY_MODULE_RECORD& Record, UINT32 (&Values)[MODULE_TEMPLATE_VALUES]) {
  const UINT8 Revision = ModuleRevision(Record);
  const UINT32 Voltage = Record.Voltage;
  Values[0] = Revision >> 4;
  Values[1] = Revision & 0x0F;
  Values[2] = ShownFrequency(Record.Frequency);
  Values[3] = Record.Timing[0];
  Values[4] = Record.Timing[1];
  Values[5] = Record.Timing[2];
  Values[6] = Record.Cycles;
  Values[7] = Voltage / 100;
  Values[8] = Voltage % 100;
}

COUNTED_MEMORY CountModules(const MEMORY_INFO_PROTOCOL& Info, UINT8 SelectorA, UINT8 SelectorB) {
  constexpr UINT8 SKIP_MODULE_0 = 1, SKIP_MODULE_1 = 2, SKIP_BOTH = 3;
  const UINT8 Selectors[2] = {SelectorA, SelectorB};
  COUNTED_MEMORY Counted{};
  for (UINTN i = 0; i < MEMORY_INFO_MODULES; ++i) {
    const UINT8 Selector = Selectors[i / 2];
    const bool Skipped = (i % 2 == 0) ? (Selector == SKIP_MODULE_0 || Selector == SKIP_BOTH)
                                      : (Selector == SKIP_MODULE_1 || Selector == SKIP_BOTH);
    Counted.SizeMb[i] = Skipped ? 0 : Info.ModuleSizeMb[i];
    Counted.TotalMb += Counted.SizeMb[i];
  }
  return Counted;
}

UINT8 GraphicsLevel(UINT16 DeviceId) {
  switch ((DeviceId >> 4) & 0x0F) {
    case 0: return 1;
    case 1: return 2;
    case 2: return 3;
    default: return 0;
  }
}
