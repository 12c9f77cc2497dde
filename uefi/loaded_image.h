// The loaded image protocol: the check application reads its command line
// (the shell hands it over as LoadOptions) from here.
#pragma once

#include "uefi/system_table.h"

struct EFI_LOADED_IMAGE_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x5B1B31A1, 0x9562, 0x11D2, {0x8E, 0x3F, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x3B}};

  using UnloadFn = EFI_STATUS(EFIAPI*)(EFI_HANDLE ImageHandle);

  UINT32 Revision;
  EFI_HANDLE ParentHandle;
  EFI_SYSTEM_TABLE* SystemTable;
  EFI_HANDLE DeviceHandle;
  EFI_DEVICE_PATH_PROTOCOL* FilePath;
  VOID* Reserved;
  UINT32 LoadOptionsSize;  // bytes
  VOID* LoadOptions;
  VOID* ImageBase;
  UINT64 ImageSize;
  EFI_MEMORY_TYPE ImageCodeType;
  EFI_MEMORY_TYPE ImageDataType;
  UnloadFn Unload;
};
static_assert(offsetof(EFI_LOADED_IMAGE_PROTOCOL, ParentHandle) == 8);
static_assert(offsetof(EFI_LOADED_IMAGE_PROTOCOL, LoadOptionsSize) == 48);
static_assert(offsetof(EFI_LOADED_IMAGE_PROTOCOL, LoadOptions) == 56);
static_assert(offsetof(EFI_LOADED_IMAGE_PROTOCOL, ImageCodeType) == 80);
static_assert(offsetof(EFI_LOADED_IMAGE_PROTOCOL, Unload) == 88);
static_assert(sizeof(EFI_LOADED_IMAGE_PROTOCOL) == 96);
