#include "sim/peers/south_bridge_peers.h"

#include <algorithm>
#include <cstring>

#include "setupinfo/core/setup_record.h"

namespace sim {

SouthBridgePeer::SouthBridgePeer(const SouthBridgeProfile& Profile) : Profile_(Profile) {
  // Bytes 4 to 7, least significant part first; the profile lists them the
  // way people write a version.
  if (Profile.Version)
    for (size_t I = 0; I < 4; ++I) Version_.Version[I] = (*Profile.Version)[3 - I];
}

EFI_STATUS SouthBridgePeer::InstallVersion(EFI_BOOT_SERVICES* BootServices) {
  if (!Profile_.Version) return EFI_NOT_FOUND;
  EFI_HANDLE Handle = nullptr;
  return BootServices->InstallProtocolInterface(&Handle, &SOUTH_BRIDGE_VERSION_PROTOCOL::Guid, EFI_NATIVE_INTERFACE,
                                                &Version_);
}

EFI_STATUS SouthBridgePeer::WritePlatformData(EFI_RUNTIME_SERVICES* RuntimeServices) {
  if (!Profile_.PlatformData) return EFI_NOT_FOUND;
  std::vector<uint8_t>& Data = *Profile_.PlatformData;
  return RuntimeServices->SetVariable(SB_PLATFORM_DATA_NAME, &SETUP_VARIABLE_GUID, Profile_.PlatformDataAttributes,
                                      Data.size(), Data.empty() ? nullptr : Data.data());
}

namespace {

void PutWord(std::array<uint8_t, ATA_IDENTIFY_DATA_SIZE>& Id, size_t Index, uint16_t Value) {
  Id[2 * Index] = (uint8_t)Value;
  Id[2 * Index + 1] = (uint8_t)(Value >> 8);
}

void Append16(std::vector<uint8_t>& Out, uint16_t V) {
  Out.push_back((uint8_t)V);
  Out.push_back((uint8_t)(V >> 8));
}

void Append32(std::vector<uint8_t>& Out, uint32_t V) {
  Append16(Out, (uint16_t)V);
  Append16(Out, (uint16_t)(V >> 16));
}

}  // namespace

std::array<uint8_t, ATA_IDENTIFY_DATA_SIZE> BuildIdentifyData(const SataDriveProfile& Drive) {
  std::array<uint8_t, ATA_IDENTIFY_DATA_SIZE> Id{};
  // Packet device, CD-ROM command set, removable; or a fixed ATA device.
  PutWord(Id, 0, Drive.Atapi ? 0x85C0 : 0x0040);

  // ATA strings: space padded, the first character in the high byte.
  char Model[40];
  std::memset(Model, ' ', sizeof Model);
  std::memcpy(Model, Drive.Model.data(), std::min<size_t>(Drive.Model.size(), sizeof Model));
  for (size_t I = 0; I < 20; ++I) PutWord(Id, 27 + I, (uint16_t)(((uint8_t)Model[2 * I] << 8) | (uint8_t)Model[2 * I + 1]));

  if (!Drive.Atapi) {
    PutWord(Id, 60, (uint16_t)Drive.Sectors28);
    PutWord(Id, 61, (uint16_t)(Drive.Sectors28 >> 16));
    uint16_t CommandSet2 = 0x4000;  // bits 15:14 = 01: the word is valid
    if (Drive.Sectors48) {
      CommandSet2 |= 1u << 10;
      for (size_t I = 0; I < 4; ++I) PutWord(Id, 100 + I, (uint16_t)(*Drive.Sectors48 >> (16 * I)));
    }
    PutWord(Id, 83, CommandSet2);
    uint16_t SectorSize = 0x4000;
    if (Drive.LogicalSectorBytes != 512) {
      SectorSize |= 1u << 12;
      const uint64_t Words = Drive.LogicalSectorBytes / 2;
      PutWord(Id, 117, (uint16_t)Words);
      PutWord(Id, 118, (uint16_t)(Words >> 16));
    }
    PutWord(Id, 106, SectorSize);
  }
  PutWord(Id, 76, Drive.Word76);
  PutWord(Id, 78, Drive.Word78);
  return Id;
}

std::vector<uint8_t> BuildSataDevicePath(const SataDriveProfile& Drive) {
  std::vector<uint8_t> P = {ACPI_DEVICE_PATH, ACPI_DP, 12, 0};
  Append32(P, 0x0A0341D0);  // PNP0A03
  Append32(P, 0);
  P.insert(P.end(), {HARDWARE_DEVICE_PATH, HW_PCI_DP, 6, 0, Drive.PciFunction, Drive.PciDevice});
  if (Drive.IdeInterface) {
    P.insert(P.end(), {MESSAGING_DEVICE_PATH, MSG_ATAPI_DP, 8, 0, (uint8_t)Drive.Channel, (uint8_t)Drive.Device});
    Append16(P, 0);
  } else {
    P.insert(P.end(), {MESSAGING_DEVICE_PATH, MSG_SATA_DP, 10, 0});
    Append16(P, (uint16_t)Drive.Channel);
    Append16(P, 0xFFFF);  // no port multiplier
    Append16(P, 0);
  }
  P.insert(P.end(), {END_DEVICE_PATH_TYPE, END_ENTIRE_DEVICE_PATH_SUBTYPE, 4, 0});
  return P;
}

SataDrivePeer::SataDrivePeer(const SataDriveProfile& Profile) {
  Instance_.Protocol.Interface =
      Profile.IdeInterface ? EFI_DISK_INFO_PROTOCOL::IdeInterfaceGuid : EFI_DISK_INFO_PROTOCOL::AhciInterfaceGuid;
  Instance_.Protocol.Inquiry = Inquiry;
  Instance_.Protocol.Identify = IdentifyEntry;
  Instance_.Protocol.SenseData = SenseData;
  Instance_.Protocol.WhichIde = WhichIde;
  Instance_.Owner = this;
  Identify_ = BuildIdentifyData(Profile);
  SetDevicePathBytes(Profile.DevicePath ? *Profile.DevicePath : BuildSataDevicePath(Profile));
  WhichIdeStatus = Profile.WhichIdeStatus;
  IdentifyStatus = Profile.IdentifyStatus;
  Channel = Profile.Channel;
  Device = Profile.Device;
}

void SataDrivePeer::SetIdentifyWord(size_t Index, uint16_t Value) { PutWord(Identify_, Index, Value); }

void SataDrivePeer::SetDevicePathBytes(std::vector<uint8_t> Bytes) {
  PathSize_ = Bytes.size();
  Path_.reset(new uint8_t[std::max<size_t>(PathSize_, 1)]);
  if (PathSize_ != 0) std::memcpy(Path_.get(), Bytes.data(), PathSize_);
}

EFI_STATUS SataDrivePeer::Install(EFI_BOOT_SERVICES* BootServices) {
  return BootServices->InstallMultipleProtocolInterfaces(&Handle_, &EFI_DISK_INFO_PROTOCOL::Guid, &Instance_.Protocol,
                                                         &EFI_DEVICE_PATH_PROTOCOL::Guid, (VOID*)Path_.get(),
                                                         (VOID*)nullptr);
}

EFI_STATUS EFIAPI SataDrivePeer::Inquiry(EFI_DISK_INFO_PROTOCOL*, VOID*, UINT32*) { return EFI_NOT_FOUND; }

EFI_STATUS EFIAPI SataDrivePeer::SenseData(EFI_DISK_INFO_PROTOCOL*, VOID*, UINT32*, UINT8*) {
  return EFI_NOT_FOUND;
}

// As a platform ATA driver answers: too small a buffer gets the size needed.
EFI_STATUS EFIAPI SataDrivePeer::IdentifyEntry(EFI_DISK_INFO_PROTOCOL* This, VOID* Data, UINT32* Size) {
  SataDrivePeer* Self = ((Instance*)This)->Owner;
  ++Self->IdentifyCalls;
  if (Size == nullptr) return EFI_INVALID_PARAMETER;
  if (EFI_ERROR(Self->IdentifyStatus)) return Self->IdentifyStatus;
  if (*Size < ATA_IDENTIFY_DATA_SIZE) {
    *Size = ATA_IDENTIFY_DATA_SIZE;
    return EFI_BUFFER_TOO_SMALL;
  }
  if (Data == nullptr) return EFI_INVALID_PARAMETER;
  std::memcpy(Data, Self->Identify_.data(), std::min<size_t>(Self->IdentifyAnswerSize, ATA_IDENTIFY_DATA_SIZE));
  *Size = Self->IdentifyAnswerSize;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI SataDrivePeer::WhichIde(EFI_DISK_INFO_PROTOCOL* This, UINT32* Channel, UINT32* Device) {
  SataDrivePeer* Self = ((Instance*)This)->Owner;
  ++Self->WhichIdeCalls;
  if (Channel == nullptr || Device == nullptr) return EFI_INVALID_PARAMETER;
  if (EFI_ERROR(Self->WhichIdeStatus)) return Self->WhichIdeStatus;
  *Channel = Self->Channel;
  *Device = Self->Device;
  return EFI_SUCCESS;
}

SataDrivePeers::SataDrivePeers(const std::vector<SataDriveProfile>& Drives) {
  for (const SataDriveProfile& D : Drives) Drives_.push_back(std::make_unique<SataDrivePeer>(D));
}

EFI_STATUS SataDrivePeers::InstallAll(EFI_BOOT_SERVICES* BootServices) {
  for (auto& D : Drives_) {
    EFI_STATUS Status = D->Install(BootServices);
    if (EFI_ERROR(Status)) return Status;
  }
  return EFI_SUCCESS;
}

}  // namespace sim
