// The USB section of the Advanced form set: the USB support version, one
// line counting the attached devices by kind, and the names of up to
// sixteen mass-storage devices, all as the platform's USB driver reports
// them; and byte 1 of UsbMassDevNum cleared each time the page is prepared.
#pragma once

#include "platform/usb_support.h"
#include "setupinfo/pages/devices/usb_devices_state.h"
#include "uefi/hii.h"

// Page-string initialiser, slot 13; acts for class 4 only.
VOID EFIAPI InitUsbDevicePage(EFI_HII_HANDLE HiiHandle, UINT16 Class);

constexpr UINT16 STR_USB_SUPPORT_VERSION = 2155;
constexpr UINT16 STR_USB_DEVICE_SUMMARY = 2092;
constexpr UINT16 STR_USB_MASS_DEVICE_FIRST = 2124;  // devices 1 to 16: 2124 to 2139
constexpr UINTN USB_MASS_DEVICE_ROWS = 16;

// The summary line, in characters: 79 and the terminator.
constexpr UINTN USB_SUMMARY_CHARS = 80;

// Builds the summary line from the counts: six blanks, then each kind with
// a count worth listing, or "None". Longer lines are cut at 79 characters.
// Returns the line's length.
UINTN BuildUsbSummaryLine(const USB_DEVICE_COUNTS& Counts, CHAR16 (&Line)[USB_SUMMARY_CHARS]);

// Asks the driver for device Index's name into Name, zeroed first so that a
// short unterminated answer leaves no stale bytes. Returns the answer.
UINT8 AskMassDeviceName(USB_SUPPORT_PROTOCOL::GetMassDeviceNameFn GetName, UINT8 Index,
                        CHAR8 (&Name)[USB_MASS_NAME_BYTES]);
