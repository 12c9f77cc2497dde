#include "setupinfo/pages/board/south_bridge_facts.h"

#include "lib/pool_buffer.h"
#include "lib/text_format.h"
#include "lib/util.h"

namespace {

// Searched in this order; the first equal device ID wins.
constexpr PCH_NAME PchNames[] = {
    {0x8C42, "DT Full Sku"},        {0x8C44, "Z87"},
    {0x8C46, "Z85"},                {0x8C4A, "H87"},
    {0x8C4C, "Q85"},                {0x8C4E, "Q87"},
    {0x8C50, "B85"},                {0x8C5C, "H81"},
    {0x8C41, "MB Full Sku"},        {0x8C49, "HM86"},
    {0x8C4B, "HM87"},               {0x8C4F, "QM87"},
    {0x8C52, "C222"},               {0x8C54, "C224"},
    {0x8C56, "C226"},               {0x8CC2, "DT Super Sku"},
    {0x8CC4, "Z97"},                {0x8CC6, "H97"},
    {0x8CC1, "MB Super Sku"},       {0x8CC3, "HM97"},
    {0x8CC5, "QM97"},               {0x9C41, "MB LP Full SKU"},
    {0x9C43, "Premium SKU"},        {0x9C45, "Mainstream SKU"},
    {0x9C47, "Value SKU"},          {0x9CC1, "Full SKU(HSW-U)"},
    {0x9CC2, "Full SKU(BDW-U)"},    {0x9CC3, "Premium SKU(BDW-U)"},
    {0x9CC5, "Base SKU(BDW-U)"},    {0x9CC6, "Full SKU(BDW-Y)"},
    {0x9CC7, "Premium SKU(BDW-Y)"}, {0x9CC9, "Base SKU(BDW-Y)"},
};
static_assert(ArrayCount(PchNames) == 32);

struct PCH_STEPPING {
  const CHAR8* Standard;
  const CHAR8* LowPower;
};
// Indexed by the revision byte.
constexpr PCH_STEPPING PchSteppings[] = {
    {"00/A0", "00/A0"}, {"01/A1", "01/A1"}, {"02/B0", "02/B0"},
    {"03/C0", "03/B1"}, {"04/C1", "04/B2"}, {"05/C2", "05/C0"},
};

constexpr UINTN NODE_HEADER = sizeof(EFI_DEVICE_PATH_PROTOCOL);

// IDENTIFY words used here.
constexpr UINTN ID_GENERAL = 0;         // bit 15: packet (ATAPI) device
constexpr UINTN ID_MODEL = 27;          // words 27-46
constexpr UINTN ID_SECTORS_28 = 60;     // words 60-61
constexpr UINTN ID_SATA_CAPABILITIES = 76;
constexpr UINTN ID_SATA_FEATURES = 78;  // bit 6: software settings preservation
constexpr UINTN ID_COMMAND_SET_2 = 83;  // bit 10: 48-bit addressing
constexpr UINTN ID_SECTORS_48 = 100;    // words 100-103
constexpr UINTN ID_SECTOR_SIZE = 106;   // bits 15:14 = 01 valid, bit 12: logical sector above 256 words
constexpr UINTN ID_LOGICAL_WORDS = 117; // words 117-118: words per logical sector

UINT16 Word(const UINT8* Identify, UINTN Index) { return ReadLe16(Identify + 2 * Index); }

constexpr UINT64 BYTES_PER_GB = 1000000000ull;
constexpr UINT64 BYTES_PER_TENTH = 100000000ull;

}  // namespace

const CHAR8* PchName(UINT16 DeviceId) {
  for (const PCH_NAME& Row : PchNames)
    if (Row.DeviceId == DeviceId) return Row.Name;
  return nullptr;
}

const CHAR8* PchSteppingText(UINT8 Revision, bool LowPower) {
  if (Revision >= ArrayCount(PchSteppings)) return "Unknown";
  return LowPower ? PchSteppings[Revision].LowPower : PchSteppings[Revision].Standard;
}

bool FindPciNode(const EFI_DEVICE_PATH_PROTOCOL* Path, PCI_NODE* Node) {
  if (Path == nullptr) return false;
  const EFI_DEVICE_PATH_PROTOCOL* Cursor = Path;
  for (UINTN Walked = 0; Walked < DEVICE_PATH_NODE_LIMIT; ++Walked) {
    if (Cursor->Type == END_DEVICE_PATH_TYPE || Cursor->Type == 0xFF) return false;
    const UINT16 Length = DevicePathNodeLength(Cursor);
    // A Length below the header would stall the walk on this node.
    if (Length < NODE_HEADER) return false;
    if (Cursor->Type == HARDWARE_DEVICE_PATH && Cursor->SubType == HW_PCI_DP) {
      if (Length < PCI_NODE_LENGTH) return false;
      const UINT8* Bytes = (const UINT8*)Cursor;
      Node->Function = Bytes[4];
      Node->Device = Bytes[5];
      return true;
    }
    Cursor = (const EFI_DEVICE_PATH_PROTOCOL*)((const UINT8*)Cursor + Length);
  }
  return false;
}

UINT64 SataPortIndex(bool PortNumberMode, UINT32 Channel, UINT32 Device, UINT8 Function) {
  if (PortNumberMode) return Channel;
  UINT64 Index = (UINT64)Device + 2 * (UINT64)Channel;
  if (Index == 1)
    Index = 2;
  else if (Index == 2)
    Index = 1;
  if (Function == 5) Index += 4;
  return Index;
}

