// The early boot phase as a module built for it sees it: a services table
// (taken by double pointer, as that phase hands it over) whose PPI database
// holds the read-only variable service over the machine's variable store.
#pragma once

#include <cstddef>
#include <vector>

#include "sim/board_profile.h"
#include "sim/variables.h"
#include "uefi/pei_services.h"
#include "uefi/variable_ppi.h"

namespace sim {

class EarlyPhasePeer {
 public:
  EarlyPhasePeer(const EarlyPhaseProfile& Profile, VariableStore& Variables);
  EarlyPhasePeer(const EarlyPhasePeer&) = delete;
  EarlyPhasePeer& operator=(const EarlyPhasePeer&) = delete;

  // What a module's entry point receives.
  const EFI_PEI_SERVICES** Services() { return &ServicesPointer_; }

  // Scripted answers, from the profile; tests may change them.
  EFI_STATUS GetVariableStatus = EFI_SUCCESS;

  // What was asked.
  size_t LocatePpiCalls = 0;
  size_t GetVariableCalls = 0;

 private:
  struct Table {
    EFI_PEI_SERVICES Services;
    EarlyPhasePeer* Owner;
  };
  struct VariableInstance {
    EFI_PEI_READ_ONLY_VARIABLE2_PPI Ppi;
    EarlyPhasePeer* Owner;
  };
  static EarlyPhasePeer* From(const EFI_PEI_SERVICES** PeiServices);
  static EFI_STATUS EFIAPI InstallPpi(const EFI_PEI_SERVICES** PeiServices, const EFI_PEI_PPI_DESCRIPTOR* PpiList);
  static EFI_STATUS EFIAPI ReInstallPpi(const EFI_PEI_SERVICES** PeiServices, const EFI_PEI_PPI_DESCRIPTOR* OldPpi,
                                        const EFI_PEI_PPI_DESCRIPTOR* NewPpi);
  static EFI_STATUS EFIAPI LocatePpi(const EFI_PEI_SERVICES** PeiServices, const EFI_GUID* Guid, UINTN Instance,
                                     EFI_PEI_PPI_DESCRIPTOR** PpiDescriptor, VOID** Ppi);
  static EFI_STATUS EFIAPI GetVariable(const EFI_PEI_READ_ONLY_VARIABLE2_PPI* This, const CHAR16* VariableName,
                                       const EFI_GUID* VariableGuid, UINT32* Attributes, UINTN* DataSize, VOID* Data);
  static EFI_STATUS EFIAPI NextVariableName(const EFI_PEI_READ_ONLY_VARIABLE2_PPI* This, UINTN* VariableNameSize,
                                            CHAR16* VariableName, EFI_GUID* VariableGuid);

  VariableStore& Variables_;
  Table Table_{};
  const EFI_PEI_SERVICES* ServicesPointer_ = nullptr;
  VariableInstance VariablePpi_{};
  EFI_GUID VariableGuid_ = EFI_PEI_READ_ONLY_VARIABLE2_PPI::Guid;
  EFI_PEI_PPI_DESCRIPTOR VariableDescriptor_{};
  // The PPI database, in installation order (descriptors stay the caller's).
  std::vector<EFI_PEI_PPI_DESCRIPTOR*> Ppis_;
};

}  // namespace sim
