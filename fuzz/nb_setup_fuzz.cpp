// The Setup variable as the early phase's variable service hands it over:
// any content, any length, any status and any reported size. The record is
// followed by a guard that must stay untouched, and only a whole record is
// laid over the defaults.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "setupinfo/nbsetup/north_bridge_setup.h"
#include "uefi/pei_services.h"
#include "uefi/variable_ppi.h"

namespace {

struct FUZZ_INPUT {
  const uint8_t* Data;
  size_t Size;
  EFI_STATUS Status;
  bool LieAboutSize;
  UINTN ReportedSize;
};
FUZZ_INPUT gInput;

EFI_STATUS EFIAPI GetVariable(const EFI_PEI_READ_ONLY_VARIABLE2_PPI*, const CHAR16*, const EFI_GUID*, UINT32*,
                              UINTN* DataSize, VOID* Buffer) {
  if (EFI_ERROR(gInput.Status)) return gInput.Status;
  if (gInput.Size > *DataSize) {
    *DataSize = gInput.Size;
    return EFI_BUFFER_TOO_SMALL;
  }
  memcpy(Buffer, gInput.Data, gInput.Size);
  *DataSize = gInput.LieAboutSize ? gInput.ReportedSize : gInput.Size;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI NextVariableName(const EFI_PEI_READ_ONLY_VARIABLE2_PPI*, UINTN*, CHAR16*, EFI_GUID*) {
  return EFI_NOT_FOUND;
}

EFI_PEI_READ_ONLY_VARIABLE2_PPI gVariables = {GetVariable, NextVariableName};

EFI_STATUS EFIAPI LocatePpi(const EFI_PEI_SERVICES**, const EFI_GUID* Guid, UINTN Instance, EFI_PEI_PPI_DESCRIPTOR**,
                            VOID** Ppi) {
  if (!(*Guid == EFI_PEI_READ_ONLY_VARIABLE2_PPI::Guid) || Instance != 0) return EFI_NOT_FOUND;
  *Ppi = &gVariables;
  return EFI_SUCCESS;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 3) return 0;
  gInput.Status = (Data[0] & 0x80) ? EFI_DEVICE_ERROR : EFI_SUCCESS;
  gInput.LieAboutSize = (Data[0] & 0x40) != 0;
  gInput.ReportedSize = (UINTN)Data[1] | ((UINTN)Data[2] << 8) | ((UINTN)(Data[0] & 0x3F) << 16);
  gInput.Data = Data + 3;
  gInput.Size = Size - 3;

  EFI_PEI_SERVICES Services;
  memset(&Services, 0, sizeof Services);
  Services.LocatePpi = LocatePpi;
  const EFI_PEI_SERVICES* Table = &Services;

  constexpr size_t GUARD = 64;
  UINT8 Record[NB_SETUP_DATA_SIZE + GUARD];
  memset(Record, 0x5A, sizeof Record);
  BuildNorthBridgeSetupData(&Table, Record, TRUE);
  for (size_t i = NB_SETUP_DATA_SIZE; i < sizeof Record; ++i)
    if (Record[i] != 0x5A) __builtin_trap();

  // What the driver can see is the status and the size reported; a service
  // that claims more than it wrote cannot be told from an honest one.
  const bool Fits = gInput.Size <= SETUP_RECORD_SIZE;
  const UINTN Reported = gInput.LieAboutSize ? gInput.ReportedSize : gInput.Size;
  const bool Whole = !EFI_ERROR(gInput.Status) && Fits && Reported == SETUP_RECORD_SIZE;
  if (!Whole && Record[NB_SETUP_MODULE_DISABLE_A] != 0) __builtin_trap();
  if (Whole && gInput.Size > 0x348 && Record[NB_SETUP_MODULE_DISABLE_A] != gInput.Data[0x348]) __builtin_trap();
  return 0;
}
