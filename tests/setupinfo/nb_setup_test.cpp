// North-bridge setup data: the board defaults by processor and hub, the
// board tables the record points at, and the user's Setup laid over them,
// read through the runtime services or the early phase's variable service.
#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "setupinfo/nbsetup/north_bridge_setup.h"
#include "setupinfo_fixture.h"
#include "sim/peers/early_phase_peer.h"

namespace setupinfo_test {
namespace {

constexpr UINT8 FILL = 0xA5;  // what the caller's buffer held

class NorthBridgeSetup : public SetupInfoTest {
 protected:
  void SetUp() override {
    SetupInfoTest::SetUp();
    ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
    M().Variables().Erase(u"Setup", SETUP_VARIABLE_GUID);
  }

  // One byte more than the record, to see that nothing is written past it.
  using RECORD = std::array<UINT8, NB_SETUP_DATA_SIZE + 1>;

  RECORD Build(bool EarlyPhase = false) {
    RECORD Record;
    Record.fill(FILL);
    if (EarlyPhase) {
      if (!Early) Early = std::make_unique<sim::EarlyPhasePeer>(M().Profile().EarlyPhase, M().Variables());
      BuildNorthBridgeSetupData(Early->Services(), Record.data(), TRUE);
    } else {
      BuildNorthBridgeSetupData(RT(), Record.data(), FALSE);
    }
    EXPECT_EQ(Record[NB_SETUP_DATA_SIZE], FILL) << "written past the record";
    return Record;
  }

  void SetSignature(UINT32 Eax) { M().Board().SetCpuid(1, std::nullopt, {Eax, 0, 0, 0}); }
  void SetHubId(UINT16 Id) { M().Board().PciWrite(0, 31, 0, 2, &Id, sizeof Id); }

  // A Setup record whose every byte names its offset, with the fields the
  // rules read set apart.
  std::vector<UINT8> PatternSetup(size_t Size = SETUP_RECORD_SIZE) {
    std::vector<UINT8> Bytes(Size);
    for (size_t i = 0; i < Size; ++i) Bytes[i] = (UINT8)(i * 7 + 3);
    return Bytes;
  }
  void PutSetup(const std::vector<UINT8>& Bytes) {
    M().Variables().Put(u"Setup", SETUP_VARIABLE_GUID, SETUP_VARIABLE_ATTRIBUTES, Bytes);
  }

  static UINT64 Pointer(const RECORD& R, size_t Offset) {
    UINT64 V = 0;
    for (size_t i = 0; i < 8; ++i) V |= (UINT64)R[Offset + i] << (8 * i);
    return V;
  }

