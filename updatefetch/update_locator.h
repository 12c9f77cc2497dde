// The update locator's operations and entry point.
#pragma once

#include "platform/net_transport.h"
#include "platform/update_locator.h"
#include "uefi/system_table.h"
#include "updatefetch/host_resolution.h"

// Vendor GUID and size of the board's network settings; byte 105 is the
// download server choice.
constexpr EFI_GUID NET_CONFIG_DATA_GUID = {0x8F132913, 0x6907, 0x4192, {0xA2, 0x27, 0x6C, 0xBC, 0xD7, 0xA5, 0x0E, 0x6C}};
constexpr CHAR16 NET_CONFIG_DATA_NAME[] = u"NetConfigData";
constexpr UINTN NET_CONFIG_DATA_SIZE = 490;
constexpr UINTN NET_CONFIG_SERVER_CHOICE_OFFSET = 105;

EFI_STATUS EFIAPI LocateDownload(NET_TRANSPORT_PROTOCOL* Transport, UINTN Value1, UINTN Value2, CHAR8* HostOut,
                                 CHAR8* PathOut, EFI_IPv4_ADDRESS* AddressOut);
EFI_STATUS EFIAPI ResolveLocation(NET_TRANSPORT_PROTOCOL* Transport, UINTN Value1, UINTN Value2,
                                  CHAR8** LocationRef, CHAR8* HostOut, CHAR8* PathOut,
                                  EFI_IPv4_ADDRESS* AddressOut);

extern "C" EFI_STATUS EFIAPI UpdateFetchEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable);
// Host build: back to load-time state.
void UpdateFetchResetState();