void SataModelText(const UINT8* Identify, CHAR8 (&Model)[SATA_MODEL_BUFFER]) {
  for (CHAR8& Ch : Model) Ch = 0;
  const UINT8* Source = Identify + 2 * ID_MODEL;
  for (UINTN i = 0; i + 1 < SATA_MODEL_BUFFER - 1; i += 2) {
    Model[i] = (CHAR8)Source[i + 1];
    Model[i + 1] = (CHAR8)Source[i];
  }
}

SATA_CAPACITY SataCapacity(const UINT8* Identify) {
  UINT64 Sectors;
  if ((Word(Identify, ID_COMMAND_SET_2) & (1u << 10)) != 0) {
    Sectors = 0;
    for (UINTN i = 0; i < 4; ++i) Sectors |= (UINT64)Word(Identify, ID_SECTORS_48 + i) << (16 * i);
  } else {
    Sectors = (UINT64)Word(Identify, ID_SECTORS_28) | ((UINT64)Word(Identify, ID_SECTORS_28 + 1) << 16);
  }

  UINT64 SectorBytes = 512;
  const UINT16 SizeWord = Word(Identify, ID_SECTOR_SIZE);
  if ((SizeWord & 0xD000) == 0x5000)
    SectorBytes = 2 * (((UINT64)Word(Identify, ID_LOGICAL_WORDS + 1) << 16) | Word(Identify, ID_LOGICAL_WORDS));

  // Up to 2^64 - 1 sectors of up to 2^33 bytes: the product can pass 64
  // bits, and a wrapped figure would show a small drive. Such a capacity is
  // shown as "more than the largest 64-bit byte count".
  UINT64 Bytes = 0;
  const bool Exceeds = __builtin_mul_overflow(Sectors, SectorBytes, &Bytes);
  if (Exceeds) Bytes = ~0ull;
  return SATA_CAPACITY{Bytes / BYTES_PER_GB, (UINT8)((Bytes % BYTES_PER_GB) / BYTES_PER_TENTH), Exceeds};
}

void DescribeSataDrive(const UINT8* Identify, SATA_DRIVE_TEXT& DriveText, SATA_STATUS_TEXT& StatusText) {
  CHAR8 Model[SATA_MODEL_BUFFER];
  SataModelText(Identify, Model);

  // The model is outside text: an argument, never a format.
  if ((Word(Identify, ID_GENERAL) & 0x8000) != 0) {
    FormatAsciiUnbounded(DriveText, "%s ATAPI", Model);
    FormatAsciiUnbounded(StatusText, "  N/A  ");
    return;
  }

  // The whole gigabytes take the 64-bit conversion: drives above 2^31 GB
  // (or claiming to be) must not show a wrapped figure.
  const SATA_CAPACITY Capacity = SataCapacity(Identify);
  FormatAsciiUnbounded(DriveText, Capacity.Exceeds ? "%s (>%ld.%dGB)" : "%s (%ld.%dGB)", Model, Capacity.Whole,
                       Capacity.Tenths);
  const bool Supported =
      Word(Identify, ID_SATA_CAPABILITIES) != 0xFFFF && (Word(Identify, ID_SATA_FEATURES) & (1u << 6)) != 0;
  FormatAsciiUnbounded(StatusText, Supported ? "SUPPORTED" : "NOT SUPPORTED");
}

EFI_STATUS ReadSataDrive(EFI_DISK_INFO_PROTOCOL* DiskInfo, const EFI_DEVICE_PATH_PROTOCOL* Path,
                         bool PortNumberMode, UINTN* PortIndex, SATA_DRIVE_TEXT& DriveText,
                         SATA_STATUS_TEXT& StatusText) {
  if (DiskInfo == nullptr || PortIndex == nullptr) return EFI_INVALID_PARAMETER;
  PCI_NODE Pci{};
  if (!FindPciNode(Path, &Pci)) return EFI_NOT_FOUND;
  if (Pci.Function != 2 && Pci.Function != 5) return EFI_NOT_FOUND;
  if (DiskInfo->WhichIde == nullptr || DiskInfo->Identify == nullptr) return EFI_UNSUPPORTED;

  // A failed WhichIde leaves channel and device unset: no port to show.
  UINT32 Channel = 0, Device = 0;
  EFI_STATUS Status = DiskInfo->WhichIde(DiskInfo, &Channel, &Device);
  if (EFI_ERROR(Status)) return Status;
  const UINT64 Index = SataPortIndex(PortNumberMode, Channel, Device, Pci.Function);
  if (Index >= SATA_PORT_COUNT) return EFI_NOT_FOUND;

  PoolBuffer<UINT8> Identify;
  if (!Identify.Allocate(ATA_IDENTIFY_DATA_SIZE)) return EFI_OUT_OF_RESOURCES;
  // A failed or short answer would show the zeroed buffer as a drive.
  UINT32 Size = ATA_IDENTIFY_DATA_SIZE;
  Status = DiskInfo->Identify(DiskInfo, Identify.Get(), &Size);
  if (EFI_ERROR(Status)) return Status;
  if (Size < ATA_IDENTIFY_DATA_SIZE) return EFI_DEVICE_ERROR;

  DescribeSataDrive(Identify.Get(), DriveText, StatusText);
  *PortIndex = (UINTN)Index;
  return EFI_SUCCESS;
}
