#include <gtest/gtest-spi.h>

#include <cstring>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/asan_interface.h>
#endif
#endif
#include <vector>

#include "sim/machine_test.h"

namespace sim {
namespace {

using PoolTest = MachineTest;

TEST_F(PoolTest, InjectedFailureHitsExactlyTheNthAllocation) {
  VOID* A = nullptr;
  VOID* B = nullptr;
  VOID* C = nullptr;
  size_t Start = M().Pool().AllocationCount();
  M().Pool().FailAllocationAfter(1);
  EXPECT_EQ(BS()->AllocatePool(EfiBootServicesData, 16, &A), EFI_SUCCESS);
  EXPECT_EQ(BS()->AllocatePool(EfiBootServicesData, 16, &B), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(B, nullptr);
  EXPECT_EQ(BS()->AllocatePool(EfiBootServicesData, 16, &C), EFI_SUCCESS);  // one shot
  EXPECT_EQ(M().Pool().AllocationCount() - Start, 3u);
  EXPECT_EQ(M().LiveAllocationCount(), 2u);
  BS()->FreePool(A);
  BS()->FreePool(C);

  // Firmware services that hand out pool fail the same way.
  int Iface = 0;
  EFI_HANDLE H = nullptr;
  const EFI_GUID G = {0xABCDEF01, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8}};
  ASSERT_EQ(BS()->InstallProtocolInterface(&H, &G, EFI_NATIVE_INTERFACE, &Iface), EFI_SUCCESS);
  M().Pool().FailAllocationAfter(0);
  UINTN Count = 7;
  EFI_HANDLE* List = (EFI_HANDLE*)&Iface;
  EXPECT_EQ(BS()->LocateHandleBuffer(ByProtocol, &G, nullptr, &Count, &List), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(List, nullptr);
  EXPECT_EQ(Count, 0u);
}

TEST_F(PoolTest, RejectsBadTypesAndUnknownPointers) {
  VOID* P = nullptr;
  EXPECT_EQ(BS()->AllocatePool(EfiConventionalMemory, 8, &P), EFI_INVALID_PARAMETER);
  EXPECT_EQ(BS()->AllocatePool(EfiMaxMemoryType, 8, &P), EFI_INVALID_PARAMETER);
  EXPECT_EQ(BS()->AllocatePool(EfiBootServicesData, 8, nullptr), EFI_INVALID_PARAMETER);
  ASSERT_EQ(BS()->AllocatePool(EfiRuntimeServicesData, 0, &P), EFI_SUCCESS);  // size 0 is a valid buffer
  EXPECT_EQ(M().Pool().Find(P)->Type, EfiRuntimeServicesData);
  EXPECT_EQ(BS()->FreePool(P), EFI_SUCCESS);
  EXPECT_EQ(BS()->FreePool(P), EFI_INVALID_PARAMETER);  // twice
  int Local;
  EXPECT_EQ(BS()->FreePool(&Local), EFI_INVALID_PARAMETER);
  // Both wrong frees are bugs of the caller and are reported as such.
  EXPECT_EQ(M().Misuse().size(), 2u);
  M().ClearMisuse();
}

TEST_F(PoolTest, ResidentBuffersAreNotLeaks) {
  VOID* Table = nullptr;
  ASSERT_EQ(BS()->AllocatePool(EfiBootServicesData, 64, &Table), EFI_SUCCESS);
  EXPECT_EQ(M().LiveAllocationCount(), 1u);
  EXPECT_TRUE(M().Pool().MarkResident(Table));
  EXPECT_EQ(M().LiveAllocationCount(), 0u);
  EXPECT_EQ(M().LeakReport(), "");
}

// The detector itself, outside the fixture (which would fail the test).
TEST(PoolLeakDetection, ReportsEachLiveBufferAndSurvivesReboot) {
  Machine Mach;
  EXPECT_EQ(Mach.LeakReport(), "");
  VOID* P = nullptr;
  ASSERT_EQ(Mach.BootServices()->AllocatePool(EfiBootServicesData, 123, &P), EFI_SUCCESS);
  EXPECT_EQ(Mach.LiveAllocationCount(), 1u);
  std::string Report = Mach.LeakReport();
  EXPECT_NE(Report.find("123 bytes of BootServicesData"), std::string::npos) << Report;

  // A reboot frees the pool but keeps the account of what the last boot leaked.
  Mach.Reboot();
  EXPECT_EQ(Mach.LiveAllocationCount(), 0u);
  Report = Mach.LeakReport();
  EXPECT_NE(Report.find("boot 1:"), std::string::npos) << Report;
  EXPECT_NE(Report.find("123 bytes"), std::string::npos) << Report;
}

TEST(PoolLeakDetection, FixtureFailsATestThatLeaks) {
  // Run a leaking fixture test inside a nested test run and check it fails.
  class Leaky : public MachineTest {
   public:
    void TestBody() override {
      VOID* P;
      BS()->AllocatePool(EfiBootServicesData, 5, &P);
    }
  };
  ::testing::TestPartResultArray Results;
  {
    ::testing::ScopedFakeTestPartResultReporter Reporter(::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS,
                                                         &Results);
    struct Runner : Leaky {
      void Run() {
        SetUp();
        TestBody();
        TearDown();
      }
    };
    Runner R;
    R.Run();
  }
  ASSERT_EQ(Results.size(), 1);
  EXPECT_NE(std::string(Results.GetTestPartResult(0).message()).find("5 bytes"), std::string::npos);
}

}  // namespace
}  // namespace sim

namespace sim {
namespace {

using PoolGuardTest = MachineTest;

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define POOL_TEST_ASAN 1
#endif
#endif

// Writes N bytes from Offset of a pool buffer. Under ASan the guard is
// poisoned and ASan itself would stop the write: it is opened first, so the
// guard check is what is tested in both builds.
void WriteAt(VOID* Buffer, size_t Offset, size_t N) {
#ifdef POOL_TEST_ASAN
  __asan_unpoison_memory_region(static_cast<UINT8*>(Buffer) + Offset, N);
#endif
  std::memset(static_cast<UINT8*>(Buffer) + Offset, 0x11, N);
}

// Without a sanitizer the guard bytes are what catches a write past a pool
// buffer: at FreePool, or at the end of the test for a buffer still live.
TEST_F(PoolGuardTest, WritesPastABufferAreMisuse) {
  VOID* Freed = nullptr;
  ASSERT_EQ(BS()->AllocatePool(EfiBootServicesData, 13, &Freed), EFI_SUCCESS);
  std::memset(Freed, 0x11, 13);
  EXPECT_EQ(BS()->FreePool(Freed), EFI_SUCCESS);
  EXPECT_TRUE(M().Misuse().empty());  // a buffer used within its size is fine

  ASSERT_EQ(BS()->AllocatePool(EfiBootServicesData, 13, &Freed), EFI_SUCCESS);
  WriteAt(Freed, 0, 13 + 3);
  EXPECT_EQ(BS()->FreePool(Freed), EFI_SUCCESS);
  ASSERT_EQ(M().Misuse().size(), 1u);
  EXPECT_NE(M().Misuse()[0].find("13 bytes"), std::string::npos) << M().Misuse()[0];
  EXPECT_NE(M().Misuse()[0].find("up to +3 changed, seen at FreePool"), std::string::npos) << M().Misuse()[0];

  VOID* Live = nullptr;
  ASSERT_EQ(BS()->AllocatePool(EfiBootServicesData, 0, &Live), EFI_SUCCESS);
  EXPECT_EQ(M().Pool().CheckGuards(), 0u);
  WriteAt(Live, Pool::GUARD_SIZE - 1, 1);  // the last guard byte of a zero-size buffer
  EXPECT_EQ(M().Pool().CheckGuards(), 1u);
  EXPECT_EQ(M().Pool().CheckGuards(), 0u);  // reported once
  ASSERT_EQ(M().Misuse().size(), 2u);
  EXPECT_NE(M().Misuse()[1].find("up to +16 changed, seen while it was live"), std::string::npos) << M().Misuse()[1];
  EXPECT_EQ(BS()->FreePool(Live), EFI_SUCCESS);
  EXPECT_EQ(M().Misuse().size(), 2u);  // not again at FreePool
  M().ClearMisuse();
}


TEST(PoolGuardDetection, FixtureFailsATestThatWritesPastABuffer) {
  // Three bytes past a buffer, once freed in the test and once left live: the
  // fixture's end-of-test check fails the test for each.
  class Overrun : public MachineTest {
   public:
    void TestBody() override {
      VOID* Freed;
      BS()->AllocatePool(EfiBootServicesData, 7, &Freed);
      WriteAt(Freed, 0, 7 + 3);
      BS()->FreePool(Freed);
      BS()->AllocatePool(EfiBootServicesData, 9, &Live);
      WriteAt(Live, 0, 9 + 3);
    }
    VOID* Live = nullptr;
  };
  ::testing::TestPartResultArray Results;
  {
    ::testing::ScopedFakeTestPartResultReporter Reporter(::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS,
                                                         &Results);
    struct Runner : Overrun {
      void Run() {
        SetUp();
        TestBody();
        M().Pool().MarkResident(Live);  // kept on purpose: only the guards are under test
        TearDown();
      }
    };
    Runner R;
    R.Run();
  }
  ASSERT_EQ(Results.size(), 2);
  EXPECT_NE(std::string(Results.GetTestPartResult(0).message()).find("(7 bytes"), std::string::npos)
      << Results.GetTestPartResult(0).message();
  EXPECT_NE(std::string(Results.GetTestPartResult(1).message()).find("(9 bytes"), std::string::npos)
      << Results.GetTestPartResult(1).message();
}

}  // namespace
}  // namespace sim
