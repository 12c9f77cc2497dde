// PCI I/O protocol and the configuration-header offsets the pages read.
#pragma once

#include "uefi/base.h"

enum EFI_PCI_IO_PROTOCOL_WIDTH : UINT32 {
  EfiPciIoWidthUint8,
  EfiPciIoWidthUint16,
  EfiPciIoWidthUint32,
  EfiPciIoWidthUint64,
  EfiPciIoWidthFifoUint8,
  EfiPciIoWidthFifoUint16,
  EfiPciIoWidthFifoUint32,
  EfiPciIoWidthFifoUint64,
  EfiPciIoWidthFillUint8,
  EfiPciIoWidthFillUint16,
  EfiPciIoWidthFillUint32,
  EfiPciIoWidthFillUint64,
  EfiPciIoWidthMaximum
};

enum EFI_PCI_IO_PROTOCOL_OPERATION : UINT32 {
  EfiPciIoOperationBusMasterRead,
  EfiPciIoOperationBusMasterWrite,
  EfiPciIoOperationBusMasterCommonBuffer,
  EfiPciIoOperationMaximum
};

enum EFI_PCI_IO_PROTOCOL_ATTRIBUTE_OPERATION : UINT32 {
  EfiPciIoAttributeOperationGet,
  EfiPciIoAttributeOperationSet,
  EfiPciIoAttributeOperationEnable,
  EfiPciIoAttributeOperationDisable,
  EfiPciIoAttributeOperationSupported,
  EfiPciIoAttributeOperationMaximum
};

// Attribute bits for Attributes() and SetBarAttributes().
constexpr UINT64 EFI_PCI_IO_ATTRIBUTE_ISA_MOTHERBOARD_IO = 0x0001;
constexpr UINT64 EFI_PCI_IO_ATTRIBUTE_ISA_IO = 0x0002;
constexpr UINT64 EFI_PCI_IO_ATTRIBUTE_VGA_PALETTE_IO = 0x0004;
constexpr UINT64 EFI_PCI_IO_ATTRIBUTE_VGA_MEMORY = 0x0008;
constexpr UINT64 EFI_PCI_IO_ATTRIBUTE_VGA_IO = 0x0010;
constexpr UINT64 EFI_PCI_IO_ATTRIBUTE_IDE_PRIMARY_IO = 0x0020;
constexpr UINT64 EFI_PCI_IO_ATTRIBUTE_IDE_SECONDARY_IO = 0x0040;
constexpr UINT64 EFI_PCI_IO_ATTRIBUTE_MEMORY_WRITE_COMBINE = 0x0080;
constexpr UINT64 EFI_PCI_IO_ATTRIBUTE_IO = 0x0100;
constexpr UINT64 EFI_PCI_IO_ATTRIBUTE_MEMORY = 0x0200;
constexpr UINT64 EFI_PCI_IO_ATTRIBUTE_BUS_MASTER = 0x0400;
constexpr UINT64 EFI_PCI_IO_ATTRIBUTE_MEMORY_CACHED = 0x0800;
constexpr UINT64 EFI_PCI_IO_ATTRIBUTE_MEMORY_DISABLE = 0x1000;
constexpr UINT64 EFI_PCI_IO_ATTRIBUTE_EMBEDDED_DEVICE = 0x2000;
constexpr UINT64 EFI_PCI_IO_ATTRIBUTE_EMBEDDED_ROM = 0x4000;
constexpr UINT64 EFI_PCI_IO_ATTRIBUTE_DUAL_ADDRESS_CYCLE = 0x8000;
constexpr UINT64 EFI_PCI_IO_ATTRIBUTE_ISA_IO_16 = 0x10000;
constexpr UINT64 EFI_PCI_IO_ATTRIBUTE_VGA_PALETTE_IO_16 = 0x20000;
constexpr UINT64 EFI_PCI_IO_ATTRIBUTE_VGA_IO_16 = 0x40000;

// BarIndex value that addresses no BAR (the address is used as given).
constexpr UINT8 EFI_PCI_IO_PASS_THROUGH_BAR = 0xFF;