  std::unique_ptr<sim::EarlyPhasePeer> Early;
};

TEST_F(NorthBridgeSetup, WithoutSetupTheDefaultsStandAndUnlistedBytesKeepTheBuffer) {
  const RECORD R = Build();
  EXPECT_EQ(R[NB_SETUP_MODULE_DISABLE_A], 0);  // both modules of both channels counted
  EXPECT_EQ(R[NB_SETUP_MODULE_DISABLE_B], 0);
  // Spot checks along the table: its first and last rows and words that
  // straddle a row.
  EXPECT_EQ((std::vector<UINT8>(R.begin(), R.begin() + 4)), (std::vector<UINT8>{0x01, 0x04, 0x0C, 0x00}));
  EXPECT_EQ((std::vector<UINT8>(R.begin() + 0x5D, R.begin() + 0x61)), (std::vector<UINT8>{0x86, 0x80, 0x10, 0x20}));
  EXPECT_EQ(ReadLe32(&R[0x140]), 0x05F5E1u);
  EXPECT_EQ((std::vector<UINT8>(R.begin() + 0x231, R.begin() + 0x234)), (std::vector<UINT8>{0x00, 0x16, 0x00}));
  EXPECT_EQ(R[0x235], 0);
  EXPECT_EQ(R[0x236], 0);
  // Bytes without a default, and the hook's fields without Setup.
  for (size_t Offset : {0x22, 0x71, 0x72, 0x1C0, 0x1E7, 0x1F8, 0x22E, 0x22F, 0x230, 0x234})
    EXPECT_EQ(R[Offset], FILL) << std::hex << Offset;
}

TEST_F(NorthBridgeSetup, PointsAtTheBoardTablesAndSetsTheVerbListEveryBuild) {
  NorthBridgeSetupState().CodecTable.Header.VerbList = nullptr;
  const RECORD R = Build();
  const auto* Codec = (const DISPLAY_AUDIO_CODEC_TABLE*)(UINTN)Pointer(R, NB_SETUP_CODEC_TABLE);
  ASSERT_EQ(Codec, &NorthBridgeSetupState().CodecTable);
  EXPECT_EQ(Codec->Header.VendorDeviceId, 0x80862807u);
  EXPECT_EQ(Codec->Header.RevisionId, 0xFF);
  EXPECT_EQ(Codec->Header.FrontPanel, 2);
  EXPECT_EQ(Codec->Header.RearJacks, 3);
  EXPECT_EQ(Codec->Header.FrontJacks, 0);
  ASSERT_EQ(Codec->Header.VerbList, Codec->Verbs);
  EXPECT_EQ(Codec->Header.VerbList[0], 0x00571C10u);
  EXPECT_EQ(Codec->Header.VerbList[6], 0x00671E56u);
  EXPECT_EQ(Codec->Header.VerbList[11], 0x00771F18u);

  const auto* Lanes = (const UINT8*)(UINTN)Pointer(R, NB_SETUP_BYTE_LANE_MAP);
  const UINT8 Channel[12] = {0x0F, 0xF0, 0x00, 0xF0, 0x0F, 0xF0, 0x0F, 0x00, 0xFF, 0x00, 0xFF, 0x00};
  EXPECT_EQ(std::memcmp(Lanes, Channel, 12), 0);
  EXPECT_EQ(std::memcmp(Lanes + 12, Channel, 12), 0);
  const auto* Order = (const UINT8*)(UINTN)Pointer(R, NB_SETUP_LANE_ORDER_MAP);
  const UINT8 Expected[16] = {2, 0, 1, 3, 6, 4, 7, 5, 1, 3, 2, 0, 5, 7, 6, 4};
  EXPECT_EQ(std::memcmp(Order, Expected, 16), 0);
}

struct SIGNATURE_CASE {
  UINT32 Eax;  // with stepping bits, which do not count
  UINT8 Byte20, Byte69, Byte84, Byte128, Byte16A;
  int Byte16B;  // -1: the buffer's byte stays
  bool ModelBytes;
};

TEST_F(NorthBridgeSetup, ProcessorSignatureSelectsTheConditionalBytes) {
  // The default hub (0x8C44) is type 1.
  const SIGNATURE_CASE Cases[] = {
      {0x000306C3, 1, 2, 2, 1, 0, -1, false},
      {0x000306D4, 0, 2, 3, 0, 1, 0, true},
      {0x00040671, 0, 3, 2, 0, 0, 1, true},
      {0x00040651, 1, 2, 2, 1, 1, 0, false},  // 0x16B follows the rule table: written 0
      {0xF003F6D4, 0, 2, 3, 0, 1, 0, true},  // reserved and processor-type bits are masked
  };
  for (const SIGNATURE_CASE& C : Cases) {
    SCOPED_TRACE(testing::Message() << std::hex << C.Eax);
    SetSignature((UINT32)C.Eax);
    const RECORD R = Build();
    EXPECT_EQ(R[0x20], C.Byte20);
    EXPECT_EQ(R[0x69], C.Byte69);
    EXPECT_EQ(R[0x84], C.Byte84);
    EXPECT_EQ(R[0x128], C.Byte128);
    EXPECT_EQ(R[0x16A], C.Byte16A);
    EXPECT_EQ(R[0x16B], C.Byte16B < 0 ? FILL : C.Byte16B);
    EXPECT_EQ(R[0x45], 0x00);
    EXPECT_EQ(R[0x46], 0x01);
    if (C.ModelBytes) {
      EXPECT_EQ(R[0x23], 0);
      for (size_t i = 0x24; i <= 0x44; ++i) EXPECT_EQ(R[i], 0) << std::hex << i;
      EXPECT_EQ(R[0x47], 1);
      EXPECT_EQ(ReadLe32(&R[0x48]), 800u);
      EXPECT_EQ(ReadLe16(&R[0x4C]), 280u);
      EXPECT_EQ(R[0x4E], 7);
      EXPECT_EQ(R[0x4F], 0);
    } else {
      EXPECT_EQ(R[0x23], 1);
      for (size_t i : {0x24, 0x44, 0x47, 0x48, 0x4B, 0x4C, 0x4E, 0x4F}) EXPECT_EQ(R[i], FILL) << std::hex << i;
    }
  }
}

TEST_F(NorthBridgeSetup, HubTypeSetsByte69) {
  struct {
    UINT16 Id;
    UINT8 Byte69;
  } Cases[] = {{0x9C43, 1}, {0x9CC1, 1}, {0x8C44, 2}, {0x1234, 2}, {0xFFFF, 2}};
  for (auto C : Cases) {
    SetHubId(C.Id);
    EXPECT_EQ(Build()[0x69], C.Byte69) << std::hex << C.Id;
  }
  SetSignature(0x40670);
  SetHubId(0x9C43);
  EXPECT_EQ(Build()[0x69], 3);
  // An absent hub function reads as all ones: another hub.
  M().Board().RemovePciFunction(0, 31, 0);
  SetSignature(0x306C3);
  EXPECT_EQ(Build()[0x69], 2);
}

TEST(NorthBridgeHubType, ListedIdsAndTheirNeighbours) {
  for (UINT16 Id : {0x8C41, 0x8C42, 0x8C44, 0x8C46, 0x8C49, 0x8C4C, 0x8C4E, 0x8C50, 0x8C52, 0x8C54, 0x8C56,
                    0x8C58, 0x8C5C, 0x8CC2, 0x8CC4, 0x8CC6})
    EXPECT_EQ(NorthBridgeHubType(Id), 1) << std::hex << Id;
  for (UINT16 Id : {0x9C41, 0x9C47, 0x9CC1, 0x9CCB}) EXPECT_EQ(NorthBridgeHubType(Id), 2) << std::hex << Id;
  for (UINT16 Id : {0x8C40, 0x8C43, 0x8C45, 0x8C4D, 0x8C51, 0x8C5A, 0x8CC3, 0x9C40, 0x9C48, 0x9CC0, 0x9CCC, 0})
    EXPECT_EQ(NorthBridgeHubType(Id), 3) << std::hex << Id;
}

TEST_F(NorthBridgeSetup, SetupRunsAndRulesOverlayTheDefaults) {
  std::vector<UINT8> S = PatternSetup();
  S[0x348] = 3;
  S[0x349] = 1;
  WriteLe16(&S[0x2C1], 2400);
  S[0x370] = 0;
  S[0x3E6] = 2;
  PutSetup(S);
  RECORD R = Build();
  EXPECT_EQ(R[NB_SETUP_MODULE_DISABLE_A], 3);
  EXPECT_EQ(R[NB_SETUP_MODULE_DISABLE_B], 1);
  EXPECT_EQ(R[0x232], 48);
  EXPECT_EQ(R[0x233], 0);
  EXPECT_EQ(ReadLe16(&R[0x22F]), 1000);
  EXPECT_EQ(R[0x171], 0);  // the switch is off
  EXPECT_EQ(R[0x075], 0);  // 2 becomes 0
  EXPECT_EQ(R[0x084], 2);  // not one of the two processors: the default stays

  // Run ends, and the runs whose order differs from Setup's.
  const std::pair<size_t, size_t> Copied[] = {
      {0x000, 0x3E0}, {0x061, 0x2B8}, {0x068, 0x2BF}, {0x06A, 0x2C0}, {0x070, 0x3EC}, {0x073, 0x3F1},
      {0x076, 0x3ED}, {0x079, 0x3F0}, {0x081, 0x2C9}, {0x083, 0x2CC}, {0x085, 0x2CE}, {0x092, 0x2DB},
      {0x094, 0x326}, {0x09C, 0x2DC}, {0x0E4, 0x324}, {0x0FF, 0x3E1}, {0x100, 0x340}, {0x101, 0x327},
      {0x105, 0x32C}, {0x10F, 0x32D}, {0x110, 0x32F}, {0x111, 0x32E}, {0x11B, 0x339}, {0x11C, 0x33C},
      {0x11D, 0x33A}, {0x11E, 0x33B}, {0x121, 0x33F}, {0x124, 0x341}, {0x143, 0x34A}, {0x154, 0x35B},
      {0x155, 0x35E}, {0x158, 0x35F}, {0x159, 0x35C}, {0x15A, 0x35D}, {0x15E, 0x363}, {0x162, 0x364},
      {0x169, 0x36B}, {0x16E, 0x36E}, {0x170, 0x370}, {0x172, 0x372}, {0x1AE, 0x3AE}, {0x1FA, 0x3AF},
      {0x22A, 0x3DF}, {0x22B, 0x001}, {0x22E, 0x3E2}, {0x231, 0x3E3}, {0x234, 0x3E5}, {0x236, 0x3F4},
  };
  for (auto [Record, Setup] : Copied) EXPECT_EQ(R[Record], S[Setup]) << std::hex << Record << " <- " << Setup;
  // Bytes between runs keep their defaults or the caller's bytes.
  EXPECT_EQ(R[0x086], 0x01);
  EXPECT_EQ(R[0x095], 0x02);
  EXPECT_EQ(R[0x106], 0x01);
  EXPECT_EQ(R[0x1C0], FILL);

  S[0x370] = 5;
  S[0x3E6] = 3;
  WriteLe16(&S[0x2C1], 65535);
  PutSetup(S);
  SetSignature(0x306D1);
  R = Build();
  EXPECT_EQ(R[0x171], S[0x371]);
  EXPECT_EQ(R[0x075], 3);
  EXPECT_EQ(R[0x232], (UINT8)(65535 / 50));
  EXPECT_EQ(R[0x233], 0);
  EXPECT_EQ(R[0x084], S[0x2CD]);
}

// Only a Setup of exactly the record's size is used, through either door.
TEST_F(NorthBridgeSetup, OnlyAWholeSetupIsReadAtEitherPhase) {
  struct {
    std::optional<size_t> Size;  // none: absent
    bool Used;
  } Matrix[] = {{std::nullopt, false}, {0, false},    {1171, false},
                {1172, true},          {1173, false}, {64 * 1024, false}};
  for (bool EarlyPhase : {false, true}) {
    for (auto Row : Matrix) {
      SCOPED_TRACE(testing::Message() << (EarlyPhase ? "early " : "runtime ") << (Row.Size ? *Row.Size : -1));
      M().Variables().Erase(u"Setup", SETUP_VARIABLE_GUID);
      if (Row.Size) {
        std::vector<UINT8> S = PatternSetup(*Row.Size);
        if (S.size() > 0x349) S[0x348] = 3;
        PutSetup(S);
      }
      const RECORD R = Build(EarlyPhase);
      EXPECT_EQ(R[NB_SETUP_MODULE_DISABLE_A], Row.Used ? 3 : 0);
      EXPECT_EQ(R[0x22F], Row.Used ? 0xE8 : FILL);
    }
  }
  EXPECT_GT(Early->GetVariableCalls, 0u);
}

TEST_F(NorthBridgeSetup, AFailingOrMissingEarlyServiceLeavesTheDefaults) {
  std::vector<UINT8> S = PatternSetup();
  S[0x348] = 3;
  PutSetup(S);
  ASSERT_EQ(Build(true)[NB_SETUP_MODULE_DISABLE_A], 3);

  Early->GetVariableStatus = EFI_DEVICE_ERROR;
  EXPECT_EQ(Build(true)[NB_SETUP_MODULE_DISABLE_A], 0);

  sim::EarlyPhaseProfile Absent;
  Absent.ReadOnlyVariable = false;
  Early = std::make_unique<sim::EarlyPhasePeer>(Absent, M().Variables());
  EXPECT_EQ(Build(true)[NB_SETUP_MODULE_DISABLE_A], 0);
  EXPECT_EQ(Early->LocatePpiCalls, 1u);
  EXPECT_EQ(Early->GetVariableCalls, 0u);

  // A failing runtime read, and no services at all.
  M().Variables().FailGet(u"Setup", EFI_DEVICE_ERROR);
  EXPECT_EQ(Build(false)[NB_SETUP_MODULE_DISABLE_A], 0);
  RECORD R;
  R.fill(FILL);
  BuildNorthBridgeSetupData(nullptr, R.data(), FALSE);
  EXPECT_EQ(R[NB_SETUP_MODULE_DISABLE_A], 0);
  EXPECT_EQ(R[0x000], 0x01);
}

}  // namespace
}  // namespace setupinfo_test
