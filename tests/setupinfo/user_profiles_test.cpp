// The user-default profiles as a user reaches them on the tools page: a
// name asked for and stored, the browser's stores saved as records and
// copied back, the saved marks, the names on the tools and main pages, and
// stored content that does not fit what the browser holds.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/profile_storage.h"
#include "setupinfo/pages/platform/user_profiles.h"
#include "setupinfo_fixture.h"
#include "sim/peers/profile_peers.h"

namespace setupinfo_test {
namespace {

constexpr const char* Languages[] = {"en-US", "de-DE", "ja-JP"};
constexpr UINT16 NameClasses[] = {0x8, 0x1};
constexpr size_t QUICK_SETUP_SIZE = 16;
constexpr size_t SUPER_IO_SIZE = 4;

std::vector<UINT8> Filled(size_t Size, UINT8 First) {
  std::vector<UINT8> Bytes(Size);
  for (size_t I = 0; I < Size; ++I) Bytes[I] = UINT8(First + I);
  return Bytes;
}

void Append(std::vector<UINT8>& Out, const std::vector<UINT8>& Bytes) { Out.insert(Out.end(), Bytes.begin(), Bytes.end()); }

void AppendLength(std::vector<UINT8>& Out, UINT32 Length) {
  for (int I = 0; I < 4; ++I) Out.push_back(UINT8(Length >> (8 * I)));
}

std::vector<UINT8> Record(const std::vector<UINT8>& Bytes) {
  std::vector<UINT8> Out;
  AppendLength(Out, UINT32(Bytes.size()));
  Append(Out, Bytes);
  return Out;
}

std::u16string Wide(const char* Text) { return std::u16string(Text, Text + std::strlen(Text)); }

std::u16string ContentName(int N) { return u"TWL_USER_DEF0" + std::u16string(1, char16_t(u'0' + N)); }
std::u16string NameName(int N) { return u"TWL_USER_DEF_NAME0" + std::u16string(1, char16_t(u'0' + N)); }

// The 40 bytes a name variable holds for Text.
std::string NameBytes(const std::u16string& Text) {
  std::string Bytes(PROFILE_NAME_BYTES, '\0');
  std::memcpy(Bytes.data(), Text.data(), std::min(Text.size() * 2, Bytes.size()));
  return Bytes;
}

class UserProfiles : public SetupInfoTest {
 protected:
  // The board declares the quick-setup store, one Super I/O store and the
  // saved marks beside Setup; it has no UsbSupport.
  void Customise(sim::BoardProfile& Profile) override {
    sim::ProfileStorageProfile Storage;
    Storage.Stores = {
        {u"ORVQSBSetup", QUICK_SETUP_STORE_GUID, Filled(QUICK_SETUP_SIZE, 0x40)},
        {u"PNP0501_0_NV", SUPER_IO_STORE_GUID, Filled(SUPER_IO_SIZE, 0x70)},
        {PROFILE_SAVED_MARKS_NAME, SETUP_VARIABLE_GUID, std::vector<UINT8>(3, 0)},
    };
    CustomiseStorage(Storage);
    Profile.ProfileStorage = Storage;
  }
  virtual void CustomiseStorage(sim::ProfileStorageProfile&) {}

  // The platform's image, loaded before the setup driver at every boot.
  static EFI_STATUS EFIAPI PlatformEntry(EFI_HANDLE, EFI_SYSTEM_TABLE* SystemTable) {
    UserProfiles* Self = Current;
    Self->Peer_ = std::make_unique<sim::ProfileStoragePeer>(*Self->M().Profile().ProfileStorage);
    Self->Peer_->DeclareStores();
    if (Self->InstallPeer) Self->Peer_->Install(SystemTable->BootServices);
    return EFI_SUCCESS;
  }

