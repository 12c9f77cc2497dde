#include "lib/firmware_services.h"

#include "lib/pool_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/lib/fake_firmware.h"

namespace {

constexpr EFI_GUID GUID_A = {0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr EFI_GUID GUID_B = {0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 9}};
constexpr EFI_GUID GUID_C = {0xAAAAAAAA, 0xBBBB, 0xCCCC, {0, 0, 0, 0, 0, 0, 0, 0}};

class FirmwareServicesTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_TRUE(Fw.Live.empty()) << Fw.Live.size() << " pool buffers left";
    EXPECT_EQ(Fw.BadFrees, 0u);
  }
  FakeFirmware Fw;
};

// ---- Library initialiser and tables -------------------------------------

TEST_F(FirmwareServicesTest, LibraryInitKeepsTheFirstSystemTable) {
  EXPECT_EQ(gST(), &Fw.SystemTable);
  EXPECT_EQ(gBS(), &Fw.BootServices);
  EXPECT_EQ(gRT(), &Fw.RuntimeServices);
  EXPECT_EQ(gLib.ImageHandle, Fw.ImageHandle);

  EFI_BOOT_SERVICES OtherBs{};
  EFI_RUNTIME_SERVICES OtherRt{};
  EFI_SYSTEM_TABLE Other{};
  Other.BootServices = &OtherBs;
  Other.RuntimeServices = &OtherRt;
  LibraryInit((EFI_HANDLE)0x9999, &Other);
  EXPECT_EQ(gST(), &Fw.SystemTable);
  EXPECT_EQ(gBS(), &Fw.BootServices);
  EXPECT_EQ(gRT(), &Fw.RuntimeServices);
  EXPECT_EQ(gLib.ImageHandle, Fw.ImageHandle);
}

TEST_F(FirmwareServicesTest, FindConfigurationTableReturnsFirstMatch) {
  int TableA = 0, TableB = 0, TableB2 = 0;
  EXPECT_EQ(FindConfigurationTable(&Fw.SystemTable, &GUID_A), nullptr);
  Fw.AddConfigurationTable(GUID_A, &TableA);
  Fw.AddConfigurationTable(GUID_B, &TableB);
  Fw.AddConfigurationTable(GUID_B, &TableB2);
  EXPECT_EQ(FindConfigurationTable(&Fw.SystemTable, &GUID_A), &TableA);
  EXPECT_EQ(FindConfigurationTable(&Fw.SystemTable, &GUID_B), &TableB);
  EXPECT_EQ(FindConfigurationTable(&Fw.SystemTable, &GUID_C), nullptr);
  // Only NumberOfTableEntries entries are looked at.
  Fw.SystemTable.NumberOfTableEntries = 1;
  EXPECT_EQ(FindConfigurationTable(&Fw.SystemTable, &GUID_B), nullptr);
}

// ---- Pool ---------------------------------------------------------------

TEST_F(FirmwareServicesTest, ZeroedPoolIsZeroAndFailureGivesNull) {
  UINT8* p = (UINT8*)AllocateZeroedBootPool(32);
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(p[i], 0) << i;
  FreeBootPool(p);

  Fw.FailNthAllocationFromNow(1);
  EXPECT_EQ(AllocateZeroedBootPool(32), nullptr);
  Fw.FailNthAllocationFromNow(1);
  EXPECT_EQ(AllocateBootPool(32), nullptr);
  FreeBootPool(nullptr);  // ignored, not a bad free
}

// ---- ReadVariableWithRetry ----------------------------------------------

class ReadVariableTest : public FirmwareServicesTest {
 protected:
  void SetUp() override { Fw.PutVariable(u"Setup", GUID_A, {1, 2, 3, 4, 5, 6, 7, 8}); }
  bool HoldsSetup(const VOID* Buffer, UINTN Size) {
    return Size == 8 && std::memcmp(Buffer, "\x01\x02\x03\x04\x05\x06\x07\x08", 8) == 0;
  }
};

