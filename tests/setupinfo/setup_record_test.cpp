// The Setup record: typed fields over the packed bytes and the stored variable.
#include "setupinfo_fixture.h"

namespace setupinfo_test {
namespace {

class SetupRecord : public SetupInfoTest {
 protected:
  void PutSetup(size_t Size) {
    std::string Bytes(Size, 0);
    for (size_t i = 0; i < Size; ++i) Bytes[i] = (char)(i * 7);
    PutVariable(SETUP_VARIABLE_NAME, SETUP_VARIABLE_GUID, Bytes, SETUP_VARIABLE_ATTRIBUTES);
  }
  // The board may come with a stored record; some cases need none.
  void DeleteSetup() {
    EFI_STATUS Status = RT()->SetVariable(SETUP_VARIABLE_NAME, &SETUP_VARIABLE_GUID,
                                          SETUP_VARIABLE_ATTRIBUTES, 0, nullptr);
    ASSERT_TRUE(Status == EFI_SUCCESS || Status == EFI_NOT_FOUND);
  }
};

TEST_F(SetupRecord, FieldsAreLittleEndianAtTheirOffsets) {
  SETUP_RECORD Record{};
  Record.Set<setup::DependentValue>(0x1234);
  Record.Set<setup::OutputLevel>(0xA1B2C3D4);
  Record.Set<setup::MemoryTimings>(0xBEEF, 11);
  EXPECT_EQ(Record.Bytes[0x30], 0x34);
  EXPECT_EQ(Record.Bytes[0x31], 0x12);
  EXPECT_EQ(Record.Bytes[0x46A], 0xD4);
  EXPECT_EQ(Record.Bytes[0x46D], 0xA1);
  // The twelfth timing value sits at the odd offset 0x3C5.
  EXPECT_EQ(Record.Bytes[0x3C5], 0xEF);
  EXPECT_EQ(Record.Bytes[0x3C6], 0xBE);
  EXPECT_EQ(Record.Get<setup::MemoryTimings>(11), 0xBEEF);
}

// The host build stops at an index past a field (the firmware build keeps it
// inside the field's last element instead of landing in a neighbour).
TEST(SetupRecordIndex, AnIndexPastAFieldStopsTheHostRun) {
  SETUP_RECORD Record{};
  Record.Set<setup::ActiveCoreRatioLimits>(42, 3);
  EXPECT_EQ(Record.Bytes[0x03F], 42);
  EXPECT_DEATH(Record.Set<setup::ActiveCoreRatioLimits>(42, 4), "Setup field index out of range");
  EXPECT_DEATH((void)Record.Get<setup::MemoryTimings>(12), "Setup field index out of range");
}

TEST_F(SetupRecord, OnlyAStoredRecordOfTheRightSizeIsRead) {
  DeleteSetup();
  ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  SETUP_RECORD Record{};
  EXPECT_EQ(ReadStoredSetup(&Record), EFI_NOT_FOUND);
  PutSetup(SETUP_RECORD_SIZE + 1);
  EXPECT_EQ(ReadStoredSetup(&Record), EFI_BUFFER_TOO_SMALL);
  PutSetup(1000);
  EXPECT_EQ(ReadStoredSetup(&Record), EFI_BAD_BUFFER_SIZE);
  PutSetup(SETUP_RECORD_SIZE);
  ASSERT_EQ(ReadStoredSetup(&Record), EFI_SUCCESS);
  EXPECT_EQ(Record.Bytes[SETUP_RECORD_SIZE - 1], (UINT8)((SETUP_RECORD_SIZE - 1) * 7));

  Record.Set<setup::DisplayOutputIndex>(3);
  ASSERT_EQ(WriteStoredSetup(&Record), EFI_SUCCESS);
  const auto* Stored = M().Variables().Find(SETUP_VARIABLE_NAME, SETUP_VARIABLE_GUID);
  ASSERT_NE(Stored, nullptr);
  EXPECT_EQ(Stored->Attributes, SETUP_VARIABLE_ATTRIBUTES);
  ASSERT_EQ(Stored->Data.size(), SETUP_RECORD_SIZE);
  EXPECT_EQ(Stored->Data[0x469], 3);
}

}  // namespace
}  // namespace setupinfo_test