struct EFI_PCI_IO_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x4CF5B200, 0x68B8, 0x4CA5, {0x9E, 0xEC, 0xB2, 0x3E, 0x3F, 0x50, 0x02, 0x9A}};

  using PollIoMemFn = EFI_STATUS(EFIAPI*)(EFI_PCI_IO_PROTOCOL* This, EFI_PCI_IO_PROTOCOL_WIDTH Width, UINT8 BarIndex,
                                          UINT64 Offset, UINT64 Mask, UINT64 Value, UINT64 Delay, UINT64* Result);
  using IoMemFn = EFI_STATUS(EFIAPI*)(EFI_PCI_IO_PROTOCOL* This, EFI_PCI_IO_PROTOCOL_WIDTH Width, UINT8 BarIndex,
                                      UINT64 Offset, UINTN Count, VOID* Buffer);
  using ConfigFn = EFI_STATUS(EFIAPI*)(EFI_PCI_IO_PROTOCOL* This, EFI_PCI_IO_PROTOCOL_WIDTH Width, UINT32 Offset,
                                       UINTN Count, VOID* Buffer);
  using CopyMemFn = EFI_STATUS(EFIAPI*)(EFI_PCI_IO_PROTOCOL* This, EFI_PCI_IO_PROTOCOL_WIDTH Width,
                                        UINT8 DestBarIndex, UINT64 DestOffset, UINT8 SrcBarIndex, UINT64 SrcOffset,
                                        UINTN Count);
  using MapFn = EFI_STATUS(EFIAPI*)(EFI_PCI_IO_PROTOCOL* This, EFI_PCI_IO_PROTOCOL_OPERATION Operation,
                                    VOID* HostAddress, UINTN* NumberOfBytes, EFI_PHYSICAL_ADDRESS* DeviceAddress,
                                    VOID** Mapping);
  using UnmapFn = EFI_STATUS(EFIAPI*)(EFI_PCI_IO_PROTOCOL* This, VOID* Mapping);
  using AllocateBufferFn = EFI_STATUS(EFIAPI*)(EFI_PCI_IO_PROTOCOL* This, EFI_ALLOCATE_TYPE Type,
                                               EFI_MEMORY_TYPE MemoryType, UINTN Pages, VOID** HostAddress,
                                               UINT64 Attributes);
  using FreeBufferFn = EFI_STATUS(EFIAPI*)(EFI_PCI_IO_PROTOCOL* This, UINTN Pages, VOID* HostAddress);
  using FlushFn = EFI_STATUS(EFIAPI*)(EFI_PCI_IO_PROTOCOL* This);
  using GetLocationFn = EFI_STATUS(EFIAPI*)(EFI_PCI_IO_PROTOCOL* This, UINTN* SegmentNumber, UINTN* BusNumber,
                                            UINTN* DeviceNumber, UINTN* FunctionNumber);
  using AttributesFn = EFI_STATUS(EFIAPI*)(EFI_PCI_IO_PROTOCOL* This,
                                           EFI_PCI_IO_PROTOCOL_ATTRIBUTE_OPERATION Operation, UINT64 Attributes,
                                           UINT64* Result);
  // Resources receives ACPI address-space descriptors in pool memory.
  using GetBarAttributesFn = EFI_STATUS(EFIAPI*)(EFI_PCI_IO_PROTOCOL* This, UINT8 BarIndex, UINT64* Supports,
                                                 VOID** Resources);
  using SetBarAttributesFn = EFI_STATUS(EFIAPI*)(EFI_PCI_IO_PROTOCOL* This, UINT64 Attributes, UINT8 BarIndex,
                                                 UINT64* Offset, UINT64* Length);

  struct ACCESS {
    IoMemFn Read;
    IoMemFn Write;
  };
  struct CONFIG_ACCESS {
    ConfigFn Read;
    ConfigFn Write;
  };

  PollIoMemFn PollMem;
  PollIoMemFn PollIo;
  ACCESS Mem;
  ACCESS Io;
  CONFIG_ACCESS Pci;
  CopyMemFn CopyMem;
  MapFn Map;
  UnmapFn Unmap;
  AllocateBufferFn AllocateBuffer;
  FreeBufferFn FreeBuffer;
  FlushFn Flush;
  GetLocationFn GetLocation;
  AttributesFn Attributes;
  GetBarAttributesFn GetBarAttributes;
  SetBarAttributesFn SetBarAttributes;
  UINT64 RomSize;
  VOID* RomImage;
};
static_assert(sizeof(EFI_PCI_IO_PROTOCOL::ACCESS) == 16);
static_assert(sizeof(EFI_PCI_IO_PROTOCOL::CONFIG_ACCESS) == 16);
static_assert(offsetof(EFI_PCI_IO_PROTOCOL, PollIo) == 8);
static_assert(offsetof(EFI_PCI_IO_PROTOCOL, Mem) == 16);
static_assert(offsetof(EFI_PCI_IO_PROTOCOL, Io) == 32);
static_assert(offsetof(EFI_PCI_IO_PROTOCOL, Pci) == 48);
static_assert(offsetof(EFI_PCI_IO_PROTOCOL, CopyMem) == 64);
static_assert(offsetof(EFI_PCI_IO_PROTOCOL, Map) == 72);
static_assert(offsetof(EFI_PCI_IO_PROTOCOL, FreeBuffer) == 96);
static_assert(offsetof(EFI_PCI_IO_PROTOCOL, GetLocation) == 112);
static_assert(offsetof(EFI_PCI_IO_PROTOCOL, Attributes) == 120);
static_assert(offsetof(EFI_PCI_IO_PROTOCOL, SetBarAttributes) == 136);
static_assert(offsetof(EFI_PCI_IO_PROTOCOL, RomSize) == 144);
static_assert(offsetof(EFI_PCI_IO_PROTOCOL, RomImage) == 152);
static_assert(sizeof(EFI_PCI_IO_PROTOCOL) == 160);

