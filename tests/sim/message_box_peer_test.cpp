#include "sim/peers/message_box_peer.h"

#include "sim/board_profile.h"
#include "sim/machine_test.h"

namespace sim {
namespace {

class MessageBoxPeerTest : public MachineTest {
 protected:
  MESSAGE_BOX_PROTOCOL* Locate() {
    VOID* Found = nullptr;
    if (BS()->LocateProtocol(&MESSAGE_BOX_PROTOCOL::Guid, nullptr, &Found) != EFI_SUCCESS) return nullptr;
    return (MESSAGE_BOX_PROTOCOL*)Found;
  }
};

TEST_F(MessageBoxPeerTest, AbsentUntilInstalled) {
  EXPECT_EQ(Locate(), nullptr);
  MessageBoxPeer Peer;
  ASSERT_EQ(Peer.Install(BS()), EFI_SUCCESS);
  EXPECT_EQ(Locate(), Peer.Protocol());
}

TEST_F(MessageBoxPeerTest, BoxesAreRecordedAndAnsweredInOrder) {
  MessageBoxPeer Peer;
  ASSERT_EQ(Peer.Install(BS()), EFI_SUCCESS);
  MESSAGE_BOX_PROTOCOL* Service = Locate();
  ASSERT_NE(Service, nullptr);
  Peer.Answers = {0, 1};
  Peer.EmptyAnswer = 7;

  UINT8 Answer = 0xAA;
  EXPECT_EQ(Service->MessageBox(u"T", u"notice", MESSAGE_BOX_NOTICE, &Answer), EFI_SUCCESS);
  EXPECT_EQ(Answer, 0xAA) << "a notice answers nothing and takes no scripted answer";
  EXPECT_EQ(Service->MessageBox(u"T", u"first", MESSAGE_BOX_CONFIRM, &Answer), EFI_SUCCESS);
  EXPECT_EQ(Answer, 0);
  EXPECT_EQ(Service->MessageBox(u"T", u"second", MESSAGE_BOX_YES_NO, &Answer), EFI_SUCCESS);
  EXPECT_EQ(Answer, 1);
  EXPECT_EQ(Service->MessageBox(u"T", u"third", MESSAGE_BOX_CONFIRM, &Answer), EFI_SUCCESS);
  EXPECT_EQ(Answer, 7);

  ASSERT_EQ(Peer.Boxes.size(), 4u);
  EXPECT_EQ(Peer.Boxes[0].Text, u"notice");
  EXPECT_EQ(Peer.Boxes[1].Kind, MESSAGE_BOX_CONFIRM);
  EXPECT_EQ(Peer.Boxes[2].Title, u"T");
  EXPECT_EQ(Peer.Boxes[3].Text, u"third");
}

TEST_F(MessageBoxPeerTest, FailingServiceAnswersNothing) {
  MessageBoxPeer Peer;
  Peer.MessageBoxStatus = EFI_DEVICE_ERROR;
  Peer.Answers = {1};
  UINT8 Answer = 0x55;
  EXPECT_EQ(Peer.Protocol()->MessageBox(u"T", u"x", MESSAGE_BOX_CONFIRM, &Answer), EFI_DEVICE_ERROR);
  EXPECT_EQ(Answer, 0x55);
  EXPECT_EQ(Peer.Answers.size(), 1u);
  EXPECT_EQ(Peer.Boxes.size(), 1u);
}

TEST_F(MessageBoxPeerTest, ListChoicesOutOfRangeOrMissingLeaveTheList) {
  MessageBoxPeer Peer;
  MESSAGE_BOX_LIST_ITEM Items[3] = {};
  Items[0].StringId = 10;
  Items[1].StringId = 11;
  Items[2].StringId = 12;
  Peer.ListChoices = {2, 3};
  UINTN Index = 99;
  EXPECT_EQ(Peer.Protocol()->SelectFromList(nullptr, 2999, 0, Items, 3, &Index), EFI_SUCCESS);
  EXPECT_EQ(Index, 2u);
  Index = 99;
  EXPECT_EQ(Peer.Protocol()->SelectFromList(nullptr, 2999, 0, Items, 3, &Index), EFI_ABORTED);
  EXPECT_EQ(Peer.Protocol()->SelectFromList(nullptr, 3000, 0, Items, 3, &Index), EFI_ABORTED);
  EXPECT_EQ(Index, 99u);
  ASSERT_EQ(Peer.Lists.size(), 3u);
  EXPECT_EQ(Peer.Lists[0].Items, (std::vector<EFI_STRING_ID>{10, 11, 12}));
  EXPECT_EQ(Peer.Lists[2].Title, 3000);
  EXPECT_EQ(Peer.Protocol()->SelectFromList(nullptr, 1, 0, Items, 3, nullptr), EFI_INVALID_PARAMETER);
}

TEST_F(MessageBoxPeerTest, ProfileScriptsTheAnswersOrLeavesTheServiceOut) {
  BoardProfile P;
  std::string E;
  ASSERT_TRUE(ParseBoardProfile(R"({"firmware": {"vendor": "V", "revision": 1},
      "messageBox": {"answers": [1, 0], "emptyAnswer": 9, "listChoices": [4]}})",
                                "t", P, E))
      << E;
  MessageBoxPeer Peer(P.MessageBox);
  ASSERT_EQ(Peer.Install(BS()), EFI_SUCCESS);
  UINT8 Answer = 0;
  Locate()->MessageBox(u"T", u"x", MESSAGE_BOX_CONFIRM, &Answer);
  EXPECT_EQ(Answer, 1);
  Locate()->MessageBox(u"T", u"x", MESSAGE_BOX_CONFIRM, &Answer);
  EXPECT_EQ(Answer, 0);
  Locate()->MessageBox(u"T", u"x", MESSAGE_BOX_CONFIRM, &Answer);
  EXPECT_EQ(Answer, 9);
  EXPECT_EQ(Peer.ListChoices, (std::deque<uint64_t>{4}));

  EXPECT_FALSE(ParseBoardProfile(R"({"firmware": {"vendor": "V", "revision": 1}, "messageBox": {"answers": [256]}})",
                                 "t", P, E));
  EXPECT_EQ(E, "t: $.messageBox.answers[0]: value 0x100 is out of range (0 to 0xFF)");

  MessageBoxProfile Absent;
  Absent.Present = false;
  MessageBoxPeer Missing(Absent);
  EXPECT_EQ(Missing.Install(BS()), EFI_NOT_FOUND);
}

}  // namespace
}  // namespace sim
