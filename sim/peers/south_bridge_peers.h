// Stand-ins for the platform's chipset and SATA drivers as the hub page
// sees them: the south bridge version protocol and the SbPlatformData
// variable, and one handle per SATA drive with Disk Info and a device path.
// Each part is installed when the test or the machine says so, and can be
// absent, late or failing.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/south_bridge.h"
#include "sim/board_profile.h"
#include "uefi/device_path.h"
#include "uefi/disk_info.h"
#include "uefi/system_table.h"

namespace sim {

class SouthBridgePeer {
 public:
  explicit SouthBridgePeer(const SouthBridgeProfile& Profile);
  SouthBridgePeer(const SouthBridgePeer&) = delete;
  SouthBridgePeer& operator=(const SouthBridgePeer&) = delete;

  // Nothing is installed or written for a part the profile leaves out.
  EFI_STATUS InstallVersion(EFI_BOOT_SERVICES* BootServices);
  EFI_STATUS WritePlatformData(EFI_RUNTIME_SERVICES* RuntimeServices);

  SOUTH_BRIDGE_VERSION_PROTOCOL* Version() { return &Version_; }

 private:
  SouthBridgeProfile Profile_;
  SOUTH_BRIDGE_VERSION_PROTOCOL Version_{};
};

// The 256 IDENTIFY words a drive of this profile answers.
std::array<uint8_t, ATA_IDENTIFY_DATA_SIZE> BuildIdentifyData(const SataDriveProfile& Drive);
// Acpi(PNP0A03,0)/Pci(device,function)/Sata(channel,0xFFFF,0) (or
// Ata(channel,device,0) for an IDE interface)/End.
std::vector<uint8_t> BuildSataDevicePath(const SataDriveProfile& Drive);

class SataDrivePeer {
 public:
  explicit SataDrivePeer(const SataDriveProfile& Profile);
  SataDrivePeer(const SataDrivePeer&) = delete;
  SataDrivePeer& operator=(const SataDrivePeer&) = delete;

  // Disk Info and the device path on a new handle.
  EFI_STATUS Install(EFI_BOOT_SERVICES* BootServices);
  EFI_HANDLE Handle() const { return Handle_; }
  EFI_DISK_INFO_PROTOCOL* DiskInfo() { return &Instance_.Protocol; }

  // What Identify copies out; tests may change any word.
  std::array<uint8_t, ATA_IDENTIFY_DATA_SIZE>& Identify() { return Identify_; }
  void SetIdentifyWord(size_t Index, uint16_t Value);
  // Replaces the device path with raw bytes, stored exactly sized so that a
  // read past them is caught. Call before Install.
  void SetDevicePathBytes(std::vector<uint8_t> Bytes);

  // Scripted answers.
  EFI_STATUS WhichIdeStatus = EFI_SUCCESS;
  EFI_STATUS IdentifyStatus = EFI_SUCCESS;
  uint32_t Channel = 0, Device = 0;
  uint32_t IdentifyAnswerSize = ATA_IDENTIFY_DATA_SIZE;  // size reported back on success

  // What was asked.
  size_t WhichIdeCalls = 0;
  size_t IdentifyCalls = 0;

 private:
  struct Instance {
    EFI_DISK_INFO_PROTOCOL Protocol;
    SataDrivePeer* Owner;
  };
  static EFI_STATUS EFIAPI Inquiry(EFI_DISK_INFO_PROTOCOL* This, VOID* Data, UINT32* Size);
  static EFI_STATUS EFIAPI IdentifyEntry(EFI_DISK_INFO_PROTOCOL* This, VOID* Data, UINT32* Size);
  static EFI_STATUS EFIAPI SenseData(EFI_DISK_INFO_PROTOCOL* This, VOID* Data, UINT32* Size, UINT8* Number);
  static EFI_STATUS EFIAPI WhichIde(EFI_DISK_INFO_PROTOCOL* This, UINT32* Channel, UINT32* Device);

  Instance Instance_{};
  std::array<uint8_t, ATA_IDENTIFY_DATA_SIZE> Identify_{};
  std::unique_ptr<uint8_t[]> Path_;
  size_t PathSize_ = 0;
  EFI_HANDLE Handle_ = nullptr;
};

// Every drive of a profile, in order.
class SataDrivePeers {
 public:
  explicit SataDrivePeers(const std::vector<SataDriveProfile>& Drives);
  EFI_STATUS InstallAll(EFI_BOOT_SERVICES* BootServices);
  size_t Count() const { return Drives_.size(); }
  SataDrivePeer& operator[](size_t Index) { return *Drives_.at(Index); }

 private:
  std::vector<std::unique_ptr<SataDrivePeer>> Drives_;
};

}  // namespace sim
