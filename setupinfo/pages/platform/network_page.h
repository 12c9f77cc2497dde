// The network configuration page: hands the network configuration driver
// the page's HII handle and a refresh function, shows a summary of the
// stored (or the browser's pending) network settings on the network page
// and the main page, and forwards four questions to outside protocols.
#pragma once

#include "setupinfo/pages/platform/network_page_state.h"
#include "uefi/hii.h"

// Page-string initialiser, slot 15, for every class: installs the refresh;
// for class 8 also hands over the HII handle and fills the summary.
VOID EFIAPI InitNetworkPage(EFI_HII_HANDLE HiiHandle, UINT16 Class);

// Rebuilds the two summary strings from NetConfigData: the stored variable,
// or with ViaBrowser the browser's copy being edited. Written into the
// network configuration protocol, so the network driver calls it too.
VOID EFIAPI RefreshNetworkSummary(BOOLEAN ViaBrowser);

// Item callbacks, class 8, acting only for EFI_BROWSER_ACTION_CHANGING.
EFI_STATUS EFIAPI OnNetworkConfigure(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);  // 0x529
EFI_STATUS EFIAPI OnNetworkAction52A(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);  // 0x52A
EFI_STATUS EFIAPI OnNetworkAction52D(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);  // 0x52D
EFI_STATUS EFIAPI OnNetworkAction52E(EFI_HII_HANDLE HiiHandle, UINT16 Class, UINT16 SubClass, UINT16 Key);  // 0x52E

constexpr UINT16 STR_NETWORK_TEMPLATE_OFF = 3530;  // byte 0 zero
constexpr UINT16 STR_NETWORK_TEMPLATE_ON = 3532;   // byte 0 non-zero
constexpr UINT16 STR_NETWORK_SUMMARY = 3533;
constexpr UINT16 STR_MAIN_NETWORK_TEMPLATE = 3343;
constexpr UINT16 STR_MAIN_NETWORK_LINE = 3344;

// Server name string by download server choice (byte 105).
inline constexpr UINT16 NetworkServerStrings[] = {3540, 3541, 3542, 3543, 5};
constexpr UINTN NETWORK_SERVER_CHOICES = sizeof(NetworkServerStrings) / sizeof(NetworkServerStrings[0]);
