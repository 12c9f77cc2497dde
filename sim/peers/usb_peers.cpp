#include "sim/peers/usb_peers.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

UsbSupportPeer* Active = nullptr;

}  // namespace

UsbSupportPeer::UsbSupportPeer(const UsbProfile& Profile) : Profile_(Profile) {
  Protocol_.GetDeviceCounts = GetDeviceCountsEntry;
  Protocol_.GetMassDeviceName = GetMassDeviceNameEntry;
  Active = this;
}

UsbSupportPeer::~UsbSupportPeer() {
  if (Active == this) Active = nullptr;
}

EFI_STATUS UsbSupportPeer::Install(EFI_BOOT_SERVICES* BootServices) {
  Active = this;
  return BootServices->InstallProtocolInterface(&Handle_, &USB_SUPPORT_PROTOCOL::Guid, EFI_NATIVE_INTERFACE,
                                                &Protocol_);
}

EFI_STATUS UsbSupportPeer::WriteMassDevNum(EFI_RUNTIME_SERVICES* RuntimeServices) {
  if (!Profile_.MassDevNum) return EFI_SUCCESS;
  std::vector<uint8_t> Bytes = *Profile_.MassDevNum;
  return RuntimeServices->SetVariable(USB_MASS_DEV_NUM_NAME, &SETUP_VARIABLE_GUID,
                                      Profile_.MassDevNumAttributes, Bytes.size(), Bytes.data());
}

VOID EFIAPI UsbSupportPeer::GetDeviceCountsEntry(USB_DEVICE_COUNTS* Counts) {
  UsbSupportPeer* Self = Active;
  if (Self == nullptr || Counts == nullptr) return;
  ++Self->CountCalls;
  if (Self->Profile_.CountsFail) return;
  const auto& C = Self->Profile_.Counts;
  *Counts = USB_DEVICE_COUNTS{C[0], C[1], C[2], C[3], C[4], C[5]};
}

UINT8 EFIAPI UsbSupportPeer::GetMassDeviceNameEntry(CHAR8* Name, UINT8 NameSize, UINT8 Index) {
  UsbSupportPeer* Self = Active;
  if (Self == nullptr) return USB_NO_DEVICE;
  Self->NameCalls.push_back({Index, NameSize});
  const auto& Devices = Self->Profile_.MassDevices;
  if (Self->Profile_.NamesFail || Index >= Devices.size() || Name == nullptr) return USB_NO_DEVICE;
  const UsbMassDeviceProfile& Device = Devices[Index];
  // As much of the name as the room holds; the terminator only if it fits.
  const size_t Copied = std::min<size_t>(Device.Name.size(), NameSize);
  std::memcpy(Name, Device.Name.data(), Copied);
  if (Copied < NameSize && !Device.Unterminated) Name[Copied] = 0;
  if (Device.Answer) return *Device.Answer;
  const UINT8 Next = (UINT8)(Index + 1);
  return Index + 1u == Devices.size() ? (UINT8)(Next | USB_LAST_DEVICE) : Next;
}

}  // namespace sim
