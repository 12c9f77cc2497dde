#include <stdexcept>
#include <vector>

#include "lib/firmware_services.h"
#include "lib/hw/hw.h"
#include "sim/machine_test.h"

namespace sim {
namespace {

using Access = Board::PortAccess;

class BoardTest : public MachineTest {
 protected:
  void Customise(BoardProfile& P) override {
    PciFunction Nic;
    Nic.Bus = 3;
    Nic.Device = 0;
    Nic.Function = 0;
    Nic.Config = {{0x00, {0xEC, 0x10, 0x68, 0x81}}, {0x100, {0x01, 0x00, 0x01, 0x14}}, {0xFFC, {1, 2, 3, 4}}};
    P.Pci.push_back(Nic);
    P.Hobs.push_back({{0xA1B2C3D4, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}}, {9, 8, 7}});
  }
};

TEST_F(BoardTest, PciThroughPortsAndWindowAgree) {
  // Default board: host bridge and LPC ids; absent functions read all ones.
  EXPECT_EQ(PciRead32(0, 0, 0, 0), 0x0C008086u);
  EXPECT_EQ(PciRead16(0, 31, 0, 2), 0x8C44);
  EXPECT_EQ(PciRead8(0, 31, 2, 0x0B), 0x01);  // mass storage class
  EXPECT_EQ(PciRead32(0, 5, 0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(PciRead16(0, 5, 0, 0x100), 0xFFFF);

  for (UINT16 Reg : {0x00, 0x02, 0x03, 0xFC}) {
    EXPECT_EQ(PciRead8(3, 0, 0, Reg), PhysicalRead8(0xF8000000 + (3u << 20) + Reg)) << Reg;
  }
  EXPECT_EQ(PciRead32(3, 0, 0, 0x100), 0x14010001u);  // extended space: window only
  EXPECT_EQ(PciRead32(3, 0, 0, 0xFFC), 0x04030201u);
  // Bus 0, device 31, function 0, register 8 through the window.
  EXPECT_EQ(PhysicalRead8(0xF80F8008), PciRead8(0, 31, 0, 8));
}

TEST_F(BoardTest, PciPortSequenceSelectsThenReadsTheRightByte) {
  Board& B = M().Board();
  B.ClearPortLog();
  UINT16 Value = PciRead16(0, 31, 0, 0x02);
  EXPECT_EQ(Value, 0x8C44);
  EXPECT_EQ(B.PortLog(), (std::vector<Access>{{0xCF8, 4, true, 0x8000F800}, {0xCFE, 2, false, 0x8C44}}));
  B.ClearPortLog();
  PciRead8(0, 31, 0, 0x0B);
  EXPECT_EQ(B.PortLog(), (std::vector<Access>{{0xCF8, 4, true, 0x8000F808}, {0xCFF, 1, false, 0x06}}));
  // Without the enable bit the data port floats.
  PortWrite32(0xCF8, 0x0000F800);
  EXPECT_EQ(PortRead32(0xCFC), 0xFFFFFFFFu);
  EXPECT_EQ(PortRead32(0xCF8), 0x0000F800u);
}

TEST_F(BoardTest, SuperIoNeedsTheEntryKeyAndSelectsDevices) {
  Board& B = M().Board();
  // Outside configuration mode the ports read as nothing.
  EXPECT_EQ(PortRead8(0x2F), 0xFF);
  PortWrite8(0x2E, 0x20);
  EXPECT_EQ(PortRead8(0x2F), 0xFF);
  PortWrite8(0x2E, 0x87);
  PortWrite8(0x2E, 0x01);  // broken key: starts over
  PortWrite8(0x2E, 0x87);
  EXPECT_FALSE(B.SioInConfigMode());

  EXPECT_EQ(SioRead(0x20), 0xC5);  // chip id
  EXPECT_FALSE(B.SioInConfigMode());
  // The device selection survives between cycles.
  SioWrite(0x07, 0x0B);
  EXPECT_EQ(B.SioSelectedDevice(), 0x0B);
  EXPECT_EQ(SioRead(0x60), 0x02);
  EXPECT_EQ(SioRead(0x61), 0x90);
  SioWrite(0x07, 0x02);
  EXPECT_EQ(SioRead(0x61), 0xF8);
  SioWrite(0xF0, 0x5A);
  EXPECT_EQ(B.SioDeviceRegister(0x02, 0xF0), 0x5A);
  SioWrite(0x07, 0x0E);  // no such device
  EXPECT_EQ(SioRead(0x30), 0xFF);
  // Device registers are not globals: naming one there is the test's mistake, caught.
  EXPECT_THROW(B.SetSioGlobal(0x30, 1), std::out_of_range);
  EXPECT_THROW(B.SioGlobal(0xF0), std::out_of_range);

  B.ClearPortLog();
  SioRead(0x21);
  EXPECT_EQ(B.PortLog(), (std::vector<Access>{{0x2E, 1, true, 0x87},
                                              {0x2E, 1, true, 0x87},
                                              {0x2E, 1, true, 0x21},
                                              {0x2F, 1, false, 0x62},
                                              {0x2E, 1, true, 0xAA}}));
}

TEST_F(BoardTest, HardwareMonitorBanks) {
  Board& B = M().Board();
  PortWrite8(0x295, 0x4E);
  PortWrite8(0x296, 0x80 | 1);  // high bits are not the bank
  EXPECT_EQ(B.HwmonBank(), 1);
  PortWrite8(0x295, 0x50);
  EXPECT_EQ(PortRead8(0x296), 0x1E);
  PortWrite8(0x295, 0x4E);
  EXPECT_EQ(PortRead8(0x296), 0x81);  // the select register reads back in every bank
  PortWrite8(0x296, 0x02);
  PortWrite8(0x295, 0x50);
  EXPECT_EQ(PortRead8(0x296), 0x22);
  PortWrite8(0x296, 0x33);
  EXPECT_EQ(B.HwmonRegister(2, 0x50), 0x33);
  EXPECT_EQ(B.HwmonRegister(1, 0x50), 0x1E);
  PortWrite8(0x295, 0x4E);
  PortWrite8(0x296, 0x07);  // bank 7 does not exist
  PortWrite8(0x295, 0x50);
  EXPECT_EQ(PortRead8(0x296), 0xFF);
  EXPECT_EQ(PortRead8(0x297), 0xFF);
  EXPECT_EQ(PortRead16(0x80), 0xFFFF);
}

TEST_F(BoardTest, ProcessorRegisters) {
  UINT32 Eax = 0, Ebx = 0, Ecx = 0, Edx = 0;
  ReadCpuid(0, &Eax, &Ebx, &Ecx, &Edx);
  char Vendor[13] = {};
  memcpy(Vendor, &Ebx, 4);
  memcpy(Vendor + 4, &Edx, 4);
  memcpy(Vendor + 8, &Ecx, 4);
  EXPECT_STREQ(Vendor, "GenuineIntel");
  Ecx = 0;
  ReadCpuid(1, &Eax, nullptr, &Ecx, nullptr);
  EXPECT_EQ((Eax >> 8) & 0xF, 6u);
  EXPECT_EQ(((Eax >> 4) & 0xF) | ((Eax >> 12) & 0xF0), 0x3Cu);
  char Brand[49] = {};
  for (UINT32 L = 0; L < 3; ++L) {
    UINT32 R[4];
    R[2] = 0;
    ReadCpuid(0x80000002 + L, &R[0], &R[1], &R[2], &R[3]);
    memcpy(Brand + 16 * L, R, 16);
  }
  EXPECT_STREQ(Brand, "Intel(R) Core(TM) i7-4770K CPU @ 3.50GHz");
  // Subleaves matter: leaf 4 lists caches, leaf 0xB the topology (2 threads x 4 cores).
  Ecx = 3;
  ReadCpuid(4, &Eax, nullptr, &Ecx, nullptr);
  EXPECT_EQ(Eax & 0x1F, 3u);  // unified cache
  Ecx = 0;
  ReadCpuid(0xB, nullptr, &Ebx, &Ecx, nullptr);
  EXPECT_EQ(Ebx & 0xFFFF, 2u);
  Ecx = 1;
  ReadCpuid(0xB, nullptr, &Ebx, &Ecx, nullptr);
  EXPECT_EQ(Ebx & 0xFFFF, 8u);
  EXPECT_EQ(Ecx, 0x201u);

  EXPECT_EQ((ReadMsr(0xCE) >> 8) & 0xFF, 35u);
  EXPECT_TRUE(M().Board().UnknownMsrReads().empty());
  EXPECT_EQ(ReadMsr(0x12345), 0u);
  EXPECT_EQ(M().Board().UnknownMsrReads(), (std::vector<UINT32>{0x12345}));
}

TEST_F(BoardTest, PhysicalRegions) {
  EXPECT_EQ(PhysicalRead32(0xFED10000 + 0x5004), 0x00600020u);
  EXPECT_EQ(PhysicalRead8(0xFFFFE), 0xFC);
  EXPECT_EQ(PhysicalRead8(0xFFFF5), '1');
  EXPECT_EQ(PhysicalRead32(0xFED18000), 0xFFFFFFFFu);  // past the register file
  EXPECT_EQ(PhysicalRead16(0xFED17FFF), 0xFF00);         // straddles the end
  EXPECT_EQ(PhysicalRead32(0x1000), 0xFFFFFFFFu);
  UINT32 V = 0xDEADBEEF;
  M().Board().PhysicalWrite(0xFED10000 + 0x40, &V, 4);
  EXPECT_EQ(PhysicalRead32(0xFED10040), 0xDEADBEEFu);
}

TEST_F(BoardTest, HobListCarriesTheProfileHobs) {
  LibraryInit(nullptr, ST());
  VOID* Cursor = FindConfigurationTable(ST(), &EFI_HOB_LIST_GUID);
  const EFI_GUID G = {0xA1B2C3D4, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};
  ASSERT_EQ(FindGuidHob(&G, &Cursor), EFI_SUCCESS);
  auto* Hob = (EFI_HOB_GUID_TYPE*)Cursor;
  EXPECT_EQ(Hob->Header.HobLength, 32);  // 24 + 3, rounded to 8
  EXPECT_EQ(((UINT8*)(Hob + 1))[0], 9);
  EXPECT_EQ(((UINT8*)(Hob + 1))[2], 7);
  EXPECT_EQ(FindGuidHob(&G, &Cursor), EFI_NOT_FOUND);
}

TEST_F(BoardTest, RebootRestoresBoardRegisters) {
  SioWrite(0x07, 0x02);
  SioWrite(0xF0, 0x5A);
  M().Board().SetMsr(0xCE, 0);
  M().Reboot();
  SioWrite(0x07, 0x02);
  EXPECT_EQ(SioRead(0xF0), 0x00);
  EXPECT_EQ((ReadMsr(0xCE) >> 8) & 0xFF, 35u);
}

}  // namespace
}  // namespace sim
