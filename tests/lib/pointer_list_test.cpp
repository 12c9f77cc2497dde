#include <gtest/gtest.h>

#include "lib/strings.h"
#include "tests/lib/fake_firmware.h"

namespace {

class PointerListTest : public ::testing::Test {
 protected:
  void TearDown() override {
    PointerListFree(&List);
    EXPECT_TRUE(Fw.Live.empty());
    EXPECT_EQ(Fw.BadFrees, 0u);
  }
  static VOID* Item(UINTN i) { return (VOID*)(0x1000 + i); }

  FakeFirmware Fw;
  POINTER_LIST List{};
};

TEST_F(PointerListTest, FirstAppendAllocatesTenZeroedEntries) {
  ASSERT_EQ(PointerListAppend(&List, Item(0)), EFI_SUCCESS);
  EXPECT_EQ(List.Capacity, 10u);
  EXPECT_EQ(List.Count, 1u);
  EXPECT_EQ(List.Items[0], Item(0));
  for (UINTN i = 1; i < 10; ++i) EXPECT_EQ(List.Items[i], nullptr);
  EXPECT_EQ(Fw.Live.at(List.Items), 10 * sizeof(VOID*));
}

TEST_F(PointerListTest, EleventhAppendGrowsToTwentyKeepingOrder) {
  for (UINTN i = 0; i < 10; ++i) ASSERT_EQ(PointerListAppend(&List, Item(i)), EFI_SUCCESS);
  VOID** Before = List.Items;
  EXPECT_EQ(Fw.Allocations, 1u);

  ASSERT_EQ(PointerListAppend(&List, Item(10)), EFI_SUCCESS);
  EXPECT_EQ(List.Capacity, 20u);
  EXPECT_EQ(List.Count, 11u);
  EXPECT_NE(List.Items, Before);
  EXPECT_EQ(Fw.Live.count(Before), 0u) << "old array freed";
  for (UINTN i = 0; i <= 10; ++i) EXPECT_EQ(List.Items[i], Item(i)) << i;
  for (UINTN i = 11; i < 20; ++i) EXPECT_EQ(List.Items[i], nullptr);
  EXPECT_EQ(Fw.Live.size(), 1u);
}

TEST_F(PointerListTest, FailedGrowthLeavesListUnchanged) {
  for (UINTN i = 0; i < 10; ++i) ASSERT_EQ(PointerListAppend(&List, Item(i)), EFI_SUCCESS);
  POINTER_LIST Before = List;
  Fw.FailNthAllocationFromNow(1);

  EXPECT_EQ(PointerListAppend(&List, Item(10)), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(List.Capacity, Before.Capacity);
  EXPECT_EQ(List.Count, Before.Count);
  EXPECT_EQ(List.Items, Before.Items);
  for (UINTN i = 0; i < 10; ++i) EXPECT_EQ(List.Items[i], Item(i));

  // The next attempt succeeds normally.
  ASSERT_EQ(PointerListAppend(&List, Item(10)), EFI_SUCCESS);
  EXPECT_EQ(List.Count, 11u);
}

TEST_F(PointerListTest, FailedFirstAllocationLeavesEmptyList) {
  Fw.FailNthAllocationFromNow(1);
  EXPECT_EQ(PointerListAppend(&List, Item(0)), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(List.Capacity, 0u);
  EXPECT_EQ(List.Count, 0u);
  EXPECT_EQ(List.Items, nullptr);
}

TEST_F(PointerListTest, PresetCapacityWithoutArrayAllocatesThatCapacity) {
  List.Capacity = 3;
  for (UINTN i = 0; i < 3; ++i) ASSERT_EQ(PointerListAppend(&List, Item(i)), EFI_SUCCESS);
  EXPECT_EQ(List.Capacity, 3u);
  EXPECT_EQ(Fw.Allocations, 1u);
  ASSERT_EQ(PointerListAppend(&List, Item(3)), EFI_SUCCESS);
  EXPECT_EQ(List.Capacity, 13u);
  for (UINTN i = 0; i < 4; ++i) EXPECT_EQ(List.Items[i], Item(i));
}

TEST_F(PointerListTest, CountBeyondCapacityIsRefused) {
  List.Capacity = 2;
  List.Count = 5;  // corrupt record: growing it would write past the new array
  EXPECT_EQ(PointerListAppend(&List, Item(0)), EFI_INVALID_PARAMETER);
  EXPECT_EQ(List.Items, nullptr);
  List.Count = 0;
}

}  // namespace
