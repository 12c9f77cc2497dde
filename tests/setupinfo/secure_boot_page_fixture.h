// A loaded driver with the Secure Boot key rules, the firmware volume of
// default keys, a scripted message box service and simple-file-system
// volumes, with the page's three stores open in the browser.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "secure_boot_fixture_base.h"
#include "setupinfo/core/form_set_table.h"
#include "sim/peers/file_system_peers.h"
#include "sim/peers/message_box_peer.h"

namespace setupinfo_test {

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

inline const Bytes StickCertificate = Certificate(400, 0x5C);
inline const Bytes StickChain = Cat(List(EFI_CERT_X509_GUID, 200, 1, 0x70), List(EFI_CERT_SHA256_GUID, 32, 1, 0x7A));
inline const Bytes StickHash = Bytes(32, 0xA5);

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

class SecureBootPageTest : public SecureBootTestBase {
 protected:
  void Customise(sim::BoardProfile& Profile) override {
    sim::SecureBootProfile S = EnrolledBoard();
    Profile.FileVolumes = {UsbStick()};
    Adjust(S, Profile.FileVolumes);
    Profile.SecureBoot = S;
  }
  virtual void Adjust(sim::SecureBootProfile&, std::vector<sim::FileVolumeProfile>&) {}

  void SetUp() override {
    SetupInfoTest::SetUp();
    InstallKeyPeers();
    Boxes_ = std::make_unique<sim::MessageBoxPeer>();
    Boxes_->Strict = true;
    ASSERT_EQ(Boxes_->Install(BS()), EFI_SUCCESS);
    Files_ = std::make_unique<sim::FileSystemPeers>(M().Profile().FileVolumes);
    ASSERT_EQ(Files_->Install(BS()), EFI_SUCCESS);
    ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
    OpenKeyStores();
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
    SecureBootTestBase::TearDown();
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

  const sim::FileNodeProfile* StickFile(const std::string& Path, size_t Volume = 0) {
    return Files_->Find(Volume, Path);
  }

  std::unique_ptr<sim::MessageBoxPeer> Boxes_;
  std::unique_ptr<sim::FileSystemPeers> Files_;
};

// The same board in setup mode: no key is enrolled.
class SecureBootSetupModeTest : public SecureBootPageTest {
 protected:
  void Adjust(sim::SecureBootProfile& S, std::vector<sim::FileVolumeProfile>&) override { S.Keys.clear(); }
};

}  // namespace setupinfo_test
