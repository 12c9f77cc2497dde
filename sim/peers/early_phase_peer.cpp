#include "sim/peers/early_phase_peer.h"

#include <cstddef>

namespace sim {

EarlyPhasePeer::EarlyPhasePeer(const EarlyPhaseProfile& Profile, VariableStore& Variables)
    : GetVariableStatus(Profile.GetVariableStatus), Variables_(Variables) {
  Table_.Services.Hdr.Signature = EFI_PEI_SERVICES::Signature;
  Table_.Services.Hdr.HeaderSize = sizeof(EFI_PEI_SERVICES);
  Table_.Services.InstallPpi = InstallPpi;
  Table_.Services.ReInstallPpi = ReInstallPpi;
  Table_.Services.LocatePpi = LocatePpi;
  Table_.Owner = this;
  ServicesPointer_ = &Table_.Services;

  VariablePpi_.Ppi.GetVariable = GetVariable;
  VariablePpi_.Ppi.NextVariableName = NextVariableName;
  VariablePpi_.Owner = this;
  VariableDescriptor_ = {EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST, &VariableGuid_,
                         &VariablePpi_.Ppi};
  if (Profile.ReadOnlyVariable) Ppis_.push_back(&VariableDescriptor_);
}

EarlyPhasePeer* EarlyPhasePeer::From(const EFI_PEI_SERVICES** PeiServices) {
  if (PeiServices == nullptr || *PeiServices == nullptr) return nullptr;
  return ((const Table*)*PeiServices)->Owner;
}

EFI_STATUS EFIAPI EarlyPhasePeer::InstallPpi(const EFI_PEI_SERVICES** PeiServices,
                                             const EFI_PEI_PPI_DESCRIPTOR* PpiList) {
  EarlyPhasePeer* Self = From(PeiServices);
  if (Self == nullptr || PpiList == nullptr) return EFI_INVALID_PARAMETER;
  // A list runs until the descriptor that carries the terminate flag.
  for (const EFI_PEI_PPI_DESCRIPTOR* D = PpiList;; ++D) {
    if ((D->Flags & EFI_PEI_PPI_DESCRIPTOR_PPI) == 0 || D->Guid == nullptr) return EFI_INVALID_PARAMETER;
    Self->Ppis_.push_back(const_cast<EFI_PEI_PPI_DESCRIPTOR*>(D));
    if (D->Flags & EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST) return EFI_SUCCESS;
  }
}

EFI_STATUS EFIAPI EarlyPhasePeer::ReInstallPpi(const EFI_PEI_SERVICES** PeiServices,
                                               const EFI_PEI_PPI_DESCRIPTOR* OldPpi,
                                               const EFI_PEI_PPI_DESCRIPTOR* NewPpi) {
  EarlyPhasePeer* Self = From(PeiServices);
  if (Self == nullptr || OldPpi == nullptr || NewPpi == nullptr) return EFI_INVALID_PARAMETER;
  for (EFI_PEI_PPI_DESCRIPTOR*& D : Self->Ppis_) {
    if (D != OldPpi) continue;
    D = const_cast<EFI_PEI_PPI_DESCRIPTOR*>(NewPpi);
    return EFI_SUCCESS;
  }
  return EFI_NOT_FOUND;
}

EFI_STATUS EFIAPI EarlyPhasePeer::LocatePpi(const EFI_PEI_SERVICES** PeiServices, const EFI_GUID* Guid,
                                            UINTN Instance, EFI_PEI_PPI_DESCRIPTOR** PpiDescriptor, VOID** Ppi) {
  EarlyPhasePeer* Self = From(PeiServices);
  if (Self == nullptr || Guid == nullptr || Ppi == nullptr) return EFI_INVALID_PARAMETER;
  ++Self->LocatePpiCalls;
  for (EFI_PEI_PPI_DESCRIPTOR* D : Self->Ppis_) {
    if (!(*D->Guid == *Guid) || Instance-- != 0) continue;
    if (PpiDescriptor != nullptr) *PpiDescriptor = D;
    *Ppi = D->Ppi;
    return EFI_SUCCESS;
  }
  return EFI_NOT_FOUND;
}

EFI_STATUS EFIAPI EarlyPhasePeer::GetVariable(const EFI_PEI_READ_ONLY_VARIABLE2_PPI* This,
                                              const CHAR16* VariableName, const EFI_GUID* VariableGuid,
                                              UINT32* Attributes, UINTN* DataSize, VOID* Data) {
  EarlyPhasePeer* Self = ((const VariableInstance*)This)->Owner;
  ++Self->GetVariableCalls;
  if (EFI_ERROR(Self->GetVariableStatus)) return Self->GetVariableStatus;
  return Self->Variables_.Get(VariableName, VariableGuid, Attributes, DataSize, Data);
}

EFI_STATUS EFIAPI EarlyPhasePeer::NextVariableName(const EFI_PEI_READ_ONLY_VARIABLE2_PPI* This,
                                                   UINTN* VariableNameSize, CHAR16* VariableName,
                                                   EFI_GUID* VariableGuid) {
  EarlyPhasePeer* Self = ((const VariableInstance*)This)->Owner;
  return Self->Variables_.GetNextName(VariableNameSize, VariableName, VariableGuid);
}

}  // namespace sim
