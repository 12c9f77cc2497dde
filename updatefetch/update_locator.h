// The update locator's operations and entry point.
#pragma once

#include "platform/net_config.h"
#include "platform/net_transport.h"
#include "platform/update_locator.h"
#include "uefi/system_table.h"
#include "updatefetch/host_resolution.h"

EFI_STATUS EFIAPI LocateDownload(NET_TRANSPORT_PROTOCOL* Transport, UINTN Value1, UINTN Value2, CHAR8* HostOut,
                                 CHAR8* PathOut, EFI_IPv4_ADDRESS* AddressOut);
EFI_STATUS EFIAPI ResolveLocation(NET_TRANSPORT_PROTOCOL* Transport, UINTN Value1, UINTN Value2,
                                  CHAR8** LocationRef, CHAR8* HostOut, CHAR8* PathOut,
                                  EFI_IPv4_ADDRESS* AddressOut);

extern "C" EFI_STATUS EFIAPI UpdateFetchEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable);
// Host build: back to load-time state.
void UpdateFetchResetState();
