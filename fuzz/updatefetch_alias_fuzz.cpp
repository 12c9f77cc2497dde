// Answer handling of the update locator's name resolution: each pass's
// exchange outcome, parse outcome, record type and alias bytes come from
// the input, so the alias loop meets every order of answers.
//
// Input: [fail-at][build-fails-at][host length][host bytes ...] then per pass
//   [outcome][name length][name bytes ...][4 address bytes]
//   outcome bits 0-1: 0 answer, 1 time-out without answer, 2 plain success, 3 error
//   outcome bit 2: the parse fails; bit 3: alias record; bits 4-7: other record type
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>

#include "fuzz/updatefetch_fuzz_env.h"
#include "platform/name_resolution.h"
#include "platform/update_locator.h"
#include "updatefetch/host_resolution.h"

namespace {
struct Cursor {
  const uint8_t* Data;
  size_t Size;
  size_t At;
  uint8_t Next() { return At < Size ? Data[At++] : 0; }
} gInput;

size_t gBuildFailsAt = 0;
size_t gPasses = 0;
size_t gExchanges = 0;
std::set<UINTN> gOpen;
uint8_t gAnswer[16];
uint8_t gOutcome = 0;

EFI_STATUS EFIAPI BuildQuery(VOID** Query, const CHAR8* HostName, UINT16* Length) {
  if (Query == nullptr || HostName == nullptr || Length == nullptr) std::abort();
  if (std::memchr(HostName, 0, 128) == nullptr) std::abort();
  if (++gPasses == gBuildFailsAt) return EFI_DEVICE_ERROR;
  if (EFI_ERROR(gBS()->AllocatePool(EfiBootServicesData, 12, Query))) return EFI_OUT_OF_RESOURCES;
  *Length = 12;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI Exchange(UINTN* A, UINTN* B, UINTN Value1, VOID* Query, UINT16* Length, VOID** Answer) {
  if (Value1 != 0x77 || Query == nullptr || *Length != 12) std::abort();
  ++gExchanges;
  gOutcome = gInput.Next();
  *A = gExchanges;
  *B = ~gExchanges;
  gOpen.insert(gExchanges);
  switch (gOutcome & 3) {
    case 0:
      *Answer = gAnswer;
      *Length = sizeof(gAnswer);
      return EFI_TIMEOUT;
    case 1:
      return EFI_TIMEOUT;
    case 2:
      return EFI_SUCCESS;
    default:
      return EFI_NO_RESPONSE;
  }
}

EFI_STATUS EFIAPI ParseAnswer(VOID* Answer, UINT16 QueryLength, UINT16 AnswerLength, EFI_IPv4_ADDRESS* Address,
                              CHAR8** NameBuffer, UINT8* Type) {
  if (Answer != gAnswer || QueryLength != 12 || AnswerLength != sizeof(gAnswer)) std::abort();
  // A hostile answer may fill the whole name buffer without a terminator.
  size_t Count = gInput.Next() % (NAME_ALIAS_BUFFER_SIZE + 1);
  for (size_t i = 0; i < Count; ++i) (*NameBuffer)[i] = (CHAR8)gInput.Next();
  for (int i = 0; i < 4; ++i) Address->Addr[i] = gInput.Next();
  *Type = (gOutcome & 8) ? NAME_RECORD_ALIAS : (UINT8)(gOutcome >> 4);
  return (gOutcome & 4) ? EFI_PROTOCOL_ERROR : EFI_SUCCESS;
}

EFI_STATUS EFIAPI Close(UINTN A, UINTN B) {
  // Each exchange context is closed exactly once, with its own two values.
  if (B != ~A || gOpen.erase(A) != 1) std::abort();
  return EFI_SUCCESS;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 3) return 0;
  gInput = {Data, Size, 0};
  size_t FailAt = gInput.Next() % 16;
  gBuildFailsAt = gInput.Next() % 8;
  gPasses = gExchanges = 0;
  gOpen.clear();

  CHAR8 Host[UPDATE_HOST_BUFFER_SIZE];
  std::memset(Host, 0, sizeof Host);
  size_t HostLength = gInput.Next() % sizeof Host;
  for (size_t i = 0; i < HostLength; ++i) Host[i] = (CHAR8)gInput.Next();

  FuzzFirmware Firmware;
  Firmware.FailAllocation = FailAt;
  NAME_RESOLUTION_PROTOCOL Resolver{};
  Resolver.BuildQuery = BuildQuery;
  Resolver.Exchange = Exchange;
  Resolver.ParseAnswer = ParseAnswer;
  Resolver.Close = Close;
  Firmware.Provide(NAME_RESOLUTION_PROTOCOL::Guid, &Resolver);

  EFI_IPv4_ADDRESS Address{};
  EFI_STATUS Status = ResolveHostName(Host, &Address, 0x77);

  if (!gOpen.empty()) std::abort();
  // At most five aliases are followed: six exchanges in all.
  if (gExchanges > ALIAS_LIMIT + 1) std::abort();
  if (std::memchr(Host, 0, sizeof Host) == nullptr) std::abort();
  if (Status >= UPDATE_ARGUMENT_MISSING && Status <= UPDATE_ANSWER_MISSING) {
    if (Status < UPDATE_RESOLVER_NOT_STARTED) std::abort();
  } else if (EFI_ERROR(Status)) {
    std::abort();
  }
  return 0;
}
