// The stored profile content as a load reads it back: records whose lengths
// lie past the data or wrap when the length field is added, records for
// stores the browser no longer holds, a name of 40 bytes without a NUL. The
// load of profile 0 runs through the browser; then profile 1 is saved from
// what the browser holds. A store changed other than by an independent walk
// of the records, a message after a walk that stopped, a saved profile other
// than the records of the held stores, pool damage or a leak is a finding.
//
// Input: a mask of the held stores (bit 0 Setup, bits 1 to 7 the other
// rows), each held store's size (one byte; Setup keeps its 1172 bytes), a
// name flag (0 none, 1 terminated, 2 40 bytes of input), then the content.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/profile_storage.h"
#include "setupinfo/pages/platform/user_profiles.h"
#include "setupinfo_fuzz_machine.h"
#include "sim/peers/profile_peers.h"

namespace {

constexpr UINT16 TOOLS = 0x8;

struct ROW {
  const char16_t* Name;
  const EFI_GUID* Guid;
};
const ROW Rows[PROFILE_STORE_COUNT] = {
    {u"Setup", &SETUP_VARIABLE_GUID},           {u"UsbSupport", &SETUP_VARIABLE_GUID},
    {u"ORVQSBSetup", &QUICK_SETUP_STORE_GUID},  {u"PNP0604_0_NV", &SUPER_IO_STORE_GUID},
    {u"PNP0501_0_NV", &SUPER_IO_STORE_GUID},    {u"PNP0501_1_NV", &SUPER_IO_STORE_GUID},
    {u"PNP0400_0_NV", &SUPER_IO_STORE_GUID},    {u"PNP0510_0_NV", &SUPER_IO_STORE_GUID},
};

UINT32 LengthAt(const std::vector<UINT8>& Bytes, size_t At) {
  return (UINT32)Bytes[At] | (UINT32)Bytes[At + 1] << 8 | (UINT32)Bytes[At + 2] << 16 | (UINT32)Bytes[At + 3] << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzReader In(Data, Size);
  const UINT8 Held = In.U8();
  sim::BoardProfile Profile = sim::DefaultBoardProfile();
  sim::ProfileStorageProfile Storage;
  for (size_t i = 1; i < PROFILE_STORE_COUNT; ++i) {
    if (!(Held & (1u << i))) continue;
    std::vector<UINT8> Bytes(In.U8());
    for (size_t b = 0; b < Bytes.size(); ++b) Bytes[b] = UINT8(i * 16 + b);
    Storage.Stores.push_back({Rows[i].Name, *Rows[i].Guid, std::move(Bytes)});
  }
  Storage.Stores.push_back({PROFILE_SAVED_MARKS_NAME, SETUP_VARIABLE_GUID, std::vector<UINT8>(3, 0)});
  Storage.TextAnswers = {std::string("Fuzz")};
  Profile.ProfileStorage = Storage;
  const UINT8 NameFlag = In.U8();
  std::string Name;
  if (NameFlag == 1) Name = std::string("P\0r\0o\0f\0i\0l\0e\0\0\0", 16);
  if (NameFlag == 2)
    for (size_t b = 0; b < PROFILE_NAME_BYTES; ++b) Name.push_back((char)In.U8());
  std::vector<UINT8> Content;
  while (!In.Done()) Content.push_back(In.U8());

  SetupMachine S(Profile);
  sim::VariableStore& Variables = S.M().Variables();
  if (!(Held & 1)) Variables.Erase(u"Setup", SETUP_VARIABLE_GUID);
  if (!Name.empty())
    Variables.Put(u"TWL_USER_DEF_NAME00", PROFILE_VARIABLE_GUID, 0x7, std::vector<UINT8>(Name.begin(), Name.end()));
  Variables.Put(u"TWL_USER_DEF00", PROFILE_VARIABLE_GUID, 0x7, Content);
  {
    sim::ProfileStoragePeer Peer(Storage);
    Peer.DeclareStores();
    Peer.Install(S.M().BootServices());
    S.LoadSetupInfo();
    if (S.Browser().Open() != EFI_SUCCESS) return 0;

    // What the load must leave: the records copied in table order up to the
    // first that does not fit, found by a walk of its own.
    std::vector<std::vector<UINT8>> Expected(PROFILE_STORE_COUNT);
    bool Whole = !Name.empty();
    size_t At = 0;
    for (size_t i = 0; i < PROFILE_STORE_COUNT; ++i) {
      const std::vector<UINT8>* Bytes = S.Browser().StoreBytes(Rows[i].Name, *Rows[i].Guid);
      if (Bytes == nullptr) continue;
      Expected[i] = *Bytes;
      if (!Whole) continue;
      if (Content.size() - At < 4) {
        Whole = false;
        continue;
      }
      const uint64_t Length = LengthAt(Content, At);
      if (Length > Content.size() - At - 4 || Length != Bytes->size()) {
        Whole = false;
        continue;
      }
      Expected[i].assign(Content.begin() + At + 4, Content.begin() + At + 4 + Length);
      At += 4 + Length;
    }

    EFI_IFR_TYPE_VALUE Value{};
    S.Browser().Callback(TOOLS, EFI_BROWSER_ACTION_CHANGING, PROFILE_FIRST_KEY + 1, EFI_IFR_TYPE_NUM_SIZE_8, Value);
    for (size_t i = 0; i < PROFILE_STORE_COUNT; ++i) {
      const std::vector<UINT8>* Bytes = S.Browser().StoreBytes(Rows[i].Name, *Rows[i].Guid);
      if (Bytes != nullptr && *Bytes != Expected[i]) std::abort();
    }
    if (Peer.Messages.size() != (Whole ? 1u : 0u)) std::abort();

    // Saving what the browser holds now writes exactly its records.
    std::vector<UINT8> Records;
    for (size_t i = 0; i < PROFILE_STORE_COUNT; ++i) {
      const std::vector<UINT8>* Bytes = S.Browser().StoreBytes(Rows[i].Name, *Rows[i].Guid);
      if (Bytes == nullptr) continue;
      for (int b = 0; b < 4; ++b) Records.push_back(UINT8(Bytes->size() >> (8 * b)));
      Records.insert(Records.end(), Bytes->begin(), Bytes->end());
    }
    S.Browser().Callback(TOOLS, EFI_BROWSER_ACTION_CHANGING, PROFILE_FIRST_KEY + 2, EFI_IFR_TYPE_NUM_SIZE_8, Value);
    const sim::VariableStore::Variable* Saved = Variables.Find(u"TWL_USER_DEF01", PROFILE_VARIABLE_GUID);
    if (Records.empty() ? Saved != nullptr : (Saved == nullptr || Saved->Data != Records)) std::abort();
    const std::vector<UINT8>* Marks = S.Browser().StoreBytes(PROFILE_SAVED_MARKS_NAME, SETUP_VARIABLE_GUID);
    if (Marks == nullptr || (*Marks)[1] != (Records.empty() ? 0 : 1)) std::abort();
    S.Browser().Close();
  }
  return 0;
}
