#include <cstring>
#include <string>

#include "lib/firmware_services.h"
#include "sim/crc32.h"
#include "sim/machine_test.h"

namespace sim {
namespace {

class MachineServicesTest : public MachineTest {
 protected:
  void Customise(BoardProfile& P) override {
    P.Firmware.Vendor = u"Test Vendor";
    P.Firmware.Revision = 0x00050010;
    P.Firmware.DxeServicesRevision = 0x0001000B;
  }
};

bool HeaderCrcHolds(const EFI_TABLE_HEADER* Hdr) {
  std::string Copy((const char*)Hdr, Hdr->HeaderSize);
  UINT32 Stored = Hdr->CRC32;
  std::memset(&Copy[offsetof(EFI_TABLE_HEADER, CRC32)], 0, 4);
  return Crc32(Copy.data(), Copy.size()) == Stored;
}

TEST_F(MachineServicesTest, TablesComeFromTheProfileWithValidHeaders) {
  EXPECT_EQ(std::u16string(ST()->FirmwareVendor), u"Test Vendor");
  EXPECT_EQ(ST()->FirmwareRevision, 0x00050010u);
  EXPECT_EQ(ST()->Hdr.Signature, EFI_SYSTEM_TABLE::Signature);
  EXPECT_TRUE(HeaderCrcHolds(&ST()->Hdr));
  EXPECT_TRUE(HeaderCrcHolds(&BS()->Hdr));
  EXPECT_TRUE(HeaderCrcHolds(&RT()->Hdr));

  auto* Dxe = (EFI_DXE_SERVICES*)FindConfigurationTable(ST(), &EFI_DXE_SERVICES_TABLE_GUID);
  ASSERT_NE(Dxe, nullptr);
  EXPECT_EQ(Dxe->Hdr.Revision, 0x0001000Bu);
  EXPECT_EQ(Dxe->Hdr.Signature, EFI_DXE_SERVICES::Signature);

  // The HOB list starts with the handoff HOB and ends with the end marker it names.
  auto* Handoff = (EFI_HOB_HANDOFF_INFO_TABLE*)FindConfigurationTable(ST(), &EFI_HOB_LIST_GUID);
  ASSERT_NE(Handoff, nullptr);
  EXPECT_EQ(Handoff->Header.HobType, EFI_HOB_TYPE_HANDOFF);
  auto* End = (EFI_HOB_GENERIC_HEADER*)(uintptr_t)Handoff->EfiEndOfHobList;
  EXPECT_EQ(End->HobType, EFI_HOB_TYPE_END_OF_HOB_LIST);

  // Installing a table changes the count and keeps the header CRC right.
  int Mine = 0;
  const EFI_GUID G = {0x01020304, 5, 6, {7, 8, 9, 10, 11, 12, 13, 14}};
  UINTN Before = ST()->NumberOfTableEntries;
  EXPECT_EQ(BS()->InstallConfigurationTable(&G, &Mine), EFI_SUCCESS);
  EXPECT_EQ(ST()->NumberOfTableEntries, Before + 1);
  EXPECT_EQ(FindConfigurationTable(ST(), &G), &Mine);
  EXPECT_TRUE(HeaderCrcHolds(&ST()->Hdr));
  EXPECT_EQ(BS()->InstallConfigurationTable(&G, nullptr), EFI_SUCCESS);
  EXPECT_EQ(BS()->InstallConfigurationTable(&G, nullptr), EFI_NOT_FOUND);
}

TEST_F(MachineServicesTest, ConsolesCaptureTheirOwnText) {
  ST()->ConOut->OutputString(ST()->ConOut, u"Hello\r\n");
  ST()->StdErr->OutputString(ST()->StdErr, u"Fehler \u00e4");
  EXPECT_EQ(M().ConOut().Text(), "Hello\r\n");
  EXPECT_EQ(M().StdErr().Text(), "Fehler \xc3\xa4");
  VOID* Iface = nullptr;
  EXPECT_EQ(BS()->HandleProtocol(ST()->StandardErrorHandle, &EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL::Guid, &Iface),
            EFI_SUCCESS);
  EXPECT_EQ(Iface, ST()->StdErr);
  UINTN Columns, Rows;
  EXPECT_EQ(ST()->ConOut->QueryMode(ST()->ConOut, 0, &Columns, &Rows), EFI_SUCCESS);
  EXPECT_EQ(Columns, 80u);
  EXPECT_EQ(ST()->ConOut->QueryMode(ST()->ConOut, 1, &Columns, &Rows), EFI_UNSUPPORTED);
}

TEST_F(MachineServicesTest, ServicesOutsideTheSimulationSayUnsupported) {
  EFI_PHYSICAL_ADDRESS Address = 0;
  EXPECT_EQ(BS()->AllocatePages(AllocateAnyPages, EfiBootServicesData, 1, &Address), EFI_UNSUPPORTED);
  EXPECT_EQ(BS()->ExitBootServices(nullptr, 0), EFI_UNSUPPORTED);
  EXPECT_EQ(RT()->SetTime(nullptr), EFI_UNSUPPORTED);
  UINT32 Crc = 0;
  EXPECT_EQ(BS()->CalculateCrc32("123456789", 9, &Crc), EFI_SUCCESS);
  EXPECT_EQ(Crc, 0xCBF43926u);  // the CRC-32 check value
  EXPECT_EQ(BS()->CalculateCrc32("1", 0, &Crc), EFI_INVALID_PARAMETER);
  UINT64 A = 0, B = 0;
  BS()->GetNextMonotonicCount(&A);
  BS()->GetNextMonotonicCount(&B);
  EXPECT_EQ(B, A + 1);
}

TEST_F(MachineServicesTest, ClockAdvancesWithStall) {
  EFI_TIME T0, T1;
  ASSERT_EQ(RT()->GetTime(&T0, nullptr), EFI_SUCCESS);
  BS()->Stall(61 * 1000 * 1000);
  ASSERT_EQ(RT()->GetTime(&T1, nullptr), EFI_SUCCESS);
  EXPECT_EQ(T0.Year, 2026);
  EXPECT_EQ(T0.Month, 1);
  EXPECT_EQ(T0.Day, 5);
  EXPECT_EQ(T1.Minute, (T0.Minute + 1) % 60);
  EXPECT_EQ(T1.Second, (T0.Second + 1) % 60);
}

TEST_F(MachineServicesTest, ResetSystemIsRecorded) {
  EXPECT_FALSE(M().ResetRequest().has_value());
  RT()->ResetSystem(EfiResetWarm, EFI_SUCCESS, 0, nullptr);
  ASSERT_TRUE(M().ResetRequest().has_value());
  EXPECT_EQ(M().ResetRequest()->Type, EfiResetWarm);
  M().Reboot();
  EXPECT_FALSE(M().ResetRequest().has_value());
}

// A small driver: keeps state across its life, counts its starts, writes a
// volatile and a non-volatile variable.
struct ImageState {
  int Entries = 0;
  EFI_HANDLE Handle = nullptr;
  int Resets = 0;
} gImage;

const EFI_GUID VENDOR = {0x6B1C2D3E, 0x4F50, 0x4A61, {0x87, 0x92, 0xA3, 0xB4, 0xC5, 0xD6, 0xE7, 0xF8}};

EFI_STATUS EFIAPI TestEntry(EFI_HANDLE Image, EFI_SYSTEM_TABLE* St) {
  LibraryInit(Image, St);
  ++gImage.Entries;
  gImage.Handle = Image;
  UINT8 Count = 0;
  UINTN Size = 1;
  St->RuntimeServices->GetVariable(u"BootsSeen", &VENDOR, nullptr, &Size, &Count);
  ++Count;
  St->RuntimeServices->SetVariable(u"BootsSeen", &VENDOR, 3, 1, &Count);
  St->RuntimeServices->SetVariable(u"ThisBoot", &VENDOR, 2, 1, &Count);
  return EFI_SUCCESS;
}
void TestReset() {
  ++gImage.Resets;
  gImage.Entries = 0;
}

TEST_F(MachineServicesTest, RebootReloadsImagesAndKeepsOnlyNonVolatileVariables) {
  gImage = {};
  EFI_HANDLE Handle = nullptr;
  ASSERT_EQ(M().LoadImage({"test", TestEntry, TestReset}, &Handle), EFI_SUCCESS);
  EXPECT_EQ(Handle, gImage.Handle);
  EXPECT_EQ(M().ImageHandle("test"), Handle);
  EXPECT_EQ(gLib.SystemTable, ST());
  UINT8 Data = 0;
  UINTN Size = 1;
  EXPECT_EQ(RT()->GetVariable(u"ThisBoot", &VENDOR, nullptr, &Size, &Data), EFI_SUCCESS);

  RT()->SetVariable(u"Scratch", &VENDOR, 2, 1, &Data);
  M().Reboot();
  EXPECT_EQ(M().BootCount(), 2u);
  EXPECT_EQ(gImage.Resets, 1);
  EXPECT_EQ(gImage.Entries, 1);  // entry ran again after the reset
  EXPECT_EQ(gLib.SystemTable, ST());
  Size = 1;
  EXPECT_EQ(RT()->GetVariable(u"BootsSeen", &VENDOR, nullptr, &Size, &Data), EFI_SUCCESS);
  EXPECT_EQ(Data, 2);
  Size = 1;
  // Written again by this boot's entry; the test's own volatile one is gone.
  EXPECT_EQ(RT()->GetVariable(u"ThisBoot", &VENDOR, nullptr, &Size, &Data), EFI_SUCCESS);
  EXPECT_EQ(RT()->GetVariable(u"Scratch", &VENDOR, nullptr, &Size, &Data), EFI_NOT_FOUND);
}

TEST(MachineLifetime, OnlyOneMachineAtATime) {
  EXPECT_DEATH(
      {
        Machine First;
        Machine Second;
      },
      "second machine");
  {
    Machine One;
    EXPECT_EQ(Machine::Current(), &One);
    EXPECT_EQ(AttachedBoardModel(), &One.Board());
  }
  EXPECT_EQ(Machine::Current(), nullptr);
  EXPECT_EQ(AttachedBoardModel(), nullptr);
}

}  // namespace
}  // namespace sim
