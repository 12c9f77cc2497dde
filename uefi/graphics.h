// Graphics Output protocol and the EDID protocols of a video output child.
#pragma once

#include "uefi/base.h"

struct EFI_PIXEL_BITMASK {
  UINT32 RedMask;
  UINT32 GreenMask;
  UINT32 BlueMask;
  UINT32 ReservedMask;
};
static_assert(sizeof(EFI_PIXEL_BITMASK) == 16);

enum EFI_GRAPHICS_PIXEL_FORMAT : UINT32 {
  PixelRedGreenBlueReserved8BitPerColor,
  PixelBlueGreenRedReserved8BitPerColor,
  PixelBitMask,
  PixelBltOnly,
  PixelFormatMax
};

struct EFI_GRAPHICS_OUTPUT_MODE_INFORMATION {
  UINT32 Version;
  UINT32 HorizontalResolution;
  UINT32 VerticalResolution;
  EFI_GRAPHICS_PIXEL_FORMAT PixelFormat;
  EFI_PIXEL_BITMASK PixelInformation;
  UINT32 PixelsPerScanLine;
};
static_assert(offsetof(EFI_GRAPHICS_OUTPUT_MODE_INFORMATION, HorizontalResolution) == 4);
static_assert(offsetof(EFI_GRAPHICS_OUTPUT_MODE_INFORMATION, VerticalResolution) == 8);
static_assert(offsetof(EFI_GRAPHICS_OUTPUT_MODE_INFORMATION, PixelInformation) == 16);
static_assert(offsetof(EFI_GRAPHICS_OUTPUT_MODE_INFORMATION, PixelsPerScanLine) == 32);
static_assert(sizeof(EFI_GRAPHICS_OUTPUT_MODE_INFORMATION) == 36);

struct EFI_GRAPHICS_OUTPUT_PROTOCOL_MODE {
  UINT32 MaxMode;
  UINT32 Mode;
  EFI_GRAPHICS_OUTPUT_MODE_INFORMATION* Info;
  UINTN SizeOfInfo;
  EFI_PHYSICAL_ADDRESS FrameBufferBase;
  UINTN FrameBufferSize;
};
static_assert(offsetof(EFI_GRAPHICS_OUTPUT_PROTOCOL_MODE, Mode) == 4);
static_assert(offsetof(EFI_GRAPHICS_OUTPUT_PROTOCOL_MODE, Info) == 8);
static_assert(offsetof(EFI_GRAPHICS_OUTPUT_PROTOCOL_MODE, FrameBufferBase) == 24);
static_assert(sizeof(EFI_GRAPHICS_OUTPUT_PROTOCOL_MODE) == 40);

struct EFI_GRAPHICS_OUTPUT_BLT_PIXEL {
  UINT8 Blue;
  UINT8 Green;
  UINT8 Red;
  UINT8 Reserved;
};
static_assert(sizeof(EFI_GRAPHICS_OUTPUT_BLT_PIXEL) == 4);

enum EFI_GRAPHICS_OUTPUT_BLT_OPERATION : UINT32 {
  EfiBltVideoFill,
  EfiBltVideoToBltBuffer,
  EfiBltBufferToVideo,
  EfiBltVideoToVideo,
  EfiGraphicsOutputBltOperationMax
};

struct EFI_GRAPHICS_OUTPUT_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x9042A9DE, 0x23DC, 0x4A38, {0x96, 0xFB, 0x7A, 0xDE, 0xD0, 0x80, 0x51, 0x6A}};

  // Info is allocated from pool by the callee; the caller frees it.
  using QueryModeFn = EFI_STATUS(EFIAPI*)(EFI_GRAPHICS_OUTPUT_PROTOCOL* This, UINT32 ModeNumber, UINTN* SizeOfInfo,
                                          EFI_GRAPHICS_OUTPUT_MODE_INFORMATION** Info);
  using SetModeFn = EFI_STATUS(EFIAPI*)(EFI_GRAPHICS_OUTPUT_PROTOCOL* This, UINT32 ModeNumber);
  using BltFn = EFI_STATUS(EFIAPI*)(EFI_GRAPHICS_OUTPUT_PROTOCOL* This, EFI_GRAPHICS_OUTPUT_BLT_PIXEL* BltBuffer,
                                    EFI_GRAPHICS_OUTPUT_BLT_OPERATION BltOperation, UINTN SourceX, UINTN SourceY,
                                    UINTN DestinationX, UINTN DestinationY, UINTN Width, UINTN Height,
                                    UINTN Delta);

  QueryModeFn QueryMode;
  SetModeFn SetMode;
  BltFn Blt;
  EFI_GRAPHICS_OUTPUT_PROTOCOL_MODE* Mode;
};
static_assert(offsetof(EFI_GRAPHICS_OUTPUT_PROTOCOL, SetMode) == 8);
static_assert(offsetof(EFI_GRAPHICS_OUTPUT_PROTOCOL, Blt) == 16);
static_assert(offsetof(EFI_GRAPHICS_OUTPUT_PROTOCOL, Mode) == 24);
static_assert(sizeof(EFI_GRAPHICS_OUTPUT_PROTOCOL) == 32);

// EDID as read from the display, on each video output child handle.
struct EFI_EDID_DISCOVERED_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x1C0C34F6, 0xD380, 0x41FA, {0xA0, 0x49, 0x8A, 0xD0, 0x6C, 0x1A, 0x66, 0xAA}};
  UINT32 SizeOfEdid;
  UINT8* Edid;
};
static_assert(offsetof(EFI_EDID_DISCOVERED_PROTOCOL, Edid) == 8);
static_assert(sizeof(EFI_EDID_DISCOVERED_PROTOCOL) == 16);

// EDID in use (after any override), on the output that is actively displaying.
struct EFI_EDID_ACTIVE_PROTOCOL {
  static constexpr EFI_GUID Guid = {0xBD8C1056, 0x9F36, 0x44EC, {0x92, 0xA8, 0xA6, 0x33, 0x7F, 0x81, 0x79, 0x86}};
  UINT32 SizeOfEdid;
  UINT8* Edid;
};
static_assert(offsetof(EFI_EDID_ACTIVE_PROTOCOL, Edid) == 8);
static_assert(sizeof(EFI_EDID_ACTIVE_PROTOCOL) == 16);