  EFI_STATUS Boot() {
    Current = this;
    M().LoadImage({"profile-platform", PlatformEntry, nullptr});
    const EFI_STATUS Status = LoadDriver();
    Browser().Open();
    return Status;
  }
  // A power cycle: the pages load again once setup is asked for.
  void Reboot() {
    M().Reboot();
    ASSERT_EQ(InstallTrigger(), EFI_SUCCESS);
    ASSERT_EQ(Browser().Open(), EFI_SUCCESS);
  }

  sim::ProfileStoragePeer& Peer() { return *Peer_; }

  EFI_STATUS Press(UINT16 Key, EFI_BROWSER_ACTION Action = EFI_BROWSER_ACTION_CHANGING, UINT16 Through = 0x8) {
    EFI_IFR_TYPE_VALUE Value{};
    return Browser().Callback(Through, Action, Key, EFI_IFR_TYPE_NUM_SIZE_8, Value);
  }
  EFI_STATUS Save(int N, const char* Name) {
    Peer().TextAnswers.push_back(Wide(Name));
    return Press(UINT16(PROFILE_FIRST_KEY + 2 * N));
  }
  EFI_STATUS Load(int N) { return Press(UINT16(PROFILE_FIRST_KEY + 2 * N + 1)); }

  std::vector<UINT8>& Store(const std::u16string& Name, const EFI_GUID& Guid) {
    std::vector<UINT8>* Bytes = Browser().StoreBytes(Name, Guid);
    EXPECT_NE(Bytes, nullptr);
    static std::vector<UINT8> None;
    return Bytes != nullptr ? *Bytes : None;
  }
  std::vector<UINT8>& SetupStore() { return Store(u"Setup", SETUP_VARIABLE_GUID); }
  std::vector<UINT8>& QuickSetup() { return Store(u"ORVQSBSetup", QUICK_SETUP_STORE_GUID); }
  std::vector<UINT8>& SuperIo() { return Store(u"PNP0501_0_NV", SUPER_IO_STORE_GUID); }
  std::vector<UINT8>& Marks() { return Store(PROFILE_SAVED_MARKS_NAME, SETUP_VARIABLE_GUID); }

  std::string Content(int N) { return Variable(ContentName(N), PROFILE_VARIABLE_GUID); }
  std::string Name(int N) { return Variable(NameName(N), PROFILE_VARIABLE_GUID); }
  // The stored name up to its NUL; "<not 40 bytes>" for a variable of any other size. The bytes
  // after the NUL are what the prompt's buffer held there.
  std::u16string StoredName(int N) {
    const std::string Bytes = Name(N);
    if (Bytes.size() != PROFILE_NAME_BYTES) return u"<not 40 bytes>";
    std::u16string Text;
    for (size_t I = 0; I + 1 < Bytes.size(); I += 2) {
      const char16_t C = char16_t(UINT8(Bytes[I]) | UINT8(Bytes[I + 1]) << 8);
      if (C == 0) return Text;
      Text.push_back(C);
    }
    return u"<no NUL>";
  }
  void PutContent(int N, const std::vector<UINT8>& Bytes) {
    M().Variables().Put(ContentName(N), PROFILE_VARIABLE_GUID, PROFILE_VARIABLE_ATTRIBUTES, Bytes);
  }
  void PutName(int N, const std::string& Bytes) { PutVariable(NameName(N), PROFILE_VARIABLE_GUID, Bytes, 0x7); }

  // What a save of the browser's stores now must write.
  std::string ExpectedContent() {
    std::vector<UINT8> Out;
    Append(Out, Record(SetupStore()));
    Append(Out, Record(QuickSetup()));
    Append(Out, Record(SuperIo()));
    return std::string(Out.begin(), Out.end());
  }

  std::u16string ProfileText(UINT16 Class, int N, const char* Language = "en-US") {
    return HiiText(FormSetHandle(Class), ProfileStrings[N].Name, Language);
  }
  void ExpectProfileText(int N, const std::u16string& English) {
    for (UINT16 Class : NameClasses) EXPECT_EQ(ProfileText(Class, N), English) << "class 0x" << std::hex << Class;
  }

