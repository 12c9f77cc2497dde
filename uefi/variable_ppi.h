// Read-only variable service of the pre-memory boot phase, reached before
// the runtime services exist.
#pragma once

#include "uefi/base.h"

struct EFI_PEI_READ_ONLY_VARIABLE2_PPI {
  static constexpr EFI_GUID Guid = {0x2AB86EF5, 0xECB5, 0x4134, {0xB5, 0x56, 0x38, 0x54, 0xCA, 0x1F, 0xE1, 0xB4}};

  // Same contract as the runtime GetVariable / GetNextVariableName.
  using GetVariableFn = EFI_STATUS(EFIAPI*)(const EFI_PEI_READ_ONLY_VARIABLE2_PPI* This, const CHAR16* VariableName,
                                            const EFI_GUID* VariableGuid, UINT32* Attributes, UINTN* DataSize,
                                            VOID* Data);
  using NextVariableNameFn = EFI_STATUS(EFIAPI*)(const EFI_PEI_READ_ONLY_VARIABLE2_PPI* This,
                                                 UINTN* VariableNameSize, CHAR16* VariableName,
                                                 EFI_GUID* VariableGuid);

  GetVariableFn GetVariable;
  NextVariableNameFn NextVariableName;
};
static_assert(offsetof(EFI_PEI_READ_ONLY_VARIABLE2_PPI, NextVariableName) == 8);
static_assert(sizeof(EFI_PEI_READ_ONLY_VARIABLE2_PPI) == 16);
