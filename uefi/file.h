// Simple File System and File protocols, with the file and volume
// information records read through GetInfo.
#pragma once

#include "uefi/base.h"

struct EFI_FILE_PROTOCOL;

// Open modes; CREATE is only valid together with READ | WRITE.
constexpr UINT64 EFI_FILE_MODE_READ = 0x0000000000000001ull;
constexpr UINT64 EFI_FILE_MODE_WRITE = 0x0000000000000002ull;
constexpr UINT64 EFI_FILE_MODE_CREATE = 0x8000000000000000ull;

// File attributes.
constexpr UINT64 EFI_FILE_READ_ONLY = 0x0000000000000001ull;
constexpr UINT64 EFI_FILE_HIDDEN = 0x0000000000000002ull;
constexpr UINT64 EFI_FILE_SYSTEM = 0x0000000000000004ull;
constexpr UINT64 EFI_FILE_RESERVED = 0x0000000000000008ull;
constexpr UINT64 EFI_FILE_DIRECTORY = 0x0000000000000010ull;
constexpr UINT64 EFI_FILE_ARCHIVE = 0x0000000000000020ull;
constexpr UINT64 EFI_FILE_VALID_ATTR = 0x0000000000000037ull;

struct EFI_SIMPLE_FILE_SYSTEM_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x964E5B22, 0x6459, 0x11D2, {0x8E, 0x39, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x3B}};
  static constexpr UINT64 Revision1 = 0x00010000;

  using OpenVolumeFn = EFI_STATUS(EFIAPI*)(EFI_SIMPLE_FILE_SYSTEM_PROTOCOL* This, EFI_FILE_PROTOCOL** Root);

  UINT64 Revision;
  OpenVolumeFn OpenVolume;
};
static_assert(offsetof(EFI_SIMPLE_FILE_SYSTEM_PROTOCOL, OpenVolume) == 8);
static_assert(sizeof(EFI_SIMPLE_FILE_SYSTEM_PROTOCOL) == 16);

// Request of the asynchronous (revision 2) file calls.
struct EFI_FILE_IO_TOKEN {
  EFI_EVENT Event;
  EFI_STATUS Status;
  UINTN BufferSize;
  VOID* Buffer;
};
static_assert(sizeof(EFI_FILE_IO_TOKEN) == 32);

struct EFI_FILE_PROTOCOL {
  static constexpr UINT64 Revision1 = 0x00010000;
  static constexpr UINT64 Revision2 = 0x00020000;  // adds OpenEx, ReadEx, WriteEx, FlushEx

  using OpenFn = EFI_STATUS(EFIAPI*)(EFI_FILE_PROTOCOL* This, EFI_FILE_PROTOCOL** NewHandle, const CHAR16* FileName,
                                     UINT64 OpenMode, UINT64 Attributes);
  using CloseFn = EFI_STATUS(EFIAPI*)(EFI_FILE_PROTOCOL* This);
  using DeleteFn = EFI_STATUS(EFIAPI*)(EFI_FILE_PROTOCOL* This);
  // On a directory, each Read returns one EFI_FILE_INFO; a size of 0 marks the end.
  using ReadFn = EFI_STATUS(EFIAPI*)(EFI_FILE_PROTOCOL* This, UINTN* BufferSize, VOID* Buffer);
  using WriteFn = EFI_STATUS(EFIAPI*)(EFI_FILE_PROTOCOL* This, UINTN* BufferSize, const VOID* Buffer);
  using GetPositionFn = EFI_STATUS(EFIAPI*)(EFI_FILE_PROTOCOL* This, UINT64* Position);
  using SetPositionFn = EFI_STATUS(EFIAPI*)(EFI_FILE_PROTOCOL* This, UINT64 Position);
  using GetInfoFn = EFI_STATUS(EFIAPI*)(EFI_FILE_PROTOCOL* This, const EFI_GUID* InformationType, UINTN* BufferSize,
                                        VOID* Buffer);
  using SetInfoFn = EFI_STATUS(EFIAPI*)(EFI_FILE_PROTOCOL* This, const EFI_GUID* InformationType, UINTN BufferSize,
                                        const VOID* Buffer);
  using FlushFn = EFI_STATUS(EFIAPI*)(EFI_FILE_PROTOCOL* This);
  using OpenExFn = EFI_STATUS(EFIAPI*)(EFI_FILE_PROTOCOL* This, EFI_FILE_PROTOCOL** NewHandle,
                                       const CHAR16* FileName, UINT64 OpenMode, UINT64 Attributes,
                                       EFI_FILE_IO_TOKEN* Token);
  using ReadExFn = EFI_STATUS(EFIAPI*)(EFI_FILE_PROTOCOL* This, EFI_FILE_IO_TOKEN* Token);
  using WriteExFn = EFI_STATUS(EFIAPI*)(EFI_FILE_PROTOCOL* This, EFI_FILE_IO_TOKEN* Token);
  using FlushExFn = EFI_STATUS(EFIAPI*)(EFI_FILE_PROTOCOL* This, EFI_FILE_IO_TOKEN* Token);

