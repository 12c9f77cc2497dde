// Hardware monitor page: sensor texts, the register and Super I/O port
// sequences, the fan multiplexer's phases, and the ordered point lists.
#include <cstring>

#include "lib/hw/hw.h"
#include "setupinfo/pages/board/hardware_monitor.h"
#include "setupinfo_fixture.h"

namespace setupinfo_test {
namespace {

// ---- Text of one sensor -----------------------------------------------------------

std::u16string Text(INT32 Value, UINT8 Kind, UINTN Decimals, const CHAR16* Unit = u"°C") {
  CHAR16 Buffer[SENSOR_TEXT_CAPACITY];
  std::memset(Buffer, 0xEE, sizeof Buffer);
  FormatSensorText(Value, Kind, Decimals, Unit, Buffer);
  return Buffer;
}

TEST(SensorText, PlacesTheDecimalPointAndTheKindsAffixes) {
  EXPECT_EQ(Text(12091, SENSOR_VOLTAGE, 3), u": +12.091 V");
  EXPECT_EQ(Text(50, SENSOR_VOLTAGE, 3), u": +0.050 V");
  EXPECT_EQ(Text(5, SENSOR_VOLTAGE, 3), u": +0.005 V");
  EXPECT_EQ(Text(979, SENSOR_VOLTAGE, 3), u": +0.979 V");
  EXPECT_EQ(Text(255, SENSOR_TEMPERATURE, 1), u": 25.5 °C");
  EXPECT_EQ(Text(1205, SENSOR_FAN, 0), u": 1205 RPM");
  EXPECT_EQ(Text(65535, SENSOR_FAN, 0), u": 65535 RPM");
}

TEST(SensorText, NegativeTemperaturesCountTheSignAsACharacterOfTheRun) {
  EXPECT_EQ(Text(-10, SENSOR_TEMPERATURE, 1), u": -1.0 °C");
  EXPECT_EQ(Text(-1270, SENSOR_TEMPERATURE, 1), u": -127.0 °C");
  // "-5" is two characters, more than the one decimal: no leading zero.
  EXPECT_EQ(Text(-5, SENSOR_TEMPERATURE, 1), u": -.5 °C");
  EXPECT_EQ(Text(5, SENSOR_TEMPERATURE, 1), u": 0.5 °C");
}

TEST(SensorText, ZeroUnknownKindsAndAnUnreadableUnit) {
  EXPECT_EQ(Text(0, SENSOR_VOLTAGE, 3), u": N/A     ");
  EXPECT_EQ(Text(0, SENSOR_FAN, 0), u": N/A     ");
  EXPECT_EQ(Text(123, 4, 0), u": N/A     ");
  EXPECT_EQ(Text(123, 0, 0), u": N/A     ");
  EXPECT_EQ(Text(360, SENSOR_TEMPERATURE, 1, nullptr), u": 36.0    ");
  EXPECT_EQ(Text(360, SENSOR_TEMPERATURE, 1, u"K"), u": 36.0 K");
}

TEST(SensorText, TemperatureRegisterConversions) {
  EXPECT_EQ(TemperatureFromRegister(0x24), 360);
  EXPECT_EQ(TemperatureFromRegister(0x7F), 1270);
  EXPECT_EQ(TemperatureFromRegister(0xFF), -10);
  EXPECT_EQ(TemperatureFromRegister(0xF6), -100);
  EXPECT_EQ(TemperatureFromRegister(0x80), 0);  // reads as not available
  EXPECT_EQ(TemperatureFromHalfDegrees(0x19, 0x80), 255);
  EXPECT_EQ(TemperatureFromHalfDegrees(0x19, 0x7F), 250);
  EXPECT_EQ(TemperatureFromHalfDegrees(0xFF, 0x80), -5);   // -1 half degree
  EXPECT_EQ(TemperatureFromHalfDegrees(0xEC, 0x00), -200);  // -40 half degrees
}

// ---- Point lists -------------------------------------------------------------------

TEST(PointLists, EachListIsMadeNonDecreasingAndOnlyIt) {
  struct List {
    UINT16 FirstKey, LastKey, Offset, Length;
  } Lists[] = {{0x48E, 0x492, 0x42E, 5}, {0x493, 0x496, 0x433, 4}, {0x497, 0x49B, 0x439, 5},
               {0x49C, 0x49F, 0x43E, 4}, {0x4A0, 0x4A4, 0x444, 5}, {0x4A5, 0x4A8, 0x449, 4}};
  const UINT8 Points[5] = {40, 30, 50, 20, 60};
  const UINT8 Ordered[5] = {40, 40, 50, 50, 60};
  for (const List& L : Lists) {
    for (UINT16 Key : {L.FirstKey, L.LastKey}) {
      SETUP_RECORD R;
      // Every list holds the same unordered points; the guard bytes hold 0xEE.
      std::memset(R.Bytes, 0xEE, sizeof R.Bytes);
      for (const List& Each : Lists) std::memcpy(R.Bytes + Each.Offset, Points, Each.Length);
      ASSERT_TRUE(NormalizePointBytes(Key, &R));
      for (const List& Each : Lists) {
        const UINT8* Want = &Each == &L ? Ordered : Points;
        EXPECT_EQ(std::memcmp(R.Bytes + Each.Offset, Want, Each.Length), 0)
            << "key " << std::hex << Key << " list at " << Each.Offset;
      }
      for (UINT16 Guard : {0x42D, 0x437, 0x438, 0x442, 0x443, 0x44D}) EXPECT_EQ(R.Bytes[Guard], 0xEE);
    }
  }
  SETUP_RECORD R;
  std::memset(R.Bytes, 0, sizeof R.Bytes);
  R.Bytes[0x42F] = 1;
  EXPECT_FALSE(NormalizePointBytes(0x48D, &R));
  EXPECT_FALSE(NormalizePointBytes(0x4A9, &R));
  EXPECT_EQ(R.Bytes[0x430], 0);
}

// ---- The page on a machine -----------------------------------------------------------

class HardwareMonitor : public SetupInfoTest {
 protected:
  void SetUp() override {
    SetupInfoTest::SetUp();
    ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
    ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  }

