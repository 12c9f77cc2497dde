#include "setupinfo/pages/board/south_bridge_page.h"

#include "lib/firmware_services.h"
#include "lib/hw/hw.h"
#include "lib/pool_buffer.h"
#include "setupinfo/core/form_set_table.h"
#include "setupinfo/core/page_strings.h"
#include "setupinfo/core/setup_record.h"
#include "setupinfo/pages/board/south_bridge_facts.h"

namespace {

SOUTH_BRIDGE_PAGE_STATE& State() { return SouthBridgePageState(); }

// Drive and status text of each port index; 0 is no string.
struct SATA_PORT_STRINGS {
  UINT16 DriveText;
  UINT16 StatusText;
};
constexpr SATA_PORT_STRINGS SataPortStrings[SATA_PORT_COUNT] = {
    {0x0249, 0x026D}, {0x024B, 0x026E}, {0x024D, 0x026F}, {0x024F, 0x0270},
    {0x0251, 0x0271}, {0x0253, 0x0272}, {0, 0},           {0, 0},
};

UINT16 ReadSataModeRegister(UINT8 Function) {
  return PhysicalRead16((UINT64)PCIE_WINDOW_BASE + ((UINT32)PCH_DEVICE << 15) + ((UINT32)Function << 12) +
                        PCH_SATA_MODE_REGISTER);
}

// Bits 7:6 of the mode register: non-zero when ports go by port number.
bool SataPortNumberMode(bool LowPower) {
  UINT16 Mode = ReadSataModeRegister(PCH_SATA_FUNCTION);
  if (!LowPower && Mode == 0xFFFF) Mode = ReadSataModeRegister(PCH_SATA_SECOND_FUNCTION);
  return ((Mode >> 6) & 3) != 0;
}

void BuildSataPortLines(EFI_HII_HANDLE HiiHandle, bool LowPower) {
  if (gBS() == nullptr) return;
  PoolBuffer<SATA_DRIVE_TEXT> DriveText;
  PoolBuffer<SATA_STATUS_TEXT> StatusText;
  if (!DriveText.Allocate(1) || !StatusText.Allocate(1)) return;

  const bool PortNumberMode = SataPortNumberMode(LowPower);

  PoolBuffer<EFI_HANDLE> Handles;
  UINTN Count = 0;
  if (EFI_ERROR(gBS()->LocateHandleBuffer(ByProtocol, &EFI_DISK_INFO_PROTOCOL::Guid, nullptr, &Count,
                                          (EFI_HANDLE**)Handles.OutPtr())))
    return;

  for (UINTN i = 0; i < Count && Handles; ++i) {
    EFI_DISK_INFO_PROTOCOL* DiskInfo = HandleProtocol<EFI_DISK_INFO_PROTOCOL>(Handles[i]);
    const EFI_DEVICE_PATH_PROTOCOL* Path = HandleProtocol<EFI_DEVICE_PATH_PROTOCOL>(Handles[i]);
    if (DiskInfo == nullptr || Path == nullptr) continue;

    UINTN Port = 0;
    if (EFI_ERROR(ReadSataDrive(DiskInfo, Path, PortNumberMode, &Port, *DriveText.Get(), *StatusText.Get())))
      continue;
    const SATA_PORT_STRINGS& Strings = SataPortStrings[Port];
    if (Strings.DriveText != 0) SetPageString(HiiHandle, Strings.DriveText, u"%S", *DriveText.Get());
    if (Strings.StatusText != 0) SetPageString(HiiHandle, Strings.StatusText, u"%S", *StatusText.Get());
  }
}

// Byte 3 of SbPlatformData. The variable is read into its 8-byte buffer: a
// larger one does not fit, and one shorter than 4 bytes has no revision.
UINT8 ReadPchRevision() {
  if (gRT() == nullptr) return PCH_REVISION_UNKNOWN;
  UINT8 Data[SB_PLATFORM_DATA_SIZE] = {};
  UINTN Size = sizeof(Data);
  if (EFI_ERROR(gRT()->GetVariable(SB_PLATFORM_DATA_NAME, &SETUP_VARIABLE_GUID, nullptr, &Size, Data)))
    return PCH_REVISION_UNKNOWN;
  if (Size <= SB_PLATFORM_DATA_REVISION || Size > sizeof(Data)) return PCH_REVISION_UNKNOWN;
  return Data[SB_PLATFORM_DATA_REVISION];
}

}  // namespace

VOID EFIAPI InitSouthBridgePage(EFI_HII_HANDLE HiiHandle, UINT16 Class) {
  const UINT16 DeviceId = PciRead16(0, PCH_DEVICE, PCH_LPC_FUNCTION, 2);
  const bool LowPower = IsLowPowerPch(DeviceId);

  if (Class == FORM_SET_CLASS_ADVANCED) BuildSataPortLines(HiiHandle, LowPower);

  if (const SOUTH_BRIDGE_VERSION_PROTOCOL* Version = LocateOnce(State().Version))
    SetPageString(HiiHandle, STR_PCH_VERSION, u"%d.%d.%d.%d", Version->Version[3], Version->Version[2],
                  Version->Version[1], Version->Version[0]);

  if (const CHAR8* Name = PchName(DeviceId)) SetPageString(HiiHandle, STR_PCH_NAME, u"%S", Name);

  SetPageString(HiiHandle, STR_PCH_STEPPING, u"%S", PchSteppingText(ReadPchRevision(), LowPower));
}
