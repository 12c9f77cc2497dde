// The model name is the board identity protocol's text, escaped into the
// update request. The input is the name's bytes as the protocol holds them:
// up to the read limit, terminated or not. Escaping is checked against an
// escape done here, on its own with exactly sized buffers and inside the
// whole request.
//
// Input: [read limit][name bytes ...]
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "fuzz/updatefetch_fuzz_env.h"
#include "platform/board_identity.h"
#include "updatefetch/server_request.h"

namespace {

// The escaped text, or nothing when it cannot be sent.
std::optional<std::string> Escaped(const uint8_t* Name, size_t Limit) {
  std::string Text;
  for (size_t I = 0; I < Limit; ++I) {
    if (Name[I] == 0) return Text.size() < MODEL_TEXT_SIZE ? std::optional<std::string>(Text) : std::nullopt;
    Text += Name[I] == ' ' ? std::string("%20") : std::string(1, (char)Name[I]);
  }
  return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 1) return 0;
  const size_t Length = Size - 1 < BOARD_IDENTITY_PROTOCOL::ModelNameReadLimit ? Size - 1
                                                                               : BOARD_IDENTITY_PROTOCOL::ModelNameReadLimit;
  const size_t Limit = Data[0] % (Length + 1);
  const uint8_t* Name = Data + 1;
  const std::optional<std::string> Want = Escaped(Name, Limit);

  // The escape alone: the name in exactly Limit bytes, the text in MODEL_TEXT_SIZE.
  auto NameCopy = std::make_unique<CHAR8[]>(Limit == 0 ? 1 : Limit);
  std::memcpy(NameCopy.get(), Name, Limit);
  auto Text = std::make_unique<CHAR8[]>(MODEL_TEXT_SIZE);
  const EFI_STATUS Status = EscapeModelName(NameCopy.get(), Limit, Text.get());
  if (Want.has_value() != (Status == EFI_SUCCESS)) std::abort();
  if (!Want && Status != EFI_BAD_BUFFER_SIZE) std::abort();
  if (Want && std::string(Text.get()) != *Want) std::abort();

  // The whole request, with the name as the protocol holds it (the rest of
  // its 64 bytes zero, so the read limit is the protocol's).
  FuzzFirmware Firmware;
  BOARD_IDENTITY_PROTOCOL Identity{};
  std::memcpy(Identity.ModelName, Name, Length);
  Firmware.Provide(BOARD_IDENTITY_PROTOCOL::Guid, &Identity);
  const std::optional<std::string> WantInRequest =
      Escaped((const uint8_t*)Identity.ModelName, BOARD_IDENTITY_PROTOCOL::ModelNameReadLimit);
  PoolBuffer<CHAR8> Request;
  const EFI_STATUS Built = BuildUpdateRequest(&Request);
  if (WantInRequest.has_value() != (Built == EFI_SUCCESS)) std::abort();
  if (WantInRequest) {
    const std::string Sent(Request.Get());
    const std::string Line = "?Model=" + *WantInRequest + " HTTP/1.1\r\nHost:" + SupportServerHostName() + "\r\n";
    if (Sent.find(Line) == std::string::npos || Sent.size() >= REQUEST_BUFFER_SIZE) std::abort();
  } else if (Built != EFI_BAD_BUFFER_SIZE || Request) {
    std::abort();
  }
  return 0;
}
