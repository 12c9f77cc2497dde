// The callback registry protocol as other drivers call it.
#include "setupinfo_fixture.h"

namespace setupinfo_test {
namespace {

EFI_STATUS EFIAPI HandlerA(EFI_HII_HANDLE, UINT16, UINT16, UINT16) { return EFI_SUCCESS; }
EFI_STATUS EFIAPI HandlerB(EFI_HII_HANDLE, UINT16, UINT16, UINT16) { return EFI_UNSUPPORTED; }

class RegistryProtocol : public SetupInfoTest {
 protected:
  void SetUp() override {
    SetupInfoTest::SetUp();
    ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
    R = Registry();
    ASSERT_NE(R, nullptr);
  }
  void TearDown() override {
    // Whatever a test left registered goes, so that only real leaks show.
    while (CoreState().RegistryList.First != nullptr)
      ASSERT_EQ(R->UnregisterItemCallback(CoreState().RegistryList.First), EFI_SUCCESS);
    SetupInfoTest::TearDown();
  }

  VOID* Add(UINT16 Class, UINT16 SubClass, UINT16 Key, ITEM_CALLBACK Handler) {
    VOID* Token = nullptr;
    EXPECT_EQ(R->RegisterItemCallback(Class, SubClass, Key, Handler, &Token), EFI_SUCCESS);
    return Token;
  }

  // The keys of the list, in its order.
  std::vector<UINT16> Keys() {
    UINTN Size = 0;
    if (R->ListItemCallbacks(&Size, nullptr) == EFI_NOT_FOUND) return {};
    std::vector<ITEM_CALLBACK_ENTRY> Entries(Size / sizeof(ITEM_CALLBACK_ENTRY));
    EXPECT_EQ(R->ListItemCallbacks(&Size, Entries.data()), EFI_SUCCESS);
    std::vector<UINT16> Out;
    for (auto& E : Entries) Out.push_back(E.Key);
    return Out;
  }

  CALLBACK_REGISTRY_PROTOCOL* R = nullptr;
};

TEST_F(RegistryProtocol, EmptyListIsNotFoundWhateverTheArguments) {
  UINTN Size = 0;
  EXPECT_EQ(R->ListItemCallbacks(&Size, nullptr), EFI_NOT_FOUND);
  EXPECT_EQ(Size, 0u);
  Size = 1000;
  ITEM_CALLBACK_ENTRY One{};
  EXPECT_EQ(R->ListItemCallbacks(&Size, &One), EFI_NOT_FOUND);
  EXPECT_EQ(Size, 1000u);
}

TEST_F(RegistryProtocol, ListingChecksSizeBeforeBuffer) {
  Add(0x10, 0, 0x48E, HandlerA);
  Add(0x2, 1, 0x413, HandlerB);

  UINTN Size = 16;
  EXPECT_EQ(R->ListItemCallbacks(&Size, nullptr), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ(Size, 32u);
  EXPECT_EQ(R->ListItemCallbacks(&Size, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Size, 32u);

  ITEM_CALLBACK_ENTRY Entries[3];
  memset(Entries, 0xAB, sizeof Entries);
  Size = sizeof Entries;
  ASSERT_EQ(R->ListItemCallbacks(&Size, Entries), EFI_SUCCESS);
  EXPECT_EQ(Size, 32u);
  EXPECT_EQ(Entries[0].Class, 0x10);
  EXPECT_EQ(Entries[0].SubClass, 0);
  EXPECT_EQ(Entries[0].Key, 0x48E);
  EXPECT_EQ(Entries[0].Handler, HandlerA);
  EXPECT_EQ(Entries[1].Class, 0x2);
  EXPECT_EQ(Entries[1].SubClass, 1);
  EXPECT_EQ(Entries[1].Handler, HandlerB);
  // Reserved is not written, and nothing past the entries is.
  EXPECT_EQ(Entries[0].Reserved, 0xABAB);
  EXPECT_EQ(Entries[2].Key, 0xABAB);
}

TEST_F(RegistryProtocol, UnregisteringTheOnlyEntryEmptiesTheList) {
  const size_t Live = M().Pool().LiveAllocationCount();
  VOID* Token = Add(0x1, 0, 0x536, HandlerA);
  EXPECT_EQ(M().Pool().LiveAllocationCount(), Live + 1);
  ASSERT_EQ(R->UnregisterItemCallback(Token), EFI_SUCCESS);
  const LIST_HEAD& List = CoreState().RegistryList;
  EXPECT_EQ(List.Count, 0u);
  EXPECT_EQ(List.First, nullptr);
  EXPECT_EQ(List.Last, nullptr);
  EXPECT_TRUE(Keys().empty());
  EXPECT_EQ(M().Pool().LiveAllocationCount(), Live);
}

TEST_F(RegistryProtocol, UnregisteringKeepsTheOrderOfTheRest) {
  VOID* First = Add(0x8, 0, 1, HandlerA);
  VOID* Middle = Add(0x8, 0, 2, HandlerA);
  Add(0x8, 0, 3, HandlerA);
  VOID* Last = Add(0x8, 0, 4, HandlerA);
  ASSERT_EQ(R->UnregisterItemCallback(Middle), EFI_SUCCESS);
  EXPECT_EQ(Keys(), (std::vector<UINT16>{1, 3, 4}));
  ASSERT_EQ(R->UnregisterItemCallback(First), EFI_SUCCESS);
  ASSERT_EQ(R->UnregisterItemCallback(Last), EFI_SUCCESS);
  EXPECT_EQ(Keys(), std::vector<UINT16>{3});
  Add(0x8, 0, 5, HandlerA);
  EXPECT_EQ(Keys(), (std::vector<UINT16>{3, 5}));
}

TEST_F(RegistryProtocol, TokensNotOnTheListAreRefusedAndChangeNothing) {
  VOID* Kept = Add(0x8, 0, 1, HandlerA);
  VOID* Used = Add(0x8, 0, 2, HandlerA);
  ASSERT_EQ(R->UnregisterItemCallback(Used), EFI_SUCCESS);

  EXPECT_EQ(R->UnregisterItemCallback(Used), EFI_NOT_FOUND);
  UINT8 Forged[32] = {};
  EXPECT_EQ(R->UnregisterItemCallback(Forged), EFI_NOT_FOUND);
  EXPECT_EQ(R->UnregisterItemCallback(nullptr), EFI_INVALID_PARAMETER);

  EXPECT_EQ(Keys(), std::vector<UINT16>{1});
  EXPECT_EQ(CoreState().RegistryList.Count, 1u);
  EXPECT_EQ(CoreState().RegistryList.First, Kept);
  EXPECT_EQ(CoreState().RegistryList.Last, Kept);
}

TEST_F(RegistryProtocol, RegistrationThatCannotBeStoredChangesNothing) {
  Add(0x8, 0, 1, HandlerA);
  VOID* Token = (VOID*)0x1;
  M().Pool().FailAllocationAfter(0);
  EXPECT_EQ(R->RegisterItemCallback(0x8, 0, 2, HandlerA, &Token), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(Token, (VOID*)0x1);
  // An empty handler would end every walk early; a null token holder has
  // nowhere to put the token.
  EXPECT_EQ(R->RegisterItemCallback(0x8, 0, 3, nullptr, &Token), EFI_INVALID_PARAMETER);
  EXPECT_EQ(R->RegisterItemCallback(0x8, 0, 4, HandlerA, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Keys(), std::vector<UINT16>{1});
}

}  // namespace
}  // namespace setupinfo_test
