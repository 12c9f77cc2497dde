// Firmware Volume 2 protocol: files and sections of a firmware volume,
// with the file-type and section-type codes of the firmware file system.
#pragma once

#include "uefi/base.h"

typedef UINT64 EFI_FV_ATTRIBUTES;
typedef UINT8 EFI_FV_FILETYPE;
typedef UINT32 EFI_FV_FILE_ATTRIBUTES;
typedef UINT8 EFI_SECTION_TYPE;
typedef UINT32 EFI_FV_WRITE_POLICY;

// Volume attributes (GetVolumeAttributes / SetVolumeAttributes).
constexpr EFI_FV_ATTRIBUTES EFI_FV2_READ_DISABLE_CAP = 0x0000000000000001ull;
constexpr EFI_FV_ATTRIBUTES EFI_FV2_READ_ENABLE_CAP = 0x0000000000000002ull;
constexpr EFI_FV_ATTRIBUTES EFI_FV2_READ_STATUS = 0x0000000000000004ull;
constexpr EFI_FV_ATTRIBUTES EFI_FV2_WRITE_DISABLE_CAP = 0x0000000000000008ull;
constexpr EFI_FV_ATTRIBUTES EFI_FV2_WRITE_ENABLE_CAP = 0x0000000000000010ull;
constexpr EFI_FV_ATTRIBUTES EFI_FV2_WRITE_STATUS = 0x0000000000000020ull;
constexpr EFI_FV_ATTRIBUTES EFI_FV2_LOCK_CAP = 0x0000000000000040ull;
constexpr EFI_FV_ATTRIBUTES EFI_FV2_LOCK_STATUS = 0x0000000000000080ull;
constexpr EFI_FV_ATTRIBUTES EFI_FV2_WRITE_POLICY_RELIABLE = 0x0000000000000100ull;
constexpr EFI_FV_ATTRIBUTES EFI_FV2_READ_LOCK_CAP = 0x0000000000001000ull;
constexpr EFI_FV_ATTRIBUTES EFI_FV2_READ_LOCK_STATUS = 0x0000000000002000ull;
constexpr EFI_FV_ATTRIBUTES EFI_FV2_WRITE_LOCK_CAP = 0x0000000000004000ull;
constexpr EFI_FV_ATTRIBUTES EFI_FV2_WRITE_LOCK_STATUS = 0x0000000000008000ull;
constexpr EFI_FV_ATTRIBUTES EFI_FV2_ALIGNMENT = 0x00000000001F0000ull;

// File attributes.
constexpr EFI_FV_FILE_ATTRIBUTES EFI_FV_FILE_ATTRIB_ALIGNMENT = 0x0000001F;
constexpr EFI_FV_FILE_ATTRIBUTES EFI_FV_FILE_ATTRIB_FIXED = 0x00000100;
constexpr EFI_FV_FILE_ATTRIBUTES EFI_FV_FILE_ATTRIB_MEMORY_MAPPED = 0x00000200;

// File types.
constexpr EFI_FV_FILETYPE EFI_FV_FILETYPE_ALL = 0x00;
constexpr EFI_FV_FILETYPE EFI_FV_FILETYPE_RAW = 0x01;
constexpr EFI_FV_FILETYPE EFI_FV_FILETYPE_FREEFORM = 0x02;
constexpr EFI_FV_FILETYPE EFI_FV_FILETYPE_SECURITY_CORE = 0x03;
constexpr EFI_FV_FILETYPE EFI_FV_FILETYPE_PEI_CORE = 0x04;
constexpr EFI_FV_FILETYPE EFI_FV_FILETYPE_DXE_CORE = 0x05;
constexpr EFI_FV_FILETYPE EFI_FV_FILETYPE_PEIM = 0x06;
constexpr EFI_FV_FILETYPE EFI_FV_FILETYPE_DRIVER = 0x07;
constexpr EFI_FV_FILETYPE EFI_FV_FILETYPE_COMBINED_PEIM_DRIVER = 0x08;
constexpr EFI_FV_FILETYPE EFI_FV_FILETYPE_APPLICATION = 0x09;
constexpr EFI_FV_FILETYPE EFI_FV_FILETYPE_MM = 0x0A;
constexpr EFI_FV_FILETYPE EFI_FV_FILETYPE_FIRMWARE_VOLUME_IMAGE = 0x0B;
constexpr EFI_FV_FILETYPE EFI_FV_FILETYPE_COMBINED_MM_DXE = 0x0C;
constexpr EFI_FV_FILETYPE EFI_FV_FILETYPE_MM_CORE = 0x0D;
constexpr EFI_FV_FILETYPE EFI_FV_FILETYPE_MM_STANDALONE = 0x0E;
constexpr EFI_FV_FILETYPE EFI_FV_FILETYPE_MM_CORE_STANDALONE = 0x0F;
constexpr EFI_FV_FILETYPE EFI_FV_FILETYPE_OEM_MIN = 0xC0;
constexpr EFI_FV_FILETYPE EFI_FV_FILETYPE_OEM_MAX = 0xDF;
constexpr EFI_FV_FILETYPE EFI_FV_FILETYPE_DEBUG_MIN = 0xE0;
constexpr EFI_FV_FILETYPE EFI_FV_FILETYPE_DEBUG_MAX = 0xEF;
constexpr EFI_FV_FILETYPE EFI_FV_FILETYPE_FFS_MIN = 0xF0;
constexpr EFI_FV_FILETYPE EFI_FV_FILETYPE_FFS_MAX = 0xFF;
constexpr EFI_FV_FILETYPE EFI_FV_FILETYPE_FFS_PAD = 0xF0;

