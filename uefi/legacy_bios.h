// Legacy BIOS protocol of the compatibility support module: real-mode
// interrupt and far-call thunks into the 16-bit BIOS, option-ROM and BBS services.
#pragma once

#include "uefi/base.h"

// Register image handed to and returned from a real-mode thunk, seen as
// 32-bit, 16-bit or 8-bit registers.
struct EFI_DWORD_REGS {
  UINT32 EAX;
  UINT32 EBX;
  UINT32 ECX;
  UINT32 EDX;
  UINT32 ESI;
  UINT32 EDI;
  UINT32 EFlags;
  UINT16 ES;
  UINT16 CS;
  UINT16 SS;
  UINT16 DS;
  UINT16 FS;
  UINT16 GS;
  UINT32 EBP;
  UINT32 ESP;
};
static_assert(offsetof(EFI_DWORD_REGS, EFlags) == 24);
static_assert(offsetof(EFI_DWORD_REGS, ES) == 28);
static_assert(offsetof(EFI_DWORD_REGS, EBP) == 40);
static_assert(sizeof(EFI_DWORD_REGS) == 48);

struct EFI_WORD_REGS {
  UINT16 AX;
  UINT16 ReservedAX;
  UINT16 BX;
  UINT16 ReservedBX;
  UINT16 CX;
  UINT16 ReservedCX;
  UINT16 DX;
  UINT16 ReservedDX;
  UINT16 SI;
  UINT16 ReservedSI;
  UINT16 DI;
  UINT16 ReservedDI;
  UINT16 Flags;
  UINT16 ReservedFlags;
  UINT16 ES;
  UINT16 CS;
  UINT16 SS;
  UINT16 DS;
  UINT16 FS;
  UINT16 GS;
  UINT16 BP;
  UINT16 ReservedBP;
  UINT16 SP;
  UINT16 ReservedSP;
};
static_assert(offsetof(EFI_WORD_REGS, BX) == 4);
static_assert(offsetof(EFI_WORD_REGS, DX) == 12);
static_assert(offsetof(EFI_WORD_REGS, Flags) == 24);
static_assert(offsetof(EFI_WORD_REGS, ES) == 28);
static_assert(sizeof(EFI_WORD_REGS) == 48);

struct EFI_BYTE_REGS {
  UINT8 AL, AH;
  UINT16 ReservedAX;
  UINT8 BL, BH;
  UINT16 ReservedBX;
  UINT8 CL, CH;
  UINT16 ReservedCX;
  UINT8 DL, DH;
  UINT16 ReservedDX;
};
static_assert(offsetof(EFI_BYTE_REGS, AH) == 1);
static_assert(offsetof(EFI_BYTE_REGS, BL) == 4);
static_assert(offsetof(EFI_BYTE_REGS, DH) == 13);
static_assert(sizeof(EFI_BYTE_REGS) == 16);

union EFI_IA32_REGISTER_SET {
  EFI_DWORD_REGS E;
  EFI_WORD_REGS X;
  EFI_BYTE_REGS H;
};
static_assert(sizeof(EFI_IA32_REGISTER_SET) == 48);

// Bits of EFlags / Flags.
constexpr UINT32 EFI_EFLAGS_CF = 0x0001;
constexpr UINT32 EFI_EFLAGS_ZF = 0x0040;

// Flags returned by CheckPciRom.
constexpr UINTN LEGACY_BIOS_NO_ROM = 0x00;
constexpr UINTN LEGACY_BIOS_ROM_FOUND = 0x01;
constexpr UINTN LEGACY_BIOS_VALID_LEGACY_ROM = 0x02;

// Bit field byte passed by value to BootUnconventionalDevice.
struct UDC_ATTRIBUTES {
  UINT8 Bits;  // bit 0 directory service valid, bit 1 RABCA used, bit 2 run HDD diagnostics
};
static_assert(sizeof(UDC_ATTRIBUTES) == 1);

// Tables owned by the compatibility module; only pointers to them cross this interface.
struct HDD_INFO;
struct BBS_TABLE;
struct BBS_BBS_DEVICE_PATH;

struct EFI_LEGACY_BIOS_PROTOCOL {
  static constexpr EFI_GUID Guid = {0xDB9A1E3D, 0x45CB, 0x4ABB, {0x85, 0x3B, 0xE5, 0x38, 0x7F, 0xDB, 0x2E, 0x2D}};

