// A loaded driver with the Secure Boot key rules, the firmware volume of
// default keys, a scripted message box service and simple-file-system
// volumes, with the page's three stores open in the browser.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "setupinfo/core/form_set_table.h"
#include "setupinfo/secureboot/secure_boot_keys.h"
#include "setupinfo_fixture.h"
#include "sim/peers/file_system_peers.h"
#include "sim/peers/message_box_peer.h"
#include "sim/peers/secure_boot_peers.h"

namespace setupinfo_test {

using Bytes = std::vector<UINT8>;

inline constexpr EFI_GUID TEST_OWNER = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};

inline void PutLe32(Bytes& B, size_t At, UINT32 V) {
  for (int I = 0; I < 4; ++I) B[At + I] = UINT8(V >> (8 * I));
}

// One list of Count signatures of Data bytes each.
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

// A DER certificate as a stick would carry it: a SEQUENCE of N bytes.
inline Bytes Certificate(size_t N, UINT8 Fill) {
  Bytes B(N, Fill);
  B[0] = 0x30;
  B[1] = 0x82;
  B[2] = UINT8((N - 4) >> 8);
  B[3] = UINT8(N - 4);
  return B;
}

inline sim::FileNodeProfile FileNode(const std::string& Name, Bytes Data) {
  sim::FileNodeProfile F;
  F.Name = Name;
  F.Data = std::move(Data);
  return F;
}
inline sim::FileNodeProfile Directory(const std::string& Name, std::vector<sim::FileNodeProfile> Children) {
  sim::FileNodeProfile D;
  D.Name = Name;
  D.Directory = true;
  D.Children = std::move(Children);
  return D;
}

inline const Bytes PkList = List(EFI_CERT_X509_GUID, 300, 1, 0x10);
inline const Bytes KekList = List(EFI_CERT_X509_GUID, 300, 1, 0x20);
inline const Bytes DbList = List(EFI_CERT_X509_GUID, 300, 1, 0x30);
inline const Bytes DbxList = List(EFI_CERT_SHA256_GUID, 32, 2, 0x40);
inline const Bytes StickCertificate = Certificate(400, 0x5C);
inline const Bytes StickChain = Cat(List(EFI_CERT_X509_GUID, 200, 1, 0x70), List(EFI_CERT_SHA256_GUID, 32, 1, 0x7A));
inline const Bytes StickHash = Bytes(32, 0xA5);

inline const std::u16string KeyNames[] = {u"dbx", u"dbt", u"db", u"KEK", u"PK"};

// The stick: root db.esl, empty.bin, hash.bin and EFI (shown in that order),
// EFI holding A, x, y, B and KEY.CER (shown ., .., A, B, KEY.CER, y, x).
inline sim::FileVolumeProfile UsbStick() {
  sim::FileVolumeProfile V;
  V.Label = "stick";
  V.DevicePath = sim::UsbStickDevicePath(0x14, 3);
  V.Files = {FileNode("db.esl", StickChain), Directory("EFI", {Directory("A", {}), FileNode("x", {1}),
                                                                 FileNode("y", {2}), Directory("B", {}),
                                                                 FileNode("KEY.CER", StickCertificate)}),
             FileNode("empty.bin", {}), FileNode("hash.bin", StickHash)};
  return V;
}
// Root list indices on the stick.
constexpr UINTN ROOT_DB_ESL = 0, ROOT_EMPTY = 1, ROOT_HASH = 2, ROOT_EFI = 3;
// EFI list indices.
constexpr UINTN EFI_DOT = 0, EFI_DOTDOT = 1, EFI_A = 2, EFI_B = 3, EFI_KEY_CER = 4, EFI_Y = 5, EFI_X = 6;

constexpr UINT8 YES = 0, NO = 1;

class SecureBootPageTest : public SetupInfoTest {
 protected:
  void Customise(sim::BoardProfile& Profile) override {
    sim::SecureBootProfile S;
    S.Keys = {{"PK", PkList}, {"KEK", KekList}, {"db", DbList}, {"dbx", DbxList}};
    S.TrustedSigners = {{"PK-SIGNER", "PK"}, {"KEK-SIGNER", "KEK"}};
    for (auto& [Name, Content] : S.Keys)
      S.DefaultKeyFiles[Name] = Auth(2016, Name == "PK" || Name == "KEK" ? "PK-SIGNER" : "KEK-SIGNER", Content);
    S.DefaultKeyFiles["dbt"] = Auth(2016, "KEK-SIGNER", List(EFI_CERT_X509_GUID, 300, 1, 0x50));
    Profile.FileVolumes = {UsbStick()};
    Adjust(S, Profile.FileVolumes);
    Profile.SecureBoot = S;
  }
  virtual void Adjust(sim::SecureBootProfile&, std::vector<sim::FileVolumeProfile>&) {}

