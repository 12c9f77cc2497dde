// Super I/O resources on the hardware monitor form set (class 0x10): the I/O
// address, interrupt and DMA channel that each Super I/O device was given,
// and the fixed version line of the class 4 form set.
#pragma once

#include "platform/super_io_device.h"
#include "uefi/hii.h"

// Page-string initialisers: slot 0 (class 4 only) and slot 1 (class 0x10 only).
VOID EFIAPI InitFixedVersionString(EFI_HII_HANDLE HiiHandle, UINT16 Class);
VOID EFIAPI InitSuperIoResourceStrings(EFI_HII_HANDLE HiiHandle, UINT16 Class);

constexpr UINT16 STR_FIXED_VERSION = 0x0AB0;

// Device types the page shows.
constexpr UINT32 SUPER_IO_TYPE_1 = 1;
constexpr UINT32 SUPER_IO_TYPE_6 = 6;
constexpr UINT32 SUPER_IO_TYPE_7 = 7;
constexpr UINT32 SUPER_IO_TYPE_12 = 12;

// Longest resource line: "IO=FFFFh; IRQ=255; DMA=255;" and its terminator.
constexpr UINTN SUPER_IO_LINE_CAPACITY = 32;

// The string and text one device's interface asks for. False when the device
// is not shown: no description record, a flag clear, or a type (or type 6
// instance) without a string.
BOOLEAN SuperIoResourceLine(const SUPER_IO_DEVICE_PROTOCOL* Device, UINT16* StringId,
                            CHAR16 (&Text)[SUPER_IO_LINE_CAPACITY]);
