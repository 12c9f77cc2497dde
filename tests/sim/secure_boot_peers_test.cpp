// The key variables' rules in the simulated variable service, and the
// firmware volume of default key files.
#include "sim/peers/secure_boot_peers.h"

#include <cstring>
#include <string>
#include <vector>

#include "sim/machine_test.h"
#include "uefi/image_authentication.h"

namespace sim {
namespace {

using Bytes = std::vector<UINT8>;

Bytes List(const EFI_GUID& Type, UINT32 Data, UINT8 Fill, UINT8 Owner = 0x11) {
  Bytes B(28 + 16 + Data, Owner);
  std::memcpy(B.data(), &Type, 16);
  UINT32 Fields[3] = {28 + 16 + Data, 0, 16 + Data};
  std::memcpy(B.data() + 16, Fields, 12);
  for (UINT32 I = 0; I < Data; ++I) B[44 + I] = UINT8(Fill + I);
  return B;
}
Bytes Cat(Bytes A, const Bytes& B) {
  A.insert(A.end(), B.begin(), B.end());
  return A;
}
Bytes Auth(UINT16 Year, const std::string& Certificate, const Bytes& Payload) {
  EFI_VARIABLE_AUTHENTICATION_2 H = {};
  H.TimeStamp.Year = Year;
  H.TimeStamp.Month = 1;
  H.TimeStamp.Day = 1;
  H.AuthInfo.Hdr.dwLength = UINT32(24 + Certificate.size());
  H.AuthInfo.Hdr.wRevision = WIN_CERT_REVISION_2_0;
  H.AuthInfo.Hdr.wCertificateType = WIN_CERT_TYPE_EFI_GUID;
  H.AuthInfo.CertType = EFI_CERT_TYPE_PKCS7_GUID;
  Bytes B((const UINT8*)&H, (const UINT8*)&H + sizeof(H));
  B.insert(B.end(), Certificate.begin(), Certificate.end());
  return Cat(B, Payload);
}

const Bytes Pk = List(EFI_CERT_X509_GUID, 300, 1);
const Bytes Hash1 = List(EFI_CERT_SHA256_GUID, 32, 0x10);
const Bytes Hash2 = List(EFI_CERT_SHA256_GUID, 32, 0x20);

class SecureBootVariables : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    Profile_.TrustedSigners = {{"PK-SIGNER", "PK"}, {"KEK-SIGNER", "KEK"}};
    Profile_.SetupMayDelete = false;
  }
  void TearDown() override {
    Peer_.reset();
    MachineTest::TearDown();
  }
  void Start() {
    Peer_ = std::make_unique<SecureBootVariablePeer>(M().Variables(), Profile_);
    Peer_->EnrollProfileKeys();
  }
  EFI_STATUS Set(const char16_t* Name, UINT32 Attributes, const Bytes& Data) {
    const EFI_GUID& Guid = std::u16string(Name) == u"PK" || std::u16string(Name) == u"KEK"
                               ? EFI_GLOBAL_VARIABLE_GUID
                               : EFI_IMAGE_SECURITY_DATABASE_GUID;
    return RT()->SetVariable((CHAR16*)Name, &Guid, Attributes, Data.size(), (VOID*)Data.data());
  }
  Bytes Get(const char16_t* Name, const EFI_GUID& Guid = EFI_IMAGE_SECURITY_DATABASE_GUID) {
    auto* V = M().Variables().Find(Name, Guid);
    return V ? V->Data : Bytes{};
  }
  UINT8 State(const char16_t* Name) { return Get(Name, EFI_GLOBAL_VARIABLE_GUID).at(0); }

  SecureBootProfile Profile_;
  std::unique_ptr<SecureBootVariablePeer> Peer_;
};

