// The update locator protocol that updatefetch installs on its image handle,
// and the result codes its operations return besides EFI statuses.
#pragma once

#include "uefi/base.h"

struct NET_TRANSPORT_PROTOCOL;

// Plain positive codes (the high bit is clear, so EFI_ERROR() is false for
// them): callers compare against these values, not against EFI_ERROR.
constexpr EFI_STATUS UPDATE_ARGUMENT_MISSING = 100;   // transport, value1 or value2 is zero
constexpr EFI_STATUS UPDATE_REQUEST_FAILED = 101;     // request not built or exchange failed
constexpr EFI_STATUS UPDATE_NO_SERVER_CHOICE = 102;   // choice 4 and no URL=" in the reply
constexpr EFI_STATUS UPDATE_NO_LOCATION = 103;        // no usable download location in the reply
constexpr EFI_STATUS UPDATE_BAD_LOCATION = 104;       // location could not be split, or no host
constexpr EFI_STATUS UPDATE_RESOLVER_NOT_STARTED = 105;
constexpr EFI_STATUS UPDATE_RESOLVER_NO_ANSWER = 106;  // exchange failed, no answer, or alias limit
constexpr EFI_STATUS UPDATE_ANSWER_BAD_NAME = 107;     // parse failed and left a name
constexpr EFI_STATUS UPDATE_ANSWER_NO_NAME = 108;      // parse failed and left no name
constexpr EFI_STATUS UPDATE_ANSWER_MISSING = 109;      // exchange ended with plain success

// Caller buffers for host name and path.
constexpr UINTN UPDATE_HOST_BUFFER_SIZE = 128;
constexpr UINTN UPDATE_PATH_BUFFER_SIZE = 128;

struct UPDATE_LOCATOR_PROTOCOL {
  static constexpr EFI_GUID Guid = {0x061D32D8, 0x0453, 0x4ADB, {0x8E, 0x4E, 0x4A, 0xCA, 0x9C, 0x9F, 0xC7, 0x31}};

  // None of the members takes the interface pointer.
  using LocateDownloadFn = EFI_STATUS(EFIAPI*)(NET_TRANSPORT_PROTOCOL* Transport, UINTN Value1, UINTN Value2,
                                               CHAR8* HostOut, CHAR8* PathOut, EFI_IPv4_ADDRESS* AddressOut);
  using ResolveLocationFn = EFI_STATUS(EFIAPI*)(NET_TRANSPORT_PROTOCOL* Transport, UINTN Value1, UINTN Value2,
                                                CHAR8** LocationRef, CHAR8* HostOut, CHAR8* PathOut,
                                                EFI_IPv4_ADDRESS* AddressOut);
  using ResolveHostNameFn = EFI_STATUS(EFIAPI*)(CHAR8* HostName, EFI_IPv4_ADDRESS* AddressOut, UINTN Value1);

  LocateDownloadFn LocateDownload;
  ResolveLocationFn ResolveLocation;
  ResolveHostNameFn ResolveHostName;
};
static_assert(offsetof(UPDATE_LOCATOR_PROTOCOL, ResolveLocation) == 8);
static_assert(offsetof(UPDATE_LOCATOR_PROTOCOL, ResolveHostName) == 16);
static_assert(sizeof(UPDATE_LOCATOR_PROTOCOL) == 24);
static_assert(sizeof(EFI_IPv4_ADDRESS) == 4);
