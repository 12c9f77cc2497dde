#include "updatefetch/host_resolution.h"

#include "lib/firmware_services.h"
#include "lib/pool_buffer.h"
#include "lib/strings.h"
#include "lib/util.h"
#include "platform/name_resolution.h"
#include "platform/update_locator.h"

namespace {
// Length of Text when its NUL lies within Limit characters, else Limit + 1.
UINTN BoundedLength(const CHAR8* Text, UINTN Limit) {
  UINTN Length = 0;
  while (Length <= Limit && Text[Length] != '\0') ++Length;
  return Length;
}

// Outcome of one answer that was collected: either a final result or an
// alias to follow (already copied into the caller's host name).
struct ANSWER_OUTCOME {
  bool FollowAlias;
  EFI_STATUS Result;
};

ANSWER_OUTCOME HandleAnswer(NAME_RESOLUTION_PROTOCOL* Resolver, VOID* Answer, UINT16 QueryLength,
                            UINT16 AnswerLength, EFI_IPv4_ADDRESS* AddressOut, CHAR8* HostName) {
  PoolBuffer<CHAR8> Name;
  if (!Name.Allocate(NAME_ALIAS_BUFFER_SIZE)) return {false, UPDATE_RESOLVER_NOT_STARTED};
  // The service gets a copy of the pointer: whatever it does with it, the
  // buffer read and freed here is our own.
  CHAR8* NameBuffer = Name.Get();
  UINT8 RecordType = 0;
  EFI_STATUS Status = Resolver->ParseAnswer(Answer, QueryLength, AnswerLength, AddressOut, &NameBuffer, &RecordType);
  if (EFI_ERROR(Status)) return {false, Name[0] != '\0' ? UPDATE_ANSWER_BAD_NAME : UPDATE_ANSWER_NO_NAME};
  if (RecordType != NAME_RECORD_ALIAS) return {false, Status};

  // An alias comes from the network: it must end inside the buffer.
  UINTN AliasLength = BoundedLength(Name.Get(), NAME_ALIAS_BUFFER_SIZE - 1);
  if (AliasLength >= NAME_ALIAS_BUFFER_SIZE) return {false, UPDATE_ANSWER_BAD_NAME};
  MemMove(HostName, Name.Get(), AliasLength + 1);
  return {true, EFI_SUCCESS};
}
}  // namespace

EFI_STATUS EFIAPI ResolveHostName(CHAR8* HostName, EFI_IPv4_ADDRESS* AddressOut, UINTN Value1) {
  if (HostName == nullptr || AddressOut == nullptr) return UPDATE_RESOLVER_NOT_STARTED;
  NAME_RESOLUTION_PROTOCOL* Resolver = LocateProtocol<NAME_RESOLUTION_PROTOCOL>();
  if (Resolver == nullptr) return UPDATE_RESOLVER_NOT_STARTED;
  UINTN HostLength = BoundedLength(HostName, HOST_NAME_LIMIT);
  if (HostLength > HOST_NAME_LIMIT) return UPDATE_RESOLVER_NOT_STARTED;

  // Large enough for the host name and for any alias that replaces it.
  PoolBuffer<CHAR8> WorkingCopy;
  if (!WorkingCopy.Allocate(Max(HostLength + 1, NAME_ALIAS_BUFFER_SIZE))) return UPDATE_RESOLVER_NOT_STARTED;

  for (UINTN Aliases = 0;; ++Aliases) {
    // HostName holds the original name or an alias checked to fit.
    MemMove(WorkingCopy.Get(), HostName, BoundedLength(HostName, HOST_NAME_LIMIT) + 1);
    PoolBuffer<UINT8> Query;
    UINT16 QueryLength = 0;
    EFI_STATUS Status = Resolver->BuildQuery(Query.OutPtr(), WorkingCopy.Get(), &QueryLength);
    if (EFI_ERROR(Status) || !Query) return UPDATE_RESOLVER_NOT_STARTED;

    UINTN ContextA = 0;
    UINTN ContextB = 0;
    UINT16 Length = QueryLength;
    VOID* Answer = nullptr;
    Status = Resolver->Exchange(&ContextA, &ContextB, Value1, Query.Get(), &Length, &Answer);
    EFI_STATUS Result;
    if (Status == EFI_TIMEOUT) {
      if (Answer == nullptr || Aliases >= ALIAS_LIMIT) {
        Result = UPDATE_RESOLVER_NO_ANSWER;
      } else {
        ANSWER_OUTCOME Outcome = HandleAnswer(Resolver, Answer, QueryLength, Length, AddressOut, HostName);
        if (Outcome.FollowAlias) {
          Resolver->Close(ContextA, ContextB);
          continue;  // this pass's query goes back to the pool here
        }
        Result = Outcome.Result;
      }
    } else if (Status == EFI_SUCCESS) {
      Result = UPDATE_ANSWER_MISSING;
    } else {
      Result = UPDATE_RESOLVER_NO_ANSWER;
    }
    Resolver->Close(ContextA, ContextB);
    return Result;
  }
}