TEST_F(SecureBootVariables, SetupModeTakesUnsignedWritesUntilPkArrives) {
  Start();
  EXPECT_EQ(State(u"SetupMode"), 1);
  EXPECT_EQ(State(u"SecureBoot"), 0);
  EXPECT_EQ(Set(u"db", 0x27, Auth(2016, "", Hash1)), EFI_SUCCESS);
  EXPECT_EQ(Get(u"db"), Hash1);  // the descriptor is not stored
  EXPECT_EQ(Set(u"PK", 0x27, Auth(2016, "", Pk)), EFI_SUCCESS);
  EXPECT_EQ(State(u"SetupMode"), 0);
  EXPECT_EQ(State(u"SecureBoot"), 1);

  // User mode: a header-only certificate, a signer without authority, and a
  // plain write are all refused.
  EXPECT_EQ(Set(u"db", 0x67, Auth(2016, "", Hash2)), EFI_SECURITY_VIOLATION);
  EXPECT_EQ(Set(u"KEK", 0x27, Auth(2016, "KEK-SIGNER", Pk)), EFI_SECURITY_VIOLATION);
  EXPECT_EQ(Set(u"dbt", 0x7, Hash2), EFI_SECURITY_VIOLATION);
  EXPECT_EQ(Set(u"db", 0x7, Hash2), EFI_INVALID_PARAMETER);  // not the attributes it holds
  EXPECT_EQ(Set(u"db", 0, {}), EFI_SECURITY_VIOLATION);
  EXPECT_EQ(Get(u"db"), Hash1);
  EXPECT_EQ(Set(u"KEK", 0x27, Auth(2016, "..PK-SIGNER..", Pk)), EFI_SUCCESS);
  EXPECT_EQ(Set(u"db", 0x67, Auth(2016, "xKEK-SIGNERx", Hash2)), EFI_SUCCESS);
  EXPECT_EQ(Get(u"db"), Cat(Hash1, Hash2));

  // The platform's own state cannot be written.
  UINT8 One = 1;
  EXPECT_EQ(RT()->SetVariable((CHAR16*)u"SetupMode", &EFI_GLOBAL_VARIABLE_GUID, 6, 1, &One), EFI_WRITE_PROTECTED);

  // An authenticated delete of PK returns to setup mode.
  EXPECT_EQ(Set(u"PK", 0x27, Auth(2017, "PK-SIGNER", {})), EFI_SUCCESS);
  EXPECT_EQ(Get(u"PK", EFI_GLOBAL_VARIABLE_GUID), Bytes{});
  EXPECT_EQ(State(u"SetupMode"), 1);
  EXPECT_EQ(State(u"SecureBoot"), 0);
}

TEST_F(SecureBootVariables, AppendSkipsSignaturesAlreadyHeld) {
  Start();
  ASSERT_EQ(Set(u"dbx", 0x27, Auth(2016, "", Hash1)), EFI_SUCCESS);
  // The same hash under another owner is the same signature.
  EXPECT_EQ(Set(u"dbx", 0x67, Auth(2016, "", Cat(List(EFI_CERT_SHA256_GUID, 32, 0x10, 0x99), Hash2))), EFI_SUCCESS);
  EXPECT_EQ(Get(u"dbx"), Cat(Hash1, Hash2));
  EXPECT_EQ(Set(u"dbx", 0x67, Auth(2016, "", Hash2)), EFI_SUCCESS);
  EXPECT_EQ(Get(u"dbx"), Cat(Hash1, Hash2));
  // Two hashes in one list are split and checked one by one.
  Bytes Two = List(EFI_CERT_SHA256_GUID, 32, 0x30);
  Bytes Pair = Two;
  Pair.insert(Pair.end(), Hash1.begin() + 28, Hash1.end());
  UINT32 Size = UINT32(Pair.size());
  std::memcpy(Pair.data() + 16, &Size, 4);
  EXPECT_EQ(Set(u"dbx", 0x67, Auth(2016, "", Pair)), EFI_SUCCESS);
  EXPECT_EQ(Get(u"dbx"), Cat(Cat(Hash1, Hash2), Two));
}