// Type-0 configuration header offsets.
constexpr UINT32 PCI_VENDOR_ID_OFFSET = 0x00;
constexpr UINT32 PCI_DEVICE_ID_OFFSET = 0x02;
constexpr UINT32 PCI_COMMAND_OFFSET = 0x04;
constexpr UINT32 PCI_STATUS_OFFSET = 0x06;
constexpr UINT32 PCI_REVISION_ID_OFFSET = 0x08;
constexpr UINT32 PCI_CLASSCODE_OFFSET = 0x09;  // 3 bytes: interface, sub-class, base class
constexpr UINT32 PCI_PROGRAMMING_INTERFACE_OFFSET = 0x09;
constexpr UINT32 PCI_SUBCLASS_CODE_OFFSET = 0x0A;
constexpr UINT32 PCI_BASE_CLASS_CODE_OFFSET = 0x0B;
constexpr UINT32 PCI_HEADER_TYPE_OFFSET = 0x0E;
constexpr UINT32 PCI_BASE_ADDRESSREG_OFFSET = 0x10;
constexpr UINT32 PCI_SUBSYSTEM_VENDOR_ID_OFFSET = 0x2C;
constexpr UINT32 PCI_SUBSYSTEM_ID_OFFSET = 0x2E;

constexpr UINT8 PCI_CLASS_MASS_STORAGE = 0x01;
constexpr UINT8 PCI_CLASS_NETWORK = 0x02;
constexpr UINT8 PCI_CLASS_DISPLAY = 0x03;
constexpr UINT8 PCI_CLASS_BRIDGE = 0x06;
constexpr UINT8 PCI_CLASS_SERIAL = 0x0C;
constexpr UINT8 PCI_CLASS_DISPLAY_VGA = 0x00;
constexpr UINT8 PCI_CLASS_DISPLAY_OTHER = 0x80;
constexpr UINT8 PCI_CLASS_MASS_STORAGE_SATA = 0x06;
constexpr UINT8 PCI_CLASS_MASS_STORAGE_NVM = 0x08;
