// What a SATA drive's driver hands the hub page: Disk Info answers (WhichIde
// and Identify, with any status, channel, device, size and IDENTIFY bytes)
// and a device path. Any of it must give a port inside the table and
// bounded texts, or no line at all, without reading outside the path.
//
// Input: one flag byte, channel and device (4 bytes each), up to 512
// IDENTIFY bytes, then the device path. The path is followed by 0xFF bytes
// as far as a node starting inside it can reach: they read as end nodes, and
// any read beyond them is a finding.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/malloc_firmware.h"
#include "lib/firmware_services.h"
#include "setupinfo/pages/board/south_bridge_facts.h"

namespace {
constexpr size_t PADDING = 0xFFFF + 4;
constexpr size_t HEADER = 9;

// Flag bits.
constexpr UINT8 PORT_NUMBER_MODE = 0x01;
constexpr UINT8 WHICH_IDE_FAILS = 0x02;
constexpr UINT8 IDENTIFY_FAILS = 0x04;
constexpr UINT8 SHORT_ANSWER = 0x08;
constexpr UINT8 LONG_ANSWER = 0x10;

struct FakeDrive {
  EFI_DISK_INFO_PROTOCOL Protocol;
  UINT8 Flags;
  UINT32 Channel, Device;
  UINT8 Identify[ATA_IDENTIFY_DATA_SIZE];
  size_t WhichIdeCalls, IdentifyCalls;
};

EFI_STATUS EFIAPI WhichIde(EFI_DISK_INFO_PROTOCOL* This, UINT32* Channel, UINT32* Device) {
  FakeDrive* D = (FakeDrive*)This;
  ++D->WhichIdeCalls;
  if (D->Flags & WHICH_IDE_FAILS) return EFI_DEVICE_ERROR;
  *Channel = D->Channel;
  *Device = D->Device;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI Identify(EFI_DISK_INFO_PROTOCOL* This, VOID* Data, UINT32* Size) {
  FakeDrive* D = (FakeDrive*)This;
  ++D->IdentifyCalls;
  if (*Size < ATA_IDENTIFY_DATA_SIZE) __builtin_trap();  // the page always offers the whole record
  if (D->Flags & IDENTIFY_FAILS) return EFI_NOT_READY;
  std::memcpy(Data, D->Identify, ATA_IDENTIFY_DATA_SIZE);
  *Size = (D->Flags & SHORT_ANSWER) ? D->Identify[0] : (D->Flags & LONG_ANSWER) ? 4096 : ATA_IDENTIFY_DATA_SIZE;
  return EFI_SUCCESS;
}

bool Terminated(const CHAR8* Text, size_t Capacity) { return std::memchr(Text, 0, Capacity) != nullptr; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  UseMallocFirmware();
  if (Size < HEADER) return 0;
  FakeDrive Drive{};
  Drive.Protocol.WhichIde = WhichIde;
  Drive.Protocol.Identify = Identify;
  Drive.Flags = Data[0];
  std::memcpy(&Drive.Channel, Data + 1, 4);
  std::memcpy(&Drive.Device, Data + 5, 4);
  const size_t IdentifyBytes = std::min(Size - HEADER, (size_t)ATA_IDENTIFY_DATA_SIZE);
  std::memcpy(Drive.Identify, Data + HEADER, IdentifyBytes);

  const size_t PathStart = HEADER + IdentifyBytes;
  std::vector<UINT8> Path(Size - PathStart + PADDING, 0xFF);
  std::memcpy(Path.data(), Data + PathStart, Size - PathStart);

  SATA_DRIVE_TEXT DriveText;
  SATA_STATUS_TEXT StatusText;
  std::memset(DriveText, 'x', sizeof DriveText);
  std::memset(StatusText, 'x', sizeof StatusText);
  UINTN Port = ~(UINTN)0;
  EFI_STATUS Status = ReadSataDrive(&Drive.Protocol, (const EFI_DEVICE_PATH_PROTOCOL*)Path.data(),
                                    (Drive.Flags & PORT_NUMBER_MODE) != 0, &Port, DriveText, StatusText);

  // Identify follows a successful WhichIde only, and a failed call shows nothing.
  if (Drive.IdentifyCalls != 0 && (Drive.WhichIdeCalls != 1 || (Drive.Flags & WHICH_IDE_FAILS))) __builtin_trap();
  if (Status == EFI_SUCCESS) {
    if (Drive.Flags & (WHICH_IDE_FAILS | IDENTIFY_FAILS)) __builtin_trap();
    if (Port >= SATA_PORT_COUNT) __builtin_trap();
    if (!Terminated(DriveText, sizeof DriveText) || !Terminated(StatusText, sizeof StatusText)) __builtin_trap();
    const std::string S(StatusText);
    if (S != "SUPPORTED" && S != "NOT SUPPORTED" && S != "  N/A  ") __builtin_trap();
  } else if (Port != ~(UINTN)0) {
    __builtin_trap();
  }

  // The same IDENTIFY bytes through the capacity rule alone.
  const SATA_CAPACITY Capacity = SataCapacity(Drive.Identify);
  if (Capacity.Tenths > 9) __builtin_trap();
  if (Capacity.Exceeds && (Capacity.Whole != 18446744073ull || Capacity.Tenths != 7)) __builtin_trap();
  return 0;
}
