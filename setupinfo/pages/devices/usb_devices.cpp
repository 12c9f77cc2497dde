#include "setupinfo/pages/devices/usb_devices.h"

#include "lib/firmware_services.h"
#include "lib/text_format.h"
#include "setupinfo/core/page_strings.h"

namespace {

constexpr UINT16 ADVANCED_CLASS = 4;
// The blanks the line starts with; kinds are written after them.
constexpr UINTN SUMMARY_INDENT = 6;
// Counts from here on are the driver's "unknown", not a number of devices.
constexpr UINT8 COUNT_LIMIT = 127;

struct USB_KIND {
  UINT8 USB_DEVICE_COUNTS::*Count;
  const CHAR16* One;
  const CHAR16* Many;  // with the plural already in it
  bool AnyCount;       // listed for every non-zero count
};

// Listing order of the line.
constexpr USB_KIND SummaryKinds[] = {
    {&USB_DEVICE_COUNTS::Drives, u"Drive", u"Drives", false},
    {&USB_DEVICE_COUNTS::Keyboards, u"Keyboard", u"Keyboards", false},
    {&USB_DEVICE_COUNTS::Mice, u"Mouse", u"Mice", false},
    {&USB_DEVICE_COUNTS::Points, u"Point", u"Points", false},
    {&USB_DEVICE_COUNTS::Hubs, u"Hub", u"Hubs", false},
    {&USB_DEVICE_COUNTS::SmartCardReaders, u"SmartCard Reader", u"SmartCard Readers", true},
};

USB_DEVICES_STATE& State() { return UsbDevicesState(); }

// Clears byte 1 of the USB driver's variable. False when it cannot be read,
// which ends the page.
bool ClearMassDevNumByte1() {
  if (gRT() == nullptr) return false;
  UINT8 Bytes[USB_MASS_DEV_NUM_SIZE] = {};
  UINTN Size = sizeof(Bytes);
  if (EFI_ERROR(gRT()->GetVariable(USB_MASS_DEV_NUM_NAME, &SETUP_VARIABLE_GUID, nullptr, &Size, Bytes))) return false;
  if (Size > sizeof(Bytes)) return false;
  Bytes[1] = 0;
  // Written back as long as it was read; byte 0 stays the driver's.
  gRT()->SetVariable(USB_MASS_DEV_NUM_NAME, &SETUP_VARIABLE_GUID, USB_MASS_DEV_NUM_ATTRIBUTES, Size, Bytes);
  return true;
}

void SetMassDeviceNames(EFI_HII_HANDLE HiiHandle, USB_SUPPORT_PROTOCOL::GetMassDeviceNameFn GetName) {
  if (GetName == nullptr) return;
  CHAR8 Name[USB_MASS_NAME_BYTES];
  UINT8 Index = 0;
  for (UINTN n = 0; n < USB_MASS_DEVICE_ROWS; ++n) {
    const UINT8 Answer = AskMassDeviceName(GetName, Index, Name);
    if (Answer == USB_NO_DEVICE) return;
    // A full answer has no terminator: the name is its 48 bytes at most.
    SetPageText(HiiHandle, (UINT16)(STR_USB_MASS_DEVICE_FIRST + n), Name, USB_MASS_NAME_BYTES);
    if (Answer & USB_LAST_DEVICE) return;
    Index = Answer;
  }
}

}  // namespace

UINTN BuildUsbSummaryLine(const USB_DEVICE_COUNTS& Counts, CHAR16 (&Line)[USB_SUMMARY_CHARS]) {
  __builtin_memset(Line, 0, sizeof(Line));
  UINTN Length = FormatWide(Line, USB_SUMMARY_CHARS, u"      None");
  UINTN Position = SUMMARY_INDENT;
  bool Listed = false;
  for (const USB_KIND& Kind : SummaryKinds) {
    const UINT8 Count = Counts.*Kind.Count;
    if (Count == 0 || (!Kind.AnyCount && Count >= COUNT_LIMIT)) continue;
    // Whatever no longer fits is cut; the terminator always does.
    Position += FormatWide(Line + Position, USB_SUMMARY_CHARS - Position, u"%s%d %s", Listed ? u", " : u"",
                           (UINT32)Count, Count > 1 ? Kind.Many : Kind.One);
    Length = Position;
    Listed = true;
    if (Position >= USB_SUMMARY_CHARS - 1) break;
  }
  return Length;
}

UINT8 AskMassDeviceName(USB_SUPPORT_PROTOCOL::GetMassDeviceNameFn GetName, UINT8 Index,
                        CHAR8 (&Name)[USB_MASS_NAME_BYTES]) {
  __builtin_memset(Name, 0, sizeof(Name));
  return GetName(Name, USB_MASS_NAME_BYTES, Index);
}

VOID EFIAPI InitUsbDevicePage(EFI_HII_HANDLE HiiHandle, UINT16 Class) {
  if (Class != ADVANCED_CLASS) return;
  SetPageString(HiiHandle, STR_USB_SUPPORT_VERSION, u"%d.%02d.%02d", 8, 10, 29);

  if (!ClearMassDevNumByte1()) return;

  USB_SUPPORT_PROTOCOL* Usb = LocateOnce(State().UsbSupport);
  if (Usb == nullptr) return;

  if (Usb->GetDeviceCounts != nullptr) {
    // Zeroed first: a driver that fills nothing shows "None", not the stack.
    USB_DEVICE_COUNTS Counts = {};
    Usb->GetDeviceCounts(&Counts);
    CHAR16 Line[USB_SUMMARY_CHARS];
    BuildUsbSummaryLine(Counts, Line);
    SetPageString(HiiHandle, STR_USB_DEVICE_SUMMARY, u"%s", (const CHAR16*)Line);
  }

  SetMassDeviceNames(HiiHandle, Usb->GetMassDeviceName);
}
