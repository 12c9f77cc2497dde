#include <string>
#include <vector>

#include "sim/machine_test.h"

namespace sim {
namespace {

const EFI_GUID VENDOR = {0x3A5C7E90, 0x1B2D, 0x4F60, {0x81, 0x92, 0xA3, 0xB4, 0xC5, 0xD6, 0xE7, 0xF9}};

class VariableTest : public MachineTest {
 protected:
  void Customise(BoardProfile& P) override { P.VariableStore.MaxVariableSize = 1024; }
  EFI_STATUS Set(const CHAR16* Name, UINT32 Attr, const std::string& Data) {
    return RT()->SetVariable(Name, &VENDOR, Attr, Data.size(), Data.data());
  }
};

TEST_F(VariableTest, GetReportsTheSizeItNeeds) {
  ASSERT_EQ(Set(u"Blob", 3, "0123456789"), EFI_SUCCESS);
  UINTN Size = 0;
  UINT32 Attr = 0;
  // Size 0 with no buffer: the probe every reader starts with.
  EXPECT_EQ(RT()->GetVariable(u"Blob", &VENDOR, &Attr, &Size, nullptr), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ(Size, 10u);
  EXPECT_EQ(Attr, 3u);
  char Buffer[16] = {};
  Size = 9;
  EXPECT_EQ(RT()->GetVariable(u"Blob", &VENDOR, nullptr, &Size, Buffer), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ(Size, 10u);
  EXPECT_EQ(Buffer[0], 0);  // nothing copied
  Size = sizeof Buffer;
  EXPECT_EQ(RT()->GetVariable(u"Blob", &VENDOR, nullptr, &Size, Buffer), EFI_SUCCESS);
  EXPECT_EQ(Size, 10u);
  EXPECT_EQ(std::string(Buffer, 10), "0123456789");
  EXPECT_EQ(RT()->GetVariable(u"Blob", &VENDOR, nullptr, &Size, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(RT()->GetVariable(u"blob", &VENDOR, nullptr, &Size, Buffer), EFI_NOT_FOUND);  // names are exact
  EXPECT_EQ(RT()->GetVariable(u"Blob", &EFI_GLOBAL_VARIABLE_GUID, nullptr, &Size, Buffer), EFI_NOT_FOUND);
  EXPECT_EQ(RT()->GetVariable(u"Blob", &VENDOR, nullptr, nullptr, Buffer), EFI_INVALID_PARAMETER);
}

TEST_F(VariableTest, AttributeRules) {
  EXPECT_EQ(Set(u"RtOnly", EFI_VARIABLE_RUNTIME_ACCESS, "x"), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Set(u"NvRt", EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_RUNTIME_ACCESS, "x"), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Set(u"Counter", EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_AUTHENTICATED_WRITE_ACCESS, "x"),
            EFI_UNSUPPORTED);
  EXPECT_EQ(Set(u"Unknown", 0x80 | EFI_VARIABLE_BOOTSERVICE_ACCESS, "x"), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Set(u"", 3, "x"), EFI_INVALID_PARAMETER);
  EXPECT_EQ(RT()->SetVariable(u"NoData", &VENDOR, 3, 4, nullptr), EFI_INVALID_PARAMETER);

  ASSERT_EQ(Set(u"Fixed", 7, "abc"), EFI_SUCCESS);
  // An existing variable keeps its attributes: a write with others is refused.
  EXPECT_EQ(Set(u"Fixed", 3, "abc"), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Set(u"Fixed", 7, "xyz"), EFI_SUCCESS);
  // Append adds to the end.
  EXPECT_EQ(Set(u"Fixed", 7 | EFI_VARIABLE_APPEND_WRITE, "123"), EFI_SUCCESS);
  EXPECT_EQ(M().Variables().Find(u"Fixed", VENDOR)->Data, (std::vector<UINT8>{'x', 'y', 'z', '1', '2', '3'}));
  EXPECT_EQ(M().Variables().Find(u"Fixed", VENDOR)->Attributes, 7u);

  // Size 0 deletes; attributes 0 delete as well; a missing one is not found.
  EXPECT_EQ(RT()->SetVariable(u"Fixed", &VENDOR, 7, 0, nullptr), EFI_SUCCESS);
  EXPECT_EQ(M().Variables().Find(u"Fixed", VENDOR), nullptr);
  EXPECT_EQ(RT()->SetVariable(u"Fixed", &VENDOR, 7, 0, nullptr), EFI_NOT_FOUND);
  ASSERT_EQ(Set(u"Gone", 3, "abc"), EFI_SUCCESS);
  EXPECT_EQ(Set(u"Gone", 0, "abc"), EFI_SUCCESS);
  EXPECT_EQ(M().Variables().Find(u"Gone", VENDOR), nullptr);
}

TEST_F(VariableTest, SizeLimitsAndWriteProtection) {
  // Limit 1024 covers name, data and the store's 60-byte header.
  std::string Fits(1024 - 60 - sizeof(u"Big"), 'a');
  EXPECT_EQ(Set(u"Big", 3, Fits), EFI_SUCCESS);
  EXPECT_EQ(Set(u"Big", 3, Fits + "b"), EFI_INVALID_PARAMETER);
  EXPECT_EQ(M().Variables().Find(u"Big", VENDOR)->Data.size(), Fits.size());
  // A size near the top of UINTN is refused before a byte of it is read.
  EXPECT_EQ(RT()->SetVariable(u"Big", &VENDOR, 3, ~(UINTN)0 - 8, Fits.data()), EFI_INVALID_PARAMETER);

  UINT64 MaxStore, Remaining, MaxVar;
  ASSERT_EQ(RT()->QueryVariableInfo(3, &MaxStore, &Remaining, &MaxVar), EFI_SUCCESS);
  EXPECT_EQ(MaxVar, 1024u - 60);
  EXPECT_LT(Remaining, MaxStore);
  EXPECT_EQ(RT()->QueryVariableInfo(0, &MaxStore, &Remaining, &MaxVar), EFI_INVALID_PARAMETER);

  M().Variables().SetWriteProtected(u"Big", VENDOR);
  EXPECT_EQ(Set(u"Big", 3, "small"), EFI_WRITE_PROTECTED);
  EXPECT_EQ(RT()->SetVariable(u"Big", &VENDOR, 3, 0, nullptr), EFI_WRITE_PROTECTED);
  M().Variables().SetWriteProtected(u"Big", VENDOR, false);
  EXPECT_EQ(Set(u"Big", 3, "small"), EFI_SUCCESS);

  // Injected failures, then the log of every call with its outcome.
  M().Variables().FailSet(u"", EFI_DEVICE_ERROR);
  EXPECT_EQ(Set(u"Other", 3, "1"), EFI_DEVICE_ERROR);
  M().Variables().ClearFailures();
  const auto& Log = M().Variables().SetLog();
  ASSERT_GE(Log.size(), 6u);
  EXPECT_EQ(Log.back().Name, u"Other");
  EXPECT_EQ(Log.back().Status, EFI_DEVICE_ERROR);
  EXPECT_EQ(Log[Log.size() - 2].Data, (std::vector<UINT8>{'s', 'm', 'a', 'l', 'l'}));
  EXPECT_EQ(Log[Log.size() - 2].Status, EFI_SUCCESS);
}

TEST_F(VariableTest, GetNextVariableNameWalksEveryVariableOnce) {
  ASSERT_EQ(Set(u"One", 3, "1"), EFI_SUCCESS);
  ASSERT_EQ(Set(u"Two", 2, "2"), EFI_SUCCESS);
  std::vector<std::u16string> Seen;
  CHAR16 Name[64] = {0};
  EFI_GUID Guid{};
  for (;;) {
    UINTN Size = sizeof Name;
    EFI_STATUS S = RT()->GetNextVariableName(&Size, Name, &Guid);
    if (S == EFI_NOT_FOUND) break;
    ASSERT_EQ(S, EFI_SUCCESS);
    EXPECT_EQ(Size, (std::u16string(Name).size() + 1) * 2);
    if (Guid == VENDOR) Seen.push_back(Name);
  }
  EXPECT_EQ(Seen, (std::vector<std::u16string>{u"One", u"Two"}));

  // Too small a buffer reports the size; an unknown current name is refused.
  CHAR16 Start[8] = {0};
  UINTN Size = 2;
  EXPECT_EQ(RT()->GetNextVariableName(&Size, Start, &Guid), EFI_BUFFER_TOO_SMALL);
  EXPECT_GT(Size, 2u);
  CHAR16 Missing[] = u"Missing";
  Size = sizeof Missing;
  EXPECT_EQ(RT()->GetNextVariableName(&Size, Missing, &Guid), EFI_INVALID_PARAMETER);
  // A name without its terminator inside the stated size is refused.
  CHAR16 One[] = u"One";
  Size = 4;
  EXPECT_EQ(RT()->GetNextVariableName(&Size, One, &Guid), EFI_INVALID_PARAMETER);
}

TEST_F(VariableTest, NonVolatileSurvivesRebootVolatileDoesNot) {
  ASSERT_EQ(Set(u"Kept", 7, "nv"), EFI_SUCCESS);
  ASSERT_EQ(Set(u"Lost", 6, "v"), EFI_SUCCESS);
  // A board variable changed by a driver keeps the change over the reboot.
  const EFI_GUID NetGuid = {0x8F132913, 0x6907, 0x4192, {0xA2, 0x27, 0x6C, 0xBC, 0xD7, 0xA5, 0x0E, 0x6C}};
  std::vector<UINT8> Net(490, 0);
  Net[105] = 2;
  ASSERT_EQ(RT()->SetVariable(u"NetConfigData", &NetGuid, 7, Net.size(), Net.data()), EFI_SUCCESS);
  M().Reboot();
  EXPECT_NE(M().Variables().Find(u"Kept", VENDOR), nullptr);
  EXPECT_EQ(M().Variables().Find(u"Lost", VENDOR), nullptr);
  EXPECT_EQ(M().Variables().Find(u"NetConfigData", NetGuid)->Data[105], 2);
}

TEST(VariableStoreCapacity, FullStoreRefusesWithOutOfResources) {
  VariableStore Store;
  Store.SetStorageSize(300, 300);
  const EFI_GUID G = VENDOR;
  std::string Data(100, 'x');
  EXPECT_EQ(Store.Set(u"A", &G, 3, Data.size(), Data.data()), EFI_SUCCESS);  // 60 + 4 + 100
  EXPECT_EQ(Store.Set(u"B", &G, 3, Data.size(), Data.data()), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(Store.Set(u"B", &G, 2, Data.size(), Data.data()), EFI_SUCCESS);  // volatile has its own room
  // Replacing a variable counts only the difference.
  EXPECT_EQ(Store.Set(u"A", &G, 3, Data.size(), Data.data()), EFI_SUCCESS);
}

}  // namespace
}  // namespace sim
