// A simulated machine with the update locator loaded and the board's
// identity and name-resolution services scripted from an UpdateProfile.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "sim/machine_test.h"
#include "sim/peers/update_peers.h"
#include "updatefetch/update_locator.h"

namespace updatefetch_test {

inline sim::UpdateProfile DefaultUpdateProfile() {
  sim::UpdateProfile P;
  P.ModelName = "Z97 Extreme6";
  P.ServerReply =
      "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n\r\n"
      "<Firmware><Download>"
      "<URL1>http://dl1.example.com/bios/Z97E6.rom</URL1>"
      "<URL2>http://dl2.example.com/mirror/bios/Z97E6.rom</URL2>"
      "<URL3>http://192.0.2.33/bios/Z97E6.rom</URL3>"
      "<URL4>http://10.1/Z97E6.rom</URL4>"
      "</Download></Firmware>";
  P.NameTable = {{"dl1.example.com", "", {198, 51, 100, 1}},
                 {"dl2.example.com", "cdn.example.net", {}},
                 {"cdn.example.net", "", {203, 0, 113, 9}}};
  return P;
}

class UpdateFetchTest : public sim::MachineTest {
 protected:
  // Tests script their own server and names; BoardDefaultTest keeps the board's.
  void Customise(sim::BoardProfile& Profile) override { Profile.Update = DefaultUpdateProfile(); }

  void SetUp() override {
    sim::MachineTest::SetUp();
    Peers_ = std::make_unique<sim::UpdatePeers>(M().Profile().Update, M().BootServices());
    InstallBoardPeers();
    SetServerChoice(0);
    ASSERT_EQ(M().LoadImage({"updatefetch", UpdateFetchEntry, UpdateFetchResetState}), EFI_SUCCESS);
  }

  void TearDown() override {
    if (Peers_) EXPECT_EQ(Peers_->OpenContexts(), 0u) << "an exchange context was left open";
    Peers_.reset();
    sim::MachineTest::TearDown();
  }

  sim::UpdatePeers& Peers() { return *Peers_; }

  void InstallBoardPeers() {
    for (auto& [Guid, Interface] : Peers_->BoardInterfaces()) {
      EFI_HANDLE Handle = nullptr;
      ASSERT_EQ(M().Handles().Install(&Handle, Guid, EFI_NATIVE_INTERFACE, Interface), EFI_SUCCESS);
    }
  }
  void RemoveProtocol(const EFI_GUID& Guid) {
    for (EFI_HANDLE Handle : M().Handles().HandlesWith(Guid)) {
      ASSERT_EQ(M().Handles().Uninstall(Handle, &Guid, M().Handles().InterfaceOn(Handle, Guid)), EFI_SUCCESS);
    }
  }

  // Byte 105 of the stored NetConfigData, which the form utility service
  // answers with while no setup browser is open.
  void SetServerChoice(UINT8 Choice) {
    std::vector<UINT8> Data(NET_CONFIG_DATA_SIZE, 0);
    if (const auto* Existing = M().Variables().Find(NET_CONFIG_DATA_NAME, NET_CONFIG_DATA_GUID)) {
      Data = Existing->Data;
    }
    ASSERT_GT(Data.size(), NET_CONFIG_SERVER_CHOICE_OFFSET);
    Data[NET_CONFIG_SERVER_CHOICE_OFFSET] = Choice;
    M().Variables().Put(NET_CONFIG_DATA_NAME, NET_CONFIG_DATA_GUID, 3, Data);
  }

  void SetReply(const std::string& Reply) {
    sim::UpdateProfile P = Peers().Profile();
    P.ServerReply = Reply;
    Peers().SetProfile(P);
  }
  void EditProfile(void (*Edit)(sim::UpdateProfile&)) {
    sim::UpdateProfile P = Peers().Profile();
    Edit(P);
    Peers().SetProfile(P);
  }

  // The protocol as a caller finds it.
  UPDATE_LOCATOR_PROTOCOL* Locator() {
    VOID* Interface = nullptr;
    EXPECT_EQ(M().BootServices()->LocateProtocol(&UPDATE_LOCATOR_PROTOCOL::Guid, nullptr, &Interface), EFI_SUCCESS);
    return (UPDATE_LOCATOR_PROTOCOL*)Interface;
  }

  // One whole lookup through the protocol, results kept in the members.
  EFI_STATUS Locate() {
    std::memset(Host, 0x5A, sizeof Host);
    std::memset(Path, 0x5A, sizeof Path);
    Address = {{0xEE, 0xEE, 0xEE, 0xEE}};
    return Locator()->LocateDownload(Peers().Transport(), VALUE1, VALUE2, Host, Path, &Address);
  }

  std::string AddressText() const {
    return std::to_string(Address.Addr[0]) + "." + std::to_string(Address.Addr[1]) + "." +
           std::to_string(Address.Addr[2]) + "." + std::to_string(Address.Addr[3]);
  }

  static constexpr UINTN VALUE1 = 0x1111;
  static constexpr UINTN VALUE2 = 0x2222;
  CHAR8 Host[UPDATE_HOST_BUFFER_SIZE];
  CHAR8 Path[UPDATE_PATH_BUFFER_SIZE];
  EFI_IPv4_ADDRESS Address{};

  std::unique_ptr<sim::UpdatePeers> Peers_;
};

}  // namespace updatefetch_test
