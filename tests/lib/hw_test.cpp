#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "lib/hw/board_model.h"
#include "lib/hw/hw.h"

namespace {

// One access as the board saw it.
struct Access {
  enum Kind { In, Out, Mem } kind;
  UINT64 where;  // port or physical address
  UINT8 width;
  UINT32 value;  // written value; for reads the value answered
  bool operator==(const Access&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Access& a) {
  static const char* KnownNames[] = {"in", "out", "mem"};
  return os << KnownNames[a.kind] << std::hex << " 0x" << a.where << " w" << (int)a.width << " =0x" << a.value;
}

Access In(UINT16 Port, UINT8 Width, UINT32 Value) { return {Access::In, Port, Width, Value}; }
Access Out(UINT16 Port, UINT8 Width, UINT32 Value) { return {Access::Out, Port, Width, Value}; }
Access Mem(UINT64 Address, UINT8 Width, UINT32 Value) { return {Access::Mem, Address, Width, Value}; }

// Logs every access in order; reads are answered from a script, in order.
class RecordingBoard : public BoardModel {
 public:
  std::vector<Access> Log;
  std::deque<UINT32> Answers;
  struct CpuidCall {
    UINT32 Leaf, Subleaf;
  };
  std::vector<CpuidCall> CpuidCalls;

  UINT32 PortRead(UINT16 Port, UINT8 Width) override { return Record(Access::In, Port, Width); }
  void PortWrite(UINT16 Port, UINT8 Width, UINT32 Value) override { Log.push_back(Out(Port, Width, Value)); }
  void Cpuid(UINT32 Leaf, UINT32 Subleaf, UINT32 Regs[4]) override {
    CpuidCalls.push_back({Leaf, Subleaf});
    Regs[0] = 0x000306C3;
    Regs[1] = 0x11;
    Regs[2] = 0x22;
    Regs[3] = 0x33;
  }
  UINT64 ReadMsr(UINT32 Index) override { return 0x1122334455667788ull ^ Index; }
  UINT32 PhysicalRead(UINT64 Address, UINT8 Width) override { return Record(Access::Mem, Address, Width); }