TEST_F(ReadVariableTest, MissingVariableLeavesNothing) {
  UINTN Size = 77;
  VOID* Buffer = nullptr;
  EXPECT_EQ(ReadVariableWithRetry(u"Nope", &GUID_A, nullptr, &Size, &Buffer), EFI_NOT_FOUND);
  EXPECT_EQ(Size, 0u);
  EXPECT_EQ(Buffer, nullptr);
  EXPECT_EQ(Fw.Allocations, 0u);
}

TEST_F(ReadVariableTest, NullBufferReadsWholeVariableIntoNewBuffer) {
  UINTN Size = 1000;  // ignored: a null buffer starts from a size-0 probe
  VOID* Buffer = nullptr;
  UINT32 Attributes = 0;
  ASSERT_EQ(ReadVariableWithRetry(u"Setup", &GUID_A, &Attributes, &Size, &Buffer), EFI_SUCCESS);
  EXPECT_TRUE(HoldsSetup(Buffer, Size));
  EXPECT_EQ(Attributes, 3u);
  EXPECT_EQ(Fw.Live.at(Buffer), 8u);
  EXPECT_EQ(Fw.GetVariableCalls, 2u);
  FreeBootPool(Buffer);
}

TEST_F(ReadVariableTest, LargeEnoughCallerBufferIsUsedAsIs) {
  VOID* Own = AllocateBootPool(16);
  VOID* Buffer = Own;
  UINTN Size = 16;
  ASSERT_EQ(ReadVariableWithRetry(u"Setup", &GUID_A, nullptr, &Size, &Buffer), EFI_SUCCESS);
  EXPECT_EQ(Buffer, Own);
  EXPECT_TRUE(HoldsSetup(Buffer, Size));
  EXPECT_EQ(Fw.Allocations, 1u);
  FreeBootPool(Buffer);
}

TEST_F(ReadVariableTest, TooSmallCallerBufferIsFreedAndReplaced) {
  VOID* Buffer = AllocateBootPool(2);
  UINTN Size = 2;
  ASSERT_EQ(ReadVariableWithRetry(u"Setup", &GUID_A, nullptr, &Size, &Buffer), EFI_SUCCESS);
  // The pool may hand the freed address out again; sizes tell the buffers apart.
  ASSERT_EQ(Fw.Live.size(), 1u) << "caller's buffer freed";
  ASSERT_EQ(Fw.Live.count(Buffer), 1u);
  EXPECT_EQ(Fw.Live.at(Buffer), 8u);
  EXPECT_EQ(Fw.Allocations, 2u);
  EXPECT_TRUE(HoldsSetup(Buffer, Size));
  FreeBootPool(Buffer);
}

