#include "updatefetch/server_request.h"

#include "platform/board_identity.h"
#include "updatefetch/ascii_append.h"

#ifndef UPDATEFETCH_SERVER_HOST
#error "UPDATEFETCH_SERVER_HOST names the support server; the build defines it"
#endif

namespace {
constexpr CHAR8 SERVER_HOST[] = UPDATEFETCH_SERVER_HOST;
// The request is these pieces with the model text and the host between them.
constexpr CHAR8 RequestStart[] = "GET /support/Skyfetch.asp?Model=";
constexpr CHAR8 RequestHost[] = " HTTP/1.1\r\nHost:";
constexpr CHAR8 RequestEnd[] = "\r\nConnection:Keep-Alive\r\n\r\n";

// The longest request (a model text of 63 characters) must fit the buffer
// with its NUL.
constexpr UINTN FIXED_REQUEST_LENGTH = sizeof(RequestStart) + sizeof(RequestHost) + sizeof(RequestEnd) - 3;
static_assert(FIXED_REQUEST_LENGTH + (MODEL_TEXT_SIZE - 1) + (sizeof(SERVER_HOST) - 1) < REQUEST_BUFFER_SIZE,
              "support server host name too long for the request buffer");
static_assert(sizeof(SERVER_HOST) > 1, "support server host name is empty");
}  // namespace

const CHAR8* SupportServerHostName() { return SERVER_HOST; }

EFI_STATUS EscapeModelName(const CHAR8* Name, UINTN ReadLimit, CHAR8* Text) {
  if (Name == nullptr || Text == nullptr) return EFI_INVALID_PARAMETER;
  UINTN Out = 0;
  for (UINTN In = 0; In < ReadLimit; ++In) {
    CHAR8 c = Name[In];
    if (c == '\0') {
      Text[Out] = '\0';
      return EFI_SUCCESS;
    }
    if (c == ' ') {
      if (Out + 3 > MODEL_TEXT_SIZE - 1) return EFI_BAD_BUFFER_SIZE;
      Text[Out++] = '%';
      Text[Out++] = '2';
      Text[Out++] = '0';
    } else {
      if (Out + 1 > MODEL_TEXT_SIZE - 1) return EFI_BAD_BUFFER_SIZE;
      Text[Out++] = c;
    }
  }
  return EFI_BAD_BUFFER_SIZE;
}

EFI_STATUS BuildUpdateRequest(PoolBuffer<CHAR8>* Request) {
  BOARD_IDENTITY_PROTOCOL* Identity = LocateProtocol<BOARD_IDENTITY_PROTOCOL>();
  if (Identity == nullptr) return EFI_NOT_FOUND;
  PoolBuffer<CHAR8> Model;
  if (!Model.Allocate(MODEL_TEXT_SIZE)) return EFI_OUT_OF_RESOURCES;
  EFI_STATUS Status = EscapeModelName(Identity->ModelName, BOARD_IDENTITY_PROTOCOL::ModelNameReadLimit, Model.Get());
  if (EFI_ERROR(Status)) return Status;

  PoolBuffer<CHAR8> Text;
  if (!Text.Allocate(REQUEST_BUFFER_SIZE)) return EFI_OUT_OF_RESOURCES;
  CHAR8* End = AppendAscii(AppendAscii(Text.Get(), RequestStart), Model.Get());
  AppendAscii(AppendAscii(AppendAscii(End, RequestHost), SERVER_HOST), RequestEnd);
  *Request = static_cast<PoolBuffer<CHAR8>&&>(Text);
  return EFI_SUCCESS;
}
