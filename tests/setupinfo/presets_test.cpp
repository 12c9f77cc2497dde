// Setting presets and the forwarded questions of the tuning and tools form
// sets: each preset's row copied field by field with its companion values
// into the browser's Setup and nothing else touched, rows beyond the
// provider's tables ignored, and the three forwarders with the standard
// error console silenced where it must be and always restored.
#include <memory>
#include <string>
#include <vector>

#include "platform/presets.h"
#include "setupinfo/core/setup_record.h"
#include "setupinfo/pages/platform/presets.h"
#include "setupinfo_fixture.h"
#include "sim/peers/preset_peers.h"

namespace setupinfo_test {
namespace {

constexpr UINT16 TUNING = 0x2;
constexpr UINT16 TOOLS = 0x8;

// The row layouts as the tuning page's preset lists define them: row offset,
// width, Setup offset.
struct FIELD {
  size_t Row, Width, Setup;
};
const std::vector<FIELD> ProcessorFields = {
    {0x00, 1, 0x7F}, {0x01, 1, 0x80}, {0x02, 1, 0x98}, {0x03, 1, 0x3E3}, {0x04, 2, 0x4D}, {0x06, 2, 0x4B},
    {0x08, 2, 0x41}, {0x0A, 1, 0x82}, {0x0C, 2, 0x85}, {0x0E, 2, 0x83}, {0x10, 1, 0x89}, {0x12, 2, 0x8C},
    {0x14, 2, 0x8A}, {0x16, 1, 0x90}, {0x17, 1, 0x91}, {0x18, 1, 0x2E}, {0x1A, 2, 0x30}, {0x1C, 1, 0x32}};
std::vector<FIELD> Join(std::vector<FIELD> A, const std::vector<FIELD>& B) {
  A.insert(A.end(), B.begin(), B.end());
  return A;
}
const std::vector<FIELD> FieldsA = Join(ProcessorFields, {{0x1D, 1, 0x42D}});
const std::vector<FIELD> FieldsB = {{0x00, 1, 0x2C0}, {0x02, 2, 0x2C1}, {0x04, 1, 0x3E6}, {0x06, 2, 0x3E9}};
const std::vector<FIELD> FieldsC =
    Join(ProcessorFields, {{0x1D, 1, 0x2C0}, {0x1E, 2, 0x2C1}, {0x20, 1, 0x3E6}, {0x22, 2, 0x3E9}, {0x24, 1, 0x55},
                           {0x25, 1, 0x56}, {0x26, 1, 0x6D}, {0x28, 2, 0x34C}, {0x2A, 1, 0x42D}});
const std::vector<FIELD> FieldsD = {{0, 1, 0x2E},  {1, 1, 0x2F},  {2, 1, 0x3F5},  {3, 1, 0x1F5},
                                    {4, 1, 0x53},  {5, 1, 0x54},  {6, 1, 0x55},   {7, 1, 0x56},
                                    {8, 1, 0x42D}, {9, 1, 0x437}, {10, 1, 0x442}, {11, 1, 0x44D}};
const std::vector<std::pair<size_t, UINT8>> Companions = {
    {0x484, 0}, {0x2E, 0}, {0x2F, 1}, {0x3F5, 0}, {0x1F5, 0}, {0x53, 2}, {0x54, 2},
    {0x55, 2},  {0x56, 2}, {0x42D, 2}, {0x437, 2}, {0x442, 2}, {0x44D, 0}};
constexpr size_t RowBytes[4] = {30, 8, 44, 12};

class Presets : public SetupInfoTest {
 protected:
  void Customise(sim::BoardProfile& Profile) override { CustomisePresets(Profile.Presets); }
  virtual void CustomisePresets(sim::PresetProfile&) {}

  void SetUp() override {
    SetupInfoTest::SetUp();
    Peers = std::make_unique<sim::PresetPeers>(M().Profile().Presets);
    Peers->InstallPresent(ST());
    ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
    ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
    // A pattern in every byte, so any stray write shows.
    std::vector<UINT8>& S = Record();
    ASSERT_EQ(S.size(), SETUP_RECORD_SIZE);
    for (size_t I = 0; I < S.size(); ++I) S[I] = (UINT8)(0x5A ^ I);
  }