TEST_F(ReadVariableTest, AllocationFailureGivesOutOfResourcesAndNoBuffer) {
  VOID* Buffer = AllocateBootPool(2);
  UINTN Size = 2;
  Fw.FailNthAllocationFromNow(1);
  EXPECT_EQ(ReadVariableWithRetry(u"Setup", &GUID_A, nullptr, &Size, &Buffer), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(Buffer, nullptr);
  EXPECT_EQ(Fw.GetVariableCalls, 1u);
}

TEST_F(ReadVariableTest, FailedSecondReadFreesTheNewBuffer) {
  VOID* Buffer = nullptr;
  UINTN Size = 0;
  Fw.FailGetVariableCall = 2;
  EXPECT_EQ(ReadVariableWithRetry(u"Setup", &GUID_A, nullptr, &Size, &Buffer), EFI_DEVICE_ERROR);
  EXPECT_EQ(Buffer, nullptr);
  EXPECT_EQ(Fw.Allocations, 1u);
}

TEST_F(ReadVariableTest, OtherFirstReadFailureIsReturnedUnchanged) {
  VOID* Own = AllocateBootPool(16);
  VOID* Buffer = Own;
  UINTN Size = 16;
  Fw.FailGetVariableCall = 1;
  EXPECT_EQ(ReadVariableWithRetry(u"Setup", &GUID_A, nullptr, &Size, &Buffer), EFI_DEVICE_ERROR);
  EXPECT_EQ(Buffer, Own) << "a caller's buffer survives a failure that needs no retry";
  FreeBootPool(Buffer);
}

// ---- ReadWholeVariable ----------------------------------------------------

TEST_F(ReadVariableTest, WholeVariableComesInAnOwnerWithItsSize) {
  PoolBuffer<UINT8> Data;
  UINTN Size = 0;
  UINT32 Attributes = 0;
  ASSERT_EQ(ReadWholeVariable(u"Setup", &GUID_A, Data, &Size, VARIABLE_AS_BYTES, &Attributes), EFI_SUCCESS);
  EXPECT_TRUE(HoldsSetup(Data.Get(), Size));
  EXPECT_EQ(Attributes, 3u);
  EXPECT_EQ(Fw.Live.at(Data.Get()), 8u);  // no room beyond the data when read as bytes
  Data.Reset();
  EXPECT_TRUE(Fw.Live.empty());
}

TEST_F(ReadVariableTest, TextIsTerminatedAfterItsBytesWhateverItsSize) {
  Fw.PutVariable(u"Narrow", GUID_A, {'e', 'n'});
  PoolBuffer<CHAR8> Narrow;
  UINTN Size = 0;
  ASSERT_EQ(ReadWholeVariable(u"Narrow", &GUID_A, Narrow, &Size, VARIABLE_AS_TEXT), EFI_SUCCESS);
  EXPECT_EQ(Size, 2u);
  EXPECT_STREQ(Narrow.Get(), "en");

  // Three bytes of 16-bit text: the odd byte is padded, then a whole
  // terminator follows.
  Fw.PutVariable(u"Wide", GUID_A, {'A', 0, 'B'});
  PoolBuffer<CHAR16> Wide;
  ASSERT_EQ(ReadWholeVariable(u"Wide", &GUID_A, Wide, &Size, VARIABLE_AS_TEXT), EFI_SUCCESS);
  EXPECT_EQ(Size, 3u);
  EXPECT_EQ(Fw.Live.at(Wide.Get()), 6u);
  EXPECT_EQ(Wide[0], u'A');
  EXPECT_EQ(Wide[1], u'B');
  EXPECT_EQ(Wide[2], 0);
}

TEST_F(ReadVariableTest, WholeVariableFailuresLeaveNothing) {
  PoolBuffer<UINT8> Data;
  UINTN Size = 5;
  EXPECT_EQ(ReadWholeVariable(u"Nope", &GUID_A, Data, &Size), EFI_NOT_FOUND);
  EXPECT_FALSE(Data);
  EXPECT_EQ(Size, 5u);

  Fw.FailNthAllocationFromNow(1);
  EXPECT_EQ(ReadWholeVariable(u"Setup", &GUID_A, Data, &Size, VARIABLE_AS_TEXT), EFI_OUT_OF_RESOURCES);
  EXPECT_FALSE(Data);

  // The second read fails (the variable changed between the probe and the read).
  Fw.FailGetVariableCall = Fw.GetVariableCalls + 2;
  EXPECT_EQ(ReadWholeVariable(u"Setup", &GUID_A, Data, &Size), EFI_DEVICE_ERROR);
  EXPECT_FALSE(Data);
  EXPECT_TRUE(Fw.Live.empty());

  // An owner that already holds a buffer is emptied first, not leaked.
  ASSERT_TRUE(Data.Allocate(4));
  ASSERT_EQ(ReadWholeVariable(u"Setup", &GUID_A, Data, &Size), EFI_SUCCESS);
  EXPECT_EQ(Fw.Live.size(), 1u);
}

// ---- DXE services table -------------------------------------------------

TEST_F(FirmwareServicesTest, DxeServicesBeforeInitIsInvalidParameter) {
  LibResetState();
  EFI_DXE_SERVICES* Table = nullptr;
  EXPECT_EQ(GetDxeServicesTable(&Table), EFI_INVALID_PARAMETER);
}

TEST_F(FirmwareServicesTest, DxeServicesNotFoundLeavesTableUnchanged) {
  Fw.AddConfigurationTable(GUID_A, &Fw);
  EFI_DXE_SERVICES Sentinel{};
  EFI_DXE_SERVICES* Table = &Sentinel;
  EXPECT_EQ(GetDxeServicesTable(&Table), EFI_NOT_AVAILABLE_YET);
  EXPECT_EQ(EFI_NOT_AVAILABLE_YET, 0xA000000000000002ull);
  EXPECT_EQ(Table, &Sentinel);
}

TEST_F(FirmwareServicesTest, DxeServicesFoundIsStoredAndKept) {
  EFI_DXE_SERVICES Dxe{};
  EFI_DXE_SERVICES* Table = nullptr;
  EXPECT_EQ(GetDxeServicesTable(&Table), EFI_NOT_AVAILABLE_YET);  // a miss is not remembered
  Fw.AddConfigurationTable(EFI_DXE_SERVICES_TABLE_GUID, &Dxe);
  EXPECT_EQ(GetDxeServicesTable(&Table), EFI_SUCCESS);
  EXPECT_EQ(Table, &Dxe);
  EXPECT_EQ(GetDxeServicesTable(nullptr), EFI_SUCCESS);

  // Looked up once: later calls use the kept pointer.
  Fw.Tables.clear();
  Fw.SystemTable.NumberOfTableEntries = 0;
  Table = nullptr;
  EXPECT_EQ(GetDxeServicesTable(&Table), EFI_SUCCESS);
  EXPECT_EQ(Table, &Dxe);
}

// ---- HOB walks ----------------------------------------------------------

// Builds a HOB list in 8-byte aligned storage.
class HobList {
 public:
  UINT8* Add(UINT16 Type, UINT16 Length, const EFI_GUID* Guid = nullptr) {
    UINTN Offset = Used;
    Used += Length < 8 ? 8 : Length;  // room for the header even when Length lies
    Storage.resize((Used + 7) / 8 + 1);
    UINT8* p = Bytes() + Offset;
    std::memcpy(p, &Type, 2);
    std::memcpy(p + 2, &Length, 2);
    if (Guid != nullptr) std::memcpy(p + 8, Guid, sizeof(EFI_GUID));
    Offsets.push_back(Offset);
    return p;
  }
  UINT8* End() { return Add(EFI_HOB_TYPE_END_OF_HOB_LIST, 8); }
  UINT8* Bytes() { return (UINT8*)Storage.data(); }
  UINT8* At(UINTN Index) { return Bytes() + Offsets[Index]; }

 private:
  std::vector<UINT64> Storage;
  std::vector<UINTN> Offsets;
  UINTN Used = 0;
};

TEST(HobWalk, FindNextHobStepsPastTheCursorToTheNextMatch) {
  HobList L;
  L.Add(EFI_HOB_TYPE_HANDOFF, 56);
  L.Add(EFI_HOB_TYPE_GUID_EXTENSION, 32, &GUID_A);
  L.Add(EFI_HOB_TYPE_RESOURCE_DESCRIPTOR, 48);
  L.Add(EFI_HOB_TYPE_GUID_EXTENSION, 24, &GUID_B);
  L.End();

  VOID* Cursor = L.At(0);
  ASSERT_EQ(FindNextHob(EFI_HOB_TYPE_GUID_EXTENSION, &Cursor), EFI_SUCCESS);
  EXPECT_EQ(Cursor, L.At(1));
  // The HOB at the cursor is never the result.
  ASSERT_EQ(FindNextHob(EFI_HOB_TYPE_GUID_EXTENSION, &Cursor), EFI_SUCCESS);
  EXPECT_EQ(Cursor, L.At(3));
  EXPECT_EQ(FindNextHob(EFI_HOB_TYPE_GUID_EXTENSION, &Cursor), EFI_NOT_FOUND);
  EXPECT_EQ(Cursor, L.At(3)) << "a miss leaves the cursor";

  Cursor = L.At(0);
  EXPECT_EQ(FindNextHob(EFI_HOB_TYPE_CPU, &Cursor), EFI_NOT_FOUND);
  EXPECT_EQ(Cursor, L.At(0));
}

TEST(HobWalk, CursorOnLastHobOrEndMarkerFindsNothing) {
  HobList L;
  L.Add(EFI_HOB_TYPE_HANDOFF, 56);
  L.Add(EFI_HOB_TYPE_CPU, 16);
  L.End();
  VOID* Cursor = L.At(1);
  EXPECT_EQ(FindNextHob(EFI_HOB_TYPE_CPU, &Cursor), EFI_NOT_FOUND);
  EXPECT_EQ(FindNextHob(EFI_HOB_TYPE_END_OF_HOB_LIST, &Cursor), EFI_NOT_FOUND);
  Cursor = L.At(2);
  EXPECT_EQ(FindNextHob(EFI_HOB_TYPE_CPU, &Cursor), EFI_NOT_FOUND);
}

TEST(HobWalk, ShortHobEndsTheWalkInsteadOfLooping) {
  HobList L;
  L.Add(EFI_HOB_TYPE_HANDOFF, 56);
  L.Add(EFI_HOB_TYPE_MEMORY_ALLOCATION, 0);
  L.Add(EFI_HOB_TYPE_CPU, 16);
  L.End();
  VOID* Cursor = L.At(0);
  EXPECT_EQ(FindNextHob(EFI_HOB_TYPE_CPU, &Cursor), EFI_NOT_FOUND);
  EXPECT_EQ(Cursor, L.At(0));

  // Reached as a match, it is returned, but nothing is found after it.
  ASSERT_EQ(FindNextHob(EFI_HOB_TYPE_MEMORY_ALLOCATION, &Cursor), EFI_SUCCESS);
  EXPECT_EQ(Cursor, L.At(1));
  EXPECT_EQ(FindNextHob(EFI_HOB_TYPE_CPU, &Cursor), EFI_NOT_FOUND);

  HobList M;
  M.Add(EFI_HOB_TYPE_HANDOFF, 4);  // shorter than a header
  M.Add(EFI_HOB_TYPE_CPU, 16);
  M.End();
  Cursor = M.At(0);
  EXPECT_EQ(FindNextHob(EFI_HOB_TYPE_CPU, &Cursor), EFI_NOT_FOUND);
}

TEST(HobWalk, NullCursorIsInvalid) {
  EXPECT_EQ(FindNextHob(EFI_HOB_TYPE_CPU, nullptr), EFI_INVALID_PARAMETER);
  VOID* Cursor = nullptr;
  EXPECT_EQ(FindNextHob(EFI_HOB_TYPE_CPU, &Cursor), EFI_INVALID_PARAMETER);
  EXPECT_EQ(FindGuidHob(&GUID_A, &Cursor), EFI_INVALID_PARAMETER);
  HobList L;
  L.End();
  Cursor = L.At(0);
  EXPECT_EQ(FindGuidHob(nullptr, &Cursor), EFI_INVALID_PARAMETER);
  EXPECT_EQ(FindGuidHob(&GUID_A, nullptr), EFI_INVALID_PARAMETER);
}

TEST(HobWalk, FindGuidHobSkipsOtherGuidsAndOtherTypes) {
  HobList L;
  L.Add(EFI_HOB_TYPE_HANDOFF, 56);
  L.Add(EFI_HOB_TYPE_GUID_EXTENSION, 32, &GUID_A);
  L.Add(EFI_HOB_TYPE_RESOURCE_DESCRIPTOR, 48, &GUID_B);  // right GUID bytes, wrong type
  L.Add(EFI_HOB_TYPE_GUID_EXTENSION, 40, &GUID_B);
  L.Add(EFI_HOB_TYPE_GUID_EXTENSION, 24, &GUID_B);
  L.End();

  VOID* Cursor = L.At(0);
  ASSERT_EQ(FindGuidHob(&GUID_B, &Cursor), EFI_SUCCESS);
  EXPECT_EQ(Cursor, L.At(3));
  ASSERT_EQ(FindGuidHob(&GUID_B, &Cursor), EFI_SUCCESS);
  EXPECT_EQ(Cursor, L.At(4));
  EXPECT_EQ(FindGuidHob(&GUID_B, &Cursor), EFI_NOT_FOUND);

  Cursor = L.At(0);
  EXPECT_EQ(FindGuidHob(&GUID_C, &Cursor), EFI_NOT_FOUND);
}

// ---- WaitForProtocol ----------------------------------------------------

VOID EFIAPI CountingNotify(EFI_EVENT, VOID* Context) { ++*(int*)Context; }

TEST_F(FirmwareServicesTest, WaitForProtocolCreatesSignalEventAndRegistersIt) {
  int Calls = 0;
  EFI_EVENT Event = nullptr;
  VOID* Registration = nullptr;
  WaitForProtocol(&GUID_C, CountingNotify, &Calls, &Event, &Registration);

  ASSERT_EQ(Fw.Events.size(), 1u);
  EXPECT_EQ(Fw.Events[0].Type, EVT_NOTIFY_SIGNAL);
  EXPECT_EQ(Fw.Events[0].Tpl, TPL_CALLBACK);
  EXPECT_EQ(Fw.Events[0].Notify, &CountingNotify);
  EXPECT_EQ(Fw.Events[0].Context, &Calls);
  EXPECT_NE(Event, nullptr);
  ASSERT_EQ(Fw.Notifies.size(), 1u);
  EXPECT_EQ(Fw.Notifies[0].Protocol, GUID_C);
  EXPECT_EQ(Fw.Notifies[0].Event, Event);
  EXPECT_NE(Registration, nullptr);
  EXPECT_EQ(Calls, 0) << "the event is not signalled at once";
}

TEST_F(FirmwareServicesTest, WaitForProtocolRegistersNothingWhenEventFails) {
  Fw.CreateEventStatus = EFI_OUT_OF_RESOURCES;
  int Calls = 0;
  EFI_EVENT Event = nullptr;
  VOID* Registration = nullptr;
  WaitForProtocol(&GUID_C, CountingNotify, &Calls, &Event, &Registration);
  EXPECT_TRUE(Fw.Notifies.empty());
  EXPECT_EQ(Registration, nullptr);
}

// ---- Doubly linked list -------------------------------------------------

std::vector<LIST_NODE*> Forward(const LIST_HEAD& Head) {
  std::vector<LIST_NODE*> Out;
  for (LIST_NODE* n = Head.First; n != nullptr; n = n->Next) Out.push_back(n);
  return Out;
}
std::vector<LIST_NODE*> Backward(const LIST_HEAD& Head) {
  std::vector<LIST_NODE*> Out;
  for (LIST_NODE* n = Head.Last; n != nullptr; n = n->Prev) Out.insert(Out.begin(), n);
  return Out;
}

TEST(List, AppendKeepsOrderAndBothLinks) {
  LIST_HEAD Head;
  Head.Count = 99;
  ListInit(&Head);
  EXPECT_EQ(Head.Count, 0u);
  EXPECT_EQ(Head.First, nullptr);
  EXPECT_EQ(Head.Last, nullptr);

  LIST_NODE a{}, b{}, c{};
  ListAppend(&Head, &a);
  EXPECT_EQ(Head.First, &a);
  EXPECT_EQ(Head.Last, &a);
  ListAppend(&Head, &b);
  ListAppend(&Head, &c);
  EXPECT_EQ(Head.Count, 3u);
  std::vector<LIST_NODE*> Expected = {&a, &b, &c};
  EXPECT_EQ(Forward(Head), Expected);
  EXPECT_EQ(Backward(Head), Expected);
}

TEST(List, RemoveFixesEndsAndCount) {
  LIST_HEAD Head;
  ListInit(&Head);
  LIST_NODE a{}, b{}, c{}, d{};
  for (LIST_NODE* n : {&a, &b, &c, &d}) ListAppend(&Head, n);

  ListRemove(&Head, &b);  // middle
  EXPECT_EQ(Forward(Head), (std::vector<LIST_NODE*>{&a, &c, &d}));
  EXPECT_EQ(Backward(Head), (std::vector<LIST_NODE*>{&a, &c, &d}));
  ListRemove(&Head, &a);  // first
  EXPECT_EQ(Head.First, &c);
  EXPECT_EQ(c.Prev, nullptr);
  ListRemove(&Head, &d);  // last
  EXPECT_EQ(Head.Last, &c);
  EXPECT_EQ(c.Next, nullptr);
  EXPECT_EQ(Head.Count, 1u);
  ListRemove(&Head, &c);  // only
  EXPECT_EQ(Head.Count, 0u);
  EXPECT_EQ(Head.First, nullptr);
  EXPECT_EQ(Head.Last, nullptr);

  // A removed node can be appended again.
  ListAppend(&Head, &b);
  EXPECT_EQ(Forward(Head), (std::vector<LIST_NODE*>{&b}));
}

}  // namespace
