#include "tools/boardsim/update_lookup.h"

#include "tools/boardsim/status_name.h"
#include "platform/update_locator.h"
#include "sim/hii/hii_services.h"
#include "sim/hii/setup_browser.h"
#include "sim/peers/update_peers.h"
#include "tools/boardsim/text_util.h"
#include "updatefetch/update_locator.h"

namespace boardsim {
namespace {

struct CodeText {
  EFI_STATUS Code;
  const char* Name;
  const char* Meaning;
};

constexpr CodeText LocatorCodes[] = {
    {UPDATE_ARGUMENT_MISSING, "argument missing", "the transport or one of the caller's two values is missing"},
    {UPDATE_REQUEST_FAILED, "request failed",
     "the request exchange failed, or the reply's part lengths do not add up to its total"},
    {UPDATE_NO_SERVER_CHOICE, "no server choice",
     "the server choice is 'as the server says' and the reply has no URL=\" to say it"},
    {UPDATE_NO_LOCATION, "no location", "no download location could be taken from the reply"},
    {UPDATE_BAD_LOCATION, "bad location", "the download location has no host part or could not be split"},
    {UPDATE_RESOLVER_NOT_STARTED, "resolver not started",
     "name resolution could not start (no name service, or no query built)"},
    {UPDATE_RESOLVER_NO_ANSWER, "no answer",
     "the name service failed, gave no answer, or the alias limit was reached"},
    {UPDATE_ANSWER_BAD_NAME, "bad answer (name left)", "the name service's answer did not parse and left a name"},
    {UPDATE_ANSWER_NO_NAME, "bad answer (no name)", "the name service's answer did not parse and left no name"},
    {UPDATE_ANSWER_MISSING, "answer missing", "the name service ended its exchange without collecting an answer"},
};

const CodeText* FindCode(EFI_STATUS Result) {
  for (const CodeText& C : LocatorCodes) {
    if (C.Code == Result) {
      return &C;
    }
  }
  return nullptr;
}

std::string Terminated(const CHAR8* Buffer, size_t Capacity) {
  size_t Length = 0;
  while (Length < Capacity && Buffer[Length] != 0) {
    ++Length;
  }
  return std::string(Buffer, Length);
}

}  // namespace

std::string UpdateResultName(EFI_STATUS Result) {
  if (const CodeText* C = FindCode(Result)) {
    return std::to_string(Result) + " " + C->Name;
  }
  return StatusName(Result);
}

std::string UpdateResultMeaning(EFI_STATUS Result) {
  if (const CodeText* C = FindCode(Result)) {
    return C->Meaning;
  }
  if (UpdateResultFound(Result)) {
    return "the download location was found and its host resolved";
  }
  return "the lookup failed with this firmware status (reading NetConfigData from the browser, or a service)";
}

bool UpdateResultFound(EFI_STATUS Result) { return !EFI_ERROR(Result) && FindCode(Result) == nullptr; }

std::string DottedAddress(const EFI_IPv4_ADDRESS& Address) {
  return std::to_string(Address.Addr[0]) + "." + std::to_string(Address.Addr[1]) + "." +
         std::to_string(Address.Addr[2]) + "." + std::to_string(Address.Addr[3]);
}

UpdateRecord RunUpdateLookup(BoardSession& Session) {
  UpdateRecord Record;
  sim::Machine& Machine = Session.Machine();
  if (const std::vector<UINT8>* NetConfig =
          Session.Browser().StoreBytes(NET_CONFIG_DATA_NAME, NET_CONFIG_DATA_GUID)) {
    if (NetConfig->size() > NET_CONFIG_SERVER_CHOICE_OFFSET) {
      Record.ServerChoice = (*NetConfig)[NET_CONFIG_SERVER_CHOICE_OFFSET];
    }
  }
  EFI_BOOT_SERVICES* Bs = Machine.BootServices();
  sim::UpdatePeers Peers(Machine.Profile().Update, Bs);
  // The board's identity and name service are other drivers' protocols.
  std::vector<EFI_HANDLE> Handles;
  for (const auto& [Guid, Interface] : Peers.BoardInterfaces()) {
    EFI_HANDLE Handle = nullptr;
    Bs->InstallProtocolInterface(&Handle, Guid, EFI_NATIVE_INTERFACE, Interface);
    Handles.push_back(Handle);
  }
  UPDATE_LOCATOR_PROTOCOL* Locator = nullptr;
  EFI_STATUS Status = Bs->LocateProtocol(&UPDATE_LOCATOR_PROTOCOL::Guid, nullptr, (VOID**)&Locator);
  if (EFI_ERROR(Status) || Locator == nullptr) {
    Record.Result = EFI_ERROR(Status) ? Status : EFI_NOT_FOUND;
  } else {
    CHAR8 Host[UPDATE_HOST_BUFFER_SIZE] = {};
    CHAR8 Path[UPDATE_PATH_BUFFER_SIZE] = {};
    EFI_IPv4_ADDRESS Address{};
    // The caller's two opaque values: any non-zero pair.
    Record.Result = Locator->LocateDownload(Peers.Transport(), 1, 2, Host, Path, &Address);
    Record.Found = UpdateResultFound(Record.Result);
    if (Record.Found) {
      Record.Host = Terminated(Host, sizeof(Host));
      Record.Path = Terminated(Path, sizeof(Path));
      Record.Address = DottedAddress(Address);
    }
  }
  Record.ResultName = UpdateResultName(Record.Result);
  Record.Meaning = UpdateResultMeaning(Record.Result);
  if (!Peers.Sends.empty()) {
    Record.Request = Peers.Sends.front().Request;
  }
  Record.Queries = Peers.Queries;
  auto Interfaces = Peers.BoardInterfaces();
  for (size_t I = 0; I < Handles.size() && I < Interfaces.size(); ++I) {
    Bs->UninstallProtocolInterface(Handles[I], Interfaces[I].first, Interfaces[I].second);
  }
  return Record;
}

}  // namespace boardsim
