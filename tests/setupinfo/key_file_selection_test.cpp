// Choosing a key file: the volume list, browsing the stick's directories in
// the order the lists show them, the path, and hostile media.
#include "setupinfo/secureboot/key_file_selection.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>

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

// A directory whose Read answers exactly as scripted: sizes, statuses and
// records no real volume would give. Each case is one listing.
struct DIRECTORY_STEP {
  EFI_STATUS Status;
  UINTN Report;       // what *BufferSize says on return
  bool Fill = false;  // with Buffer: write a record holding Name (ASCII)
  std::string Name;
  UINT64 Attribute = 0;
  UINTN Bytes = 0;    // with Buffer: bytes written, 0 for the whole record
};

struct SCRIPTED_LISTING {
  const char* Label;
  std::vector<DIRECTORY_STEP> Steps;  // after the last one the directory ends
  EFI_STATUS Expected;
  std::vector<std::u16string> Names;
};

struct ScriptedDirectory {
  EFI_FILE_PROTOCOL Protocol{};
  const std::vector<DIRECTORY_STEP>* Steps = nullptr;
  size_t Next = 0;

  static Bytes Record(const DIRECTORY_STEP& Step) {
    Bytes Out(SIZE_OF_EFI_FILE_INFO + (Step.Name.size() + 1) * sizeof(CHAR16), 0);
    auto* Info = (EFI_FILE_INFO*)Out.data();
    Info->Size = Out.size();
    Info->Attribute = Step.Attribute;
    for (size_t I = 0; I < Step.Name.size(); ++I) Info->FileName[I] = (CHAR16)Step.Name[I];
    return Out;
  }
  static EFI_STATUS EFIAPI Read(EFI_FILE_PROTOCOL* This, UINTN* BufferSize, VOID* Buffer) {
    auto* Self = (ScriptedDirectory*)This;
    if (Self->Next == Self->Steps->size()) {
      *BufferSize = 0;
      return EFI_SUCCESS;
    }
    const DIRECTORY_STEP& Step = (*Self->Steps)[Self->Next++];
    if (Buffer != nullptr && Step.Fill) {
      const Bytes Whole = Record(Step);
      const UINTN Count = std::min<UINTN>(Step.Bytes != 0 ? Step.Bytes : Whole.size(), *BufferSize);
      std::memcpy(Buffer, Whole.data(), std::min<UINTN>(Count, Whole.size()));
    }
    *BufferSize = Step.Report;
    return Step.Status;
  }
};
static_assert(offsetof(ScriptedDirectory, Protocol) == 0);

// A well-formed record: the probe and the read.
std::vector<DIRECTORY_STEP> Entry(const std::string& Name, UINT64 Attribute = 0) {
  const UINTN Size = SIZE_OF_EFI_FILE_INFO + (Name.size() + 1) * sizeof(CHAR16);
  return {{EFI_BUFFER_TOO_SMALL, Size}, {EFI_SUCCESS, Size, true, Name, Attribute}};
}
std::vector<DIRECTORY_STEP> Join(std::initializer_list<std::vector<DIRECTORY_STEP>> Parts) {
  std::vector<DIRECTORY_STEP> Out;
  for (const auto& Part : Parts) Out.insert(Out.end(), Part.begin(), Part.end());
  return Out;
}

class KeyFileDirectoryScript : public KeyFileSelection, public testing::WithParamInterface<SCRIPTED_LISTING> {};

TEST_P(KeyFileDirectoryScript, EveryRecordIsCheckedBeforeItsNameIsKept) {
  SecureBootPageState().HiiHandle = FormSetHandle(FORM_SET_CLASS_SECURE_BOOT);
  ScriptedDirectory Directory;
  Directory.Protocol.Read = ScriptedDirectory::Read;
  Directory.Steps = &GetParam().Steps;
  const size_t Live = M().LiveAllocationCount();
  KEY_FILE_ENTRY* Entries = nullptr;
  UINTN Count = 0;
  EXPECT_EQ(ReadKeyFileDirectory(&Directory.Protocol, &Entries, &Count), GetParam().Expected);
  std::vector<std::u16string> Names;
  for (UINTN I = 0; I < Count; ++I) Names.push_back(Entries[I].Name);
  EXPECT_EQ(Names, GetParam().Names);
  if (EFI_ERROR(GetParam().Expected)) EXPECT_EQ(Entries, nullptr);
  FreeKeyFileEntries(Entries, Count);
  EXPECT_EQ(M().LiveAllocationCount(), Live);
}