// Section types.
constexpr EFI_SECTION_TYPE EFI_SECTION_ALL = 0x00;
constexpr EFI_SECTION_TYPE EFI_SECTION_COMPRESSION = 0x01;
constexpr EFI_SECTION_TYPE EFI_SECTION_GUID_DEFINED = 0x02;
constexpr EFI_SECTION_TYPE EFI_SECTION_DISPOSABLE = 0x03;
constexpr EFI_SECTION_TYPE EFI_SECTION_PE32 = 0x10;
constexpr EFI_SECTION_TYPE EFI_SECTION_PIC = 0x11;
constexpr EFI_SECTION_TYPE EFI_SECTION_TE = 0x12;
constexpr EFI_SECTION_TYPE EFI_SECTION_DXE_DEPEX = 0x13;
constexpr EFI_SECTION_TYPE EFI_SECTION_VERSION = 0x14;
constexpr EFI_SECTION_TYPE EFI_SECTION_USER_INTERFACE = 0x15;
constexpr EFI_SECTION_TYPE EFI_SECTION_COMPATIBILITY16 = 0x16;
constexpr EFI_SECTION_TYPE EFI_SECTION_FIRMWARE_VOLUME_IMAGE = 0x17;
constexpr EFI_SECTION_TYPE EFI_SECTION_FREEFORM_SUBTYPE_GUID = 0x18;
constexpr EFI_SECTION_TYPE EFI_SECTION_RAW = 0x19;
constexpr EFI_SECTION_TYPE EFI_SECTION_PEI_DEPEX = 0x1B;
constexpr EFI_SECTION_TYPE EFI_SECTION_MM_DEPEX = 0x1C;

// Write policies.
constexpr EFI_FV_WRITE_POLICY EFI_FV_UNRELIABLE_WRITE = 0x00000000;
constexpr EFI_FV_WRITE_POLICY EFI_FV_RELIABLE_WRITE = 0x00000001;

// Authentication status bits returned by ReadFile and ReadSection.
constexpr UINT32 EFI_AUTH_STATUS_PLATFORM_OVERRIDE = 0x01;
constexpr UINT32 EFI_AUTH_STATUS_IMAGE_SIGNED = 0x02;
constexpr UINT32 EFI_AUTH_STATUS_NOT_TESTED = 0x04;
constexpr UINT32 EFI_AUTH_STATUS_TEST_FAILED = 0x08;
constexpr UINT32 EFI_AUTH_STATUS_ALL = 0x0F;

// One file of a WriteFile request.
struct EFI_FV_WRITE_FILE_DATA {
  EFI_GUID* NameGuid;
  EFI_FV_FILETYPE Type;
  EFI_FV_FILE_ATTRIBUTES FileAttributes;
  VOID* Buffer;
  UINT32 BufferSize;
};
static_assert(offsetof(EFI_FV_WRITE_FILE_DATA, Type) == 8);
static_assert(offsetof(EFI_FV_WRITE_FILE_DATA, FileAttributes) == 12);
static_assert(offsetof(EFI_FV_WRITE_FILE_DATA, Buffer) == 16);
static_assert(offsetof(EFI_FV_WRITE_FILE_DATA, BufferSize) == 24);
static_assert(sizeof(EFI_FV_WRITE_FILE_DATA) == 32);