  EFI_STATUS Refresh(EFI_BROWSER_ACTION Action = EFI_BROWSER_ACTION_RETRIEVE) {
    EFI_IFR_TYPE_VALUE Value{};
    return Browser().Callback(0x10, Action, 0x48D, EFI_IFR_TYPE_NUM_SIZE_8, Value);
  }
  std::u16string Line(UINT16 Id) { return HiiText(FormSetHandle(0x10), Id); }
  void SetFan(UINT8 High, UINT16 Rpm) {
    M().Board().SetHwmonRegister(6, High, (UINT8)(Rpm >> 8));
    M().Board().SetHwmonRegister(6, High + 1, (UINT8)Rpm);
  }
};

TEST_F(HardwareMonitor, DefaultBoardReadings) {
  EXPECT_EQ(Refresh(), EFI_SUCCESS);
  EXPECT_EQ(Line(0x08B6), u": 36.0 °C");
  EXPECT_EQ(Line(0x08B8), u": 28.5 °C");
  EXPECT_EQ(Line(0x08BE), u": 903 RPM");
  EXPECT_EQ(Line(0x08C0), u": N/A     ");  // its turn comes twelve refreshes later
  EXPECT_EQ(Line(0x08BC), u": 1205 RPM");
  EXPECT_EQ(Line(0x08C2), u": 842 RPM");
  EXPECT_EQ(Line(0x08C4), u": N/A     ");
  EXPECT_EQ(Line(0x08D1), u": +1.504 V");
  EXPECT_EQ(Line(0x08D2), u": +0.979 V");
  EXPECT_EQ(Line(0x08C8), u": +12.038 V");
  EXPECT_EQ(Line(0x08CC), u": +4.992 V");
  EXPECT_EQ(Line(0x08D4), u": +3.312 V");
}

TEST_F(HardwareMonitor, EdgeReadingsAndTheUnitFromThePackage) {
  auto& B = M().Board();
  B.SetHwmonRegister(0, 0x27, 0xFF);
  B.SetHwmonRegister(0, 0x75, 0x19);
  B.SetHwmonRegister(0, 0x76, 0x80);
  B.SetHwmonRegister(0, 0x21, 0xE5);
  B.SetHwmonRegister(0, 0x20, 0x00);
  B.SetMsr(0x198, 0x0000019A00002300ull);  // 410 x 1000 / 8192 = 50 mV
  SetFan(0x56, 164);
  SetFan(0x5A, 165);
  SetFan(0x58, 100);  // the multiplexed input is only absent at exactly 164
  SetHiiText(FormSetHandle(0x10), 0x08B0, "en-US", u"F");
  EXPECT_EQ(Refresh(EFI_BROWSER_ACTION_CHANGED), EFI_SUCCESS);
  EXPECT_EQ(Line(0x08B6), u": -1.0 F");
  EXPECT_EQ(Line(0x08B8), u": 25.5 F");
  EXPECT_EQ(Line(0x08C8), u": +12.091 V");
  EXPECT_EQ(Line(0x08D1), u": N/A     ");
  EXPECT_EQ(Line(0x08D2), u": +0.050 V");
  EXPECT_EQ(Line(0x08BC), u": N/A     ");
  EXPECT_EQ(Line(0x08C2), u": 165 RPM");
  EXPECT_EQ(Line(0x08BE), u": 100 RPM");
}

TEST_F(HardwareMonitor, AUnitTooLongForItsBufferBecomesSpaces) {
  SetHiiText(FormSetHandle(0x10), 0x08B0, "en-US", u"deg");
  M().Board().SetHwmonRegister(0, 0x27, 0x80);  // -0: not available
  EXPECT_EQ(Refresh(), EFI_SUCCESS);
  EXPECT_EQ(Line(0x08B8), u": 28.5    ");
  EXPECT_EQ(Line(0x08B6), u": N/A     ");
}

TEST_F(HardwareMonitor, RegisterReadSelectsTheBankAndKeepsTheUpperBits) {
  auto& B = M().Board();
  B.SetHwmonRegister(0, 0x4E, 0x83);
  B.ClearPortLog();
  EXPECT_EQ(ReadMonitorRegister(6, 0x57), 0xB5);
  using A = sim::Board::PortAccess;
  std::vector<A> Want = {{0x295, 1, true, 0x4E}, {0x296, 1, false, 0x83}, {0x296, 1, true, 0x86},
                         {0x295, 1, true, 0x57}, {0x296, 1, false, 0xB5}};
  EXPECT_EQ(B.PortLog(), Want);
}

// The Super I/O accesses of one phase change: select device 8, then a
// read-modify-write of each pin register, every access a whole cycle.
std::vector<sim::Board::PortAccess> PhaseSequence(std::initializer_list<std::array<UINT8, 3>> Changes) {
  using A = sim::Board::PortAccess;
  std::vector<A> Seq;
  auto Write = [&](UINT8 Reg, UINT8 V) {
    Seq.insert(Seq.end(), {{0x2E, 1, true, 0x87}, {0x2E, 1, true, 0x87}, {0x2E, 1, true, Reg}, {0x2F, 1, true, V},
                           {0x2E, 1, true, 0xAA}});
  };
  Write(0x07, 0x08);
  for (auto& C : Changes) {  // register, value read, value written
    Seq.insert(Seq.end(), {{0x2E, 1, true, 0x87}, {0x2E, 1, true, 0x87}, {0x2E, 1, true, C[0]},
                           {0x2F, 1, false, C[1]}, {0x2E, 1, true, 0xAA}});
    Write(C[0], C[2]);
  }
  return Seq;
}

std::vector<sim::Board::PortAccess> SuperIoAccesses(const std::vector<sim::Board::PortAccess>& Log) {
  std::vector<sim::Board::PortAccess> Out;
  for (auto& A : Log)
    if (A.Port == 0x2E || A.Port == 0x2F) Out.push_back(A);
  return Out;
}

TEST_F(HardwareMonitor, MultiplexerSwitchesEveryTwelveRefreshes) {
  auto& B = M().Board();
  const UINT16 Rpm[] = {903, 1111, 1222};
  int Rewrites08BE = 0, Rewrites08C0 = 0;
  std::u16string Last08BE = Line(0x08BE), Last08C0 = Line(0x08C0);
  for (int Call = 0; Call < 25; ++Call) {
    // The value on the input changes with each phase; the string shows the one read at the switch.
    SetFan(0x58, Rpm[Call / 12]);
    B.ClearPortLog();
    ASSERT_EQ(Refresh(), EFI_SUCCESS);
    auto Sio = SuperIoAccesses(B.PortLog());
    if (Call == 0) {
      EXPECT_EQ(Sio, PhaseSequence({{0xF0, 0x4F, 0x0F}, {0xE0, 0xF3, 0xF1}, {0xF1, 0x00, 0x40}, {0xE1, 0x00, 0x00}}));
    } else if (Call == 12) {
      EXPECT_EQ(Sio, PhaseSequence({{0xF0, 0x0F, 0x0F}, {0xE0, 0xF1, 0xF1}, {0xF1, 0x40, 0x00}, {0xE1, 0x00, 0x02}}));
    } else if (Call == 24) {
      EXPECT_EQ(Sio, PhaseSequence({{0xF0, 0x0F, 0x0F}, {0xE0, 0xF1, 0xF1}, {0xF1, 0x00, 0x40}, {0xE1, 0x02, 0x00}}));
    } else {
      EXPECT_TRUE(Sio.empty()) << "refresh " << Call;
    }
    if (Line(0x08BE) != Last08BE) ++Rewrites08BE, Last08BE = Line(0x08BE);
    if (Line(0x08C0) != Last08C0) ++Rewrites08C0, Last08C0 = Line(0x08C0);
    if (Call == 0) EXPECT_EQ(Line(0x08BE), u": 903 RPM");
    if (Call == 12) EXPECT_EQ(Line(0x08C0), u": 1111 RPM");
    if (Call == 24) EXPECT_EQ(Line(0x08BE), u": 1222 RPM");
  }
  EXPECT_EQ(Rewrites08BE, 2);
  EXPECT_EQ(Rewrites08C0, 1);
  EXPECT_EQ(B.SioDeviceRegister(8, 0xF1), 0x40);
  EXPECT_EQ(B.SioDeviceRegister(8, 0xE1), 0x00);
  EXPECT_EQ(HardwareMonitorState().FanMultiplexerCounter, 1);
}

// Where in the port log each Stall fell, and for how long.
std::vector<std::pair<size_t, UINTN>> gStalls;
const sim::Board* gStallBoard = nullptr;
EFI_STATUS EFIAPI RecordingStall(UINTN Microseconds) {
  gStalls.emplace_back(gStallBoard->PortLog().size(), Microseconds);
  return EFI_SUCCESS;
}

TEST_F(HardwareMonitor, MultiplexedFanSettlesBeforeItIsRead) {
  auto& B = M().Board();
  gStalls.clear();
  gStallBoard = &B;
  const auto RealStall = BS()->Stall;
  BS()->Stall = RecordingStall;
  for (int Call = 0; Call < 13; ++Call) {
    B.ClearPortLog();
    gStalls.clear();
    ASSERT_EQ(Refresh(), EFI_SUCCESS);
    if (Call % 12 != 0) {
      EXPECT_TRUE(gStalls.empty()) << "refresh " << Call;
      continue;
    }
    ASSERT_EQ(gStalls.size(), 1u) << "refresh " << Call;
    EXPECT_EQ(gStalls[0].second, 25u);
    // The next accesses after the wait read bank 6 registers 0x58 and 0x59.
    const auto& Log = B.PortLog();
    std::vector<UINT32> Selected;
    for (size_t i = gStalls[0].first; i < Log.size() && Selected.size() < 2; ++i)
      if (Log[i].Port == 0x295 && Log[i].Write && Log[i].Value != 0x4E) Selected.push_back(Log[i].Value);
    EXPECT_EQ(Selected, (std::vector<UINT32>{0x58, 0x59})) << "refresh " << Call;
  }
  BS()->Stall = RealStall;
}

TEST_F(HardwareMonitor, MultiplexedFanAtExactly164IsNotAvailable) {
  SetFan(0x58, 164);
  EXPECT_EQ(Refresh(), EFI_SUCCESS);
  EXPECT_EQ(Line(0x08BE), u": N/A     ");
}

TEST_F(HardwareMonitor, PointListKeysOrderTheBrowsersCopy) {
  Browser().Close();
  PutVariable(u"Setup", SETUP_VARIABLE_GUID, std::string(SETUP_RECORD_SIZE, '\0'), SETUP_VARIABLE_ATTRIBUTES);
  ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  std::vector<UINT8>& S = *Browser().StoreBytes(u"Setup", SETUP_VARIABLE_GUID);
  const UINT8 Points[5] = {40, 30, 50, 20, 60};
  std::memcpy(S.data() + 0x444, Points, 5);
  std::memcpy(S.data() + 0x42E, Points, 5);
  EFI_IFR_TYPE_VALUE Value{};
  // Any action: the list is ordered whatever the browser was doing.
  EXPECT_EQ(Browser().Callback(0x10, EFI_BROWSER_ACTION_CHANGING, 0x4A2, EFI_IFR_TYPE_NUM_SIZE_8, Value), EFI_SUCCESS);
  EXPECT_EQ(std::vector<UINT8>(S.begin() + 0x444, S.begin() + 0x449), (std::vector<UINT8>{40, 40, 50, 50, 60}));
  EXPECT_EQ(std::vector<UINT8>(S.begin() + 0x42E, S.begin() + 0x433), (std::vector<UINT8>{40, 30, 50, 20, 60}));
  EXPECT_EQ(Forms().Calls().SetBrowserData, 1u);
}

TEST_F(HardwareMonitor, PointListWithoutPoolMemoryWritesNothing) {
  M().Pool().FailAllocationAfter(0);
  EFI_IFR_TYPE_VALUE Value{};
  EXPECT_EQ(Browser().Callback(0x10, EFI_BROWSER_ACTION_CHANGED, 0x48E, EFI_IFR_TYPE_NUM_SIZE_8, Value), EFI_SUCCESS);
  EXPECT_EQ(Forms().Calls().GetBrowserData, 0u);
  EXPECT_EQ(Forms().Calls().SetBrowserData, 0u);
}

class HardwareMonitorWithoutSetup : public HardwareMonitor {
 protected:
  void Customise(sim::BoardProfile& Profile) override {
    std::erase_if(Profile.Variables, [](const sim::VariableProfile& V) { return V.Name == u"Setup"; });
  }
};

TEST_F(HardwareMonitorWithoutSetup, PointListWritesNothing) {
  ASSERT_EQ(Browser().StoreBytes(u"Setup", SETUP_VARIABLE_GUID), nullptr);
  EFI_IFR_TYPE_VALUE Value{};
  EXPECT_EQ(Browser().Callback(0x10, EFI_BROWSER_ACTION_CHANGED, 0x48E, EFI_IFR_TYPE_NUM_SIZE_8, Value), EFI_SUCCESS);
  EXPECT_EQ(Forms().Calls().SetBrowserData, 0u);
  EXPECT_EQ(NormalizePointList(FormSetHandle(0x10), 0x10, 0, 0x48E), EFI_SUCCESS);  // outside a callback
  EXPECT_EQ(Forms().Calls().GetBrowserData, 1u);
}

}  // namespace
}  // namespace setupinfo_test

namespace setupinfo_test {
namespace {

// The second temperature line reads a 9-bit count of half degrees: its sign
// is bit 8, so -64.0 and colder need all eight low bits of the magnitude.
TEST_F(HardwareMonitor, NineBitTemperaturesOfMinusSixtyFourAndColder) {
  struct Reading {
    UINT8 High, Low;
    const char16_t* Line;
  };
  for (const Reading& R : {Reading{0xC0, 0x00, u": -64.0 °C"}, Reading{0x80, 0x80, u": -127.5 °C"},
                           Reading{0xBA, 0x00, u": -70.0 °C"}, Reading{0xC0, 0x80, u": -63.5 °C"}}) {
    M().Board().SetHwmonRegister(0, 0x75, R.High);
    M().Board().SetHwmonRegister(0, 0x76, R.Low);
    EXPECT_EQ(Refresh(), EFI_SUCCESS);
    EXPECT_EQ(Line(0x08B8), R.Line) << std::hex << (int)R.High << "/" << (int)R.Low;
  }
}

}  // namespace
}  // namespace setupinfo_test