  // Both thunks return TRUE when the BIOS code came back with the carry flag set (an error).
  using Int86Fn = BOOLEAN(EFIAPI*)(EFI_LEGACY_BIOS_PROTOCOL* This, UINT8 BiosInt, EFI_IA32_REGISTER_SET* Regs);
  using FarCall86Fn = BOOLEAN(EFIAPI*)(EFI_LEGACY_BIOS_PROTOCOL* This, UINT16 Segment, UINT16 Offset,
                                       EFI_IA32_REGISTER_SET* Regs, VOID* Stack, UINTN StackSize);
  using CheckPciRomFn = EFI_STATUS(EFIAPI*)(EFI_LEGACY_BIOS_PROTOCOL* This, EFI_HANDLE PciHandle, VOID** RomImage,
                                            UINTN* RomSize, UINTN* Flags);
  using InstallPciRomFn = EFI_STATUS(EFIAPI*)(EFI_LEGACY_BIOS_PROTOCOL* This, EFI_HANDLE PciHandle,
                                              VOID** RomImage, UINTN* Flags, UINT8* DiskStart, UINT8* DiskEnd,
                                              VOID** RomShadowAddress, UINT32* ShadowedRomSize);
  using LegacyBootFn = EFI_STATUS(EFIAPI*)(EFI_LEGACY_BIOS_PROTOCOL* This, BBS_BBS_DEVICE_PATH* BootOption,
                                           UINT32 LoadOptionsSize, VOID* LoadOptions);
  using UpdateKeyboardLedStatusFn = EFI_STATUS(EFIAPI*)(EFI_LEGACY_BIOS_PROTOCOL* This, UINT8 Leds);
  using GetBbsInfoFn = EFI_STATUS(EFIAPI*)(EFI_LEGACY_BIOS_PROTOCOL* This, UINT16* HddCount, HDD_INFO** HddInfo,
                                           UINT16* BbsCount, BBS_TABLE** BbsTable);
  using ShadowAllLegacyOpromsFn = EFI_STATUS(EFIAPI*)(EFI_LEGACY_BIOS_PROTOCOL* This);
  using PrepareToBootEfiFn = EFI_STATUS(EFIAPI*)(EFI_LEGACY_BIOS_PROTOCOL* This, UINT16* BbsCount,
                                                 BBS_TABLE** BbsTable);
  using GetLegacyRegionFn = EFI_STATUS(EFIAPI*)(EFI_LEGACY_BIOS_PROTOCOL* This, UINTN LegacyMemorySize,
                                                UINTN Region, UINTN Alignment, VOID** LegacyMemoryAddress);
  using CopyLegacyRegionFn = EFI_STATUS(EFIAPI*)(EFI_LEGACY_BIOS_PROTOCOL* This, UINTN LegacyMemorySize,
                                                 VOID* LegacyMemoryAddress, VOID* LegacyMemorySourceAddress);
  using BootUnconventionalDeviceFn = EFI_STATUS(EFIAPI*)(EFI_LEGACY_BIOS_PROTOCOL* This, UDC_ATTRIBUTES Attributes,
                                                         UINTN BbsEntry, VOID* BeerData, VOID* ServiceAreaData);

  Int86Fn Int86;
  FarCall86Fn FarCall86;
  CheckPciRomFn CheckPciRom;
  InstallPciRomFn InstallPciRom;
  LegacyBootFn LegacyBoot;
  UpdateKeyboardLedStatusFn UpdateKeyboardLedStatus;
  GetBbsInfoFn GetBbsInfo;
  ShadowAllLegacyOpromsFn ShadowAllLegacyOproms;
  PrepareToBootEfiFn PrepareToBootEfi;
  GetLegacyRegionFn GetLegacyRegion;
  CopyLegacyRegionFn CopyLegacyRegion;
  BootUnconventionalDeviceFn BootUnconventionalDevice;
};
static_assert(offsetof(EFI_LEGACY_BIOS_PROTOCOL, Int86) == 0);
static_assert(offsetof(EFI_LEGACY_BIOS_PROTOCOL, FarCall86) == 8);
static_assert(offsetof(EFI_LEGACY_BIOS_PROTOCOL, LegacyBoot) == 32);
static_assert(offsetof(EFI_LEGACY_BIOS_PROTOCOL, GetBbsInfo) == 48);
static_assert(offsetof(EFI_LEGACY_BIOS_PROTOCOL, GetLegacyRegion) == 72);
static_assert(offsetof(EFI_LEGACY_BIOS_PROTOCOL, BootUnconventionalDevice) == 88);
static_assert(sizeof(EFI_LEGACY_BIOS_PROTOCOL) == 96);