  // Every store a profile covers, changed so a load shows.
  void ChangeStores() {
    for (auto* Bytes : {&SetupStore(), &QuickSetup(), &SuperIo()})
      for (UINT8& B : *Bytes) B = UINT8(B ^ 0xA5);
  }

  bool InstallPeer = true;
  std::unique_ptr<sim::ProfileStoragePeer> Peer_;
  static inline UserProfiles* Current = nullptr;
};

TEST_F(UserProfiles, SaveChangeLoadAndSaveAcrossTwoBoots) {
  ASSERT_EQ(Boot(), EFI_SUCCESS);
  SetupStore()[0x80] = 42;
  const std::vector<UINT8> SavedSetup = SetupStore(), SavedQuick = QuickSetup(), SavedSuperIo = SuperIo();
  ASSERT_EQ(Save(1, "Gaming"), EFI_SUCCESS);

  EXPECT_EQ(StoredName(1), u"Gaming");
  EXPECT_EQ(Content(1), ExpectedContent());
  EXPECT_EQ(M().Variables().Find(ContentName(1), PROFILE_VARIABLE_GUID)->Attributes, PROFILE_VARIABLE_ATTRIBUTES);
  EXPECT_EQ(Marks(), (std::vector<UINT8>{0, 1, 0}));
  EXPECT_EQ(Peer().ChangedFlag, 1);
  ExpectProfileText(1, u"Profile 2: Gaming");
  EXPECT_EQ(ProfileText(0x8, 1, "de-DE"), u"Profil 2: Gaming");
  EXPECT_EQ(ProfileText(0x1, 1, "ja-JP"), u"プロファイル 2: Gaming");
  ExpectProfileText(0, u"Profile 1: not saved");
  ASSERT_EQ(Browser().Save(), EFI_SUCCESS);

  Reboot();
  ExpectProfileText(1, u"Profile 2: Gaming");
  EXPECT_EQ(Marks()[1], 1);
  ChangeStores();
  ASSERT_EQ(Browser().Save(), EFI_SUCCESS);
  const std::string Changed(SetupStore().begin(), SetupStore().end());
  ASSERT_NE(SetupStore(), SavedSetup);
  ASSERT_EQ(Load(1), EFI_SUCCESS);
  EXPECT_EQ(SetupStore(), SavedSetup);
  EXPECT_EQ(QuickSetup(), SavedQuick);
  EXPECT_EQ(SuperIo(), SavedSuperIo);
  EXPECT_EQ(Peer().ChangedFlag, 1);
  ASSERT_EQ(Peer().Messages.size(), 1u);
  EXPECT_EQ(Peer().Messages[0].Title, u"Load profile");
  EXPECT_EQ(Peer().Messages[0].Text, u"Gaming loaded; save to keep it.");
  EXPECT_EQ(Peer().Messages[0].Kind, PROFILE_INFORMATION_BOX);
  EXPECT_FALSE(Peer().Messages[0].AnswerPointer);
  // Loading only fills the browser; the user's save stores it.
  EXPECT_EQ(SetupGuidVariable(u"Setup"), Changed);
  ASSERT_EQ(Browser().Save(), EFI_SUCCESS);
  EXPECT_EQ(SetupGuidVariable(u"Setup"), std::string(SavedSetup.begin(), SavedSetup.end()));
  EXPECT_EQ(Variable(u"ORVQSBSetup", QUICK_SETUP_STORE_GUID), std::string(SavedQuick.begin(), SavedQuick.end()));
}

TEST_F(UserProfiles, PromptProposesTheStoredNameOrTheDefaultCountedFromOne) {
  ASSERT_EQ(Boot(), EFI_SUCCESS);
  for (int N = 0; N < 3; ++N) {
    SCOPED_TRACE(testing::Message() << "profile " << N);
    ASSERT_EQ(Press(UINT16(PROFILE_FIRST_KEY + 2 * N)), EFI_SUCCESS);  // the user takes the proposal
    ASSERT_EQ(Peer().Prompts.size(), size_t(N + 1));
    const sim::TextPromptShown& Prompt = Peer().Prompts.back();
    const std::u16string Default = u"User Default " + std::u16string(1, char16_t(u'1' + N));
    EXPECT_EQ(Prompt.Proposed, Default);
    EXPECT_EQ(Prompt.Prompt, STR_PROFILE_NAME_PROMPT);
    EXPECT_EQ(Prompt.MaxLength, 19u);
    EXPECT_EQ(Prompt.Flags, 0u);
    EXPECT_EQ(Prompt.HiiHandle, FormSetHandle(0x8));
    EXPECT_EQ(StoredName(N), Default);
    ExpectProfileText(N, u"Profile " + std::u16string(1, char16_t(u'1' + N)) + u": " + Default);
  }
  ASSERT_EQ(Save(1, "Quiet"), EFI_SUCCESS);
  ASSERT_EQ(Press(PROFILE_FIRST_KEY + 2), EFI_SUCCESS);
  EXPECT_EQ(Peer().Prompts.back().Proposed, u"Quiet");

  // 19 characters fill the prompt; the terminator still follows within 40 bytes.
  ASSERT_EQ(Save(2, "ABCDEFGHIJKLMNOPQRS"), EFI_SUCCESS);
  EXPECT_EQ(StoredName(2), u"ABCDEFGHIJKLMNOPQRS");
  EXPECT_EQ(Name(2).substr(38), std::string(2, '\0'));
  ExpectProfileText(2, u"Profile 3: ABCDEFGHIJKLMNOPQRS");

  // An empty name is kept as such and shown through the other template.
  ASSERT_EQ(Save(0, ""), EFI_SUCCESS);
  EXPECT_EQ(StoredName(0), u"");
  ExpectProfileText(0, u"Profile 1: (no name)");
  EXPECT_EQ(ProfileText(0x1, 0, "de-DE"), u"Profil 1: (ohne Namen)");
}

TEST_F(UserProfiles, ACancelledOrFailedPromptSavesNothing) {
  ASSERT_EQ(Boot(), EFI_SUCCESS);
  ASSERT_EQ(Save(0, "Kept"), EFI_SUCCESS);
  const std::string KeptName = Name(0), KeptContent = Content(0);
  const std::vector<UINT8> KeptMarks = Marks();
  Marks()[0] = 0;
  ChangeStores();
  for (bool Cancel : {true, false}) {
    SCOPED_TRACE(Cancel ? "cancelled" : "prompt fails");
    M().Variables().ClearSetLog();
    Peer().ChangedFlag = 0;
    if (Cancel) {
      Peer().TextAnswers.push_back(std::nullopt);
    } else {
      Peer().ReadTextStatus = EFI_DEVICE_ERROR;
    }
    const size_t Calls = Peer().StoreCalls.size();
    EXPECT_EQ(Press(PROFILE_FIRST_KEY), EFI_SUCCESS);
    EXPECT_TRUE(WrittenNames().empty());
    EXPECT_EQ(Name(0), KeptName);
    EXPECT_EQ(Content(0), KeptContent);
    EXPECT_EQ(Marks()[0], 0);
    EXPECT_EQ(Peer().StoreCalls.size(), Calls);
    EXPECT_EQ(Peer().ChangedFlag, 0);
    ExpectProfileText(0, u"Profile 1: Kept");
  }
  EXPECT_EQ(KeptMarks[0], 1);
}

// The name is written first; a content write that fails (or a profile with
// nothing to hold) leaves the saved mark and any earlier content as they were.
TEST_F(UserProfiles, AFailedContentWriteLeavesTheSavedMarksAlone) {
  ASSERT_EQ(Boot(), EFI_SUCCESS);
  M().Variables().FailSet(ContentName(2), EFI_OUT_OF_RESOURCES);
  const size_t CallsBefore = Peer().StoreCalls.size();
  ASSERT_EQ(Save(2, "Silent"), EFI_SUCCESS);
  EXPECT_EQ(StoredName(2), u"Silent");
  EXPECT_EQ(Content(2), "<none>");
  EXPECT_EQ(Marks(), (std::vector<UINT8>(3, 0)));
  for (size_t I = CallsBefore; I < Peer().StoreCalls.size(); ++I) {
    EXPECT_EQ(Peer().StoreCalls[I].Entry, sim::ProfileStoreEntry::Get);
    EXPECT_NE(Peer().StoreCalls[I].Store, PROFILE_SAVED_MARKS_NAME);
  }
  ExpectProfileText(2, u"Profile 3: Silent");
}

class UserProfilesWithoutStores : public UserProfiles {
 protected:
  void CustomiseStorage(sim::ProfileStorageProfile& Storage) override {
    Storage.Stores = {{PROFILE_SAVED_MARKS_NAME, SETUP_VARIABLE_GUID, std::vector<UINT8>(3, 0)}};
  }
};

// A write of 0 bytes would delete the profile and report success.
TEST_F(UserProfilesWithoutStores, NoStoreHeldIsAFailedSaveThatKeepsTheOldContent) {
  ASSERT_TRUE(M().Variables().Erase(u"Setup", SETUP_VARIABLE_GUID));
  ASSERT_EQ(Boot(), EFI_SUCCESS);
  ASSERT_EQ(Browser().StoreBytes(u"Setup", SETUP_VARIABLE_GUID), nullptr);
  PutContent(0, Record(Filled(8, 1)));
  const std::string Before = Content(0);
  M().Variables().ClearSetLog();
  ASSERT_EQ(Save(0, "Nothing"), EFI_SUCCESS);
  EXPECT_EQ(WrittenNames(), (std::vector<std::u16string>{NameName(0)}));
  EXPECT_EQ(Content(0), Before);
  EXPECT_EQ(Marks(), (std::vector<UINT8>(3, 0)));
}

TEST_F(UserProfiles, TheSavedMarkIsSetOnlyInAHeldByteAndSurvivesAReplacedBuffer) {
  ASSERT_EQ(Boot(), EFI_SUCCESS);
  // Two bytes: profiles 0 and 1 can be marked, profile 2 cannot.
  Marks().assign(2, 0);
  Marks().shrink_to_fit();
  ASSERT_EQ(Save(2, "Third"), EFI_SUCCESS);
  EXPECT_EQ(Content(2), ExpectedContent());
  EXPECT_EQ(Marks(), (std::vector<UINT8>{0, 0}));

  // A browser that takes the change up into a new buffer: the mark is set
  // there too (a write through the old pointer would be a use after free).
  Peer().ReplaceOnCommit = true;
  ASSERT_EQ(Save(1, "Second"), EFI_SUCCESS);
  EXPECT_EQ(Marks(), (std::vector<UINT8>{0, 1}));
  const sim::ProfileStoreCall& Commit = Peer().StoreCalls.back();
  EXPECT_EQ(Commit.Entry, sim::ProfileStoreEntry::Commit);
  EXPECT_EQ(Commit.Store, PROFILE_SAVED_MARKS_NAME);
  EXPECT_EQ(Commit.Guid, SETUP_VARIABLE_GUID);

  // A failed commit leaves the byte set in the buffer the driver holds.
  Peer().ReplaceOnCommit = false;
  Peer().CommitStatus = EFI_DEVICE_ERROR;
  ASSERT_EQ(Save(0, "First"), EFI_SUCCESS);
  EXPECT_EQ(Marks(), (std::vector<UINT8>{1, 1}));
}

// Between the sizing pass and the copying pass a store may change: one that
// grew gives its remembered length, one that shrank or went away fails the save.
TEST_F(UserProfiles, AStoreChangingBetweenTheTwoPassesNeverOverrunsTheContent) {
  ASSERT_EQ(Boot(), EFI_SUCCESS);
  enum CHANGE { GROWS, SHRINKS, VANISHES };
  for (CHANGE Change : {GROWS, SHRINKS, VANISHES}) {
    SCOPED_TRACE(testing::Message() << "change " << Change);
    QuickSetup() = Filled(QUICK_SETUP_SIZE, 0x40);
    Marks().assign(3, 0);
    const std::string Whole = ExpectedContent();
    int Seen = 0;
    Peer().BeforeGetStore = [&](const std::u16string& Store) {
      if (Store != u"ORVQSBSetup" || ++Seen != 2) return;
      if (Change == GROWS) QuickSetup().resize(QUICK_SETUP_SIZE + 64, 0xEE);
      if (Change == SHRINKS) QuickSetup().resize(QUICK_SETUP_SIZE - 1);
      if (Change == VANISHES) Peer().GetStoreStatus = EFI_NOT_FOUND;
    };
    M().Variables().Erase(ContentName(0), PROFILE_VARIABLE_GUID);
    ASSERT_EQ(Save(0, "Moving"), EFI_SUCCESS);
    Peer().BeforeGetStore = nullptr;
    Peer().GetStoreStatus = EFI_SUCCESS;
    EXPECT_EQ(Seen, 2);
    if (Change == GROWS) {
      EXPECT_EQ(Content(0), Whole);
      EXPECT_EQ(Marks()[0], 1);
    } else {
      EXPECT_EQ(Content(0), "<none>");
      EXPECT_EQ(Marks()[0], 0);
    }
  }
}

TEST_F(UserProfiles, ALoadStopsAtTheFirstStoreWhoseSizeChangedAndKeepsWhatWasCopied) {
  ASSERT_EQ(Boot(), EFI_SUCCESS);
  const std::vector<UINT8> SavedSetup = SetupStore();
  ASSERT_EQ(Save(0, "Sized"), EFI_SUCCESS);
  ChangeStores();
  const std::vector<UINT8> ChangedSuperIo = SuperIo();
  QuickSetup().resize(QUICK_SETUP_SIZE + 4, 0x11);
  const std::vector<UINT8> GrownQuick = QuickSetup();
  Peer().ChangedFlag = 0;
  ASSERT_EQ(Load(0), EFI_SUCCESS);
  EXPECT_EQ(SetupStore(), SavedSetup);
  EXPECT_EQ(QuickSetup(), GrownQuick);
  EXPECT_EQ(SuperIo(), ChangedSuperIo);
  EXPECT_EQ(Peer().ChangedFlag, 1);
  EXPECT_TRUE(Peer().Messages.empty());
}

// The content variable is runtime-writable: every record is bounded by the
// data that remains. Setup is always copied; the quick-setup record is the
// hostile one, and nothing from it on is copied, nor any message shown.
TEST_F(UserProfiles, StoredContentThatDoesNotFitStopsTheLoadWithoutReadingPastIt) {
  ASSERT_EQ(Boot(), EFI_SUCCESS);
  ASSERT_EQ(Save(0, "Crafted"), EFI_SUCCESS);
  const std::vector<UINT8> Profile = Filled(1172, 3);
  struct CASE {
    const char* What;
    std::vector<UINT8> Tail;  // after the Setup record
  };
  std::vector<CASE> Cases;
  Cases.push_back({"nothing after Setup", {}});
  Cases.push_back({"three bytes of a length", {16, 0, 0}});
  for (UINT32 Length : {17u, 20u, 1000u, 0x7FFFFFFFu, 0xFFFFFFFCu, 0xFFFFFFFDu, 0xFFFFFFFFu}) {
    std::vector<UINT8> Tail;
    AppendLength(Tail, Length);
    Append(Tail, Filled(16, 0x90));
    Cases.push_back({"length past the data", Tail});
  }
  // A record for a store the browser no longer holds (UsbSupport) lies where
  // the quick-setup record should be.
  std::vector<UINT8> Stale = Record(Filled(8, 0x55));
  Append(Stale, Record(Filled(QUICK_SETUP_SIZE, 0x90)));
  Cases.push_back({"record of a store no longer held", Stale});
  for (const CASE& C : Cases) {
    SCOPED_TRACE(C.What);
    std::vector<UINT8> Bytes = Record(Profile);
    Append(Bytes, C.Tail);
    PutContent(0, Bytes);
    ChangeStores();
    const std::vector<UINT8> Quick = QuickSetup(), SuperIoBefore = SuperIo();
    const size_t Messages = Peer().Messages.size();
    ASSERT_EQ(Load(0), EFI_SUCCESS);
    EXPECT_EQ(SetupStore(), Profile);
    EXPECT_EQ(QuickSetup(), Quick);
    EXPECT_EQ(SuperIo(), SuperIoBefore);
    EXPECT_EQ(Peer().Messages.size(), Messages);
  }
  // A Setup record that claims more than the variable holds copies nothing.
  std::vector<UINT8> Short;
  AppendLength(Short, 1172);
  Append(Short, Filled(100, 9));
  PutContent(0, Short);
  const std::vector<UINT8> Before = SetupStore();
  ASSERT_EQ(Load(0), EFI_SUCCESS);
  EXPECT_EQ(SetupStore(), Before);
  // Records beyond the stores held are never looked at.
  std::vector<UINT8> Longer = Record(Profile);
  Append(Longer, Record(Filled(QUICK_SETUP_SIZE, 1)));
  Append(Longer, Record(Filled(SUPER_IO_SIZE, 2)));
  AppendLength(Longer, 0xFFFFFFFF);
  PutContent(0, Longer);
  ASSERT_EQ(Load(0), EFI_SUCCESS);
  EXPECT_EQ(SuperIo(), Filled(SUPER_IO_SIZE, 2));
  EXPECT_EQ(Peer().Messages.back().Text, u"Crafted loaded; save to keep it.");
}

// Names are runtime-writable too: 40 bytes without a NUL read as 20
// characters, and a name is only ever text, never a format.
TEST_F(UserProfiles, StoredNamesAreBoundedAndShownAsText) {
  std::string Unterminated;
  for (int I = 0; I < 20; ++I) Unterminated += std::string{char('a' + I), '\0'};
  PutName(0, Unterminated);
  PutName(1, NameBytes(u"%s%d%n"));
  PutName(2, std::string(41, 'x'));  // larger than a name: none
  ASSERT_EQ(Boot(), EFI_SUCCESS);
  for (const char* Language : Languages) {
    SCOPED_TRACE(Language);
    const std::u16string Prefix = Language == std::string("en-US")   ? u"Profile "
                                  : Language == std::string("de-DE") ? u"Profil "
                                                                     : u"プロファイル ";
    for (UINT16 Class : NameClasses) {
      EXPECT_EQ(ProfileText(Class, 0, Language), Prefix + u"1: abcdefghijklmnopqrst");
      EXPECT_EQ(ProfileText(Class, 1, Language), Prefix + u"2: %s%d%n");
    }
  }
  ExpectProfileText(2, u"Profile 3: not saved");

  std::vector<UINT8> Whole = Record(SetupStore());
  Append(Whole, Record(QuickSetup()));
  Append(Whole, Record(SuperIo()));
  PutContent(0, Whole);
  PutContent(1, Whole);
  ASSERT_EQ(Load(0), EFI_SUCCESS);
  ASSERT_EQ(Load(1), EFI_SUCCESS);
  ASSERT_EQ(Peer().Messages.size(), 2u);
  EXPECT_EQ(Peer().Messages[0].Text, u"abcdefghijklmnopqrst loaded; save to keep it.");
  EXPECT_EQ(Peer().Messages[1].Text, u"%s%d%n loaded; save to keep it.");
  // Without a name there is no profile to load.
  PutContent(2, Whole);
  ChangeStores();
  const std::vector<UINT8> Changed = SetupStore();
  ASSERT_EQ(Load(2), EFI_SUCCESS);
  EXPECT_EQ(SetupStore(), Changed);
  EXPECT_EQ(Peer().Messages.size(), 2u);

  // The prompt offers the first 19 characters of a 20-character name.
  ASSERT_EQ(Press(PROFILE_FIRST_KEY), EFI_SUCCESS);
  EXPECT_EQ(Peer().Prompts.back().Proposed, u"abcdefghijklmnopqrs");
  EXPECT_EQ(StoredName(0), u"abcdefghijklmnopqrs");
}

TEST_F(UserProfiles, EveryAllocationOfASaveOrLoadMayFailWithoutLeakOrHalfSave) {
  ASSERT_EQ(Boot(), EFI_SUCCESS);
  for (size_t N = 0;; ++N) {
    SCOPED_TRACE(testing::Message() << "allocation " << N << " fails");
    M().Variables().Erase(ContentName(1), PROFILE_VARIABLE_GUID);
    Marks().assign(3, 0);
    const size_t Live = M().LiveAllocationCount();
    Peer().TextAnswers.push_back(u"Tight");
    M().Pool().FailAllocationAfter(N);
    ASSERT_EQ(Press(PROFILE_FIRST_KEY + 2), EFI_SUCCESS);
    const bool Failed = !M().Pool().FailurePending();
    M().Pool().ClearFailure();
    Peer().TextAnswers.clear();
    EXPECT_EQ(M().LiveAllocationCount(), Live);
    // The mark follows the content, whichever allocation failed.
    const bool Written = Content(1) != "<none>";
    EXPECT_EQ(Marks()[1], Written ? 1 : 0);
    if (Written) EXPECT_EQ(Content(1), ExpectedContent());
    if (!Failed) {
      EXPECT_TRUE(Written);
      break;
    }
    ASSERT_LT(N, 50u);
  }
  const std::vector<UINT8> Saved = SetupStore();
  for (size_t N = 0;; ++N) {
    SCOPED_TRACE(testing::Message() << "load, allocation " << N << " fails");
    SetupStore() = Filled(SetupStore().size(), UINT8(0x20 + N));
    const size_t Live = M().LiveAllocationCount();
    const size_t Messages = Peer().Messages.size();
    M().Pool().FailAllocationAfter(N);
    ASSERT_EQ(Load(1), EFI_SUCCESS);
    const bool Failed = !M().Pool().FailurePending();
    M().Pool().ClearFailure();
    EXPECT_EQ(M().LiveAllocationCount(), Live);
    const bool Loaded = SetupStore() == Saved;
    EXPECT_EQ(Peer().Messages.size(), Messages + (Loaded ? 1 : 0));
    if (!Failed) {
      EXPECT_TRUE(Loaded);
      break;
    }
    ASSERT_LT(N, 50u);
  }
}

// Without the protocol the questions decline and nothing is written; one
// that arrives after the pages loaded is found when the user asks.
TEST_F(UserProfiles, WithoutTheProtocolTheQuestionsDeclineUntilItArrives) {
  InstallPeer = false;
  PutName(0, NameBytes(u"Stored"));
  ASSERT_EQ(Boot(), EFI_SUCCESS);
  ExpectProfileText(0, u"Profile 1: Stored");
  M().Variables().ClearSetLog();
  for (UINT16 Key = PROFILE_FIRST_KEY; Key <= PROFILE_LAST_KEY; ++Key)
    EXPECT_EQ(Press(Key), EFI_UNSUPPORTED) << std::hex << Key;
  EXPECT_TRUE(WrittenNames().empty());
  EXPECT_TRUE(Peer().Prompts.empty());
  ASSERT_EQ(Peer().Install(BS()), EFI_SUCCESS);
  ASSERT_EQ(Save(0, "Late"), EFI_SUCCESS);
  EXPECT_EQ(StoredName(0), u"Late");
  EXPECT_EQ(Content(0), ExpectedContent());
}

}  // namespace
}  // namespace setupinfo_test
