// Stand-ins for the outside parts the update locator calls: the board
// identity protocol, a caller's network transport and the name-resolution
// service, all driven by an UpdateProfile and logging what they were asked.
//
// None of the transport's or the resolver's members takes an interface
// pointer, so the members reach the one active UpdatePeers object; only one
// may exist at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/board_identity.h"
#include "platform/name_resolution.h"
#include "platform/net_transport.h"
#include "sim/board_profile.h"
#include "uefi/system_table.h"

namespace sim {

// Answer record types of the simulated name server.
constexpr UINT8 NAME_RECORD_ADDRESS = 1;
constexpr UINT8 NAME_RECORD_NAME_ERROR = 0xFF;

// The board identity interface as its driver lays it out: its own header,
// the model name at byte 11 and two values at 0x48 and 0x50, in Room bytes
// (at least 0x58). The values are written only when the name and its
// terminator end before them; a longer name keeps its bytes.
std::vector<UINT8> BoardIdentityBytes(const std::string& ModelName, const std::array<uint64_t, 2>& Values,
                                      size_t Room);

class UpdatePeers {
 public:
  // Buffers handed to the driver (reply, query packets) come from BootServices'
  // pool, so the driver's frees and the pool's leak report see them.
  UpdatePeers(UpdateProfile Profile, EFI_BOOT_SERVICES* BootServices);
  ~UpdatePeers();
  UpdatePeers(const UpdatePeers&) = delete;
  UpdatePeers& operator=(const UpdatePeers&) = delete;

  static UpdatePeers* Active();

  BOARD_IDENTITY_PROTOCOL* BoardIdentity() { return (BOARD_IDENTITY_PROTOCOL*)Identity_.data(); }
  NET_TRANSPORT_PROTOCOL* Transport() { return &Transport_; }
  NAME_RESOLUTION_PROTOCOL* NameResolution() { return &Resolver_; }
  // (GUID, interface) of the two protocols a board installs; the transport
  // is the caller's and is passed by hand.
  std::vector<std::pair<const EFI_GUID*, VOID*>> BoardInterfaces();

  const UpdateProfile& Profile() const { return Profile_; }
  // Changes the scripted data; the identity bytes follow the model name.
  void SetProfile(UpdateProfile Profile);

  // Scripted faults of the name-resolution service; the profile's
  // (queryStatus, exchangeStatus, ...) arm them at construction.
  std::optional<EFI_STATUS> BuildQueryStatus;  // returned instead of building
  std::optional<EFI_STATUS> ExchangeStatus;    // returned with no answer
  // An error: returned by the parse, with ParseName left in the name buffer.
  // A success value: returned in place of EFI_SUCCESS by a parse that worked.
  std::optional<EFI_STATUS> ParseStatus;
  std::string ParseName;
  // The exchange reports an answer (EFI_TIMEOUT) but hands over no buffer.
  bool AnswerWithoutBuffer = false;
  // A transport that fails still hands over its reply buffer.
  bool ReplyOnTransportError = false;

  // What was asked.
  struct SendRecord {
    UINTN Value1;
    UINTN Value2;
    std::string Request;
    UINTN Reserved;
  };
  std::vector<SendRecord> Sends;
  std::vector<std::string> Queries;           // host names of BuildQuery calls
  std::vector<UINTN> ExchangeValues;          // value1 of each exchange
  std::vector<std::pair<UINTN, UINTN>> Closes;
  size_t Parses = 0;
  size_t OpenContexts() const { return Contexts_.size(); }

 private:
  struct Context {
    std::vector<UINT8> Answer;
    UINT16 QueryLength;
  };

  static EFI_STATUS EFIAPI Send(UINTN Value1, UINTN Value2, const CHAR8* Request, VOID** Reply,
                                REPLY_LENGTHS* Lengths, UINTN Reserved);
  static EFI_STATUS EFIAPI Exchange(UINTN* ContextA, UINTN* ContextB, UINTN Value1, VOID* Query, UINT16* Length,
                                    VOID** Answer);
  static EFI_STATUS EFIAPI BuildQuery(VOID** Query, const CHAR8* HostName, UINT16* Length);
  static EFI_STATUS EFIAPI ParseAnswer(VOID* Answer, UINT16 QueryLength, UINT16 AnswerLength,
                                       EFI_IPv4_ADDRESS* Address, CHAR8** NameBuffer, UINT8* RecordType);
  static EFI_STATUS EFIAPI Close(UINTN ContextA, UINTN ContextB);

  void RebuildIdentity();
  const UpdateProfile::Name* Lookup(const std::string& Name) const;

  UpdateProfile Profile_;
  EFI_BOOT_SERVICES* BootServices_;
  std::vector<UINT8> Identity_;
  NET_TRANSPORT_PROTOCOL Transport_{};
  NAME_RESOLUTION_PROTOCOL Resolver_{};
  std::map<UINTN, Context> Contexts_;
  UINTN NextContext_ = 1;
};

}  // namespace sim
