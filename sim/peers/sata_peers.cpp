#include "sim/peers/sata_peers.h"

#include <cstddef>
#include <algorithm>
#include <cstring>

namespace sim {

SataPortDriverPeer::SataPortDriverPeer(const SataPortDriverProfile& Profile) : Profile_(Profile) {
  Interface_.Interface.FindDevice = FindDevice;
  Interface_.Interface.GetText1 = GetText<0>;
  Interface_.Interface.GetText2 = GetText<1>;
  Interface_.Interface.GetText3 = GetText<2>;
  Interface_.Interface.GetText4 = GetText<3>;
  Interface_.Interface.GetText5 = GetText<4>;
  Interface_.Self = this;
  for (size_t I = 0; I < Profile_.Devices.size(); ++I) {
    auto Record = std::make_unique<DEVICE_RECORD>();
    std::memset(&Record->Record, 0, sizeof(Record->Record));
    Record->Record.Text3Hidden = Profile_.Devices[I].Text3Hidden;
    Record->Self = this;
    Record->Index = I;
    Records_.push_back(std::move(Record));
  }
}

size_t SataPortDriverPeer::CallSetup(EFI_BOOT_SERVICES* BootServices, bool EveryInstance) {
  BootServices_ = BootServices;
  UINTN Count = 0;
  EFI_HANDLE* Handles = nullptr;
  if (EFI_ERROR(BootServices->LocateHandleBuffer(ByProtocol, &SATA_PORT_STRING_PROTOCOL::Guid, nullptr, &Count,
                                                 &Handles)))
    return 0;
  size_t Calls = 0;
  for (UINTN I = 0; I < Count && (EveryInstance || Calls == 0); ++I) {
    VOID* Found = nullptr;
    if (EFI_ERROR(BootServices->HandleProtocol(Handles[I], &SATA_PORT_STRING_PROTOCOL::Guid, &Found)) ||
        Found == nullptr)
      continue;
    const size_t LookupsBefore = Lookups.size();
    ((SATA_PORT_STRING_PROTOCOL*)Found)->UpdateSataPortStrings(Interface());
    ++Calls;
    if (Transcript != nullptr) {
      size_t FoundCount = 0;
      for (size_t L = LookupsBefore; L < Lookups.size(); ++L) FoundCount += Lookups[L].Found ? 1 : 0;
      Transcript->push_back("SATA driver: port strings updated, " + std::to_string(Lookups.size() - LookupsBefore) +
                            " lookups, " + std::to_string(FoundCount) + " devices found");
    }
  }
  BootServices->FreePool(Handles);
  return Calls;
}

EFI_STATUS EFIAPI SataPortDriverPeer::FindDevice(SATA_DEVICE_INTERFACE* This, UINT8 Bus, UINT8 Device, UINT8 Function,
                                                 UINT8 ByteA, UINT8 ByteB, SATA_DEVICE_RECORD** DeviceHandle) {
  if (This == nullptr || DeviceHandle == nullptr) return EFI_INVALID_PARAMETER;
  SataPortDriverPeer* Self = ((INTERFACE_RECORD*)This)->Self;
  Lookup Asked{Bus, Device, Function, ByteA, ByteB, false};
  EFI_STATUS Status = Self->Profile_.FindStatus;
  if (!EFI_ERROR(Status)) {
    Status = EFI_NOT_FOUND;
    for (size_t I = 0; I < Self->Profile_.Devices.size(); ++I) {
      const SataPortDeviceProfile& D = Self->Profile_.Devices[I];
      if (D.Bus == Bus && D.Device == Device && D.Function == Function && D.ByteA == ByteA && D.ByteB == ByteB) {
        *DeviceHandle = &Self->Records_[I]->Record;
        Asked.Found = true;
        Status = EFI_SUCCESS;
        break;
      }
    }
  }
  Self->Lookups.push_back(Asked);
  return Status;
}

template <size_t N>
EFI_STATUS EFIAPI SataPortDriverPeer::GetText(SATA_DEVICE_RECORD* DeviceHandle, CHAR8** Text) {
  if (DeviceHandle == nullptr || Text == nullptr) return EFI_INVALID_PARAMETER;
  DEVICE_RECORD* Record = (DEVICE_RECORD*)DeviceHandle;
  return Record->Self->HandText(DeviceHandle, N, Text);
}

EFI_STATUS SataPortDriverPeer::HandText(SATA_DEVICE_RECORD* DeviceHandle, size_t Text, CHAR8** Out) {
  if (EFI_ERROR(Profile_.TextStatus)) return Profile_.TextStatus;
  if (BootServices_ == nullptr) return EFI_NOT_READY;
  const DEVICE_RECORD* Record = (const DEVICE_RECORD*)DeviceHandle;
  const SataPortDeviceProfile& D = Profile_.Devices[Record->Index];
  const std::string& Value = D.Texts[Text];
  // A fixed field: the text, then blanks, and no terminator.
  const size_t Size = D.Unterminated ? std::max(Value.size(), (size_t)SATA_DEVICE_TEXT_BYTES) : Value.size() + 1;
  VOID* Buffer = nullptr;
  if (EFI_ERROR(BootServices_->AllocatePool(EfiBootServicesData, Size, &Buffer))) return EFI_OUT_OF_RESOURCES;
  std::memset(Buffer, D.Unterminated ? ' ' : 0, Size);
  std::memcpy(Buffer, Value.data(), Value.size());
  *Out = (CHAR8*)Buffer;
  ++TextsHanded;
  return EFI_SUCCESS;
}

}  // namespace sim
