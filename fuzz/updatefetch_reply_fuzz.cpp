// Reply parsing of the update locator: the server's reply bytes, the
// transport's length record and the server choice all come from the input.
//
// Input: [choice][first u32][second u32][total u32][flags][fail-at][reply ...]
//   flags bit 0: length record derived from the reply (consistent)
//   flags bit 1: the transport fails but still hands over its reply
//   flags bit 2: no name-resolution service
//   flags bit 3: the model name comes from the input: [length][bytes ...]
//     before the reply (64 bytes: not terminated within the protocol's limit)
// The length record's fields take any 32-bit value: parts that wrap, totals
// far past the reply. A total the reply does not fill is handed over as zero
// pages ending at an unreadable page, so reading past the total faults
// wherever the total lies.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/updatefetch_fuzz_env.h"
#include "platform/board_identity.h"
#include "platform/form_utility.h"
#include "platform/name_resolution.h"
#include "platform/update_locator.h"
#include "updatefetch/download_location.h"
#include "updatefetch/location_split.h"
#include "updatefetch/reply_search.h"
#include "updatefetch/update_locator.h"

namespace {
// Totals up to this much past the reply are allocated and zeroed as usual.
constexpr size_t SMALL_SLACK = 1 << 16;
constexpr uint32_t LARGEST_SEARCHED = 8u << 20;
FuzzFirmware* gFirmware = nullptr;

struct ReplyScript {
  const uint8_t* Bytes;
  size_t Size;
  REPLY_LENGTHS Lengths;
  EFI_STATUS Status;
  UINT8 Choice;
} gScript;

EFI_STATUS EFIAPI Send(UINTN, UINTN, const CHAR8* Request, VOID** Reply, REPLY_LENGTHS* Lengths, UINTN) {
  if (Request == nullptr || std::strlen(Request) >= 512) std::abort();
  // The buffer holds every byte the record counts, and no terminator.
  size_t Size = gScript.Size > gScript.Lengths.Total ? gScript.Size : gScript.Lengths.Total;
  if (Size > gScript.Size + SMALL_SLACK && gFirmware != nullptr) {
    *Reply = gFirmware->AllocateLarge(Size);
    if (*Reply == nullptr) return EFI_OUT_OF_RESOURCES;
  } else {
    if (EFI_ERROR(gBS()->AllocatePool(EfiBootServicesData, Size == 0 ? 1 : Size, Reply))) return EFI_OUT_OF_RESOURCES;
    std::memset(*Reply, 0, Size == 0 ? 1 : Size);
  }
  if (gScript.Size != 0) std::memcpy(*Reply, gScript.Bytes, gScript.Size);
  *Lengths = gScript.Lengths;
  return gScript.Status;
}

EFI_STATUS EFIAPI GetBrowserData(UINTN* Size, VOID* Buffer, const EFI_GUID*, const CHAR16*) {
  if (Size == nullptr || *Size < NET_CONFIG_DATA_SIZE) return EFI_BUFFER_TOO_SMALL;
  std::memset(Buffer, 0, NET_CONFIG_DATA_SIZE);
  ((UINT8*)Buffer)[NET_CONFIG_SERVER_CHOICE_OFFSET] = gScript.Choice;
  *Size = NET_CONFIG_DATA_SIZE;
  return EFI_SUCCESS;
}

UINT8 gAnswer[4] = {192, 0, 2, 7};
EFI_STATUS EFIAPI BuildQuery(VOID** Query, const CHAR8* HostName, UINT16* Length) {
  if (std::strlen(HostName) > 127) std::abort();
  if (EFI_ERROR(gBS()->AllocatePool(EfiBootServicesData, 8, Query))) return EFI_OUT_OF_RESOURCES;
  *Length = 8;
  return EFI_SUCCESS;
}
EFI_STATUS EFIAPI Exchange(UINTN* A, UINTN* B, UINTN, VOID*, UINT16* Length, VOID** Answer) {
  *A = 1;
  *B = 2;
  *Length = sizeof(gAnswer);
  *Answer = gAnswer;
  return EFI_TIMEOUT;
}
EFI_STATUS EFIAPI ParseAnswer(VOID*, UINT16, UINT16, EFI_IPv4_ADDRESS* Address, CHAR8**, UINT8* Type) {
  std::memcpy(Address->Addr, gAnswer, 4);
  *Type = 1;
  return EFI_SUCCESS;
}
EFI_STATUS EFIAPI Close(UINTN, UINTN) { return EFI_SUCCESS; }

uint32_t ReadU32(const uint8_t* p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24; }

bool IsResultCode(EFI_STATUS s) {
  return s == EFI_SUCCESS || (s >= UPDATE_ARGUMENT_MISSING && s <= UPDATE_ANSWER_MISSING);
}

// Every output text ends inside its buffer.
void CheckText(const CHAR8* Text, size_t Capacity) {
  if (std::memchr(Text, 0, Capacity) == nullptr) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  constexpr size_t HEADER = 15;
  if (Size < HEADER) return 0;
  UINT8 Flags = Data[13];
  gScript.Choice = Data[0] & 7;
  gScript.Bytes = Data + HEADER;
  gScript.Size = Size - HEADER;
  BOARD_IDENTITY_PROTOCOL Identity{};
  if (Flags & 8) {
    const size_t Length = gScript.Size == 0 ? 0 : gScript.Bytes[0] % (BOARD_IDENTITY_PROTOCOL::ModelNameReadLimit + 1);
    const size_t Taken = gScript.Size == 0 ? 0 : 1 + (Length < gScript.Size - 1 ? Length : gScript.Size - 1);
    if (Taken > 1) std::memcpy(Identity.ModelName, gScript.Bytes + 1, Taken - 1);
    gScript.Bytes += Taken;
    gScript.Size -= Taken;
  } else {
    std::strcpy(Identity.ModelName, "H97M-Pro4");
  }
  gScript.Status = (Flags & 2) ? EFI_DEVICE_ERROR : EFI_SUCCESS;
  if (Flags & 1) {
    uint32_t Total = (uint32_t)gScript.Size;
    gScript.Lengths = {Total / 3, Total - Total / 3, Total};
  } else {
    gScript.Lengths = {ReadU32(Data + 1), ReadU32(Data + 5), ReadU32(Data + 9)};
    // A record that adds up is searched to its total: past LARGEST_SEARCHED
    // it is brought down (parts kept in proportion) so that one input does
    // not take minutes. Records that do not add up keep any value.
    REPLY_LENGTHS& L = gScript.Lengths;
    if ((uint64_t)L.FirstPart + L.SecondPart == L.Total && L.Total > LARGEST_SEARCHED) {
      const uint32_t Total = (uint32_t)(L.Total % LARGEST_SEARCHED + LARGEST_SEARCHED / 2);
      const uint32_t First = (uint32_t)((uint64_t)L.FirstPart * Total / L.Total);
      L = {First, Total - First, Total};
    }
  }

  FuzzFirmware Firmware;
  gFirmware = &Firmware;
  Firmware.FailAllocation = Data[14] % 24;  // 0: no failure
  FORM_UTILITY_PROTOCOL FormUtility{};
  FormUtility.GetBrowserData = GetBrowserData;
  NAME_RESOLUTION_PROTOCOL Resolver{};
  Resolver.BuildQuery = BuildQuery;
  Resolver.Exchange = Exchange;
  Resolver.ParseAnswer = ParseAnswer;
  Resolver.Close = Close;
  NET_TRANSPORT_PROTOCOL Transport{};
  Transport.Send = Send;
  Firmware.Provide(BOARD_IDENTITY_PROTOCOL::Guid, &Identity);
  Firmware.Provide(FORM_UTILITY_PROTOCOL::Guid, &FormUtility);
  if (!(Flags & 4)) Firmware.Provide(NAME_RESOLUTION_PROTOCOL::Guid, &Resolver);

  // The whole operation.
  CHAR8 Host[UPDATE_HOST_BUFFER_SIZE];
  CHAR8 Path[UPDATE_PATH_BUFFER_SIZE];
  std::memset(Host, 0x5A, sizeof Host);
  std::memset(Path, 0x5A, sizeof Path);
  EFI_IPv4_ADDRESS Address{};
  EFI_STATUS Status = LocateDownload(&Transport, 1, 2, Host, Path, &Address);
  if (!IsResultCode(Status)) std::abort();
  if (Status == EFI_SUCCESS) {
    CheckText(Host, sizeof Host);
    CheckText(Path, sizeof Path);
    if (Host[0] == '\0' || (Path[0] != '\0' && Path[0] != '/')) std::abort();
  }

  // The parsers on their own, over exactly the bytes the record counts.
  size_t Length = gScript.Lengths.Total < gScript.Size ? gScript.Lengths.Total : gScript.Size;
  std::vector<CHAR8> Reply(gScript.Bytes, gScript.Bytes + Length);
  Firmware.FailAllocation = 0;
  UINT8 Choice = 0;
  ServerChoiceFromReply(Reply.data(), Reply.size(), &Choice);
  for (UINT8 c = 0; c <= SERVER_CHOICE_FROM_REPLY; ++c) {
    CHAR8 Location[LOCATION_BUFFER_SIZE];
    if (!EFI_ERROR(ExtractDownloadLocation(Reply.data(), Reply.size(), c, Location))) {
      CheckText(Location, sizeof Location);
      if (c > LAST_MIRROR_CHOICE) std::abort();
      if (!EFI_ERROR(SplitLocation(Location, Host, Path))) {
        CheckText(Host, sizeof Host);
        CheckText(Path, sizeof Path);
        if (IsDottedDecimalText(Host)) ParseDottedDecimal(Host, &Address);
      }
    }
  }
  ELEMENT_RECORD Record;
  if (!EFI_ERROR(FindElement(Reply.data(), 0, Reply.size(), "Download", &Record))) {
    if (Record.ElementEnd >= Reply.size() || Record.OpenStart > Record.ElementEnd) std::abort();
    if (Record.ContentStart != NO_POSITION && (Record.ContentEnd < Record.ContentStart || Record.ContentEnd >= Record.ElementEnd)) std::abort();
  }
  return 0;
}