  std::vector<UINT8>& Record() { return *Browser().StoreBytes(SETUP_VARIABLE_NAME, SETUP_VARIABLE_GUID); }

  EFI_STATUS Send(UINT16 Class, UINT16 Key, EFI_BROWSER_ACTION Action = EFI_BROWSER_ACTION_CHANGED) {
    EFI_IFR_TYPE_VALUE Value{};
    return Browser().Callback(Class, Action, Key, EFI_IFR_TYPE_NUM_SIZE_8, Value);
  }

  // Setup as preset Table's row Row with its values should leave Before.
  std::vector<UINT8> Expected(std::vector<UINT8> Before, size_t Table, size_t Row) {
    const std::vector<FIELD>* Fields[] = {&FieldsA, &FieldsB, &FieldsC, &FieldsD};
    if (Table < 3)
      for (auto [Offset, Value] : Companions) Before[Offset] = Value;
    if (Table == 2) Before[0x481] = Before[0x482] = 0;
    if (Table == 3) Before[0x9B] = 0;
    const std::vector<UINT8>& Rows = Peers->Table(Table);
    for (const FIELD& F : *Fields[Table])
      for (size_t B = 0; B < F.Width; ++B) Before[F.Setup + B] = Rows.at(Row * RowBytes[Table] + F.Row + B);
    return Before;
  }

