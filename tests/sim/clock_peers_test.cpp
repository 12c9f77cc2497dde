#include "sim/peers/clock_peers.h"

#include "sim/machine_test.h"

namespace sim {
namespace {

class ClockPeersTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    ClockOutput& C = Peer.Clocks[1];
    C.Capabilities.MinFrequency = 90000000;
    C.Capabilities.MaxFrequency = 110000000;
    C.Capabilities.DownAllowed = 1;
    C.Capabilities.MaxSpread = 50;
    C.Settings.Frequency = 100000000;
    C.StepHz = 250000;
  }
  ClockControlPeer Peer;
};

TEST_F(ClockPeersTest, InstalledProtocolIsFoundAndAnswersForItsClocks) {
  VOID* Found = nullptr;
  EXPECT_NE(BS()->LocateProtocol(&ICC_CLOCK_CONTROL_PROTOCOL::Guid, nullptr, &Found), EFI_SUCCESS);
  ASSERT_EQ(Peer.Install(BS()), EFI_SUCCESS);
  ASSERT_EQ(BS()->LocateProtocol(&ICC_CLOCK_CONTROL_PROTOCOL::Guid, nullptr, &Found), EFI_SUCCESS);
  auto* P = (ICC_CLOCK_CONTROL_PROTOCOL*)Found;
  ICC_CLOCK_SETTINGS S{};
  UINT32 Lib = 0xFFFFFFFF;
  EXPECT_EQ(P->GetClockSettings(1, &S, &Lib), EFI_SUCCESS);
  EXPECT_EQ(Lib, 0u);
  EXPECT_EQ(S.Frequency, 100000000u);
  Lib = 0;
  EXPECT_NE(P->GetClockSettings(8, &S, &Lib), EFI_SUCCESS);
  EXPECT_EQ(Lib, ICC_LIB_STATUS_INVALID_CLOCK);
}

TEST_F(ClockPeersTest, SetChecksRangeAndSpreadAndKeepsOnlyAcceptedSettings) {
  ICC_CLOCK_CONTROL_PROTOCOL* P = Peer.Protocol();
  ICC_CLOCK_SETTINGS S{};
  S.Frequency = 120000000;
  UINT32 Lib = 0;
  EXPECT_NE(P->SetClockSettingsA(1, &S, &Lib), EFI_SUCCESS);
  EXPECT_EQ(Lib, ICC_LIB_STATUS_FREQUENCY_OUT_OF_RANGE);
  S.Frequency = 105000000;
  S.SpreadMode = ICC_SPREAD_UP;
  EXPECT_NE(P->SetClockSettingsB(1, &S, &Lib), EFI_SUCCESS);
  EXPECT_EQ(Lib, ICC_LIB_STATUS_SPREAD_NOT_ALLOWED);
  EXPECT_EQ(Peer.Clocks[1].Settings.Frequency, 100000000u);

  S.SpreadMode = ICC_SPREAD_DOWN;
  S.Spread = 50;
  EXPECT_EQ(P->SetClockSettingsA(1, &S, &Lib), EFI_SUCCESS);
  EXPECT_EQ(Lib, 0u);
  EXPECT_EQ(Peer.Clocks[1].Settings.Frequency, 105000000u);

  Peer.SetLibStatusB = 17;
  S.Frequency = 95000000;
  EXPECT_NE(P->SetClockSettingsB(1, &S, &Lib), EFI_SUCCESS);
  EXPECT_EQ(Lib, 17u);
  EXPECT_EQ(Peer.Clocks[1].Settings.Frequency, 105000000u);
}

TEST_F(ClockPeersTest, NormaliseClampsAndResolveRoundsDownToTheStep) {
  ICC_CLOCK_CONTROL_PROTOCOL* P = Peer.Protocol();
  UINT32 Out = 0, Lib = 1;
  EXPECT_EQ(P->NormalizeFrequency(1, 200000000, &Out, &Lib), EFI_SUCCESS);
  EXPECT_EQ(Out, 110000000u);
  EXPECT_EQ(P->ResolveFrequency(1, 100370000, &Out, &Lib), EFI_SUCCESS);
  EXPECT_EQ(Lib, 0u);
  EXPECT_EQ(Out, 100250000u);
  Peer.ResolveLibStatus = 3;
  Out = 7;
  EXPECT_NE(P->ResolveFrequency(1, 100370000, &Out, &Lib), EFI_SUCCESS);
  EXPECT_EQ(Lib, 3u);
  EXPECT_EQ(Out, 7u);
  ASSERT_EQ(Peer.Calls.size(), 3u);
  EXPECT_EQ(Peer.Calls[1].Operation, 12);
  EXPECT_EQ(Peer.Calls[1].Frequency, 100370000u);
}

TEST_F(ClockPeersTest, BootPhaseRecordCarriesTheReadyToBootBit) {
  BootPhasePeer Phase;
  ASSERT_EQ(Phase.Install(BS()), EFI_SUCCESS);
  VOID* Found = nullptr;
  ASSERT_EQ(BS()->LocateProtocol(&BOOT_PHASE_INFO_PROTOCOL::Guid, nullptr, &Found), EFI_SUCCESS);
  auto* Record = (BOOT_PHASE_INFO_PROTOCOL*)Found;
  EXPECT_EQ(Record->Flags[1] & BOOT_PHASE_AFTER_READY_TO_BOOT, 0);
  Phase.SetAfterReadyToBoot(true);
  EXPECT_EQ(Record->Flags[1], BOOT_PHASE_AFTER_READY_TO_BOOT);
  Phase.SetAfterReadyToBoot(false);
  EXPECT_EQ(Record->Flags[1], 0);
}

}  // namespace
}  // namespace sim
