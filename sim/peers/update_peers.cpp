#include "sim/peers/update_peers.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <strings.h>

namespace sim {
namespace {
UpdatePeers* gActive = nullptr;

constexpr UINT8 QueryMagic[2] = {'N', 'Q'};
// Bytes 0..10 of the identity interface: the providing driver's own header.
constexpr UINT8 IdentityHeader[11] = {'B', 'R', 'D', 'I', 'D', 0, 1, 0, 0, 0, 0};

UpdatePeers& Peers() {
  if (gActive == nullptr) throw std::logic_error("no UpdatePeers");
  return *gActive;
}

VOID* AllocateFrom(EFI_BOOT_SERVICES* Bs, size_t Size) {
  VOID* Buffer = nullptr;
  if (EFI_ERROR(Bs->AllocatePool(EfiBootServicesData, Size == 0 ? 1 : Size, &Buffer))) return nullptr;
  return Buffer;
}
}  // namespace

UpdatePeers::UpdatePeers(UpdateProfile Profile, EFI_BOOT_SERVICES* BootServices)
    : Profile_(std::move(Profile)), BootServices_(BootServices) {
  if (gActive != nullptr) throw std::logic_error("one UpdatePeers at a time");
  gActive = this;
  Transport_.Send = Send;
  Resolver_.Exchange = Exchange;
  Resolver_.BuildQuery = BuildQuery;
  Resolver_.ParseAnswer = ParseAnswer;
  Resolver_.Close = Close;
  BuildQueryStatus = Profile_.QueryStatus;
  ExchangeStatus = Profile_.ExchangeStatus;
  ParseStatus = Profile_.ParseStatus;
  ParseName = Profile_.ParseName;
  AnswerWithoutBuffer = Profile_.AnswerWithoutBuffer;
  ReplyOnTransportError = Profile_.ReplyOnTransportError;
  RebuildIdentity();
}

UpdatePeers::~UpdatePeers() { gActive = nullptr; }

UpdatePeers* UpdatePeers::Active() { return gActive; }

std::vector<std::pair<const EFI_GUID*, VOID*>> UpdatePeers::BoardInterfaces() {
  return {{&BOARD_IDENTITY_PROTOCOL::Guid, BoardIdentity()}, {&NAME_RESOLUTION_PROTOCOL::Guid, NameResolution()}};
}

void UpdatePeers::SetProfile(UpdateProfile Profile) {
  Profile_ = std::move(Profile);
  RebuildIdentity();
}

void UpdatePeers::RebuildIdentity() {
  // Fixed room, so the interface keeps its address when the model changes.
  constexpr size_t ROOM = offsetof(BOARD_IDENTITY_PROTOCOL, ModelName) + 1024;
  if (Profile_.ModelName.size() >= ROOM - offsetof(BOARD_IDENTITY_PROTOCOL, ModelName)) {
    throw std::length_error("model name too long for the simulated identity protocol");
  }
  const std::vector<UINT8> Bytes = BoardIdentityBytes(Profile_.ModelName, {}, ROOM);
  if (Identity_.size() != ROOM) Identity_.assign(ROOM, 0);
  std::copy(Bytes.begin(), Bytes.end(), Identity_.begin());
}

std::vector<UINT8> BoardIdentityBytes(const std::string& ModelName, const std::array<uint64_t, 2>& Values,
                                      size_t Room) {
  constexpr size_t NAME = offsetof(BOARD_IDENTITY_PROTOCOL, ModelName);
  Room = std::max(Room, sizeof(BOARD_IDENTITY_VALUES));
  if (ModelName.size() >= Room - NAME) throw std::length_error("model name too long for the identity interface");
  std::vector<UINT8> Bytes(Room, 0);
  std::memcpy(Bytes.data(), IdentityHeader, sizeof(IdentityHeader));
  std::memcpy(Bytes.data() + NAME, ModelName.data(), ModelName.size());
  if (NAME + ModelName.size() + 1 <= offsetof(BOARD_IDENTITY_VALUES, Values))
    std::memcpy(Bytes.data() + offsetof(BOARD_IDENTITY_VALUES, Values), Values.data(), sizeof(Values));
  return Bytes;
}

const UpdateProfile::Name* UpdatePeers::Lookup(const std::string& Name) const {
  for (const UpdateProfile::Name& Entry : Profile_.NameTable) {
    if (Entry.Name.size() == Name.size() && strncasecmp(Entry.Name.c_str(), Name.c_str(), Name.size()) == 0) {
      return &Entry;
    }
  }
  return nullptr;
}

EFI_STATUS EFIAPI UpdatePeers::Send(UINTN Value1, UINTN Value2, const CHAR8* Request, VOID** Reply,
                                    REPLY_LENGTHS* Lengths, UINTN Reserved) {
  UpdatePeers& P = Peers();
  if (Request == nullptr || Reply == nullptr || Lengths == nullptr) return EFI_INVALID_PARAMETER;
  P.Sends.push_back({Value1, Value2, std::string(Request, strnlen(Request, 4096)), Reserved});
  if (EFI_ERROR(P.Profile_.TransportStatus) && !P.ReplyOnTransportError) return P.Profile_.TransportStatus;

  const std::string& Text = P.Profile_.ServerReply;
  std::array<uint32_t, 3> Record;
  if (P.Profile_.ReplyLengths) {
    Record = *P.Profile_.ReplyLengths;
  } else {
    size_t HeaderEnd = Text.find("\r\n\r\n");
    uint32_t First = (uint32_t)(HeaderEnd == std::string::npos ? Text.size() : HeaderEnd + 4);
    Record = {First, (uint32_t)Text.size() - First, (uint32_t)Text.size()};
  }
  // The buffer holds every byte the record counts, and no terminator: a
  // reader that runs past the total runs off the buffer.
  size_t Size = std::max<size_t>(Text.size(), Record[2]);
  auto* Buffer = (UINT8*)AllocateFrom(P.BootServices_, Size);
  if (Buffer == nullptr) return EFI_OUT_OF_RESOURCES;
  std::memset(Buffer, 0, Size == 0 ? 1 : Size);
  std::memcpy(Buffer, Text.data(), Text.size());
  *Reply = Buffer;
  *Lengths = REPLY_LENGTHS{Record[0], Record[1], Record[2]};
  return P.Profile_.TransportStatus;
}

EFI_STATUS EFIAPI UpdatePeers::BuildQuery(VOID** Query, const CHAR8* HostName, UINT16* Length) {
  UpdatePeers& P = Peers();
  if (Query == nullptr || HostName == nullptr || Length == nullptr) return EFI_INVALID_PARAMETER;
  std::string Name(HostName, strnlen(HostName, 256));
  P.Queries.push_back(Name);
  if (P.BuildQueryStatus) return *P.BuildQueryStatus;
  size_t Size = sizeof(QueryMagic) + Name.size() + 1;
  auto* Packet = (UINT8*)AllocateFrom(P.BootServices_, Size);
  if (Packet == nullptr) return EFI_OUT_OF_RESOURCES;
  std::memcpy(Packet, QueryMagic, sizeof(QueryMagic));
  std::memcpy(Packet + sizeof(QueryMagic), Name.c_str(), Name.size() + 1);
  *Query = Packet;
  *Length = (UINT16)Size;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI UpdatePeers::Exchange(UINTN* ContextA, UINTN* ContextB, UINTN Value1, VOID* Query,
                                        UINT16* Length, VOID** Answer) {
  UpdatePeers& P = Peers();
  if (ContextA == nullptr || ContextB == nullptr || Query == nullptr || Length == nullptr || Answer == nullptr) {
    return EFI_INVALID_PARAMETER;
  }
  P.ExchangeValues.push_back(Value1);
  if (P.ExchangeStatus) return *P.ExchangeStatus;
  const auto* Packet = (const UINT8*)Query;
  if (*Length < sizeof(QueryMagic) + 1 || std::memcmp(Packet, QueryMagic, sizeof(QueryMagic)) != 0 ||
      Packet[*Length - 1] != 0) {
    return EFI_INVALID_PARAMETER;
  }
  std::string Name((const char*)Packet + sizeof(QueryMagic));

  // Answer: record type, payload length, payload.
  Context C;
  C.QueryLength = *Length;
  const UpdateProfile::Name* Entry = P.Lookup(Name);
  if (Entry == nullptr) {
    C.Answer = {NAME_RECORD_NAME_ERROR, 0};
  } else if (!Entry->Alias.empty()) {
    C.Answer = {NAME_RECORD_ALIAS, (UINT8)std::min<size_t>(Entry->Alias.size(), 255)};
    C.Answer.insert(C.Answer.end(), Entry->Alias.begin(), Entry->Alias.begin() + C.Answer[1]);
  } else {
    C.Answer = {NAME_RECORD_ADDRESS, 4};
    C.Answer.insert(C.Answer.end(), Entry->Address.begin(), Entry->Address.end());
  }
  if (P.AnswerWithoutBuffer) C.Answer.clear();
  UINTN Id = P.NextContext_++;
  auto& Stored = P.Contexts_[Id] = std::move(C);
  *ContextA = Id;
  *ContextB = Id ^ 0x5A5A;
  *Length = (UINT16)Stored.Answer.size();
  *Answer = Stored.Answer.empty() ? nullptr : Stored.Answer.data();
  // The service's convention: an answer arrives as a time-out of the wait.
  return EFI_TIMEOUT;
}

EFI_STATUS EFIAPI UpdatePeers::ParseAnswer(VOID* Answer, UINT16 QueryLength, UINT16 AnswerLength,
                                           EFI_IPv4_ADDRESS* Address, CHAR8** NameBuffer, UINT8* RecordType) {
  UpdatePeers& P = Peers();
  ++P.Parses;
  if (Answer == nullptr || Address == nullptr || NameBuffer == nullptr || *NameBuffer == nullptr ||
      RecordType == nullptr) {
    return EFI_INVALID_PARAMETER;
  }
  const Context* Owner = nullptr;
  for (const auto& [Id, C] : P.Contexts_) {
    if (C.Answer.data() == Answer) Owner = &C;
  }
  // Lengths as the build and the exchange gave them, or the answer is not read.
  if (Owner == nullptr || QueryLength != Owner->QueryLength || AnswerLength != Owner->Answer.size()) {
    return EFI_INVALID_PARAMETER;
  }
  if (P.ParseStatus && EFI_ERROR(*P.ParseStatus)) {
    size_t Copied = std::min(P.ParseName.size(), NAME_ALIAS_BUFFER_SIZE - 1);
    std::memcpy(*NameBuffer, P.ParseName.data(), Copied);
    (*NameBuffer)[Copied] = '\0';
    return *P.ParseStatus;
  }
  const EFI_STATUS Worked = P.ParseStatus.value_or(EFI_SUCCESS);
  const std::vector<UINT8>& A = Owner->Answer;
  *RecordType = A[0];
  switch (A[0]) {
    case NAME_RECORD_ADDRESS:
      std::memcpy(Address->Addr, A.data() + 2, 4);
      return Worked;
    case NAME_RECORD_ALIAS: {
      size_t Count = A[1];
      size_t Copied = std::min(Count, NAME_ALIAS_BUFFER_SIZE - 1);
      std::memcpy(*NameBuffer, A.data() + 2, Copied);
      (*NameBuffer)[Copied] = '\0';
      return Copied == Count ? Worked : EFI_BUFFER_TOO_SMALL;
    }
    default:
      return EFI_NOT_FOUND;
  }
}

EFI_STATUS EFIAPI UpdatePeers::Close(UINTN ContextA, UINTN ContextB) {
  UpdatePeers& P = Peers();
  P.Closes.push_back({ContextA, ContextB});
  auto It = P.Contexts_.find(ContextA);
  if (It == P.Contexts_.end() || ContextB != (ContextA ^ 0x5A5A)) return EFI_INVALID_PARAMETER;
  P.Contexts_.erase(It);
  return EFI_SUCCESS;
}

}  // namespace sim
