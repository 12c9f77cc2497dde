// The Secure Boot key layer on a loaded driver, against the simulated
// authenticated variable service and firmware volume.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "secure_boot_fixture_base.h"

namespace setupinfo_test {
namespace {

class SecureBootKeys : public SecureBootTestBase {
 protected:
  void Customise(sim::BoardProfile& Profile) override {
    sim::SecureBootProfile S = EnrolledBoard();
    Adjust(S);
    Profile.SecureBoot = S;
  }
  virtual void Adjust(sim::SecureBootProfile&) {}

  void SetUp() override {
    SetupInfoTest::SetUp();
    InstallKeyPeers();
    ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
    OpenKeyStores();
  }
};

TEST_F(SecureBootKeys, RefreshCopiesPresenceAndPlatformStateIntoStoreAndBrowser) {
  RefreshSecureBootState();
  EXPECT_EQ(Present(), (Bytes{1, 0, 1, 1, 1}));
  EXPECT_EQ(Variable(u"SecureVarPresent", SECURE_BOOT_FORM_SET_GUID), std::string("\1\0\1\1\1", 5));
  EXPECT_EQ(M().Variables().Find(u"SecureVarPresent", SECURE_BOOT_FORM_SET_GUID)->Attributes, 2u);
  EXPECT_EQ(Mode(u"SecureBoot"), 1);
  EXPECT_EQ(Mode(u"SetupMode"), 0);

  // A platform byte stored longer than one byte: one byte of 0 is handed over,
  // never the longer size over a one-byte buffer.
  M().Variables().Put(u"SecureBoot", EFI_GLOBAL_VARIABLE_GUID, 6, {1, 7});
  Browser().Close();
  ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  RefreshSecureBootState();
  EXPECT_EQ(BrowserBytes(u"SecureBoot", EFI_GLOBAL_VARIABLE_GUID), (Bytes{0, 7}));

  // Unreadable: 0.
  M().Variables().FailGet(u"SetupMode", EFI_DEVICE_ERROR);
  Browser().StoreBytes(u"SetupMode", EFI_GLOBAL_VARIABLE_GUID)->at(0) = 9;
  RefreshSecureBootState();
  EXPECT_EQ(Mode(u"SetupMode"), 0);
}

TEST_F(SecureBootKeys, DeletingEveryKeyLeavesSetupModeAndFiveZeroBytes) {
  EXPECT_EQ(RestoreKeys(RESTORE_DELETE), EFI_SUCCESS);
  RefreshSecureBootState();
  for (UINTN I = 0; I < 5; ++I) EXPECT_EQ(Key(I), nullptr) << I;
  EXPECT_EQ(Present(), Bytes(5, 0));
  EXPECT_EQ(Mode(u"SetupMode"), 1);
  EXPECT_EQ(Mode(u"SecureBoot"), 0);
  // PK went last, so every database was deleted while the platform was in user mode.
  EXPECT_EQ(WrittenNames().back(), u"SecureVarPresent");
}

TEST_F(SecureBootKeys, RestoreInstallsEveryDefaultFileInTableOrder) {
  ASSERT_EQ(RestoreKeys(RESTORE_DELETE | RESTORE_INSTALL_DEFAULTS), EFI_SUCCESS);
  EXPECT_EQ(KeyBytes(KEY_INDEX_PK), PkList);
  EXPECT_EQ(KeyBytes(KEY_INDEX_DBT), List(EFI_CERT_X509_GUID, 300, 1, 0x50));
  std::vector<std::u16string> Writes;
  for (auto& E : M().Variables().SetLog())
    if (E.Attributes == KEY_WRITE_ATTRIBUTES) Writes.push_back(E.Name);
  EXPECT_EQ(Writes, (std::vector<std::u16string>{u"dbx", u"dbt", u"db", u"KEK", u"PK"}));
  RefreshSecureBootState();
  EXPECT_EQ(Present(), Bytes(5, 1));
  EXPECT_EQ(Mode(u"SetupMode"), 0);
}

TEST_F(SecureBootKeys, RestoreReportsTheFirstFailureAndStillRestoresTheRest) {
  M().Variables().FailSet(u"db", EFI_WRITE_PROTECTED);
  Bytes OldDb = KeyBytes(KEY_INDEX_DB);
  EXPECT_EQ(RestoreKeys(RESTORE_DELETE | RESTORE_INSTALL_DEFAULTS), EFI_WRITE_PROTECTED);
  EXPECT_EQ(KeyBytes(KEY_INDEX_DB), OldDb);
  for (UINTN I : {KEY_INDEX_DBX, KEY_INDEX_DBT, KEY_INDEX_KEK, KEY_INDEX_PK}) EXPECT_NE(Key(I), nullptr) << I;
  // The PK write succeeded last; the earlier failure is still what is reported.
  EXPECT_EQ(M().Variables().SetLog().back().Name, u"PK");
}

class SecureBootKeysWithoutDefaults : public SecureBootKeys {
  void Adjust(sim::SecureBootProfile& S) override {
    S.DefaultKeyFiles.erase("PK");
    S.DefaultKeyFiles.erase("dbt");
    S.DefaultKeyFiles["dbx"] = {};  // present but empty
  }
};

TEST_F(SecureBootKeysWithoutDefaults, AMissingFileSkipsItsEntryAltogether) {
  Bytes OldPk = KeyBytes(KEY_INDEX_PK);
  EXPECT_EQ(RestoreKeys(RESTORE_DELETE | RESTORE_INSTALL_DEFAULTS), EFI_SUCCESS);
  EXPECT_EQ(KeyBytes(KEY_INDEX_PK), OldPk);  // not even deleted
  EXPECT_EQ(Key(KEY_INDEX_DBT), nullptr);
  EXPECT_TRUE(LoggedAttributes(u"PK").empty());
  EXPECT_TRUE(LoggedAttributes(u"dbx").empty());
  EXPECT_EQ(KeyBytes(KEY_INDEX_DBX), DbxList);
  EXPECT_EQ(LoggedAttributes(u"KEK"), (std::vector<UINT32>{0, KEY_WRITE_ATTRIBUTES}));
}

class SecureBootKeysWithoutVolume : public SecureBootKeys {
  void Adjust(sim::SecureBootProfile& S) override { S.FirmwareVolumePresent = false; }
};

TEST_F(SecureBootKeysWithoutVolume, RestoreWithNothingInstalledIsNotFoundAndDeletesNothing) {
  EXPECT_EQ(RestoreKeys(RESTORE_DELETE | RESTORE_INSTALL_DEFAULTS), EFI_NOT_FOUND);
  EXPECT_NE(Key(KEY_INDEX_PK), nullptr);
  VOID* Buffer = (VOID*)1;
  UINTN Size = 5;
  EXPECT_EQ(ReadDefaultKeyFile(&KeyVariables[0].DefaultKeyFile, &Buffer, &Size), EFI_NOT_FOUND);
  EXPECT_EQ(Buffer, nullptr);
  EXPECT_EQ(Size, 0u);
}

TEST_F(SecureBootKeys, DefaultFileComesFromTheFirstVolumeHoldingIt) {
  sim::SecureBootProfile Other;
  Other.DefaultKeyFiles["db"] = {1, 2, 3};
  Other.ReadSectionFailure = EFI_DEVICE_ERROR;
  sim::FirmwareVolumePeer Broken(Other);
  ASSERT_EQ(Broken.Install(BS()), EFI_SUCCESS);  // listed after the key volume
  PoolBuffer<UINT8> Buffer;
  UINTN Size = 0;
  ASSERT_EQ(ReadDefaultKeyFile(&KeyVariables[KEY_INDEX_DB].DefaultKeyFile, Buffer.OutPtr(), &Size), EFI_SUCCESS);
  EXPECT_EQ(Bytes(Buffer.Get(), Buffer.Get() + Size), Auth(2016, "KEK-SIGNER", DbList));
  EXPECT_EQ(ReadDefaultKeyFile(&TEST_OWNER, Buffer.OutPtr(), &Size), EFI_NOT_FOUND);
}

TEST_F(SecureBootKeys, SetDeletesThenWritesAndAppendOnlyAppends) {
  Bytes NewDb = List(EFI_CERT_X509_GUID, 400, 1, 0x60);
  Bytes Image = Auth(2020, "sig by KEK-SIGNER", NewDb);
  M().Variables().ClearSetLog();
  EXPECT_EQ(WriteKeyVariable(KEY_INDEX_DB, KEY_WRITE_DELETE | KEY_WRITE_DATA, Image.data(), Image.size()),
            EFI_SUCCESS);
  EXPECT_EQ(KeyBytes(KEY_INDEX_DB), NewDb);
  EXPECT_EQ(LoggedAttributes(u"db"), (std::vector<UINT32>{0, KEY_WRITE_ATTRIBUTES}));
  EXPECT_EQ(Present(), (Bytes{1, 0, 1, 1, 1}));  // refreshed

  // Append: one new hash and one already held; only the new one is added.
  Bytes Extra = List(EFI_CERT_SHA256_GUID, 32, 1, 0x41);  // equals the second held hash
  Bytes Fresh = List(EFI_CERT_SHA256_GUID, 32, 1, 0x77);
  Bytes Append = Auth(2016, "KEK-SIGNER", Cat(Extra, Fresh));
  M().Variables().ClearSetLog();
  EXPECT_EQ(WriteKeyVariable(KEY_INDEX_DBX, KEY_WRITE_DATA | KEY_WRITE_APPEND, Append.data(), Append.size()),
            EFI_SUCCESS);
  EXPECT_EQ(LoggedAttributes(u"dbx"), (std::vector<UINT32>{KEY_APPEND_ATTRIBUTES}));
  EXPECT_EQ(KeyBytes(KEY_INDEX_DBX), Cat(DbxList, Fresh));

  // Unsigned in user mode: refused, and shown as refused.
  Bytes Unsigned = Auth(2016, "", Fresh);
  EXPECT_EQ(WriteKeyVariable(KEY_INDEX_DBX, KEY_WRITE_DATA | KEY_WRITE_APPEND, Unsigned.data(), Unsigned.size()),
            EFI_SECURITY_VIOLATION);
  // No data: a set only deletes.
  EXPECT_EQ(WriteKeyVariable(KEY_INDEX_DBT, KEY_WRITE_DATA, nullptr, 0), EFI_SUCCESS);
  EXPECT_EQ(WriteKeyVariable(KEY_INDEX_DBX, KEY_WRITE_DELETE, nullptr, 0), EFI_SUCCESS);
  EXPECT_EQ(Key(KEY_INDEX_DBX), nullptr);
  EXPECT_EQ(Present(), (Bytes{0, 0, 1, 1, 1}));
}

TEST_F(SecureBootKeys, ARefusedWriteAfterTheDeletePutsTheOldKeyBack) {
  // PK with a broken list: after the delete the platform is in setup mode,
  // the write is refused, and the old PK goes back, so user mode returns.
  Bytes Broken = Auth(2016, "", Bytes(30, 0xAB));
  EXPECT_EQ(WriteKeyVariable(KEY_INDEX_PK, KEY_WRITE_DELETE | KEY_WRITE_DATA, Broken.data(), Broken.size()),
            EFI_INVALID_PARAMETER);
  EXPECT_EQ(KeyBytes(KEY_INDEX_PK), PkList);
  EXPECT_EQ(Mode(u"SetupMode"), 0);
  EXPECT_EQ(Mode(u"SecureBoot"), 1);

}

// A board in setup mode whose default KEK file holds a broken list.
class SecureBootKeysWithBrokenKekFile : public SecureBootKeys {
  void Adjust(sim::SecureBootProfile& S) override {
    S.Keys.erase("PK");
    S.DefaultKeyFiles["KEK"] = Auth(2016, "", Bytes(30, 0xAB));
  }
};

TEST_F(SecureBootKeysWithBrokenKekFile, ARefusedDefaultFilePutsTheOldKeyBack) {
  EXPECT_EQ(RestoreKeys(RESTORE_DELETE | RESTORE_INSTALL_DEFAULTS), EFI_INVALID_PARAMETER);
  EXPECT_EQ(KeyBytes(KEY_INDEX_KEK), KekList);
  EXPECT_EQ(KeyBytes(KEY_INDEX_PK), PkList);  // the entries after it are still restored
}

TEST_F(SecureBootKeys, NoAllocationFailureLosesAKeyOrLeaks) {
  Bytes NewDb = List(EFI_CERT_X509_GUID, 400, 1, 0x61);
  Bytes Image = Auth(2020, "KEK-SIGNER", NewDb);
  auto Run = [&] {
    return WriteKeyVariable(KEY_INDEX_DB, KEY_WRITE_DELETE | KEY_WRITE_DATA, Image.data(), Image.size());
  };
  size_t Before = M().Pool().AllocationCount();
  ASSERT_EQ(Run(), EFI_SUCCESS);
  size_t Count = M().Pool().AllocationCount() - Before;
  ASSERT_GT(Count, 0u);
  for (size_t N = 0; N < Count; ++N) {
    SCOPED_TRACE(N);
    M().Variables().Put(u"db", EFI_IMAGE_SECURITY_DATABASE_GUID, 0x27, DbList);
    M().Pool().FailAllocationAfter(N);
    EFI_STATUS Status = Run();
    M().Pool().ClearFailure();
    EXPECT_EQ(KeyBytes(KEY_INDEX_DB), EFI_ERROR(Status) ? DbList : NewDb);
    EXPECT_EQ(M().LiveAllocationCount(), 0u) << M().LeakReport();
  }

  Before = M().Pool().AllocationCount();
  ASSERT_EQ(RestoreKeys(RESTORE_DELETE | RESTORE_INSTALL_DEFAULTS), EFI_SUCCESS);
  Count = M().Pool().AllocationCount() - Before;
  for (size_t N = 0; N < Count; ++N) {
    SCOPED_TRACE(N);
    M().Pool().FailAllocationAfter(N);
    RestoreKeys(RESTORE_DELETE | RESTORE_INSTALL_DEFAULTS);
    M().Pool().ClearFailure();
    for (UINTN I = 0; I < KEY_VARIABLE_COUNT; ++I) EXPECT_NE(Key(I), nullptr) << I;  // never left deleted
    EXPECT_EQ(M().LiveAllocationCount(), 0u) << M().LeakReport();
  }
}

// The default board as it ships: user mode, its files signed by its own keys.
class SecureBootKeysOnDefaultBoard : public SecureBootKeys {
  void Customise(sim::BoardProfile&) override {}
};

TEST_F(SecureBootKeysOnDefaultBoard, RestoresItsOwnDefaultsInUserMode) {
  RefreshSecureBootState();
  EXPECT_EQ(Present(), (Bytes{1, 0, 1, 1, 1}));
  EXPECT_EQ(Mode(u"SecureBoot"), 1);
  Bytes Db = KeyBytes(KEY_INDEX_DB);
  EXPECT_EQ(ValidateSignatureLists(Db.data(), Db.size()), EFI_SUCCESS);
  ASSERT_EQ(RestoreKeys(RESTORE_DELETE | RESTORE_INSTALL_DEFAULTS), EFI_SUCCESS);
  RefreshSecureBootState();
  EXPECT_EQ(Present(), Bytes(5, 1));  // dbt came from its default file
  EXPECT_EQ(KeyBytes(KEY_INDEX_DB), Db);
  EXPECT_EQ(Mode(u"SetupMode"), 0);
  EXPECT_EQ(Mode(u"SecureBoot"), 1);
}

// Building and checking images: pure functions over bytes.
TEST(SecureBootImages, SignatureListImageByPayloadSize) {
  UINT8 Image[84 + 32];
  ASSERT_EQ(BuildSignatureListImage(Image, 32), EFI_SUCCESS);
  Bytes B(Image, Image + 84);
  EXPECT_EQ(B[0] | B[1] << 8, 2016);
  EXPECT_EQ((int)B[2], 6);
  EXPECT_EQ((int)B[3], 13);
  EXPECT_EQ((int)B[6], 43);
  EXPECT_EQ(B[16], 24);
  EXPECT_EQ(B[21] << 8 | B[20], 0x0200);
  EXPECT_EQ(B[23] << 8 | B[22], 0x0EF1);
  EXPECT_EQ(std::memcmp(Image + 24, &EFI_CERT_TYPE_PKCS7_GUID, 16), 0);
  EXPECT_EQ(std::memcmp(Image + 40, &EFI_CERT_SHA256_GUID, 16), 0);
  EXPECT_EQ(B[56], 76);
  EXPECT_EQ(B[60], 0);
  EXPECT_EQ(B[64], 48);
  std::memset(Image + 84, 0x5A, 32);
  EXPECT_EQ(ValidateSignatureLists(Image + 40, 76), EFI_SUCCESS);

  const std::pair<UINTN, const EFI_GUID*> Types[] = {
      {48, &EFI_CERT_X509_SHA256_GUID}, {64, &EFI_CERT_X509_SHA384_GUID}, {80, &EFI_CERT_X509_SHA512_GUID},
      {256, &EFI_CERT_RSA2048_GUID},    {257, &EFI_CERT_X509_GUID},       {0xFFFFFFFF - 84, &EFI_CERT_X509_GUID}};
  for (auto [Size, Type] : Types) {
    UINT8 Header[84] = {};
    ASSERT_EQ(BuildSignatureListImage(Header, Size), EFI_SUCCESS) << Size;
    EXPECT_EQ(std::memcmp(Header + 40, Type, 16), 0) << Size;
  }
  UINT8 Header[84];
  std::memset(Header, 0xCC, sizeof(Header));
  for (UINTN Size : {(UINTN)0, (UINTN)31, (UINTN)33, (UINTN)255, (UINTN)0xFFFFFFFF - 83, (UINTN)0xFFFFFFFF,
                     ~(UINTN)0 - 40})
    EXPECT_EQ(BuildSignatureListImage(Header, Size), EFI_INVALID_PARAMETER) << Size;
  EXPECT_EQ(Header[0], 0xCC);  // nothing written for a refused size
}

TEST(SecureBootImages, ValidationReadsNothingPastTheBuffer) {
  auto Check = [](const Bytes& B) {
    // An exact-size copy, so a read past the end is a sanitizer report.
    std::unique_ptr<UINT8[]> Copy(new UINT8[B.size()]);
    std::memcpy(Copy.get(), B.data(), B.size());
    return ValidateSignatureLists(Copy.get(), B.size());
  };
  Bytes Good = List(EFI_CERT_SHA256_GUID, 32, 1, 0);  // 76 bytes
  EXPECT_EQ(Check(Good), EFI_SUCCESS);
  Bytes Short = Good;
  PutLe32(Short, 16, 75);
  EXPECT_EQ(Check(Short), EFI_SECURITY_VIOLATION);
  Bytes Huge = List(EFI_CERT_X509_GUID, 131073 - 44, 1, 0);
  EXPECT_EQ(Check(Huge), EFI_SECURITY_VIOLATION);
  EXPECT_EQ(Check(List(EFI_CERT_X509_GUID, 131072 - 44, 1, 0)), EFI_SUCCESS);
  EXPECT_EQ(Check(Cat(Good, Bytes(10, 0xFF))), EFI_SUCCESS);
  EXPECT_EQ(Check(Cat(Good, Bytes(27, 0xFF))), EFI_SUCCESS);
  EXPECT_EQ(Check(Cat(Good, List(EFI_CERT_X509_GUID, 300, 1, 0))), EFI_SUCCESS);
  Bytes Wrapping = Cat(Good, Good);
  PutLe32(Wrapping, 76 + 16, 0xFFFFFFFF);
  EXPECT_EQ(Check(Wrapping), EFI_SUCCESS);  // ends the walk after the good list
  Bytes Unknown = Good;
  Unknown[0] ^= 1;
  EXPECT_EQ(Check(Unknown), EFI_SECURITY_VIOLATION);
  Bytes WithHeader = Good;
  PutLe32(WithHeader, 20, 4);
  EXPECT_EQ(Check(WithHeader), EFI_SECURITY_VIOLATION);
  EXPECT_EQ(Check(Cat(Good, Unknown)), EFI_SECURITY_VIOLATION);
  EXPECT_EQ(Check(Bytes(27, 0)), EFI_SECURITY_VIOLATION);
  EXPECT_EQ(Check(Bytes(Good.begin(), Good.end() - 1)), EFI_SECURITY_VIOLATION);
  EXPECT_EQ(ValidateSignatureLists(nullptr, 76), EFI_SECURITY_VIOLATION);
  EXPECT_EQ(ValidateSignatureLists(Good.data(), 0), EFI_SECURITY_VIOLATION);
}

}  // namespace
}  // namespace setupinfo_test