struct EFI_FIRMWARE_VOLUME2_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x220E73B6, 0x6BDB, 0x4413, {0x84, 0x05, 0xB9, 0x74, 0xB1, 0x08, 0x61, 0x9A}};

  using GetVolumeAttributesFn = EFI_STATUS(EFIAPI*)(const EFI_FIRMWARE_VOLUME2_PROTOCOL* This,
                                                    EFI_FV_ATTRIBUTES* FvAttributes);
  using SetVolumeAttributesFn = EFI_STATUS(EFIAPI*)(const EFI_FIRMWARE_VOLUME2_PROTOCOL* This,
                                                    EFI_FV_ATTRIBUTES* FvAttributes);
  // With *Buffer null the callee allocates the buffer from pool and the caller frees it.
  using ReadFileFn = EFI_STATUS(EFIAPI*)(const EFI_FIRMWARE_VOLUME2_PROTOCOL* This, const EFI_GUID* NameGuid,
                                         VOID** Buffer, UINTN* BufferSize, EFI_FV_FILETYPE* FoundType,
                                         EFI_FV_FILE_ATTRIBUTES* FileAttributes, UINT32* AuthenticationStatus);
  using ReadSectionFn = EFI_STATUS(EFIAPI*)(const EFI_FIRMWARE_VOLUME2_PROTOCOL* This, const EFI_GUID* NameGuid,
                                            EFI_SECTION_TYPE SectionType, UINTN SectionInstance, VOID** Buffer,
                                            UINTN* BufferSize, UINT32* AuthenticationStatus);
  using WriteFileFn = EFI_STATUS(EFIAPI*)(const EFI_FIRMWARE_VOLUME2_PROTOCOL* This, UINT32 NumberOfFiles,
                                          EFI_FV_WRITE_POLICY WritePolicy, EFI_FV_WRITE_FILE_DATA* FileData);
  // Key is a caller buffer of KeySize bytes, zeroed to start the walk.
  using GetNextFileFn = EFI_STATUS(EFIAPI*)(const EFI_FIRMWARE_VOLUME2_PROTOCOL* This, VOID* Key,
                                            EFI_FV_FILETYPE* FileType, EFI_GUID* NameGuid,
                                            EFI_FV_FILE_ATTRIBUTES* Attributes, UINTN* Size);
  using GetInfoFn = EFI_STATUS(EFIAPI*)(const EFI_FIRMWARE_VOLUME2_PROTOCOL* This, const EFI_GUID* InformationType,
                                        UINTN* BufferSize, VOID* Buffer);
  using SetInfoFn = EFI_STATUS(EFIAPI*)(const EFI_FIRMWARE_VOLUME2_PROTOCOL* This, const EFI_GUID* InformationType,
                                        UINTN BufferSize, const VOID* Buffer);

  GetVolumeAttributesFn GetVolumeAttributes;
  SetVolumeAttributesFn SetVolumeAttributes;
  ReadFileFn ReadFile;
  ReadSectionFn ReadSection;
  WriteFileFn WriteFile;
  GetNextFileFn GetNextFile;
  UINT32 KeySize;
  EFI_HANDLE ParentHandle;
  GetInfoFn GetInfo;
  SetInfoFn SetInfo;
};
static_assert(offsetof(EFI_FIRMWARE_VOLUME2_PROTOCOL, ReadFile) == 16);
static_assert(offsetof(EFI_FIRMWARE_VOLUME2_PROTOCOL, ReadSection) == 24);
static_assert(offsetof(EFI_FIRMWARE_VOLUME2_PROTOCOL, GetNextFile) == 40);
static_assert(offsetof(EFI_FIRMWARE_VOLUME2_PROTOCOL, KeySize) == 48);
static_assert(offsetof(EFI_FIRMWARE_VOLUME2_PROTOCOL, ParentHandle) == 56);
static_assert(offsetof(EFI_FIRMWARE_VOLUME2_PROTOCOL, GetInfo) == 64);
static_assert(offsetof(EFI_FIRMWARE_VOLUME2_PROTOCOL, SetInfo) == 72);
static_assert(sizeof(EFI_FIRMWARE_VOLUME2_PROTOCOL) == 80);