TEST_F(SecureBootVariables, MalformedImagesAndOlderStampsAreRefused) {
  Start();
  ASSERT_EQ(Set(u"db", 0x27, Auth(2020, "", Hash1)), EFI_SUCCESS);
  EXPECT_EQ(Set(u"db", 0x27, Auth(2019, "", Hash2)), EFI_SECURITY_VIOLATION);
  EXPECT_EQ(Set(u"db", 0x27, Auth(2020, "", Hash2)), EFI_SECURITY_VIOLATION);
  EXPECT_EQ(Set(u"db", 0x67, Auth(2019, "", Hash2)), EFI_SUCCESS);  // an append may carry an older stamp
  EXPECT_EQ(Set(u"db", 0x27, Auth(2021, "", Hash2)), EFI_SUCCESS);
  EXPECT_EQ(Get(u"db"), Hash2);

  Bytes Long = Auth(2022, "", Hash1);
  UINT32 Claim = UINT32(Long.size());  // the certificate would run past the data
  std::memcpy(Long.data() + 16, &Claim, 4);
  EXPECT_EQ(Set(u"db", 0x27, Long), EFI_SECURITY_VIOLATION);
  EXPECT_EQ(Set(u"db", 0x27, Bytes(39, 0)), EFI_SECURITY_VIOLATION);
  Bytes Zone = Auth(2022, "", Hash1);
  Zone[12] = 1;  // a time zone is not allowed
  EXPECT_EQ(Set(u"db", 0x27, Zone), EFI_SECURITY_VIOLATION);
  Bytes Torn = Auth(2022, "", Bytes(Hash1.begin(), Hash1.end() - 1));
  EXPECT_EQ(Set(u"db", 0x27, Torn), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Set(u"dbt", 0x23, Auth(2022, "", Hash1)), EFI_SECURITY_VIOLATION);
  EXPECT_EQ(Get(u"db"), Hash2);

  // Same names under another GUID keep the ordinary rules.
  UINT8 Byte = 5;
  EXPECT_EQ(RT()->SetVariable((CHAR16*)u"db", &EFI_GLOBAL_VARIABLE_GUID, 3, 1, &Byte), EFI_SUCCESS);
}

TEST_F(SecureBootVariables, PlainDeletesFollowThePlatformsPolicy) {
  Profile_.Keys = {{"PK", Pk}, {"db", Hash1}};
  Start();
  EXPECT_EQ(State(u"SetupMode"), 0);
  EXPECT_EQ(Set(u"db", 0, {}), EFI_SECURITY_VIOLATION);
  Peer_.reset();
  Profile_.SetupMayDelete = true;
  Profile_.SecureBootEnabled = false;
  Start();
  EXPECT_EQ(State(u"SecureBoot"), 0);  // user mode with Secure Boot off
  EXPECT_EQ(Set(u"db", 0, {}), EFI_SUCCESS);
  EXPECT_EQ(Set(u"db", 0, {}), EFI_NOT_FOUND);
  EXPECT_EQ(Set(u"PK", 0, {}), EFI_SUCCESS);
  EXPECT_EQ(State(u"SetupMode"), 1);
}

TEST_F(SecureBootVariables, VolumeHandsOverRawSectionsOnly) {
  Profile_.DefaultKeyFiles = {{"db", {1, 2, 3, 4}}};
  FirmwareVolumePeer Volume(Profile_);
  ASSERT_EQ(Volume.Install(BS()), EFI_SUCCESS);
  EFI_FIRMWARE_VOLUME2_PROTOCOL* Fv = nullptr;
  ASSERT_EQ(BS()->HandleProtocol(Volume.Handle(), &EFI_FIRMWARE_VOLUME2_PROTOCOL::Guid, (VOID**)&Fv), EFI_SUCCESS);
  EFI_GUID Db = *DefaultKeyFileName("db");
  UINT32 Auth = 9;
  VOID* Buffer = nullptr;
  UINTN Size = 0;
  ASSERT_EQ(Fv->ReadSection(Fv, &Db, EFI_SECTION_RAW, 0, &Buffer, &Size, &Auth), EFI_SUCCESS);
  EXPECT_EQ(Bytes((UINT8*)Buffer, (UINT8*)Buffer + Size), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(Auth, 0u);
  BS()->FreePool(Buffer);
  UINT8 Small[2] = {};
  Buffer = Small;
  Size = sizeof(Small);
  EXPECT_EQ(Fv->ReadSection(Fv, &Db, EFI_SECTION_RAW, 0, &Buffer, &Size, &Auth), EFI_WARN_BUFFER_TOO_SMALL);
  EXPECT_EQ(Size, 4u);
  EXPECT_EQ(Small[1], 2);
  Buffer = nullptr;
  EXPECT_EQ(Fv->ReadSection(Fv, &Db, EFI_SECTION_RAW, 1, &Buffer, &Size, &Auth), EFI_NOT_FOUND);
  EXPECT_EQ(Fv->ReadSection(Fv, &Db, 0x10, 0, &Buffer, &Size, &Auth), EFI_NOT_FOUND);
  EFI_GUID Pk = *DefaultKeyFileName("PK");
  EXPECT_EQ(Fv->ReadSection(Fv, &Pk, EFI_SECTION_RAW, 0, &Buffer, &Size, &Auth), EFI_NOT_FOUND);
  EXPECT_EQ(Buffer, nullptr);
}

}  // namespace
}  // namespace sim
