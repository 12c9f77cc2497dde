#include "setupinfo/core/firmware_identity.h"

#include "lib/firmware_services.h"
#include "setupinfo/core/page_strings.h"

namespace {

constexpr CHAR16 PROJECT_TAG[] = u"Q7730";
constexpr UINT32 PROJECT_MAJOR = 2;
constexpr UINT32 PROJECT_MINOR = 0;
constexpr CHAR16 BUILD_DATE[] = u"06/13/2016";
constexpr CHAR16 BUILD_TIME[] = u"22:51:43";
constexpr CHAR16 VENDOR_FALLBACK[] = u"Orvanta";
static_assert(sizeof(PROJECT_TAG) / sizeof(CHAR16) == 6, "the project tag is five characters");

constexpr UINT16 STR_FIRMWARE_VENDOR = 0x0D;
constexpr UINT16 STR_FIRMWARE_REVISION = 0x0F;
constexpr UINT16 STR_UEFI_PI_REVISIONS = 0x11;
constexpr UINT16 STR_PROJECT_VERSION = 0x13;
constexpr UINT16 STR_BUILD_STAMP = 0x15;

// Room for a revision text, terminator included.
constexpr UINTN REVISION_TEXT_CAPACITY = 12;

// Major in the high half; the low half is ten times the minor version plus
// the errata digit, which is shown only when it is not 0. The largest
// revisions ("65535.6553.5") need one character more than the room: they are
// cut at 11 characters rather than written past it.
void RevisionText(UINT32 Revision, CHAR16 (&Text)[REVISION_TEXT_CAPACITY]) {
  const UINT32 Major = Revision >> 16;
  const UINT32 Minor = Revision & 0xFFFF;
  if (Minor % 10 != 0)
    FormatWideUnbounded(Text, u"%d.%d.%d", Major, Minor / 10, Minor % 10);
  else
    FormatWideUnbounded(Text, u"%d.%d", Major, Minor / 10);
}

}  // namespace

void SetFirmwareIdentityStrings(EFI_HII_HANDLE HiiHandle) {
  EFI_SYSTEM_TABLE* System = gST();
  if (System == nullptr) return;

  const CHAR16* Vendor = System->FirmwareVendor != nullptr ? System->FirmwareVendor : VENDOR_FALLBACK;
  SetPageString(HiiHandle, STR_FIRMWARE_VENDOR, u"%s", Vendor);

  const UINT32 Firmware = System->FirmwareRevision;
  const UINT32 Low = Firmware & 0xFFFF;
  SetPageString(HiiHandle, STR_FIRMWARE_REVISION, u"%d.%d.%d.%d", Firmware >> 16, Low / 100, (Low % 100) / 10,
                Low % 10);
  SetPageString(HiiHandle, STR_PROJECT_VERSION, u"%s %d.%02d x64", PROJECT_TAG, PROJECT_MAJOR, PROJECT_MINOR);
  SetPageString(HiiHandle, STR_BUILD_STAMP, u"%s %s", BUILD_DATE, BUILD_TIME);

  CHAR16 Uefi[REVISION_TEXT_CAPACITY];
  RevisionText(System->Hdr.Revision, Uefi);
  EFI_DXE_SERVICES* Dxe = nullptr;
  if (EFI_ERROR(GetDxeServicesTable(&Dxe)) || Dxe == nullptr) {
    // No DXE services table, so no PI revision to show: the UEFI one alone.
    SetPageString(HiiHandle, STR_UEFI_PI_REVISIONS, u"UEFI %s", Uefi);
    return;
  }
  CHAR16 Pi[REVISION_TEXT_CAPACITY];
  RevisionText(Dxe->Hdr.Revision, Pi);
  SetPageString(HiiHandle, STR_UEFI_PI_REVISIONS, u"UEFI %s; PI %s", Uefi, Pi);
}