  std::unique_ptr<sim::PresetPeers> Peers;
};

TEST_F(Presets, EachKeyCopiesItsTablesChosenRowWithItsCompanionValuesAndNothingElse) {
  struct CASE {
    UINT16 Key;
    size_t Table;
    UINT8 Row;
  };
  const CASE Cases[] = {{0x51F, 0, 1}, {0x520, 0, 2}, {0x521, 0, 0}, {0x522, 0, 1}, {0x523, 1, 2},
                        {0x524, 1, 1}, {0x525, 2, 1}, {0x525, 2, 0}, {0x526, 3, 1}, {0x526, 3, 0}};
  for (const CASE& C : Cases) {
    SCOPED_TRACE(testing::Message() << "key 0x" << std::hex << C.Key << ", row " << int(C.Row));
    Record()[0x481 + C.Table] = C.Row;
    const std::vector<UINT8> Before = Record();
    const auto Calls = Forms().Calls();
    EXPECT_EQ(Send(TUNING, C.Key), EFI_SUCCESS);
    EXPECT_EQ(Forms().Calls().SetBrowserData, Calls.SetBrowserData + 1);
    const std::vector<UINT8> Want = Expected(Before, C.Table, C.Row);
    for (size_t I = 0; I < SETUP_RECORD_SIZE; ++I)
      EXPECT_EQ(Record()[I], Want[I]) << "Setup byte 0x" << std::hex << I;
    // The same preset again gives the same bytes.
    Record()[0x481 + C.Table] = C.Row;
    const std::vector<UINT8> Once = Record();
    EXPECT_EQ(Send(TUNING, C.Key), EFI_SUCCESS);
    EXPECT_EQ(Record(), Once);
  }
}

TEST_F(Presets, PresetAResetsTheTableDIndexAndPresetCBothOthers) {
  Record()[0x481] = 1;
  Record()[0x482] = 2;
  Record()[0x483] = 1;
  Record()[0x484] = 1;
  ASSERT_EQ(Send(TUNING, 0x51F), EFI_SUCCESS);
  EXPECT_EQ(Record()[0x484], 0);
  EXPECT_EQ(Record()[0x481], 1);
  EXPECT_EQ(Record()[0x482], 2);
  ASSERT_EQ(Send(TUNING, 0x525), EFI_SUCCESS);
  EXPECT_EQ(Record()[0x481], 0);
  EXPECT_EQ(Record()[0x482], 0);
  EXPECT_EQ(Record()[0x483], 1);
}

// Nothing is fetched or handed back: wrong browser actions, rows the
// provider does not hold, and a browser without (a whole) Setup.
TEST_F(Presets, RequestsThatCannotApplyLeaveTheBrowsersSetupAlone) {
  const std::vector<UINT8> Before = Record();
  const auto Calls = Forms().Calls();
  for (EFI_BROWSER_ACTION Action : {EFI_BROWSER_ACTION_CHANGING, EFI_BROWSER_ACTION_RETRIEVE,
                                    EFI_BROWSER_ACTION_FORM_OPEN, EFI_BROWSER_ACTION_DEFAULT_STANDARD})
    for (UINT16 Key = 0x51F; Key <= 0x526; ++Key) EXPECT_EQ(Send(TUNING, Key, Action), EFI_UNSUPPORTED);
  EXPECT_EQ(Forms().Calls().GetBrowserData, Calls.GetBrowserData);

  // Default board: 3, 3, 2 and 2 rows.
  const UINT8 Beyond[][4] = {{3, 0, 0, 0}, {0, 3, 0, 0}, {0, 0, 2, 0}, {0, 0, 0, 2}, {0xFF, 0xFF, 0xFF, 0xFF}};
  const UINT16 KeyOf[4] = {0x520, 0x524, 0x525, 0x526};
  for (const auto& Rows : Beyond)
    for (size_t T = 0; T < 4; ++T) {
      if (Rows[T] == 0) continue;
      SCOPED_TRACE(testing::Message() << "table " << T << ", row " << int(Rows[T]));
      std::vector<UINT8> Start = Before;
      Start[0x481 + T] = Rows[T];
      Record() = Start;
      EXPECT_EQ(Send(TUNING, KeyOf[T]), EFI_SUCCESS);
      EXPECT_EQ(Record(), Start);
    }
  EXPECT_EQ(Forms().Calls().SetBrowserData, Calls.SetBrowserData);

  // A browser copy of another size (the row byte would not be the user's).
  Record().resize(0x485);
  Record()[0x481] = 1;
  const std::vector<UINT8> Short = Record();
  EXPECT_EQ(Send(TUNING, 0x51F), EFI_BAD_BUFFER_SIZE);
  EXPECT_EQ(Record(), Short);
  // No copy at all: the fetch's status, nothing handed back.
  Browser().Close();
  EXPECT_TRUE(EFI_ERROR(Send(TUNING, 0x51F)));
  EXPECT_EQ(Forms().Calls().SetBrowserData, Calls.SetBrowserData);
}

TEST_F(Presets, EveryAllocationMayFailWithoutLeakOrHandBack) {
  Record()[0x483] = 1;
  const std::vector<UINT8> Before = Record();
  for (size_t N = 0;; ++N) {
    SCOPED_TRACE(testing::Message() << "allocation " << N << " fails");
    Record() = Before;
    const size_t Live = M().LiveAllocationCount();
    const auto Calls = Forms().Calls();
    M().Pool().FailAllocationAfter(N);
    const EFI_STATUS Status = Send(TUNING, 0x525);
    const bool Failed = !M().Pool().FailurePending();
    M().Pool().ClearFailure();
    EXPECT_EQ(M().LiveAllocationCount(), Live);
    if (Failed) {
      EXPECT_TRUE(EFI_ERROR(Status));
      EXPECT_EQ(Forms().Calls().SetBrowserData, Calls.SetBrowserData);
      EXPECT_EQ(Record(), Before);
      ASSERT_LT(N, 16u);
      continue;
    }
    EXPECT_EQ(Status, EFI_SUCCESS);
    EXPECT_EQ(Record(), Expected(Before, 2, 1));
    break;
  }
}

// The forwarded calls: their arguments, the console silenced around 0x51E
// only and restored even when the call fails, the located status returned.
TEST_F(Presets, ForwardedQuestionsPassTheirArgumentsAndRestoreTheConsole) {
  EFI_HANDLE ErrHandle = ST()->StandardErrorHandle;
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* Err = ST()->StdErr;
  ASSERT_NE(Err, nullptr);
  EXPECT_EQ(Send(TUNING, 0x51C, EFI_BROWSER_ACTION_CHANGING), EFI_SUCCESS);
  EXPECT_EQ(Send(TOOLS, 0x51D, EFI_BROWSER_ACTION_CHANGING), EFI_SUCCESS);
  EXPECT_EQ(Send(TOOLS, 0x51E, EFI_BROWSER_ACTION_CHANGING), EFI_SUCCESS);
  ASSERT_EQ(Peers->Calls.size(), 3u);
  EXPECT_EQ(Peers->Calls[0].Entry, sim::PresetForward::Key51C);
  EXPECT_EQ(Peers->Calls[0].HiiHandle, FormSetHandle(TUNING));
  EXPECT_FALSE(Peers->Calls[0].StandardErrorSilenced);
  EXPECT_EQ(Peers->Calls[1].Entry, sim::PresetForward::Key51D);
  EXPECT_EQ(Peers->Calls[1].HiiHandle, FormSetHandle(TOOLS));
  EXPECT_TRUE(Peers->Calls[1].ThisPassed);
  EXPECT_FALSE(Peers->Calls[1].StandardErrorSilenced);
  EXPECT_EQ(Peers->Calls[2].Entry, sim::PresetForward::Key51E);
  EXPECT_TRUE(Peers->Calls[2].ThisPassed);
  EXPECT_TRUE(Peers->Calls[2].StandardErrorSilenced);
  EXPECT_EQ(ST()->StandardErrorHandle, ErrHandle);
  EXPECT_EQ(ST()->StdErr, Err);

  // Failing drivers: the protocol was located, so success; the console is back.
  Peers->Forward51DStatus = EFI_DEVICE_ERROR;
  Peers->Forward51EStatus = EFI_ABORTED;
  EXPECT_EQ(Send(TOOLS, 0x51E, EFI_BROWSER_ACTION_CHANGING), EFI_SUCCESS);
  EXPECT_EQ(Send(TOOLS, 0x51D, EFI_BROWSER_ACTION_CHANGING), EFI_SUCCESS);
  EXPECT_EQ(ST()->StandardErrorHandle, ErrHandle);
  EXPECT_EQ(ST()->StdErr, Err);
  EXPECT_TRUE(Peers->Calls[3].StandardErrorSilenced);

  // Any other action calls nothing.
  for (EFI_BROWSER_ACTION Action : {EFI_BROWSER_ACTION_CHANGED, EFI_BROWSER_ACTION_RETRIEVE}) {
    EXPECT_EQ(Send(TUNING, 0x51C, Action), EFI_UNSUPPORTED);
    EXPECT_EQ(Send(TOOLS, 0x51D, Action), EFI_UNSUPPORTED);
    EXPECT_EQ(Send(TOOLS, 0x51E, Action), EFI_UNSUPPORTED);
  }
  EXPECT_EQ(Peers->Calls.size(), 5u);
}

class PresetsWithoutTableA : public Presets {
  void CustomisePresets(sim::PresetProfile& P) override { P.Tables[0].reset(); }
};

TEST_F(PresetsWithoutTableA, ItsKeysDoNothingWhileTheOtherTablesApply) {
  Record()[0x481] = 1;
  const std::vector<UINT8> Before = Record();
  const auto Calls = Forms().Calls();
  for (UINT16 Key = 0x51F; Key <= 0x522; ++Key) EXPECT_EQ(Send(TUNING, Key), EFI_SUCCESS);
  EXPECT_EQ(Record(), Before);
  EXPECT_EQ(Forms().Calls().GetBrowserData, Calls.GetBrowserData);
  Record()[0x482] = 1;
  EXPECT_EQ(Send(TUNING, 0x523), EFI_SUCCESS);
  EXPECT_EQ(Record()[0x2C1] | Record()[0x2C2] << 8, 1300);
}

class PresetDriversLate : public Presets {
  void CustomisePresets(sim::PresetProfile& P) override {
    P.ProviderLate = true;
    P.Forward51E.Late = true;
  }
};

// Missing drivers: the located status, nothing done; once there, they are found.
TEST_F(PresetDriversLate, AreFoundOnceInstalled) {
  Record()[0x484] = 1;
  const std::vector<UINT8> Before = Record();
  EXPECT_EQ(Send(TUNING, 0x526), EFI_NOT_FOUND);
  EXPECT_EQ(Send(TOOLS, 0x51E, EFI_BROWSER_ACTION_CHANGING), EFI_NOT_FOUND);
  EXPECT_EQ(Record(), Before);
  EXPECT_TRUE(Peers->Calls.empty());
  Peers->InstallLate(ST());
  EXPECT_EQ(Send(TUNING, 0x526), EFI_SUCCESS);
  EXPECT_EQ(Record(), Expected(Before, 3, 1));
  EXPECT_EQ(Send(TOOLS, 0x51E, EFI_BROWSER_ACTION_CHANGING), EFI_SUCCESS);
  EXPECT_EQ(Peers->Calls.size(), 1u);
}

TEST(PresetProfile, ReadsTablesAndForwardersAndRefusesRowsOfAnotherSize) {
  auto Parse = [](const std::string& Presets, sim::BoardProfile& B, std::string& Error) {
    return sim::ParseBoardProfile("{\"firmware\": {\"vendor\": \"V\", \"revision\": 1}, \"presets\": " + Presets + "}",
                                  "t.json", B, Error);
  };
  sim::BoardProfile B;
  std::string Error;
  EXPECT_FALSE(B.Presets.ProviderPresent);
  ASSERT_TRUE(Parse(R"({"provider": {"late": true, "tableB": ["01 00 14 05 01 00 7E 04"], "tableD": [],
                                     "rowCountB": 9},
                        "forward51C": {}, "forward51E": {"late": true, "status": "0x8000000000000015"}})",
                    B, Error))
      << Error;
  const sim::PresetProfile& P = B.Presets;
  EXPECT_TRUE(P.ProviderPresent && P.ProviderLate);
  EXPECT_FALSE(P.Tables[0].has_value());
  ASSERT_TRUE(P.Tables[1].has_value());
  EXPECT_EQ(P.Tables[1]->at(0), (std::vector<uint8_t>{1, 0, 0x14, 5, 1, 0, 0x7E, 4}));
  EXPECT_EQ(P.RowCounts[1], 9u);
  EXPECT_TRUE(P.Tables[3].has_value() && P.Tables[3]->empty());
  EXPECT_TRUE(P.Forward51C.Present && !P.Forward51C.Late);
  EXPECT_FALSE(P.Forward51D.Present);
  EXPECT_TRUE(P.Forward51E.Late);
  EXPECT_EQ(P.Forward51E.Status, EFI_ABORTED);

  sim::BoardProfile Other;
  EXPECT_FALSE(Parse(R"({"provider": {"tableA": ["00 01"]}})", Other, Error));
  EXPECT_NE(Error.find("has 30 bytes"), std::string::npos) << Error;
  EXPECT_FALSE(Parse(R"({"provider": {"tableE": []}})", Other, Error));

  // A provider whose tables are given but empty, or whose count says 0,
  // offers nothing.
  sim::PresetProfile Empty;
  Empty.ProviderPresent = true;
  Empty.Tables[0] = std::vector<std::vector<uint8_t>>{};
  Empty.Tables[1] = std::vector<std::vector<uint8_t>>(2, std::vector<uint8_t>(8, 1));
  Empty.RowCounts[1] = 0;
  sim::PresetPeers Peers(Empty);
  EXPECT_NE(Peers.Provider()->Tables[0], nullptr);
  EXPECT_EQ(Peers.Provider()->RowCounts[0], 0u);
  EXPECT_EQ(Peers.Provider()->RowCounts[1], 0u);
  EXPECT_EQ(Peers.Provider()->Tables[2], nullptr);
}

class PresetsOfferingNoRows : public Presets {
  void CustomisePresets(sim::PresetProfile& P) override {
    P.Tables[0] = std::vector<std::vector<uint8_t>>{};
    P.RowCounts[3] = 0;
  }
};

TEST_F(PresetsOfferingNoRows, EveryIndexIsBeyondTheTable) {
  const std::vector<UINT8> Before = Record();
  const auto Calls = Forms().Calls();
  EXPECT_EQ(Send(TUNING, 0x51F), EFI_SUCCESS);
  EXPECT_EQ(Send(TUNING, 0x526), EFI_SUCCESS);
  EXPECT_EQ(Record(), Before);
  EXPECT_EQ(Forms().Calls().SetBrowserData, Calls.SetBrowserData);
}

}  // namespace
}  // namespace setupinfo_test
