// The board's network settings variable, read by both drivers: the setup
// driver shows it, the update locator takes the download server choice.
#pragma once

#include "uefi/base.h"

constexpr EFI_GUID NET_CONFIG_DATA_GUID = {0x8F132913, 0x6907, 0x4192, {0xA2, 0x27, 0x6C, 0xBC, 0xD7, 0xA5, 0x0E, 0x6C}};
inline constexpr CHAR16 NET_CONFIG_DATA_NAME[] = u"NetConfigData";
constexpr UINTN NET_CONFIG_DATA_SIZE = 490;
constexpr UINTN NET_CONFIG_SERVER_CHOICE_OFFSET = 105;  // download server choice, 0 to 4
constexpr UINTN NET_CONFIG_TEMPLATE_OFFSET = 0;          // zero or not: which summary template

// The network configuration driver's protocol, shared both ways: the driver
// fills its configuration function; the setup driver writes its refresh
// function and the network form set's HII handle into it.
struct NETWORK_CONFIG_PROTOCOL {
  static constexpr EFI_GUID Guid = {0xFC543115, 0x38ED, 0x4C12, {0xA9, 0x3C, 0x9B, 0xCC, 0x42, 0xE8, 0xDD, 0xF6}};

  using ConfigureFn = EFI_STATUS(EFIAPI*)(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);
  // ViaBrowser: read the settings being edited on the open page, not the stored ones.
  using RefreshFn = VOID(EFIAPI*)(BOOLEAN ViaBrowser);

  ConfigureFn Configure;
  RefreshFn Refresh;
  VOID* Reserved;
  EFI_HII_HANDLE HiiHandle;
};
static_assert(offsetof(NETWORK_CONFIG_PROTOCOL, Configure) == 0);
static_assert(offsetof(NETWORK_CONFIG_PROTOCOL, Refresh) == 8);
static_assert(offsetof(NETWORK_CONFIG_PROTOCOL, HiiHandle) == 24);
static_assert(sizeof(NETWORK_CONFIG_PROTOCOL) == 32);

// The three outside protocols behind the network page's other questions;
// only their first function is called, and their meaning is their drivers'.
// Key 0x52A: called with 0.
struct NETWORK_ACTION_52A_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x4F548674, 0x80E7, 0x4B9E, {0x9C, 0x9C, 0x4C, 0xC1, 0x83, 0x49, 0xA1, 0x2B}};
  using RunFn = EFI_STATUS(EFIAPI*)(UINTN Argument);
  RunFn Run;
};
static_assert(offsetof(NETWORK_ACTION_52A_PROTOCOL, Run) == 0);

// Key 0x52D: called with the network form set's HII handle.
struct NETWORK_ACTION_52D_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x1CAD0593, 0x9785, 0x4C4C, {0x8B, 0xFD, 0x3B, 0x0F, 0xA2, 0x53, 0x03, 0x42}};
  using RunFn = EFI_STATUS(EFIAPI*)(EFI_HII_HANDLE HiiHandle);
  RunFn Run;
};
static_assert(offsetof(NETWORK_ACTION_52D_PROTOCOL, Run) == 0);

// Key 0x52E: its second field takes the hardware monitor form set's HII
// handle before the call, which passes the interface itself.
struct NETWORK_ACTION_52E_PROTOCOL {
  static constexpr EFI_GUID Guid = {0xC2C76AFE, 0x86E6, 0x491E, {0x96, 0x36, 0x89, 0x19, 0x13, 0x7D, 0x8C, 0x3F}};
  using RunFn = EFI_STATUS(EFIAPI*)(EFI_HII_HANDLE HiiHandle, NETWORK_ACTION_52E_PROTOCOL* This);
  RunFn Run;
  EFI_HII_HANDLE HiiHandle;
};
static_assert(offsetof(NETWORK_ACTION_52E_PROTOCOL, Run) == 0);
static_assert(offsetof(NETWORK_ACTION_52E_PROTOCOL, HiiHandle) == 8);
static_assert(sizeof(NETWORK_ACTION_52E_PROTOCOL) == 16);
