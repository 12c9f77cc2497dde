// The file-system stand-in answers as a FAT driver does: directory reads
// sized with EFI_BUFFER_TOO_SMALL, "." and ".." in subdirectories only,
// create, write, size changes and delete, and read-only media.
#include "sim/peers/file_system_peers.h"

#include <cstring>

#include "sim/machine_test.h"

namespace sim {
namespace {

FileNodeProfile File(const std::string& Name, std::vector<uint8_t> Data) { return {Name, false, std::move(Data), {}}; }

class FileSystemPeersTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    FileVolumeProfile V;
    V.Label = "stick";
    V.Files = {File("a.bin", {1, 2, 3}), FileNodeProfile{"DIR", true, {}, {File("in", {9})}}};
    FileVolumeProfile Locked = V;
    Locked.ReadOnly = true;
    Peers_ = std::make_unique<FileSystemPeers>(std::vector<FileVolumeProfile>{V, Locked});
    ASSERT_EQ(Peers_->Install(BS()), EFI_SUCCESS);
  }
  void TearDown() override {
    EXPECT_EQ(Peers_->OpenHandles(), 0u);
    MachineTest::TearDown();
  }
  EFI_FILE_PROTOCOL* Root(size_t Volume = 0) {
    VOID* Interface = nullptr;
    EXPECT_EQ(BS()->HandleProtocol(Peers_->Handle(Volume), &EFI_SIMPLE_FILE_SYSTEM_PROTOCOL::Guid, &Interface),
              EFI_SUCCESS);
    auto* Fs = (EFI_SIMPLE_FILE_SYSTEM_PROTOCOL*)Interface;
    EFI_FILE_PROTOCOL* R = nullptr;
    EXPECT_EQ(Fs->OpenVolume(Fs, &R), EFI_SUCCESS);
    return R;
  }
  // Every name of a directory, read with the sizing protocol.
  std::vector<std::u16string> Names(EFI_FILE_PROTOCOL* Dir) {
    std::vector<std::u16string> Out;
    for (;;) {
      UINTN Size = 0;
      EFI_STATUS S = Dir->Read(Dir, &Size, nullptr);
      if (S == EFI_SUCCESS && Size == 0) break;
      EXPECT_EQ(S, EFI_BUFFER_TOO_SMALL);
      std::vector<uint8_t> Record(Size);
      UINTN Got = Size;
      EXPECT_EQ(Dir->Read(Dir, &Got, Record.data()), EFI_SUCCESS);
      EXPECT_EQ(Got, Size);
      EFI_FILE_INFO Info;
      std::memcpy(&Info, Record.data(), SIZE_OF_EFI_FILE_INFO);
      EXPECT_EQ(Info.Size, Size);
      Out.push_back((const char16_t*)(Record.data() + SIZE_OF_EFI_FILE_INFO));
    }
    return Out;
  }
  std::unique_ptr<FileSystemPeers> Peers_;
};

TEST_F(FileSystemPeersTest, DirectoriesReadOneRecordAtATimeWithDotsBelowTheRoot) {
  EFI_FILE_PROTOCOL* R = Root();
  EXPECT_EQ(Names(R), (std::vector<std::u16string>{u"a.bin", u"DIR"}));
  EFI_FILE_PROTOCOL* D = nullptr;
  ASSERT_EQ(R->Open(R, &D, u"dir", EFI_FILE_MODE_READ, 0), EFI_SUCCESS);  // any case
  EXPECT_EQ(Names(D), (std::vector<std::u16string>{u".", u"..", u"in"}));
  EFI_FILE_PROTOCOL* Up = nullptr;
  ASSERT_EQ(D->Open(D, &Up, u"..\\a.bin", EFI_FILE_MODE_READ, 0), EFI_SUCCESS);
  uint8_t Buffer[8] = {};
  UINTN Size = sizeof(Buffer);
  EXPECT_EQ(Up->Read(Up, &Size, Buffer), EFI_SUCCESS);
  EXPECT_EQ(Size, 3u);
  EXPECT_EQ(Buffer[2], 3);
  EFI_FILE_PROTOCOL* Missing = nullptr;
  EXPECT_EQ(R->Open(R, &Missing, u"none", EFI_FILE_MODE_READ, 0), EFI_NOT_FOUND);
  EXPECT_EQ(R->Open(R, &Missing, u"a.bin", EFI_FILE_MODE_WRITE, 0), EFI_INVALID_PARAMETER);
  for (EFI_FILE_PROTOCOL* F : {Up, D, R}) F->Close(F);
}

TEST_F(FileSystemPeersTest, CreatedFilesAreWrittenCutAndDeleted) {
  EFI_FILE_PROTOCOL* R = Root();
  EFI_FILE_PROTOCOL* F = nullptr;
  ASSERT_EQ(R->Open(R, &F, u"a.bin", EFI_FILE_MODE_READ | EFI_FILE_MODE_WRITE | EFI_FILE_MODE_CREATE, 0), EFI_SUCCESS);
  const uint8_t Two[2] = {7, 8};
  UINTN Size = 2;
  ASSERT_EQ(F->Write(F, &Size, Two), EFI_SUCCESS);
  EXPECT_EQ(Peers_->Find(0, "a.bin")->Data, (std::vector<uint8_t>{7, 8, 3}));  // the old tail stays
  UINTN InfoSize = 0;
  ASSERT_EQ(F->GetInfo(F, &EFI_FILE_INFO::Guid, &InfoSize, nullptr), EFI_BUFFER_TOO_SMALL);
  std::vector<uint8_t> Info(InfoSize);
  ASSERT_EQ(F->GetInfo(F, &EFI_FILE_INFO::Guid, &InfoSize, Info.data()), EFI_SUCCESS);
  ((EFI_FILE_INFO*)Info.data())->FileSize = 2;
  ASSERT_EQ(F->SetInfo(F, &EFI_FILE_INFO::Guid, InfoSize, Info.data()), EFI_SUCCESS);
  EXPECT_EQ(Peers_->Find(0, "a.bin")->Data, (std::vector<uint8_t>{7, 8}));
  EXPECT_EQ(F->Delete(F), EFI_SUCCESS);
  EXPECT_EQ(Peers_->Find(0, "a.bin"), nullptr);
  ASSERT_EQ(R->Open(R, &F, u"new", EFI_FILE_MODE_READ | EFI_FILE_MODE_WRITE | EFI_FILE_MODE_CREATE, 0), EFI_SUCCESS);
  F->Close(F);
  EXPECT_NE(Peers_->Find(0, "new"), nullptr);
  R->Close(R);

  EFI_FILE_PROTOCOL* Locked = Root(1);
  EXPECT_EQ(Locked->Open(Locked, &F, u"x", EFI_FILE_MODE_READ | EFI_FILE_MODE_WRITE | EFI_FILE_MODE_CREATE, 0),
            EFI_WRITE_PROTECTED);
  Locked->Close(Locked);
}

}  // namespace
}  // namespace sim
