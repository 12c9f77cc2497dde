// updatefetch inside OVMF: the update locator over a transport and a name
// service that the checks provide, with replies they script.
#include "lib/firmware_services.h"
#include "lib/strings.h"
#include "lib/util.h"
#include "platform/board_identity.h"
#include "platform/form_utility.h"
#include "platform/name_resolution.h"
#include "platform/net_transport.h"
#include "platform/update_locator.h"
#include "qemu/checks.h"

#ifndef UPDATE_SERVER_HOST
#error "UPDATE_SERVER_HOST: the host name the update locator sends"
#endif

namespace {

constexpr EFI_GUID NET_CONFIG_GUID = {0x8F132913, 0x6907, 0x4192, {0xA2, 0x27, 0x6C, 0xBC, 0xD7, 0xA5, 0x0E, 0x6C}};
constexpr UINTN NET_CONFIG_SIZE = 490;
constexpr UINTN SERVER_CHOICE_OFFSET = 105;
constexpr UINTN VALUE1 = 0x1111;
constexpr UINTN VALUE2 = 0x2222;
constexpr UINTN REQUEST_CAPACITY = 512;

// ---- Transport --------------------------------------------------------------

struct TRANSPORT_SCRIPT {
  const CHAR8* Header;  // status line and headers, with the blank line
  const CHAR8* Body;
  INT32 TotalAdjust;    // added to the total length: a length record that does not add up
  UINTN Sends;
  UINTN Value1;
  UINTN Value2;
  CHAR8 Request[REQUEST_CAPACITY];
};

// ---- Name service -----------------------------------------------------------

constexpr UINT8 ADDRESS_RECORD = 1;

struct NAME_ENTRY {
  const CHAR8* Name;
  UINT8 Type;
  UINT8 Address[4];
  const CHAR8* Alias;
};

constexpr NAME_ENTRY KnownNames[] = {
    {"files.example.net", ADDRESS_RECORD, {198, 51, 100, 7}, nullptr},
    {"alias.example.net", NAME_RECORD_ALIAS, {}, "files.example.net"},
};

struct NAME_ANSWER {
  UINT8 Type;
  UINT8 Address[4];
  CHAR8 Alias[NAME_ALIAS_BUFFER_SIZE];
};

struct NAME_SERVICE_LOG {
  UINTN Queries;
  UINTN Exchanges;
  UINTN Closes;
  UINTN Value1;
};

struct UPDATE_CHECK_STATE {
  TRANSPORT_SCRIPT Transport;
  NAME_SERVICE_LOG Names;
};

constinit UPDATE_CHECK_STATE gUpdate = {};

EFI_STATUS EFIAPI ScriptedSend(UINTN Value1, UINTN Value2, const CHAR8* Request, VOID** Reply,
                               REPLY_LENGTHS* Lengths, UINTN Reserved) {
  TRANSPORT_SCRIPT& Script = gUpdate.Transport;
  Script.Sends++;
  Script.Value1 = Value1;
  Script.Value2 = Value2;
  UINTN RequestLength = Min(AsciiLength(Request), REQUEST_CAPACITY - 1);
  MemMove(Script.Request, Request, RequestLength);
  Script.Request[RequestLength] = 0;
  UINTN HeaderLength = AsciiLength(Script.Header), BodyLength = AsciiLength(Script.Body);
  CHAR8* Text = (CHAR8*)AllocateBootPool(HeaderLength + BodyLength + 1);
  if (Text == nullptr) return EFI_OUT_OF_RESOURCES;
  MemMove(Text, Script.Header, HeaderLength);
  MemMove(Text + HeaderLength, Script.Body, BodyLength + 1);
  *Reply = Text;
  Lengths->FirstPart = (UINT32)HeaderLength;
  Lengths->SecondPart = (UINT32)BodyLength;
  Lengths->Total = (UINT32)(HeaderLength + BodyLength + Script.TotalAdjust);
  return EFI_SUCCESS;
}

// The query is the host name itself.
EFI_STATUS EFIAPI BuildQuery(VOID** Query, const CHAR8* HostName, UINT16* Length) {
  UINTN Size = AsciiLength(HostName) + 1;
  CHAR8* Packet = (CHAR8*)AllocateBootPool(Size);
  if (Packet == nullptr) return EFI_OUT_OF_RESOURCES;
  MemMove(Packet, HostName, Size);
  *Query = Packet;
  *Length = (UINT16)Size;
  gUpdate.Names.Queries++;
  return EFI_SUCCESS;
}

// The answer lives in context A until Close.
EFI_STATUS EFIAPI Exchange(UINTN* ContextA, UINTN* ContextB, UINTN Value1, VOID* Query, UINT16* Length,
                           VOID** Answer) {
  gUpdate.Names.Exchanges++;
  gUpdate.Names.Value1 = Value1;
  *ContextA = 0;
  *ContextB = 0;
  for (const NAME_ENTRY& Entry : KnownNames) {
    if (!SameAscii(Entry.Name, (const CHAR8*)Query)) continue;
    NAME_ANSWER* Record = (NAME_ANSWER*)AllocateZeroedBootPool(sizeof(NAME_ANSWER));
    if (Record == nullptr) return EFI_OUT_OF_RESOURCES;
    Record->Type = Entry.Type;
    MemMove(Record->Address, Entry.Address, 4);
    if (Entry.Alias != nullptr) AsciiCopy(Record->Alias, Entry.Alias);
    *ContextA = (UINTN)Record;
    *Length = sizeof(NAME_ANSWER);
    *Answer = Record;
    return EFI_TIMEOUT;
  }
  return EFI_NOT_FOUND;
}

EFI_STATUS EFIAPI ParseAnswer(VOID* Answer, UINT16 QueryLength, UINT16 AnswerLength, EFI_IPv4_ADDRESS* Address,
                              CHAR8** NameBuffer, UINT8* RecordType) {
  if (Answer == nullptr || AnswerLength != sizeof(NAME_ANSWER)) return EFI_PROTOCOL_ERROR;
  const NAME_ANSWER* Record = (const NAME_ANSWER*)Answer;
  *RecordType = Record->Type;
  if (Record->Type == NAME_RECORD_ALIAS) {
    if (NameBuffer == nullptr || *NameBuffer == nullptr) return EFI_INVALID_PARAMETER;
    AsciiCopy(*NameBuffer, Record->Alias);
  } else {
    MemMove(Address->Addr, Record->Address, 4);
  }
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI CloseExchange(UINTN ContextA, UINTN ContextB) {
  gUpdate.Names.Closes++;
  FreeBootPool((VOID*)ContextA);
  return EFI_SUCCESS;
}

constinit NAME_RESOLUTION_PROTOCOL gNameService = {
    {}, Exchange, BuildQuery, ParseAnswer, nullptr, CloseExchange,
};
constinit NET_TRANSPORT_PROTOCOL gTransport = {{}, ScriptedSend};
constinit BOARD_IDENTITY_PROTOCOL gOwnIdentity = {{}, "QEMU Test Board"};

// ---- One lookup ---------------------------------------------------------------

struct LOOKUP {
  EFI_STATUS Status;
  CHAR8 Host[UPDATE_HOST_BUFFER_SIZE];
  CHAR8 Path[UPDATE_PATH_BUFFER_SIZE];
  EFI_IPv4_ADDRESS Address;
};

struct UPDATE_CONTEXT {
  UPDATE_LOCATOR_PROTOCOL* Locator;
  FORM_UTILITY_PROTOCOL* FormUtility;
  const CHAR8* Model;
};

EFI_STATUS SetServerChoice(const UPDATE_CONTEXT& Context, UINT8 Choice) {
  UINT8 NetConfig[NET_CONFIG_SIZE] = {};
  NetConfig[SERVER_CHOICE_OFFSET] = Choice;
  return Context.FormUtility->SetBrowserData(sizeof(NetConfig), NetConfig, &NET_CONFIG_GUID, u"NetConfigData");
}

void Lookup(const UPDATE_CONTEXT& Context, UINT8 Choice, const CHAR8* Body, INT32 TotalAdjust, LOOKUP* Out,
            NET_TRANSPORT_PROTOCOL* Transport = &gTransport, UINTN Value1 = VALUE1, UINTN Value2 = VALUE2) {
  SetServerChoice(Context, Choice);
  TRANSPORT_SCRIPT& Script = gUpdate.Transport;
  Script = {};
  Script.Header = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n";
  Script.Body = Body;
  Script.TotalAdjust = TotalAdjust;
  gUpdate.Names = {};
  MemFill(Out, sizeof(*Out), 0);
  Out->Status = Context.Locator->LocateDownload(Transport, Value1, Value2, Out->Host, Out->Path, &Out->Address);
}

bool AddressIs(const LOOKUP& L, UINT8 A, UINT8 B, UINT8 C, UINT8 D) {
  return L.Address.Addr[0] == A && L.Address.Addr[1] == B && L.Address.Addr[2] == C && L.Address.Addr[3] == D;
}

constexpr CHAR8 MIRRORS[] =
    "<html><body><Download>"
    "<URL1>http://files.example.net/board/fw.cap</URL1>"
    "<URL2>http://192.0.2.44/mirror/fw.cap</URL2>"
    "<URL3>http://alias.example.net/fw.cap</URL3>"
    "</Download></body></html>";

void CheckWellFormed(CHECK_REPORT* Report, const UPDATE_CONTEXT& Context) {
  LOOKUP L;
  Lookup(Context, 0, MIRRORS, 0, &L);
  const TRANSPORT_SCRIPT& T = gUpdate.Transport;
  const NAME_SERVICE_LOG& N = gUpdate.Names;
  Check(Report, u"update.well_formed",
        L.Status == 0 && SameAscii(L.Host, "files.example.net") && SameAscii(L.Path, "/board/fw.cap") &&
            AddressIs(L, 198, 51, 100, 7),
        u"status %lx host \"%a\" path \"%a\" address %d.%d.%d.%d", L.Status, L.Host, L.Path, L.Address.Addr[0],
        L.Address.Addr[1], L.Address.Addr[2], L.Address.Addr[3]);

  // The request names the board model with blanks escaped.
  CHAR8 Model[64] = {};
  UINTN Length = 0;
  for (const CHAR8* C = Context.Model; *C != 0 && Length + 4 < sizeof(Model); ++C) {
    if (*C == ' ') {
      AsciiCopy(Model + Length, "%20");
      Length += 3;
    } else {
      Model[Length++] = *C;
    }
  }
  CHAR8 Expected[REQUEST_CAPACITY];
  FormatAscii(Expected, REQUEST_CAPACITY,
              "GET /support/Skyfetch.asp?Model=%a HTTP/1.1\r\nHost:%a\r\nConnection:Keep-Alive\r\n\r\n", Model,
              UPDATE_SERVER_HOST);
  Check(Report, u"update.request", T.Sends == 1 && T.Value1 == VALUE1 && T.Value2 == VALUE2 &&
                                       SameAscii(T.Request, Expected),
        u"%ld sends, values %lx %lx, request \"%a\"", T.Sends, T.Value1, T.Value2, T.Request);
  Check(Report, u"update.name_service", N.Queries == 1 && N.Exchanges == 1 && N.Closes == 1 && N.Value1 == VALUE1,
        u"%ld queries, %ld exchanges, %ld closes, value %lx", N.Queries, N.Exchanges, N.Closes, N.Value1);

  Lookup(Context, 1, MIRRORS, 0, &L);
  Check(Report, u"update.dotted_mirror",
        L.Status == 0 && SameAscii(L.Host, "192.0.2.44") && SameAscii(L.Path, "/mirror/fw.cap") &&
            AddressIs(L, 192, 0, 2, 44) && gUpdate.Names.Exchanges == 0,
        u"status %lx host \"%a\" path \"%a\" address %d.%d.%d.%d, %ld exchanges", L.Status, L.Host, L.Path,
        L.Address.Addr[0], L.Address.Addr[1], L.Address.Addr[2], L.Address.Addr[3], gUpdate.Names.Exchanges);
}

void CheckAlias(CHECK_REPORT* Report, const UPDATE_CONTEXT& Context) {
  LOOKUP L;
  Lookup(Context, 2, MIRRORS, 0, &L);
  const NAME_SERVICE_LOG& N = gUpdate.Names;
  Check(Report, u"update.alias",
        L.Status == 0 && SameAscii(L.Host, "files.example.net") && SameAscii(L.Path, "/fw.cap") &&
            AddressIs(L, 198, 51, 100, 7) && N.Exchanges == 2 && N.Closes == 2,
        u"status %lx host \"%a\" path \"%a\" address %d.%d.%d.%d, %ld exchanges %ld closes", L.Status, L.Host, L.Path,
        L.Address.Addr[0], L.Address.Addr[1], L.Address.Addr[2], L.Address.Addr[3], N.Exchanges, N.Closes);

  // The server picks the mirror.
  Lookup(Context, 4, "<p>URL=\"URL3\"</p><Download><URL3>http://alias.example.net/x/y.cap</URL3></Download>", 0, &L);
  Check(Report, u"update.server_choice",
        L.Status == 0 && SameAscii(L.Host, "files.example.net") && SameAscii(L.Path, "/x/y.cap"),
        u"status %lx host \"%a\" path \"%a\"", L.Status, L.Host, L.Path);
}

void CheckFailures(CHECK_REPORT* Report, const UPDATE_CONTEXT& Context) {
  LOOKUP L;
  Lookup(Context, 0, "<html><body>no mirrors today</body></html>", 0, &L);
  Check(Report, u"update.broken_reply", L.Status == UPDATE_NO_LOCATION && gUpdate.Names.Exchanges == 0,
        u"status %lx, %ld exchanges", L.Status, gUpdate.Names.Exchanges);

  Lookup(Context, 4, MIRRORS, 0, &L);
  Check(Report, u"update.no_server_choice", L.Status == UPDATE_NO_SERVER_CHOICE, u"status %lx", L.Status);

  Lookup(Context, 0, MIRRORS, -1, &L);
  Check(Report, u"update.wrong_length", L.Status == UPDATE_REQUEST_FAILED && gUpdate.Transport.Sends == 1,
        u"status %lx, %ld sends", L.Status, gUpdate.Transport.Sends);

  EFI_STATUS Codes[3];
  UINTN Sends = 0;
  Lookup(Context, 0, MIRRORS, 0, &L, nullptr);
  Codes[0] = L.Status;
  Sends += gUpdate.Transport.Sends;
  Lookup(Context, 0, MIRRORS, 0, &L, &gTransport, 0);
  Codes[1] = L.Status;
  Sends += gUpdate.Transport.Sends;
  Lookup(Context, 0, MIRRORS, 0, &L, &gTransport, VALUE1, 0);
  Codes[2] = L.Status;
  Sends += gUpdate.Transport.Sends;
  Check(Report, u"update.missing_arguments",
        Codes[0] == UPDATE_ARGUMENT_MISSING && Codes[1] == UPDATE_ARGUMENT_MISSING &&
            Codes[2] == UPDATE_ARGUMENT_MISSING && Sends == 0,
        u"no transport %lx, no value1 %lx, no value2 %lx, %ld sends", Codes[0], Codes[1], Codes[2], Sends);
}

}  // namespace

void RunUpdateLocatorChecks(CHECK_REPORT* Report) {
  UPDATE_CONTEXT Context = {};
  Context.Locator = LocateProtocol<UPDATE_LOCATOR_PROTOCOL>();
  Context.FormUtility = LocateProtocol<FORM_UTILITY_PROTOCOL>();
  if (!Check(Report, u"update.services", Context.Locator != nullptr && Context.FormUtility != nullptr,
             u"update locator %d, form utility %d", Context.Locator != nullptr, Context.FormUtility != nullptr))
    return;

  // OVMF has no board identity or name service of this board's firmware: ours
  // stand in, and leave with this image.
  BOARD_IDENTITY_PROTOCOL* Identity = LocateProtocol<BOARD_IDENTITY_PROTOCOL>();
  EFI_HANDLE IdentityHandle = nullptr;
  EFI_STATUS Status;
  if (Identity == nullptr) {
    Status = gBS()->InstallMultipleProtocolInterfaces(&IdentityHandle, &BOARD_IDENTITY_PROTOCOL::Guid, &gOwnIdentity,
                                                      nullptr);
    if (EFI_ERROR(Status)) {
      Check(Report, u"update.board_identity", false, u"install: %r", Status);
      return;
    }
    Identity = &gOwnIdentity;
  }
  Context.Model = Identity->ModelName;
  EFI_HANDLE NameHandle = nullptr;
  Status = gBS()->InstallMultipleProtocolInterfaces(&NameHandle, &NAME_RESOLUTION_PROTOCOL::Guid, &gNameService,
                                                    nullptr);
  if (EFI_ERROR(Status)) {
    Check(Report, u"update.name_service", false, u"install: %r", Status);
  } else {
    UINTN Size = 0;
    Status = Context.FormUtility->GetBrowserData(&Size, nullptr, &NET_CONFIG_GUID, u"NetConfigData");
    Note(u"NetConfigData before the checks: %r", Status);
    CheckWellFormed(Report, Context);
    CheckAlias(Report, Context);
    CheckFailures(Report, Context);
    gBS()->UninstallMultipleProtocolInterfaces(NameHandle, &NAME_RESOLUTION_PROTOCOL::Guid, &gNameService, nullptr);
  }
  if (IdentityHandle != nullptr)
    gBS()->UninstallMultipleProtocolInterfaces(IdentityHandle, &BOARD_IDENTITY_PROTOCOL::Guid, &gOwnIdentity, nullptr);
}
