#include "updatefetch/update_locator.h"

#include "lib/firmware_services.h"
#include "lib/pool_buffer.h"
#include "lib/strings.h"
#include "platform/form_utility.h"
#include "updatefetch/download_location.h"
#include "updatefetch/location_split.h"
#include "updatefetch/server_request.h"

namespace {
// The driver keeps nothing between calls; the interface is constant data.
constinit const UPDATE_LOCATOR_PROTOCOL UPDATE_LOCATOR = {LocateDownload, ResolveLocation, ResolveHostName};

// The browser's copy of NetConfigData, through the form utility service
// (located at each call: no pointer is kept between calls).
EFI_STATUS ReadServerChoice(UINT8* Choice) {
  FORM_UTILITY_PROTOCOL* FormUtility = LocateProtocol<FORM_UTILITY_PROTOCOL>();
  if (FormUtility == nullptr) return EFI_UNSUPPORTED;
  UINT8 NetConfig[NET_CONFIG_DATA_SIZE];
  MemFill(NetConfig, sizeof(NetConfig), 0);
  UINTN Size = sizeof(NetConfig);
  EFI_STATUS Status = FormUtility->GetBrowserData(&Size, NetConfig, &NET_CONFIG_DATA_GUID, NET_CONFIG_DATA_NAME);
  if (EFI_ERROR(Status)) return Status;
  *Choice = NetConfig[NET_CONFIG_SERVER_CHOICE_OFFSET];
  return EFI_SUCCESS;
}

// From the location split on: shared by LocateDownload and ResolveLocation.
EFI_STATUS ResolveSplitLocation(const CHAR8* Location, CHAR8* HostOut, CHAR8* PathOut,
                                EFI_IPv4_ADDRESS* AddressOut, UINTN Value1) {
  if (EFI_ERROR(SplitLocation(Location, HostOut, PathOut)) || HostOut[0] == '\0') return UPDATE_BAD_LOCATION;
  if (IsDottedDecimalText(HostOut)) {
    return EFI_ERROR(ParseDottedDecimal(HostOut, AddressOut)) ? UPDATE_BAD_LOCATION : EFI_SUCCESS;
  }
  return ResolveHostName(HostOut, AddressOut, Value1);
}
}  // namespace

EFI_STATUS EFIAPI LocateDownload(NET_TRANSPORT_PROTOCOL* Transport, UINTN Value1, UINTN Value2, CHAR8* HostOut,
                                 CHAR8* PathOut, EFI_IPv4_ADDRESS* AddressOut) {
  if (Transport == nullptr || Value1 == 0 || Value2 == 0) return UPDATE_ARGUMENT_MISSING;
  if (HostOut == nullptr || PathOut == nullptr || AddressOut == nullptr) return UPDATE_ARGUMENT_MISSING;

  PoolBuffer<CHAR8> Request;
  if (EFI_ERROR(BuildUpdateRequest(&Request))) return UPDATE_REQUEST_FAILED;

  // The reply is ours from here on, whatever the send reports.
  PoolBuffer<CHAR8> Reply;
  REPLY_LENGTHS Lengths = {0, 0, 0};
  EFI_STATUS Status = Transport->Send(Value1, Value2, Request.Get(), Reply.OutPtr(), &Lengths, 0);
  if (EFI_ERROR(Status) || (UINT64)Lengths.FirstPart + Lengths.SecondPart != Lengths.Total) {
    return UPDATE_REQUEST_FAILED;
  }
  Request.Reset();
  UINTN ReplyLength = Reply ? Lengths.Total : 0;

  UINT8 Choice = 0;
  Status = ReadServerChoice(&Choice);
  if (EFI_ERROR(Status)) return Status;
  if (Choice == SERVER_CHOICE_FROM_REPLY &&
      EFI_ERROR(ServerChoiceFromReply(Reply.Get(), ReplyLength, &Choice))) {
    return UPDATE_NO_SERVER_CHOICE;
  }

  PoolBuffer<CHAR8> Location;
  if (!Location.Allocate(LOCATION_BUFFER_SIZE)) return UPDATE_NO_LOCATION;
  if (EFI_ERROR(ExtractDownloadLocation(Reply.Get(), ReplyLength, Choice, Location.Get())) || Location[0] == '\0') {
    return UPDATE_NO_LOCATION;
  }
  Reply.Reset();
  return ResolveSplitLocation(Location.Get(), HostOut, PathOut, AddressOut, Value1);
}

EFI_STATUS EFIAPI ResolveLocation(NET_TRANSPORT_PROTOCOL* Transport, UINTN Value1, UINTN Value2,
                                  CHAR8** LocationRef, CHAR8* HostOut, CHAR8* PathOut,
                                  EFI_IPv4_ADDRESS* AddressOut) {
  if (Transport == nullptr || Value1 == 0 || Value2 == 0) return UPDATE_ARGUMENT_MISSING;
  if (HostOut == nullptr || PathOut == nullptr || AddressOut == nullptr) return UPDATE_ARGUMENT_MISSING;
  if (LocationRef == nullptr || *LocationRef == nullptr || (*LocationRef)[0] == '\0') return EFI_ABORTED;
  return ResolveSplitLocation(*LocationRef, HostOut, PathOut, AddressOut, Value1);
}

extern "C" EFI_STATUS EFIAPI UpdateFetchEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable) {
  LibraryInit(ImageHandle, SystemTable);
  if (gBS() == nullptr) return EFI_INVALID_PARAMETER;
  EFI_HANDLE Handle = ImageHandle;
  return gBS()->InstallMultipleProtocolInterfaces(&Handle, &UPDATE_LOCATOR_PROTOCOL::Guid,
                                                  (VOID*)&UPDATE_LOCATOR, nullptr);
}

void UpdateFetchResetState() { LibResetState(); }
