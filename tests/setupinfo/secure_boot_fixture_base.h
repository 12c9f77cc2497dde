// What every Secure Boot test shares: signature lists and authenticated
// images built byte by byte, the board's four enrolled keys with signed
// default files, and a loaded driver whose key variables and browser
// stores can be read back.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "setupinfo/secureboot/secure_boot_keys.h"
#include "setupinfo_fixture.h"
#include "sim/peers/secure_boot_peers.h"

namespace setupinfo_test {

using Bytes = std::vector<UINT8>;

inline constexpr EFI_GUID TEST_OWNER = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};

inline void PutLe32(Bytes& B, size_t At, UINT32 V) {
  for (int I = 0; I < 4; ++I) B[At + I] = UINT8(V >> (8 * I));
}

// One list of Count signatures of Data bytes each, filled from Fill up.
inline Bytes List(const EFI_GUID& Type, UINT32 Data, UINT32 Count, UINT8 Fill, const EFI_GUID& Owner = TEST_OWNER) {
  Bytes B(28, 0);
  std::memcpy(B.data(), &Type, 16);
  PutLe32(B, 16, 28 + Count * (16 + Data));
  PutLe32(B, 24, 16 + Data);
  for (UINT32 S = 0; S < Count; ++S) {
    B.insert(B.end(), (const UINT8*)&Owner, (const UINT8*)&Owner + 16);
    for (UINT32 I = 0; I < Data; ++I) B.push_back(UINT8(Fill + S + I));
  }
  return B;
}

inline Bytes Cat(Bytes A, const Bytes& B) {
  A.insert(A.end(), B.begin(), B.end());
  return A;
}

// A time-based authenticated image: stamp year, certificate bytes, payload.
inline Bytes Auth(UINT16 Year, const std::string& Certificate, const Bytes& Payload) {
  Bytes B(40, 0);
  B[0] = UINT8(Year);
  B[1] = UINT8(Year >> 8);
  B[2] = 1;
  B[3] = 1;
  PutLe32(B, 16, UINT32(24 + Certificate.size()));
  B[21] = 0x02;
  B[22] = 0xF1;
  B[23] = 0x0E;
  std::memcpy(B.data() + 24, &EFI_CERT_TYPE_PKCS7_GUID, 16);
  B.insert(B.end(), Certificate.begin(), Certificate.end());
  return Cat(B, Payload);
}

inline const Bytes PkList = List(EFI_CERT_X509_GUID, 300, 1, 0x10);
inline const Bytes KekList = List(EFI_CERT_X509_GUID, 300, 1, 0x20);
inline const Bytes DbList = List(EFI_CERT_X509_GUID, 300, 1, 0x30);
inline const Bytes DbxList = List(EFI_CERT_SHA256_GUID, 32, 2, 0x40);

inline const std::u16string KeyNames[] = {u"dbx", u"dbt", u"db", u"KEK", u"PK"};

class SecureBootTestBase : public SetupInfoTest {
 protected:
  // User mode with PK, KEK, db and dbx; the default files carry the board
  // maker's signatures, so a restore is taken while PK (deleted last) holds.
  static sim::SecureBootProfile EnrolledBoard() {
    sim::SecureBootProfile S;
    S.Keys = {{"PK", PkList}, {"KEK", KekList}, {"db", DbList}, {"dbx", DbxList}};
    S.TrustedSigners = {{"PK-SIGNER", "PK"}, {"KEK-SIGNER", "KEK"}};
    for (auto& [Name, Content] : S.Keys)
      S.DefaultKeyFiles[Name] = Auth(2016, Name == "PK" || Name == "KEK" ? "PK-SIGNER" : "KEK-SIGNER", Content);
    S.DefaultKeyFiles["dbt"] = Auth(2016, "KEK-SIGNER", List(EFI_CERT_X509_GUID, 300, 1, 0x50));
    return S;
  }

  // The key rules with the profile's keys enrolled, and its firmware volume.
  void InstallKeyPeers() {
    const auto& S = *M().Profile().SecureBoot;
    Keys_ = std::make_unique<sim::SecureBootVariablePeer>(M().Variables(), S);
    Keys_->EnrollProfileKeys();
    if (S.FirmwareVolumePresent) {
      Volume_ = std::make_unique<sim::FirmwareVolumePeer>(S);
      ASSERT_EQ(Volume_->Install(BS()), EFI_SUCCESS);
    }
  }
  // The page's three stores, open in the browser.
  void OpenKeyStores() {
    Browser().AddStore(u"SecureVarPresent", SECURE_BOOT_FORM_SET_GUID);
    Browser().CreateStore(u"SecureVarPresent", SECURE_BOOT_FORM_SET_GUID, Bytes(5, 0xEE), 2);
    Browser().AddStore(u"SecureBoot", EFI_GLOBAL_VARIABLE_GUID);
    Browser().AddStore(u"SetupMode", EFI_GLOBAL_VARIABLE_GUID);
    ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  }
  void TearDown() override {
    Keys_.reset();
    SetupInfoTest::TearDown();
  }

  const sim::VariableStore::Variable* Key(UINTN Index) {
    return M().Variables().Find(KeyNames[Index], *KeyVariableGuid(Index));
  }
  // A missing variable or store reads as DE AD, which no key equals.
  Bytes KeyBytes(UINTN Index) {
    auto* V = Key(Index);
    return V ? V->Data : Bytes{0xDE, 0xAD};
  }
  Bytes BrowserBytes(const std::u16string& Name, const EFI_GUID& Guid) {
    auto* B = Browser().StoreBytes(Name, Guid);
    return B ? *B : Bytes{0xDE, 0xAD};
  }
  Bytes Present() { return BrowserBytes(u"SecureVarPresent", SECURE_BOOT_FORM_SET_GUID); }
  UINT8 Mode(const char16_t* Name) { return BrowserBytes(Name, EFI_GLOBAL_VARIABLE_GUID).at(0); }
  std::vector<UINT32> LoggedAttributes(const std::u16string& Name) {
    std::vector<UINT32> A;
    for (auto& E : M().Variables().SetLog())
      if (E.Name == Name) A.push_back(E.Attributes);
    return A;
  }

  std::unique_ptr<sim::SecureBootVariablePeer> Keys_;
  std::unique_ptr<sim::FirmwareVolumePeer> Volume_;
};

}  // namespace setupinfo_test
