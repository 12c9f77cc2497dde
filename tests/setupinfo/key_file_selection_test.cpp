// Choosing a key file: the volume list, browsing the stick's directories in
// the order the lists show them, the path, and hostile media.
#include "setupinfo/secureboot/key_file_selection.h"

#include "secure_boot_page_fixture.h"
#include "setupinfo/image_state.h"

namespace setupinfo_test {
namespace {

class KeyFileSelection : public SecureBootPageTest {
 protected:
  void Adjust(sim::SecureBootProfile&, std::vector<sim::FileVolumeProfile>& Volumes) override {
    sim::FileVolumeProfile NoPath;
    NoPath.Label = "no path";
    NoPath.Files = {FileNode("KEK", Bytes(7, 7))};
    Volumes.push_back(NoPath);
    sim::FileVolumeProfile Empty;
    Empty.Label = "empty";
    Empty.DevicePath = sim::UsbStickDevicePath(0x1D, 1);
    Volumes.push_back(Empty);
    AdjustVolumes(Volumes);
  }
  virtual void AdjustVolumes(std::vector<sim::FileVolumeProfile>&) {}

  // SelectKeyFile as the page calls it, inside a callback's package list.
  struct Selection {
    EFI_STATUS Status = EFI_SUCCESS;
    EFI_HANDLE Volume = nullptr;
    std::u16string Path;
    bool HasPath = false;
    bool HasData = false;
    Bytes Data;
  };
  Selection Select(BOOLEAN Browse = TRUE) {
    SecureBootPageState().HiiHandle = FormSetHandle(FORM_SET_CLASS_SECURE_BOOT);
    Selection S;
    CHAR16* Path = nullptr;
    VOID* Data = nullptr;
    UINTN Size = 0;
    S.Status = SelectKeyFile(Browse, &S.Volume, Browse ? &Path : nullptr, Browse ? &Data : nullptr, &Size);
    if (Path != nullptr) {
      S.HasPath = true;
      S.Path = Path;
      FreeBootPool(Path);
    }
    if (Data != nullptr) {
      S.HasData = true;
      S.Data.assign((UINT8*)Data, (UINT8*)Data + Size);
      FreeBootPool(Data);
    }
    return S;
  }
};

TEST_F(KeyFileSelection, VolumesAreListedByDevicePathAndOneWithoutIsStillListed) {
  Choose({1});
  Selection S = Select(FALSE);
  EXPECT_EQ(S.Status, EFI_SUCCESS);
  EXPECT_EQ(S.Volume, Files_->Handle(1));
  ASSERT_EQ(Boxes_->Lists.size(), 1u);
  EXPECT_EQ(Boxes_->Lists[0].Title, STR_VOLUME_LIST_TITLE);
  EXPECT_EQ(Boxes_->Lists[0].States,
            (std::vector<UINT8>{VOLUME_ITEM_HAS_PATH, VOLUME_ITEM_NO_DEVICE_PATH, VOLUME_ITEM_HAS_PATH}));
  EXPECT_EQ(Boxes_->Lists[0].Items[1], 0);
  // The stick's text in every language of the package list.
  const EFI_STRING_ID Id = Boxes_->Lists[0].Items[0];
  ASSERT_NE(Id, 0);
  EXPECT_EQ(Text(Id), u"Acpi(a0341d0, 0)\\PCI(14|0)\\USB(3,0)\\HD(Part1, Sig ?)\\");
  EXPECT_EQ(HiiText(FormSetHandle(FORM_SET_CLASS_SECURE_BOOT), Id, "ja-JP"), Text(Id));
  EXPECT_EQ(HiiText(FormSetHandle(FORM_SET_CLASS_SECURE_BOOT), Id, "de-DE"), Text(Id));
  // Without browsing nothing else is returned.
  EXPECT_FALSE(S.HasPath);
}

TEST_F(KeyFileSelection, DirectoriesListInTheOrderTheyAreRead) {
  Choose({0, ROOT_EFI, EFI_DOTDOT, ROOT_EFI, EFI_KEY_CER});
  Selection S = Select();
  ASSERT_EQ(S.Status, EFI_SUCCESS);
  EXPECT_EQ(S.Path, u"EFI\\KEY.CER");
  EXPECT_EQ(S.Data, StickCertificate);
  ASSERT_EQ(Boxes_->Lists.size(), 5u);
  // A root read as files first: files in reading order, then directories.
  EXPECT_EQ(ListTexts(1), (std::vector<std::u16string>{u"db.esl", u"empty.bin", u"hash.bin", u"<EFI>"}));
  // "." first: directories in reading order, then files in reverse.
  EXPECT_EQ(ListTexts(2),
            (std::vector<std::u16string>{u"<.>", u"<..>", u"<A>", u"<B>", u"KEY.CER", u"y", u"x"}));
  // ".." at index 1 went back to the root.
  EXPECT_EQ(ListTexts(3), ListTexts(1));
  for (size_t I = 1; I < 5; ++I) EXPECT_EQ(Boxes_->Lists[I].Title, STR_DIRECTORY_LIST_TITLE);
}

TEST_F(KeyFileSelection, DotStaysAndAnEmptyDirectorySaysSo) {
  Choose({0, ROOT_EFI, EFI_DOT, EFI_A, sim::MessageBoxPeer::ESCAPE});
  EXPECT_EQ(Select().Status, EFI_ABORTED);
  ASSERT_EQ(Boxes_->Lists.size(), 5u);
  EXPECT_EQ(ListTexts(3), ListTexts(2));
  // A subdirectory with nothing in it still lists "." and "..".
  EXPECT_EQ(ListTexts(4), (std::vector<std::u16string>{u"<.>", u"<..>"}));
  EXPECT_TRUE(Boxes_->Boxes.empty());
  // The empty volume's root has no entry at all.
  Choose({2});
  Selection S = Select();
  EXPECT_EQ(S.Status, EFI_NOT_FOUND);
  EXPECT_FALSE(S.HasPath);
  EXPECT_EQ(Shown(), (std::vector<std::u16string>{Box(STR_EMPTY_DIRECTORY_TITLE, STR_EMPTY_DIRECTORY_TEXT)}));
}

TEST_F(KeyFileSelection, EscapeInAnyListReturnsAbortedAndNoFile) {
  Choose({sim::MessageBoxPeer::ESCAPE});
  EXPECT_EQ(Select().Status, EFI_ABORTED);
  Choose({0, ROOT_EFI, EFI_B, sim::MessageBoxPeer::ESCAPE});
  Selection S = Select();
  EXPECT_EQ(S.Status, EFI_ABORTED);
  EXPECT_FALSE(S.HasPath);
  EXPECT_FALSE(S.HasData);
}

TEST_F(KeyFileSelection, AnIndexPastTheListIsRefused) {
  Boxes_->PassAnyIndex = true;
  Choose({3});
  EXPECT_EQ(Select(FALSE).Status, EFI_INVALID_PARAMETER);
  Choose({0, 4});
  Selection S = Select();
  EXPECT_EQ(S.Status, EFI_INVALID_PARAMETER);
  EXPECT_FALSE(S.HasData);
}

class KeyFileSelectionWithoutVolumes : public KeyFileSelection {
  void AdjustVolumes(std::vector<sim::FileVolumeProfile>& Volumes) override { Volumes.clear(); }
};

TEST_F(KeyFileSelectionWithoutVolumes, NoVolumeIsReported) {
  EXPECT_EQ(Select().Status, EFI_NOT_FOUND);
  EXPECT_EQ(Shown(), (std::vector<std::u16string>{Box(STR_NO_VOLUME_TITLE, STR_NO_VOLUME_TEXT)}));
}

// Nested directories with long names: the path keeps to 119 characters.
class KeyFileSelectionDeepTree : public KeyFileSelection {
  void AdjustVolumes(std::vector<sim::FileVolumeProfile>& Volumes) override {
    const std::string Long(50, 'L');
    Volumes[0].Files = {Directory(Long, {Directory(Long, {FileNode("short", {9}), FileNode(Long, {8})})})};
  }
};

TEST_F(KeyFileSelectionDeepTree, ANameThatWouldOverflowThePathIsRefusedAndTheListShownAgain) {
  // Root: one directory. Level 1: ., .., the deeper directory. Level 2: .,
  // .., then the files in reverse: the long name first (101 + 1 + 50 > 119).
  Choose({0, 0, 2, 2, 3});
  Selection S = Select();
  ASSERT_EQ(S.Status, EFI_SUCCESS);
  const std::u16string Long(50, u'L');
  EXPECT_EQ(S.Path, Long + u"\\" + Long + u"\\short");
  EXPECT_EQ(S.Data, Bytes{9});
  ASSERT_EQ(Boxes_->Lists.size(), 5u);
  EXPECT_EQ(ListTexts(3), ListTexts(4));
}

TEST(KeyFilePath, DotDotRemovesTheLastComponentWherePresent) {
  CHAR16 Path[KEY_FILE_PATH_CHARS] = {};
  EXPECT_EQ(UpdateKeyFilePath(Path, u".."), EFI_SUCCESS);
  EXPECT_EQ(std::u16string(Path), u"");
  UpdateKeyFilePath(Path, u"EFI");
  UpdateKeyFilePath(Path, u".");
  UpdateKeyFilePath(Path, u"BOOT");
  EXPECT_EQ(std::u16string(Path), u"EFI\\BOOT");
  UpdateKeyFilePath(Path, u"..");
  EXPECT_EQ(std::u16string(Path), u"EFI");
  UpdateKeyFilePath(Path, u"..");
  EXPECT_EQ(std::u16string(Path), u"");
  // Exactly 119 characters fit; one more is refused and changes nothing.
  const std::u16string Name(119, u'n');
  EXPECT_EQ(UpdateKeyFilePath(Path, Name.c_str()), EFI_SUCCESS);
  EXPECT_EQ(UpdateKeyFilePath(Path, u"x"), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ(std::u16string(Path), Name);
}

// Broken media: every fault ends the browse or is read around, and nothing
// leaks or is read past a record.
struct FAULT_CASE {
  sim::DirectoryFault Fault;
  bool Readable;  // the stick still gives KEY.CER
};

class KeyFileSelectionHostile : public KeyFileSelection, public testing::WithParamInterface<FAULT_CASE> {
  void AdjustVolumes(std::vector<sim::FileVolumeProfile>& Volumes) override { Volumes[0].Fault = GetParam().Fault; }
};

TEST_P(KeyFileSelectionHostile, RecordsAreBoundedBeforeUse) {
  Choose({0, ROOT_EFI, EFI_KEY_CER});
  if (!GetParam().Readable) Boxes_->ListChoices.resize(1);
  Selection S = Select();
  if (GetParam().Readable) {
    ASSERT_EQ(S.Status, EFI_SUCCESS);
    EXPECT_EQ(S.Data, StickCertificate);
    EXPECT_EQ(ListTexts(2), (std::vector<std::u16string>{u"<.>", u"<..>", u"<A>", u"<B>", u"KEY.CER", u"y", u"x"}));
  } else {
    EXPECT_TRUE(EFI_ERROR(S.Status));
    EXPECT_FALSE(S.HasData);
    EXPECT_EQ(Boxes_->Lists.size(), 1u);
  }
}

INSTANTIATE_TEST_SUITE_P(Faults, KeyFileSelectionHostile,
                         testing::Values(FAULT_CASE{sim::DirectoryFault::RecordBelowHeader, false},
                                         FAULT_CASE{sim::DirectoryFault::UnterminatedName, true},
                                         FAULT_CASE{sim::DirectoryFault::SizeChangesAfterProbe, true},
                                         FAULT_CASE{sim::DirectoryFault::ReadsMoreThanAsked, false}));

class KeyFileSelectionBadFiles : public KeyFileSelection {
  void AdjustVolumes(std::vector<sim::FileVolumeProfile>& Volumes) override {
    Volumes[1] = Volumes[0];
    Volumes[1].ShortRead = true;
    Volumes[0].Fault = sim::DirectoryFault::HugeFileSize;
  }
};

TEST_F(KeyFileSelectionBadFiles, AHugeClaimOrAShortReadGivesNoData) {
  Choose({0, ROOT_HASH});
  Selection S = Select();
  EXPECT_EQ(S.Status, EFI_BAD_BUFFER_SIZE);
  EXPECT_FALSE(S.HasData);
  Choose({1, ROOT_HASH});
  S = Select();
  EXPECT_EQ(S.Status, EFI_VOLUME_CORRUPTED);
  EXPECT_FALSE(S.HasData);
}

class KeyFileSelectionLargeDirectory : public KeyFileSelection {
  void AdjustVolumes(std::vector<sim::FileVolumeProfile>& Volumes) override {
    Volumes[0].Files.clear();
    for (int I = 0; I < 1100; ++I) Volumes[0].Files.push_back(FileNode("f" + std::to_string(I), {UINT8(I)}));
  }
};

TEST_F(KeyFileSelectionLargeDirectory, ThousandsOfEntriesAreBoundedAndFreed) {
  Choose({0, 1023});
  Selection S = Select();
  ASSERT_EQ(S.Status, EFI_SUCCESS);
  EXPECT_EQ(Boxes_->Lists[1].Items.size(), DIRECTORY_ENTRY_LIMIT);
  EXPECT_EQ(S.Path, u"f1023");
  EXPECT_EQ(S.Data, Bytes{UINT8(1023)});
}

// Allocation failure at each allocation of a browse that enters a
// directory and reads a file: nothing leaks, no handle stays open.
TEST_F(KeyFileSelection, EveryAllocationFailureIsCleanedUp) {
  Boxes_->Strict = false;
  for (size_t N = 0;; ++N) {
    SCOPED_TRACE(N);
    ASSERT_LT(N, 200u);
    Boxes_->ListChoices.clear();
    Choose({0, ROOT_EFI, EFI_KEY_CER});
    const size_t Live = M().LiveAllocationCount();
    M().Pool().FailAllocationAfter(N);
    Selection S = Select();
    const bool Failed = !M().Pool().FailurePending();
    M().Pool().ClearFailure();
    EXPECT_EQ(M().LiveAllocationCount(), Live);
    EXPECT_EQ(Files_->OpenHandles(), 0u);
    if (!Failed) {
      EXPECT_EQ(S.Data, StickCertificate);
      break;
    }
    EXPECT_TRUE(S.Data.empty() || S.Data == StickCertificate);
  }
  Boxes_->ListChoices.clear();
}

}  // namespace
}  // namespace setupinfo_test