  void SetUp() override {
    SetupInfoTest::SetUp();
    const auto& S = *M().Profile().SecureBoot;
    Keys_ = std::make_unique<sim::SecureBootVariablePeer>(M().Variables(), S);
    Keys_->EnrollProfileKeys();
    Volume_ = std::make_unique<sim::FirmwareVolumePeer>(S);
    ASSERT_EQ(Volume_->Install(BS()), EFI_SUCCESS);
    Boxes_ = std::make_unique<sim::MessageBoxPeer>();
    Boxes_->Strict = true;
    ASSERT_EQ(Boxes_->Install(BS()), EFI_SUCCESS);
    Files_ = std::make_unique<sim::FileSystemPeers>(M().Profile().FileVolumes);
    ASSERT_EQ(Files_->Install(BS()), EFI_SUCCESS);
    ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
    Browser().AddStore(u"SecureVarPresent", SECURE_BOOT_FORM_SET_GUID);
    Browser().CreateStore(u"SecureVarPresent", SECURE_BOOT_FORM_SET_GUID, Bytes(5, 0xEE), 2);
    Browser().AddStore(u"SecureBoot", EFI_GLOBAL_VARIABLE_GUID);
    Browser().AddStore(u"SetupMode", EFI_GLOBAL_VARIABLE_GUID);
    ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
    M().Variables().ClearSetLog();
  }
  void TearDown() override {
    // Every file and directory the driver opened was closed again.
    if (Files_) EXPECT_EQ(Files_->OpenHandles(), 0u);
    // A scripted user left nothing unanswered and nothing unused.
    if (Boxes_) {
      EXPECT_EQ(Boxes_->Unanswered, 0u);
      EXPECT_TRUE(Boxes_->Answers.empty());
      EXPECT_TRUE(Boxes_->ListChoices.empty());
    }
    Keys_.reset();
    SetupInfoTest::TearDown();
  }

  // The user presses the question Key (CHANGING, 8-bit value).
  void Press(UINT16 Key, UINT8 NewValue = 1, EFI_BROWSER_ACTION Action = EFI_BROWSER_ACTION_CHANGING) {
    EFI_IFR_TYPE_VALUE Value{};
    Value.u8 = NewValue;
    EXPECT_EQ(Browser().Callback(FORM_SET_CLASS_SECURE_BOOT, Action, Key, EFI_IFR_TYPE_NUM_SIZE_8, Value), EFI_SUCCESS);
  }
  void Answer(std::initializer_list<UINT8> A) { Boxes_->Answers.insert(Boxes_->Answers.end(), A); }
  void Choose(std::initializer_list<UINT64> C) { Boxes_->ListChoices.insert(Boxes_->ListChoices.end(), C); }

  std::u16string Text(EFI_STRING_ID Id) { return HiiText(FormSetHandle(FORM_SET_CLASS_SECURE_BOOT), Id); }
  // The boxes shown so far, as "title | text".
  std::vector<std::u16string> Shown() {
    std::vector<std::u16string> Out;
    for (auto& B : Boxes_->Boxes) Out.push_back(B.Title + u" | " + B.Text);
    return Out;
  }
  std::u16string Box(EFI_STRING_ID Title, const std::u16string& Body) { return Text(Title) + u" | " + Body; }
  std::u16string Box(EFI_STRING_ID Title, EFI_STRING_ID Body) { return Box(Title, Text(Body)); }
  // The items of list box I, as their texts.
  std::vector<std::u16string> ListTexts(size_t I) {
    std::vector<std::u16string> Out;
    for (EFI_STRING_ID Id : Boxes_->Lists.at(I).Items) Out.push_back(Text(Id));
    return Out;
  }

  const sim::VariableStore::Variable* Key(UINTN Index) {
    return M().Variables().Find(KeyNames[Index], *KeyVariableGuid(Index));
  }
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
  const sim::FileNodeProfile* StickFile(const std::string& Path, size_t Volume = 0) {
    return Files_->Find(Volume, Path);
  }

  std::unique_ptr<sim::SecureBootVariablePeer> Keys_;
  std::unique_ptr<sim::FirmwareVolumePeer> Volume_;
  std::unique_ptr<sim::MessageBoxPeer> Boxes_;
  std::unique_ptr<sim::FileSystemPeers> Files_;
};

// The same board in setup mode: no key is enrolled.
class SecureBootSetupModeTest : public SecureBootPageTest {
 protected:
  void Adjust(sim::SecureBootProfile& S, std::vector<sim::FileVolumeProfile>&) override { S.Keys.clear(); }
};

}  // namespace setupinfo_test
