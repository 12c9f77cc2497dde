// The Secure Boot page's key actions through the browser, with the user's
// answers scripted as boardsim queues them.
#include "setupinfo/secureboot/secure_boot_page.h"

#include "setupinfo/secureboot/key_file_selection.h"

#include "secure_boot_page_fixture.h"

namespace setupinfo_test {
namespace {

// The 84-byte image a bare payload of N bytes is wrapped into, without its
// 40-byte header: the list the variable then holds.
Bytes WrappedList(const EFI_GUID& Type, const Bytes& Payload) {
  Bytes B(28, 0);
  std::memcpy(B.data(), &Type, 16);
  PutLe32(B, 16, UINT32(44 + Payload.size()));
  PutLe32(B, 24, UINT32(16 + Payload.size()));
  B.insert(B.end(), (const UINT8*)&SIGNATURE_OWNER_GUID, (const UINT8*)&SIGNATURE_OWNER_GUID + 16);
  return Cat(B, Payload);
}

TEST_F(SecureBootPageTest, DeleteAllAsksFirstAndRefreshesTheStateWhateverTheAnswer) {
  Answer({NO});
  Press(0x507);
  EXPECT_EQ(Shown(), (std::vector<std::u16string>{Box(2992, 3032)}));
  EXPECT_EQ(KeyBytes(KEY_INDEX_PK), PkList);
  // Refreshed after "no" too: the browser's stale bytes are replaced.
  EXPECT_EQ(Present(), (Bytes{1, 0, 1, 1, 1}));
  EXPECT_EQ(Mode(u"SetupMode"), 0);

  Answer({YES});
  Press(0x507);
  for (UINTN I = 0; I < KEY_VARIABLE_COUNT; ++I) EXPECT_EQ(Key(I), nullptr) << I;
  EXPECT_EQ(Present(), Bytes(5, 0));
  EXPECT_EQ(Mode(u"SetupMode"), 1);
  EXPECT_EQ(Mode(u"SecureBoot"), 0);
  EXPECT_EQ(Boxes_->Boxes.size(), 2u);  // no failure box
}

TEST_F(SecureBootPageTest, AFailedOrUnansweredBoxIsNoNeverYes) {
  Boxes_->MessageBoxStatus = EFI_DEVICE_ERROR;
  for (UINT16 Key : {0x507, 0x508, 0x50D, 0x512, 0x518}) Press(Key);
  Boxes_->MessageBoxStatus = EFI_SUCCESS;
  // Strict: nothing queued, the box is not answered at all.
  Press(0x507);
  EXPECT_EQ(Boxes_->Unanswered, 1u);
  Boxes_->Unanswered = 0;
  EXPECT_EQ(KeyBytes(KEY_INDEX_PK), PkList);
  EXPECT_EQ(KeyBytes(KEY_INDEX_DB), DbList);
  EXPECT_EQ(KeyBytes(KEY_INDEX_DBX), DbxList);
  for (auto& E : M().Variables().SetLog()) EXPECT_EQ(E.Name, u"SecureVarPresent");
}

TEST_F(SecureBootPageTest, RestoreDefaultsRunsOnlyOnYesAndReportsAFailedRestore) {
  // 0x50B with the new value 0 does nothing at all.
  Press(0x50B, 0);
  EXPECT_TRUE(Boxes_->Boxes.empty());
  EXPECT_TRUE(M().Variables().SetLog().empty());

  Answer({YES});
  Press(0x508);
  EXPECT_EQ(Shown(), (std::vector<std::u16string>{Box(3033, 3034)}));
  EXPECT_EQ(KeyBytes(KEY_INDEX_DBT), List(EFI_CERT_X509_GUID, 300, 1, 0x50));
  EXPECT_EQ(Present(), Bytes(5, 1));

  // A refused db delete is not hidden behind the later successes.
  M().Variables().FailSet(u"db", EFI_WRITE_PROTECTED);
  Answer({YES});
  Press(0x50B, 2);
  EXPECT_EQ(Shown().back(), Box(3035, 3036));
  EXPECT_EQ(KeyBytes(KEY_INDEX_DB), DbList);
}

TEST_F(SecureBootSetupModeTest, SilentInstallActsForValue1InSetupModeOnly) {
  Press(0x506, 0);
  EXPECT_TRUE(M().Variables().SetLog().empty());
  Press(0x506, 1);
  EXPECT_TRUE(Boxes_->Boxes.empty());
  EXPECT_EQ(KeyBytes(KEY_INDEX_PK), PkList);
  EXPECT_EQ(Present(), Bytes(5, 1));
  EXPECT_EQ(Mode(u"SetupMode"), 0);
  EXPECT_EQ(Browser().Log().back().Request, EFI_BROWSER_ACTION_REQUEST_NONE);
  // Now in user mode: nothing is written.
  M().Variables().ClearSetLog();
  Press(0x506, 1);
  EXPECT_TRUE(M().Variables().SetLog().empty());
}

TEST_F(SecureBootPageTest, DeleteOneReportsWhatTheStoreDid) {
  Answer({YES});
  Press(0x512);
  EXPECT_EQ(Shown(), (std::vector<std::u16string>{Box(3044, u"Delete db?"), Box(3044, 3040)}));
  EXPECT_EQ(Key(KEY_INDEX_DB), nullptr);
  EXPECT_EQ(Present(), (Bytes{1, 0, 0, 1, 1}));
  // dbt does not exist: its delete fails and says so.
  Answer({YES});
  Press(0x515);
  EXPECT_EQ(Shown().back(), Box(3044, 3039));
  // "No" deletes nothing.
  Answer({NO});
  Press(0x50D);
  EXPECT_EQ(KeyBytes(KEY_INDEX_PK), PkList);
}

TEST_F(SecureBootPageTest, SetAndAppendFromTheDefaultFile) {
  // dbx append from its default: attributes 0x67, never a delete first.
  Answer({YES});
  Press(0x51A);
  EXPECT_EQ(LoggedAttributes(u"dbx"), (std::vector<UINT32>{KEY_APPEND_ATTRIBUTES}));
  EXPECT_EQ(Shown(), (std::vector<std::u16string>{
                         Box(3024, u"Load dbx from the factory default key file? Choose No to load it from a file."),
                         Box(3024, 3040)}));
  // db set from its default, signed by the trusted KEK signer, in user mode.
  Answer({YES});
  Press(0x513);
  EXPECT_EQ(KeyBytes(KEY_INDEX_DB), DbList);
  EXPECT_EQ(Shown().back(), Box(3023, 3040));
}

class SecureBootMissingDefaults : public SecureBootPageTest {
  void Adjust(sim::SecureBootProfile& S, std::vector<sim::FileVolumeProfile>&) override {
    S.DefaultKeyFiles.erase("db");
    S.DefaultKeyFiles["KEK"] = {};
  }
};

TEST_F(SecureBootMissingDefaults, AMissingDefaultEndsQuietlyAndAnEmptyOneIsAFailure) {
  Answer({YES});
  Press(0x513);
  EXPECT_EQ(Boxes_->Boxes.size(), 1u);
  // Empty content is no content: KEK is not deleted, and the failure shows.
  Answer({YES});
  Press(0x510);
  EXPECT_EQ(Shown().back(), Box(3023, 3039));
  EXPECT_EQ(KeyBytes(KEY_INDEX_KEK), KekList);
  EXPECT_TRUE(LoggedAttributes(u"KEK").empty());
}

TEST_F(SecureBootSetupModeTest, SetFromAFileWrapsABareCertificate) {
  Answer({NO, YES});
  Choose({0, ROOT_EFI, EFI_KEY_CER, FORMAT_ITEM_WRAP});
  Press(0x513);
  EXPECT_EQ(KeyBytes(KEY_INDEX_DB), WrappedList(EFI_CERT_X509_GUID, StickCertificate));
  EXPECT_EQ(Shown(), (std::vector<std::u16string>{
                         Box(3023, u"Load db from the factory default key file? Choose No to load it from a file."),
                         Box(3023, u"Write db from the file EFI\\KEY.CER?"), Box(3023, 3040)}));
  // The lists: volumes, root, EFI, then the two formats in their order.
  ASSERT_EQ(Boxes_->Lists.size(), 4u);
  EXPECT_EQ(Boxes_->Lists[0].Title, 2999);
  EXPECT_EQ(Boxes_->Lists[1].Title, 3000);
  EXPECT_EQ(Boxes_->Lists[3].Title, 3025);
  EXPECT_EQ(Boxes_->Lists[3].Items, (std::vector<EFI_STRING_ID>{3027, 3026}));
  EXPECT_EQ(Present(), (Bytes{0, 0, 1, 0, 0}));
}

TEST_F(SecureBootSetupModeTest, AValidChainGetsOnlyTheHeaderWhicheverItemWasChosen) {
  Answer({NO, YES});
  Choose({0, ROOT_DB_ESL, FORMAT_ITEM_UNCHANGED});
  Press(0x513);
  EXPECT_EQ(KeyBytes(KEY_INDEX_DB), StickChain);
  ASSERT_EQ(LoggedAttributes(u"db"), (std::vector<UINT32>{0, KEY_WRITE_ATTRIBUTES}));
  EXPECT_EQ(M().Variables().SetLog()[1].Data.size(), 40 + StickChain.size());

  // A 32-byte hash wrapped for dbx: one SHA-256 list of 76 bytes.
  Answer({NO, YES});
  Choose({0, ROOT_HASH, FORMAT_ITEM_WRAP});
  Press(0x519);
  EXPECT_EQ(KeyBytes(KEY_INDEX_DBX), WrappedList(EFI_CERT_SHA256_GUID, StickHash));
  EXPECT_EQ(KeyBytes(KEY_INDEX_DBX).size(), 76u);
}

TEST_F(SecureBootSetupModeTest, AFileUsedUnchangedMustCarryItsOwnHeader) {
  // A bare certificate sent unchanged is no authenticated image: refused.
  Answer({NO, YES});
  Choose({0, ROOT_EFI, EFI_KEY_CER, FORMAT_ITEM_UNCHANGED});
  Press(0x510);
  EXPECT_EQ(Shown().back(), Box(3023, 3039));
  EXPECT_EQ(Key(KEY_INDEX_KEK), nullptr);
}

TEST_F(SecureBootSetupModeTest, AnEmptyFileWritesNothing) {
  Answer({NO, YES});
  Choose({0, ROOT_EMPTY, FORMAT_ITEM_UNCHANGED});
  Press(0x513);
  EXPECT_EQ(Shown().back(), Box(3023, 3039));
  for (auto& E : M().Variables().SetLog()) EXPECT_EQ(E.Name, u"SecureVarPresent");
}

TEST_F(SecureBootSetupModeTest, LeavingAListOrAnsweringNoEndsTheActionWithoutAWrite) {
  Answer({NO});
  Choose({0, ROOT_EFI, sim::MessageBoxPeer::ESCAPE});
  Press(0x513);
  Answer({NO});
  Choose({0, ROOT_DB_ESL, sim::MessageBoxPeer::ESCAPE});  // the format list
  Press(0x513);
  Answer({NO, NO});
  Choose({0, ROOT_DB_ESL, FORMAT_ITEM_WRAP});
  Press(0x513);
  EXPECT_TRUE(M().Variables().SetLog().empty());
  EXPECT_EQ(Boxes_->Boxes.size(), 4u);  // three first questions and one final question
}

TEST_F(SecureBootPageTest, InUserModeARefusedSetLeavesTheOldKey) {
  // An unsigned certificate for db: the platform refuses it in user mode,
  // and db was not deleted first.
  Answer({NO, YES});
  Choose({0, ROOT_EFI, EFI_KEY_CER, FORMAT_ITEM_WRAP});
  Press(0x513);
  EXPECT_EQ(Shown().back(), Box(3023, 3039));
  EXPECT_EQ(KeyBytes(KEY_INDEX_DB), DbList);
  EXPECT_EQ(LoggedAttributes(u"db"), (std::vector<UINT32>{KEY_WRITE_ATTRIBUTES}));
  EXPECT_EQ(Present(), (Bytes{1, 0, 1, 1, 1}));
}

TEST_F(SecureBootPageTest, InUserModeSettingPkDeletesItFirst) {
  // PK from a wrapped certificate: the delete returns the platform to setup
  // mode, where the unsigned write is taken.
  Answer({NO, YES});
  Choose({0, ROOT_EFI, EFI_KEY_CER, FORMAT_ITEM_WRAP});
  Press(0x50E);
  EXPECT_EQ(LoggedAttributes(u"PK"), (std::vector<UINT32>{0, KEY_WRITE_ATTRIBUTES}));
  EXPECT_EQ(KeyBytes(KEY_INDEX_PK), WrappedList(EFI_CERT_X509_GUID, StickCertificate));
  EXPECT_EQ(Shown().back(), Box(3023, 3040));
}

TEST_F(SecureBootPageTest, ContentIsBoundedBeforeAByteIsRead) {
  const Bytes Small(10, 0x30);
  VOID* Content = nullptr;
  UINTN Size = 1;
  // Sizes near 4 GiB, where a header size added to them would wrap 32 bits.
  for (UINTN Claimed : {(UINTN)0xFFFFFFFF, (UINTN)0xFFFFFFFF - 43, (UINTN)0xFFFFFFFF - 83, (UINTN)0x100000000ull,
                        (UINTN)KEY_FILE_SIZE_LIMIT + 1}) {
    EXPECT_EQ(BuildKeyFileContent(Small.data(), Claimed, FORMAT_ITEM_WRAP, &Content, &Size), EFI_INVALID_PARAMETER);
    EXPECT_EQ(Content, nullptr);
    EXPECT_EQ(Size, 0u);
  }
  EXPECT_EQ(BuildKeyFileContent(Small.data(), 0, FORMAT_ITEM_UNCHANGED, &Content, &Size), EFI_INVALID_PARAMETER);
  // A size without a signature type is refused when wrapping.
  EXPECT_EQ(BuildKeyFileContent(Small.data(), Small.size(), FORMAT_ITEM_WRAP, &Content, &Size), EFI_INVALID_PARAMETER);
  ASSERT_EQ(BuildKeyFileContent(Small.data(), Small.size(), FORMAT_ITEM_UNCHANGED, &Content, &Size), EFI_SUCCESS);
  EXPECT_EQ(Bytes((UINT8*)Content, (UINT8*)Content + Size), Small);
  FreeBootPool(Content);
}

// Save all keys ----------------------------------------------------------

TEST_F(SecureBootPageTest, SaveAllWritesEachExistingKeyExactly) {
  // An old, longer KEK on the stick must not keep its tail.
  sim::FileNodeProfile* Old = const_cast<sim::FileNodeProfile*>(Files_->Find(0, ""));
  Old->Children.push_back(FileNode("KEK", Bytes(5000, 0xEE)));
  Choose({0});
  Press(0x50C);
  for (UINTN I = 0; I < KEY_VARIABLE_COUNT; ++I) {
    const sim::FileNodeProfile* F = StickFile(std::string(KeyNames[I].begin(), KeyNames[I].end()));
    if (I == KEY_INDEX_DBT) {
      EXPECT_EQ(F, nullptr);
      continue;
    }
    ASSERT_NE(F, nullptr) << I;
    EXPECT_EQ(F->Data, KeyBytes(I)) << I;
  }
  EXPECT_EQ(Shown(), (std::vector<std::u16string>{Box(3042, u"4 key files written.")}));
  EXPECT_EQ(Files_->VolumesOpened(), 1u);
}

class SecureBootOnlyPkAndKek : public SecureBootPageTest {
  void Adjust(sim::SecureBootProfile& S, std::vector<sim::FileVolumeProfile>& Volumes) override {
    S.Keys.erase("db");
    S.Keys.erase("dbx");
    Volumes.push_back(sim::FileVolumeProfile{});
    Volumes.back().Label = "full";
    Volumes.back().WriteFailure = EFI_VOLUME_FULL;
    Volumes.push_back(sim::FileVolumeProfile{});
    Volumes.back().Label = "cannot cut";
    Volumes.back().NoTruncate = true;
    Volumes.back().Files = {FileNode("PK", Bytes(4000, 1))};
  }
};

TEST_F(SecureBootOnlyPkAndKek, SaveCountsOnlyFilesWrittenWhole) {
  Choose({0});
  Press(0x50C);
  EXPECT_EQ(Shown(), (std::vector<std::u16string>{Box(3042, u"2 key files written.")}));
  EXPECT_EQ(StickFile("PK")->Data, PkList);
  EXPECT_EQ(StickFile("KEK")->Data, KekList);

  // A failed write is a failed save, named by the key that failed.
  Choose({1});
  Press(0x50C);
  EXPECT_EQ(Shown().back(), Box(3041, u" KEK "));
  // A longer old file that cannot be cut to size is no saved key either.
  Choose({2});
  Press(0x50C);
  EXPECT_EQ(Shown().back(), Box(3041, u" PK "));
}

class SecureBootReadOnlyStick : public SecureBootPageTest {
  void Adjust(sim::SecureBootProfile&, std::vector<sim::FileVolumeProfile>& Volumes) override {
    Volumes[0].ReadOnly = true;
    Volumes.push_back(Volumes[0]);
    Volumes.back().ReadOnly = false;
    Volumes.back().OpenVolumeFailure = EFI_MEDIA_CHANGED;
  }
};

TEST_F(SecureBootReadOnlyStick, SaveStopsAtTheFirstFileThatCannotBeOpened) {
  Choose({0});
  Press(0x50C);
  EXPECT_EQ(Shown(), (std::vector<std::u16string>{Box(3041, u" dbx ")}));
  Choose({1});
  Press(0x50C);
  EXPECT_EQ(Shown().back(), Box(3041, u" dbx "));
  EXPECT_EQ(StickFile("dbx"), nullptr);
}

// Allocation failure at every allocation of a whole enroll-from-file flow
// and of a save: nothing leaks, and a key changes only in a complete run.
TEST_F(SecureBootSetupModeTest, EveryAllocationFailureLeavesNoLeakAndNoHalfWrite) {
  for (size_t N = 0;; ++N) {
    SCOPED_TRACE(N);
    ASSERT_LT(N, 500u);
    Boxes_->Answers.clear();
    Boxes_->ListChoices.clear();
    Boxes_->Strict = false;  // a run cut short leaves answers unused
    Boxes_->EmptyAnswer = NO;
    Answer({NO, YES});
    Choose({0, ROOT_EFI, EFI_KEY_CER, FORMAT_ITEM_WRAP});
    const size_t Live = M().LiveAllocationCount();
    M().Pool().FailAllocationAfter(N);
    Press(0x514);
    const bool Failed = !M().Pool().FailurePending();
    M().Pool().ClearFailure();
    EXPECT_EQ(M().LiveAllocationCount(), Live);
    EXPECT_EQ(Files_->OpenHandles(), 0u);
    if (!Failed) {
      EXPECT_EQ(KeyBytes(KEY_INDEX_DB), WrappedList(EFI_CERT_X509_GUID, StickCertificate));
      break;
    }
    EXPECT_TRUE(Key(KEY_INDEX_DB) == nullptr || KeyBytes(KEY_INDEX_DB) == WrappedList(EFI_CERT_X509_GUID, StickCertificate));
  }
  for (size_t N = 0;; ++N) {
    SCOPED_TRACE(N);
    ASSERT_LT(N, 500u);
    Boxes_->ListChoices.clear();
    Choose({0});
    const size_t Live = M().LiveAllocationCount();
    M().Pool().FailAllocationAfter(N);
    Press(0x50C);
    const bool Failed = !M().Pool().FailurePending();
    M().Pool().ClearFailure();
    EXPECT_EQ(M().LiveAllocationCount(), Live);
    EXPECT_EQ(Files_->OpenHandles(), 0u);
    if (!Failed) {
      ASSERT_NE(StickFile("db"), nullptr);
      EXPECT_EQ(StickFile("db")->Data, KeyBytes(KEY_INDEX_DB));
      break;
    }
  }
  Boxes_->Answers.clear();
  Boxes_->ListChoices.clear();
}

TEST_F(SecureBootPageTest, WithoutTheMessageBoxServiceNothingHappens) {
  EFI_HANDLE Handle = nullptr;
  UINTN Size = sizeof(Handle);
  ASSERT_EQ(BS()->LocateHandle(ByProtocol, &MESSAGE_BOX_PROTOCOL::Guid, nullptr, &Size, &Handle), EFI_SUCCESS);
  ASSERT_EQ(BS()->UninstallProtocolInterface(Handle, &MESSAGE_BOX_PROTOCOL::Guid, Boxes_->Protocol()), EFI_SUCCESS);
  for (UINT16 Key : {0x507, 0x508, 0x50C, 0x50D, 0x513}) Press(Key);
  EXPECT_TRUE(M().Variables().SetLog().empty());
  EXPECT_TRUE(Boxes_->Boxes.empty());
}

}  // namespace
}  // namespace setupinfo_test