 private:
  UINT32 Record(Access::Kind Kind, UINT64 Where, UINT8 Width) {
    EXPECT_FALSE(Answers.empty()) << "unscripted read";
    UINT32 Value = Answers.empty() ? 0xFFFFFFFF : Answers.front();
    if (!Answers.empty()) Answers.pop_front();
    Log.push_back({Kind, Where, Width, Value});
    return Value;
  }
};

class HwTest : public ::testing::Test {
 protected:
  void SetUp() override { AttachBoardModel(&Board); }
  void TearDown() override {
    AttachBoardModel(nullptr);
    EXPECT_TRUE(Board.Answers.empty()) << "scripted reads left unused";
  }
  RecordingBoard Board;
};

using Log = std::vector<Access>;

TEST_F(HwTest, PciRead32SelectsThenReadsTheDataPort) {
  Board.Answers = {0x8C528086};
  EXPECT_EQ(PciRead32(0, 31, 2, 0x10), 0x8C528086u);
  EXPECT_EQ(Board.Log, (Log{Out(0xCF8, 4, 0x8000FA10), In(0xCFC, 4, 0x8C528086)}));
}

TEST_F(HwTest, NarrowPciReadsUseTheByteLanesOfTheDataPort) {
  Board.Answers = {0x8086, 0x06};
  EXPECT_EQ(PciRead16(0, 0, 0, 0x02), 0x8086);
  EXPECT_EQ(PciRead8(0, 0, 0, 0x0B), 0x06);
  EXPECT_EQ(Board.Log, (Log{Out(0xCF8, 4, 0x80000000), In(0xCFE, 2, 0x8086),  //
                            Out(0xCF8, 4, 0x80000008), In(0xCFF, 1, 0x06)}));
}

TEST_F(HwTest, PciAddressPacksBusDeviceFunction) {
  Board.Answers = {1, 2};
  PciRead16(0xAB, 0x1C, 0x5, 0x43);  // odd register: 16-bit lane is register & 2
  PciRead8(0x01, 0x02, 0x07, 0xFF);  // highest register still goes through the ports
  EXPECT_EQ(Board.Log, (Log{Out(0xCF8, 4, 0x80ABE540), In(0xCFE, 2, 1),  //
                            Out(0xCF8, 4, 0x800117FC), In(0xCFF, 1, 2)}));
}

// Registers below 0x100 never reach the window, so the function of bus 0,
// device 31, function 0 (page 0xF80F8000) is checked at register 0x108.
TEST_F(HwTest, ExtendedRegistersGoThroughTheMemoryWindow) {
  Board.Answers = {0xAA, 0xBBBB, 0xCCCCCCCC};
  EXPECT_EQ(PciRead8(0, 0, 0, 0x100), 0xAA);
  EXPECT_EQ(PciRead16(0, 31, 0, 0x108), 0xBBBB);
  EXPECT_EQ(PciRead32(1, 2, 3, 0x1F0), 0xCCCCCCCCu);
  EXPECT_EQ(Board.Log, (Log{Mem(0xF8000100, 1, 0xAA), Mem(0xF80F8108, 2, 0xBBBB),  //
                            Mem(0xF8000000 + (1 << 20) + (2 << 15) + (3 << 12) + 0x1F0, 4, 0xCCCCCCCC)}));
}

TEST_F(HwTest, WindowAddressWrapsAt32Bits) {
  Board.Answers = {0x11, 0x22};
  PciRead8(0x80, 0, 0, 0x100);  // 0xF8000000 + 0x08000000 + 0x100
  PciRead8(0xFF, 31, 7, 0xFFF);
  EXPECT_EQ(Board.Log, (Log{Mem(0x00000100, 1, 0x11), Mem(0x07FFFFFF, 1, 0x22)}));
}

TEST_F(HwTest, SioReadIsOneCompleteKeyedCycle) {
  Board.Answers = {0xC5};
  EXPECT_EQ(SioRead(0x20), 0xC5);
  EXPECT_EQ(Board.Log, (Log{Out(0x2E, 1, 0x87), Out(0x2E, 1, 0x87), Out(0x2E, 1, 0x20), In(0x2F, 1, 0xC5),
                            Out(0x2E, 1, 0xAA)}));
}

TEST_F(HwTest, SioWriteThenReadAreTwoCycles) {
  Board.Answers = {0x01};
  SioWrite(0x07, 0x0B);
  EXPECT_EQ(SioRead(0x30), 0x01);
  EXPECT_EQ(Board.Log, (Log{Out(0x2E, 1, 0x87), Out(0x2E, 1, 0x87), Out(0x2E, 1, 0x07), Out(0x2F, 1, 0x0B),
                            Out(0x2E, 1, 0xAA),  //
                            Out(0x2E, 1, 0x87), Out(0x2E, 1, 0x87), Out(0x2E, 1, 0x30), In(0x2F, 1, 0x01),
                            Out(0x2E, 1, 0xAA)}));
}

TEST_F(HwTest, PortWritesReturnTheValueAndUseTheirWidth) {
  EXPECT_EQ(PortWrite8(0x80, 0x55), 0x55);
  EXPECT_EQ(PortWrite16(0x295, 0x1234), 0x1234);
  EXPECT_EQ(PortWrite32(0xCF8, 0x80000000u), 0x80000000u);
  EXPECT_EQ(Board.Log, (Log{Out(0x80, 1, 0x55), Out(0x295, 2, 0x1234), Out(0xCF8, 4, 0x80000000)}));
}

TEST_F(HwTest, ReadCpuidStoresOnlyTheRequestedRegisters) {
  UINT32 Eax = 0, Ebx = 0xDEAD, Ecx = 0, Edx = 0xBEEF;
  ReadCpuid(1, &Eax, nullptr, &Ecx, nullptr);
  EXPECT_EQ(Eax, 0x000306C3u);
  EXPECT_EQ(Ecx, 0x22u);
  EXPECT_EQ(Ebx, 0xDEADu);
  EXPECT_EQ(Edx, 0xBEEFu);

  UINT32 Subleaf = 2;
  ReadCpuid(4, nullptr, &Ebx, &Subleaf, &Edx);
  EXPECT_EQ(Ebx, 0x11u);
  EXPECT_EQ(Edx, 0x33u);
  ASSERT_EQ(Board.CpuidCalls.size(), 2u);
  EXPECT_EQ(Board.CpuidCalls[0].Leaf, 1u);
  EXPECT_EQ(Board.CpuidCalls[0].Subleaf, 0u);
  EXPECT_EQ(Board.CpuidCalls[1].Leaf, 4u);
  EXPECT_EQ(Board.CpuidCalls[1].Subleaf, 2u) << "ECX carries the subleaf in";
}

}  // namespace