const UINTN Header = SIZE_OF_EFI_FILE_INFO;
INSTANTIATE_TEST_SUITE_P(
    Listings, KeyFileDirectoryScript,
    testing::Values(
        SCRIPTED_LISTING{"empty", {}, EFI_NOT_FOUND, {}},
        SCRIPTED_LISTING{"probe fails", {{EFI_DEVICE_ERROR, 0}}, EFI_DEVICE_ERROR, {}},
        SCRIPTED_LISTING{"probe succeeds with a size", {{EFI_SUCCESS, Header}}, EFI_VOLUME_CORRUPTED, {}},
        SCRIPTED_LISTING{"probe below the header", {{EFI_BUFFER_TOO_SMALL, Header - 1}}, EFI_VOLUME_CORRUPTED, {}},
        SCRIPTED_LISTING{"probe past the limit", {{EFI_BUFFER_TOO_SMALL, FILE_INFO_SIZE_LIMIT + 1}},
                         EFI_VOLUME_CORRUPTED, {}},
        SCRIPTED_LISTING{"read fails", {{EFI_BUFFER_TOO_SMALL, Header + 4}, {EFI_NO_MEDIA, 0}}, EFI_NO_MEDIA, {}},
        SCRIPTED_LISTING{"read finds the end", Join({Entry("A"), {{EFI_BUFFER_TOO_SMALL, Header + 4}, {EFI_SUCCESS, 0}}}),
                         EFI_SUCCESS, {u"A"}},
        SCRIPTED_LISTING{"read shorter than a header",
                         {{EFI_BUFFER_TOO_SMALL, Header + 4}, {EFI_SUCCESS, Header - 2, true, "A", 0, Header - 2}},
                         EFI_VOLUME_CORRUPTED, {}},
        SCRIPTED_LISTING{"grows at every read",
                         {{EFI_BUFFER_TOO_SMALL, Header + 4}, {EFI_BUFFER_TOO_SMALL, Header + 6},
                          {EFI_BUFFER_TOO_SMALL, Header + 8}, {EFI_BUFFER_TOO_SMALL, Header + 10},
                          {EFI_BUFFER_TOO_SMALL, Header + 12}},
                         EFI_VOLUME_CORRUPTED, {}},
        SCRIPTED_LISTING{"grows once, then reads", Join({{{EFI_BUFFER_TOO_SMALL, Header + 2}}, Entry("LONGER")}),
                         EFI_SUCCESS, {u"LONGER"}},
        SCRIPTED_LISTING{"empty and separated names are left out",
                         Join({Entry(""), Entry("EFI\\KEY"), Entry("\\"), Entry("KEK", EFI_FILE_DIRECTORY)}),
                         EFI_SUCCESS, {u"KEK"}},
        SCRIPTED_LISTING{"only unusable names", Join({Entry("a\\b"), Entry("")}), EFI_NOT_FOUND, {}}),
    [](const testing::TestParamInfo<SCRIPTED_LISTING>& Info) {
      std::string Name;
      for (const char* C = Info.param.Label; *C; ++C) Name += std::isalnum((unsigned char)*C) ? *C : '_';
      return Name;
    });

TEST_F(KeyFileSelection, ADirectoryReadNeedsAllItsArguments) {
  ScriptedDirectory Directory;
  Directory.Protocol.Read = ScriptedDirectory::Read;
  const std::vector<DIRECTORY_STEP> None;
  Directory.Steps = &None;
  KEY_FILE_ENTRY* Entries = nullptr;
  UINTN Count = 0;
  EXPECT_EQ(ReadKeyFileDirectory(nullptr, &Entries, &Count), EFI_INVALID_PARAMETER);
  EXPECT_EQ(ReadKeyFileDirectory(&Directory.Protocol, nullptr, &Count), EFI_INVALID_PARAMETER);
  EXPECT_EQ(ReadKeyFileDirectory(&Directory.Protocol, &Entries, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Directory.Next, 0u);
}

}  // namespace
}  // namespace setupinfo_test
