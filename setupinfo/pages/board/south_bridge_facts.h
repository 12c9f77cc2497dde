// Reading what the hub and the SATA drives hand over: the hub's name and
// stepping, a drive's device path, its Disk Info answers and its IDENTIFY
// data. Everything from outside is walked within bounds.
#pragma once

#include "uefi/device_path.h"
#include "uefi/disk_info.h"

// ---- The hub ----------------------------------------------------------------

struct PCH_NAME {
  UINT16 DeviceId;
  const CHAR8* Name;
};

// The name of an LPC bridge device ID, or null when the table has none.
const CHAR8* PchName(UINT16 DeviceId);

// Device IDs whose high byte is 0x9C are the low-power series.
constexpr bool IsLowPowerPch(UINT16 DeviceId) { return (DeviceId >> 8) == 0x9C; }

// Revision taken when SbPlatformData could not be read.
constexpr UINT8 PCH_REVISION_UNKNOWN = 0xFF;

// "04/C1" and the like; "Unknown" for a revision the series does not list.
const CHAR8* PchSteppingText(UINT8 Revision, bool LowPower);

// ---- A SATA drive -----------------------------------------------------------

// At most this many nodes are walked looking for the PCI node; a drive's path
// has a handful, and a path that never ends must not walk on through memory.
constexpr UINTN DEVICE_PATH_NODE_LIMIT = 64;

// Size of a PCI node: header, function, device.
constexpr UINT16 PCI_NODE_LENGTH = 6;

struct PCI_NODE {
  UINT8 Function;
  UINT8 Device;
};

// The first PCI node (type 1, subtype 1) before the end of the path (type
// 0x7F or 0xFF). False when there is none, and when the walk meets a node
// whose Length is below its 4-byte header or a PCI node too short to hold
// its function and device: the rest of such a path cannot be trusted.
bool FindPciNode(const EFI_DEVICE_PATH_PROTOCOL* Path, PCI_NODE* Node);

// Port strings exist for indices 0 to SATA_PORT_COUNT - 1.
constexpr UINTN SATA_PORT_COUNT = 8;

// Port index of a drive. Port-number mode (AHCI or RAID): the channel. IDE
// mode: Device + 2 x Channel with 1 and 2 swapped, plus 4 on function 5.
// Computed in 64 bits, so values from outside cannot wrap into the table.
UINT64 SataPortIndex(bool PortNumberMode, UINT32 Channel, UINT32 Device, UINT8 Function);

// The model text: IDENTIFY words 27-46 with the bytes of each word swapped,
// 40 characters and a terminating zero.
constexpr UINTN SATA_MODEL_BUFFER = 42;
void SataModelText(const UINT8* Identify, CHAR8 (&Model)[SATA_MODEL_BUFFER]);

// Capacity in whole gigabytes (10^9 bytes) and tenths, truncated. Exceeds:
// the sector count times the sector size passes 2^64 - 1 bytes, and Whole
// and Tenths hold the largest 64-bit figure (18446744073.7).
struct SATA_CAPACITY {
  UINT64 Whole;
  UINT8 Tenths;
  bool Exceeds;
};
SATA_CAPACITY SataCapacity(const UINT8* Identify);

// Text buffer sizes of a port line.
constexpr UINTN SATA_DRIVE_TEXT_SIZE = 256;
constexpr UINTN SATA_STATUS_TEXT_SIZE = 64;
using SATA_DRIVE_TEXT = CHAR8[SATA_DRIVE_TEXT_SIZE];
using SATA_STATUS_TEXT = CHAR8[SATA_STATUS_TEXT_SIZE];

// The drive and status texts of one IDENTIFY record.
void DescribeSataDrive(const UINT8* Identify, SATA_DRIVE_TEXT& DriveText, SATA_STATUS_TEXT& StatusText);

// One drive: its PCI node (function 2 or 5 only), WhichIde, the port index,
// Identify into a fresh zeroed 512-byte pool buffer, and its texts.
// EFI_SUCCESS with *PortIndex and both texts set; otherwise the drive is not
// shown: no PCI node or another function (EFI_NOT_FOUND), a port index past
// the table (EFI_NOT_FOUND), a failed WhichIde or Identify (its status), an
// IDENTIFY answer shorter than 512 bytes (EFI_DEVICE_ERROR), no pool
// (EFI_OUT_OF_RESOURCES).
EFI_STATUS ReadSataDrive(EFI_DISK_INFO_PROTOCOL* DiskInfo, const EFI_DEVICE_PATH_PROTOCOL* Path,
                         bool PortNumberMode, UINTN* PortIndex, SATA_DRIVE_TEXT& DriveText,
                         SATA_STATUS_TEXT& StatusText);