  UINT64 Revision;
  OpenFn Open;
  CloseFn Close;
  DeleteFn Delete;
  ReadFn Read;
  WriteFn Write;
  GetPositionFn GetPosition;
  SetPositionFn SetPosition;
  GetInfoFn GetInfo;
  SetInfoFn SetInfo;
  FlushFn Flush;
  // Revision 2 only.
  OpenExFn OpenEx;
  ReadExFn ReadEx;
  WriteExFn WriteEx;
  FlushExFn FlushEx;
};
static_assert(offsetof(EFI_FILE_PROTOCOL, Open) == 8);
static_assert(offsetof(EFI_FILE_PROTOCOL, Close) == 16);
static_assert(offsetof(EFI_FILE_PROTOCOL, Read) == 32);
static_assert(offsetof(EFI_FILE_PROTOCOL, GetInfo) == 64);
static_assert(offsetof(EFI_FILE_PROTOCOL, Flush) == 80);
static_assert(offsetof(EFI_FILE_PROTOCOL, OpenEx) == 88);
static_assert(offsetof(EFI_FILE_PROTOCOL, FlushEx) == 112);
static_assert(sizeof(EFI_FILE_PROTOCOL) == 120);

// Position value of SetPosition that moves to the end of the file.
constexpr UINT64 EFI_FILE_POSITION_END = 0xFFFFFFFFFFFFFFFFull;

// Variable-size record: Size covers the header and the zero-terminated FileName.
struct EFI_FILE_INFO {
  static constexpr EFI_GUID Guid = {0x09576E92, 0x6D3F, 0x11D2, {0x8E, 0x39, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x3B}};
  UINT64 Size;
  UINT64 FileSize;
  UINT64 PhysicalSize;
  EFI_TIME CreateTime;
  EFI_TIME LastAccessTime;
  EFI_TIME ModificationTime;
  UINT64 Attribute;
  CHAR16 FileName[];
};
static_assert(offsetof(EFI_FILE_INFO, FileSize) == 8);
static_assert(offsetof(EFI_FILE_INFO, CreateTime) == 24);
static_assert(offsetof(EFI_FILE_INFO, ModificationTime) == 56);
static_assert(offsetof(EFI_FILE_INFO, Attribute) == 72);
static_assert(offsetof(EFI_FILE_INFO, FileName) == 80);
constexpr UINTN SIZE_OF_EFI_FILE_INFO = offsetof(EFI_FILE_INFO, FileName);

struct EFI_FILE_SYSTEM_INFO {
  static constexpr EFI_GUID Guid = {0x09576E93, 0x6D3F, 0x11D2, {0x8E, 0x39, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x3B}};
  UINT64 Size;
  BOOLEAN ReadOnly;
  UINT64 VolumeSize;
  UINT64 FreeSpace;
  UINT32 BlockSize;
  CHAR16 VolumeLabel[];
};
static_assert(offsetof(EFI_FILE_SYSTEM_INFO, ReadOnly) == 8);
static_assert(offsetof(EFI_FILE_SYSTEM_INFO, VolumeSize) == 16);
static_assert(offsetof(EFI_FILE_SYSTEM_INFO, BlockSize) == 32);
static_assert(offsetof(EFI_FILE_SYSTEM_INFO, VolumeLabel) == 36);
constexpr UINTN SIZE_OF_EFI_FILE_SYSTEM_INFO = offsetof(EFI_FILE_SYSTEM_INFO, VolumeLabel);

struct EFI_FILE_SYSTEM_VOLUME_LABEL {
  static constexpr EFI_GUID Guid = {0xDB47D7D3, 0xFE81, 0x11D3, {0x9A, 0x35, 0x00, 0x90, 0x27, 0x3F, 0xC1, 0x4D}};
  CHAR16 VolumeLabel[];
};
