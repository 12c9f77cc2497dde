// The preset provider and the three forwarding protocols behind the tuning
// and tools form sets' questions: tables of setting presets that the setup
// driver copies into the browser's Setup, and functions it only calls.
#pragma once

#include "uefi/base.h"

// Row sizes of the four preset tables, in bytes.
constexpr UINTN PRESET_ROW_BYTES_A = 30;
constexpr UINTN PRESET_ROW_BYTES_B = 8;
constexpr UINTN PRESET_ROW_BYTES_C = 44;
constexpr UINTN PRESET_ROW_BYTES_D = 12;
constexpr UINTN PRESET_TABLE_COUNT = 4;

// The interface starts with the four table pointers (null: the table is not
// offered). Behind them the provider states how many rows each table holds:
// the index byte that picks a row comes from Setup, which anyone may write
// at run time, so a row is only read when the provider vouches for it. A
// count of 0 offers nothing.
struct PRESET_PROVIDER_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x2A7732D6, 0x2006, 0x49BC, {0x9E, 0xE5, 0xC1, 0xB2, 0x8C, 0x0A, 0xE9, 0x98}};
  const UINT8* Tables[PRESET_TABLE_COUNT];  // A, B, C, D
  UINT32 RowCounts[PRESET_TABLE_COUNT];
};
static_assert(__builtin_offsetof(PRESET_PROVIDER_PROTOCOL, Tables) == 0);
static_assert(__builtin_offsetof(PRESET_PROVIDER_PROTOCOL, RowCounts) == 32);
static_assert(sizeof(PRESET_PROVIDER_PROTOCOL) == 48);

// Key 0x51C (tuning form set): its fourth function takes the HII handle;
// it has no result.
struct PRESET_FORWARD_51C_PROTOCOL {
  static constexpr EFI_GUID Guid = {0xC53ECA73, 0xC1D7, 0x43B5, {0x97, 0x17, 0xA4, 0x35, 0xB2, 0x03, 0xA8, 0x6B}};
  using RunFn = VOID(EFIAPI*)(EFI_HII_HANDLE HiiHandle);
  VOID* DriverOwned[3];
  RunFn Run;
};
static_assert(__builtin_offsetof(PRESET_FORWARD_51C_PROTOCOL, Run) == 0x18);

// Keys 0x51D and 0x51E (tools form set): the first function takes the HII
// handle and the interface itself.
struct PRESET_FORWARD_51D_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x05384A33, 0x5EFE, 0x4723, {0x9F, 0xA3, 0xB7, 0xB4, 0x6F, 0xED, 0x0D, 0x43}};
  using RunFn = EFI_STATUS(EFIAPI*)(EFI_HII_HANDLE HiiHandle, PRESET_FORWARD_51D_PROTOCOL* This);
  RunFn Run;
};
static_assert(__builtin_offsetof(PRESET_FORWARD_51D_PROTOCOL, Run) == 0);

struct PRESET_FORWARD_51E_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x2E5158C7, 0x6DF9, 0x466E, {0x87, 0x68, 0xF2, 0xAF, 0x9B, 0x70, 0xF6, 0xFC}};
  using RunFn = EFI_STATUS(EFIAPI*)(EFI_HII_HANDLE HiiHandle, PRESET_FORWARD_51E_PROTOCOL* This);
  RunFn Run;
};
static_assert(__builtin_offsetof(PRESET_FORWARD_51E_PROTOCOL, Run) == 0);
