// The SATA port strings of the Advanced page as the platform's SATA driver
// fills them through the SATA port string protocol: both lookups, both
// string passes, repeated calls, and texts that a hostile or failing driver
// hands in.
#include <memory>
#include <string>
#include <vector>

#include "platform/sata_port_strings.h"
#include "setupinfo/core/hii_protocols.h"
#include "setupinfo/pages/devices/sata_port_strings.h"
#include "setupinfo_fixture.h"
#include "sim/peers/sata_peers.h"

namespace setupinfo_test {
namespace {

constexpr UINT16 ADVANCED = 0x4;
const char* const PortNames[] = {"SATA3_0", "SATA3_1", "SATA3_2", "SATA3_3", "SATA3_4", "SATA3_5"};

std::u16string Wide(const std::string& Text) { return std::u16string(Text.begin(), Text.end()); }

// A device on Port found by its first (Lookup 0) or second (Lookup 1) tuple.
sim::SataPortDeviceProfile Drive(size_t Port, int Lookup, const std::string& Model,
                                 const std::string& Support = "Supported") {
  sim::SataPortDeviceProfile D;
  const UINT8* Tuple = SataPortRows[Port].Lookups[Lookup];
  D.Bus = Tuple[0];
  D.Device = Tuple[1];
  D.Function = Tuple[2];
  D.ByteA = Tuple[3];
  D.ByteB = Tuple[4];
  D.Texts = {Model, "500.1 GB", "SATA 6.0 Gb/s", "Mode 6", Support};
  return D;
}

EFI_STATUS EFIAPI FindNothingButSucceed(SATA_DEVICE_INTERFACE*, UINT8, UINT8, UINT8, UINT8, UINT8,
                                        SATA_DEVICE_RECORD** Handle) {
  *Handle = nullptr;
  return EFI_SUCCESS;
}

class SataPortStrings : public SetupInfoTest {
 protected:
  void SetUp() override {
    SetupInfoTest::SetUp();
    ASSERT_EQ(LoadDriver(), EFI_SUCCESS);
  }

  // A SATA driver with these devices calls the protocol (once, or once per
  // installed instance).
  size_t Call(const sim::SataPortDriverProfile& Profile, bool EveryInstance = false) {
    Peer = std::make_unique<sim::SataPortDriverPeer>(Profile);
    return Peer->CallSetup(BS(), EveryInstance);
  }
  size_t Call(std::vector<sim::SataPortDeviceProfile> Devices) {
    sim::SataPortDriverProfile Profile;
    Profile.Devices = std::move(Devices);
    return Call(Profile);
  }

  std::u16string Text(UINT16 Id, const char* Language = "en-US") {
    return HiiText(FormSetHandle(ADVANCED), Id, Language);
  }
  std::u16string Model(size_t Port, const char* L = "en-US") { return Text(SataPortStringId(STR_SATA_MODEL, Port), L); }
  std::u16string Text2(size_t Port, const char* L = "en-US") { return Text(SataPortStringId(STR_SATA_TEXT2, Port), L); }
  std::u16string Text3(size_t Port, const char* L = "en-US") { return Text(SataPortStringId(STR_SATA_TEXT3, Port), L); }
  std::u16string UltraDma(size_t Port) { return Text(SataPortStringId(STR_SATA_ULTRA_DMA, Port)); }
  std::u16string Note(size_t Port, const char* L = "en-US") { return Text(SataPortStringId(STR_SATA_NOTE, Port), L); }
  std::u16string Line(size_t Port, const char* L = "en-US") {
    return Text(SataPortStringId(STR_SATA_PORT_LINE, Port), L);
  }
  std::u16string LineCopy(size_t Port, const char* L = "en-US") {
    return Text(SataPortStringId(STR_SATA_LINE_COPY, Port), L);
  }

  static std::u16string LineOf(size_t Port, const std::u16string& Rest) {
    return Wide(PortNames[Port]) + u"\x1b{p110# : " + Rest;
  }
  static std::u16string LineOf(size_t Port, const std::string& Rest) { return LineOf(Port, Wide(Rest)); }
  static std::u16string LineOf(size_t Port, const char* Rest) { return LineOf(Port, Wide(Rest)); }

  // The five strings and both lines of a port showing Model with the texts of Drive().
  void ExpectShown(size_t Port, const std::string& ModelText) {
    SCOPED_TRACE(testing::Message() << "port " << Port);
    EXPECT_EQ(Model(Port), Wide(ModelText));
    EXPECT_EQ(Model(Port, "de-DE"), Wide(ModelText));
    EXPECT_EQ(Text2(Port), u"Size: 500.1 GB");
    EXPECT_EQ(Text2(Port, "ja-JP"), u"容量: 500.1 GB");
    EXPECT_EQ(Text3(Port), u"Link: SATA 6.0 Gb/s");
    EXPECT_EQ(UltraDma(Port), u"Ultra DMA\x1b{p100#: Mode 6");
    EXPECT_EQ(Line(Port), LineOf(Port, ModelText));
    EXPECT_EQ(LineCopy(Port), LineOf(Port, ModelText));
    // The line's other languages keep their own text around the port name.
    EXPECT_EQ(Line(Port, "de-DE"), LineOf(Port, u"Nicht vorhanden"));
  }
  void ExpectEmpty(size_t Port) {
    SCOPED_TRACE(testing::Message() << "empty port " << Port);
    for (UINT16 First : {STR_SATA_MODEL, STR_SATA_TEXT2, STR_SATA_TEXT3, STR_SATA_ULTRA_DMA, STR_SATA_NOTE})
      for (const char* L : {"en-US", "de-DE", "ja-JP"}) EXPECT_EQ(Text(SataPortStringId(First, Port), L), u" ");
    EXPECT_EQ(Line(Port), LineOf(Port, "Not Present"));
    EXPECT_EQ(Line(Port, "ja-JP"), LineOf(Port, u"未接続"));
    EXPECT_EQ(LineCopy(Port), LineOf(Port, "Not Present"));
  }

  // A second call (ports 0 and 3 found): a port is either rebuilt from its
  // templates or left as it was.
  void ExpectSecondCallRebuildsOrLeavesEachPort() {
    std::vector<std::u16string> Before;
    for (size_t Port = 0; Port < 6; ++Port) Before.push_back(Model(Port) + u"|" + Line(Port) + u"|" + Note(Port));
    ASSERT_EQ(Call({Drive(0, 0, "Again"), Drive(3, 0, "Three")}), 1u);
    for (size_t Port = 0; Port < 6; ++Port) {
      const std::u16string After = Model(Port) + u"|" + Line(Port) + u"|" + Note(Port);
      const bool Rebuilt = Port == 0   ? Model(0) == u"Again" && Line(0) == LineOf(0, "Again")
                           : Port == 3 ? Model(3) == u"Three" && Line(3) == LineOf(3, "Three")
                                       : Model(Port) == u" " && Line(Port) == LineOf(Port, "Not Present");
      EXPECT_TRUE(Rebuilt || After == Before[Port]) << "port " << Port;
    }
  }

  std::unique_ptr<sim::SataPortDriverPeer> Peer;
};

TEST_F(SataPortStrings, OneInstanceIsInstalledPerPublishedFormSet) {
  UINTN Count = 0;
  EFI_HANDLE* Handles = nullptr;
  ASSERT_EQ(BS()->LocateHandleBuffer(ByProtocol, &SATA_PORT_STRING_PROTOCOL::Guid, nullptr, &Count, &Handles),
            EFI_SUCCESS);
  BS()->FreePool(Handles);
  EXPECT_EQ(Count, Forms().FormSets().size());
  EXPECT_EQ(Count, 9u);
}

TEST_F(SataPortStrings, DrivesShowTheirTextsWhicheverLookupFoundThemAndEmptyPortsShowBlanks) {
  sim::SataPortDeviceProfile Optical = Drive(2, 1, "Q7730 DVD-RW", "Not Supported");
  Optical.Text3Hidden = 1;
  ASSERT_EQ(Call({Drive(0, 0, "Q7730 SSD 500GB"), Drive(1, 1, "Q7730 HDD 2TB"), Optical, Drive(4, 0, "Q SSD")}), 1u);
  ExpectShown(0, "Q7730 SSD 500GB");
  ExpectShown(1, "Q7730 HDD 2TB");
  ExpectShown(4, "Q SSD");
  ExpectEmpty(3);
  ExpectEmpty(5);
  // Found by its first tuple the ports stop there; else the second is asked.
  ASSERT_EQ(Peer->Lookups.size(), 6u + 4u);
  EXPECT_EQ(Peer->Lookups[0].ByteA, 0xF0);
  EXPECT_TRUE(Peer->Lookups[0].Found);
  EXPECT_EQ(Peer->Lookups[2].ByteA, 1);
  EXPECT_EQ(Peer->Lookups[2].ByteB, 0xF0);
  // The byte-524 field hides text 3; "Not Supported" copies the note.
  EXPECT_EQ(Text3(2), u" ");
  EXPECT_EQ(Line(2), LineOf(2, "Q7730 DVD-RW"));
  EXPECT_EQ(Note(2), u"Security freeze lock: not supported");
  EXPECT_EQ(Note(2, "de-DE"), u"Sicherheitssperre: nicht unterstützt");
  EXPECT_EQ(Note(0), u"");
  // Every text handed out went back to the pool (the fixture checks for leaks).
  EXPECT_EQ(Peer->TextsHanded, 4u * 5u);
}

TEST_F(SataPortStrings, SupportStateIsComparedExactly) {
  ASSERT_EQ(Call({Drive(0, 0, "A", "not supported"), Drive(1, 0, "B", "Not Supported "), Drive(2, 0, "C", "Not Supported")}),
            1u);
  EXPECT_EQ(Note(0), u"");
  EXPECT_EQ(Note(1), u"");
  EXPECT_EQ(Note(2), u"Security freeze lock: not supported");
}

// Every call starts from the package's texts, so a drive that comes, goes or
// changes shows as it is at the latest call, also when the SATA driver calls
// every one of the nine instances.
TEST_F(SataPortStrings, RepeatedCallsShowTheDevicesOfTheLatestCall) {
  ASSERT_EQ(Call({Drive(0, 0, "First")}), 1u);
  ExpectShown(0, "First");
  ExpectEmpty(3);

  ASSERT_EQ(Call({Drive(3, 1, "Late 50%"), Drive(0, 0, "Second", "Not Supported")}), 1u);
  ExpectShown(3, "Late 50%");
  ExpectShown(0, "Second");
  EXPECT_EQ(Note(0), u"Security freeze lock: not supported");

  sim::SataPortDriverProfile Profile;
  Profile.Devices = {Drive(5, 0, "Third")};
  ASSERT_EQ(Call(Profile, true), 9u);
  ExpectShown(5, "Third");
  ExpectEmpty(0);
  ExpectEmpty(3);
  EXPECT_EQ(Note(0), u" ");
  // A drive that returns gets its strings back from the templates, not from what was shown.
  ASSERT_EQ(Call({Drive(0, 1, "Back")}), 1u);
  ExpectShown(0, "Back");
  EXPECT_EQ(Note(0), u"");
}

// The model is shown as it stands everywhere, also where the line it joins
// is read as a format twice.
TEST_F(SataPortStrings, PercentSignsInTheModelShowAsTheyStand) {
  const std::string Hostile = "100%a %s %d %% %";
  ASSERT_EQ(Call({Drive(1, 0, Hostile)}), 1u);
  EXPECT_EQ(Model(1), Wide(Hostile));
  EXPECT_EQ(Line(1), LineOf(1, Hostile));
  EXPECT_EQ(LineCopy(1), LineOf(1, Hostile));
  // Once more: the kept templates do not carry the model.
  ASSERT_EQ(Call({Drive(1, 0, Hostile)}), 1u);
  EXPECT_EQ(Line(1), LineOf(1, Hostile));
  EXPECT_EQ(LineCopy(1), LineOf(1, Hostile));
}

// Texts are read to their terminator or SATA_DEVICE_TEXT_BYTES, whichever
// comes first (the peer's buffers are exactly as long as the contract says,
// so a read past them is an ASan finding); fixed fields lose their padding.
TEST_F(SataPortStrings, TextsAreBoundedAndFixedFieldsLoseTheirPadding) {
  const std::string Long(300, 'M');
  sim::SataPortDeviceProfile Terminated = Drive(0, 0, Long);
  sim::SataPortDeviceProfile Field = Drive(1, 0, "FIELD MODEL");
  Field.Unterminated = true;
  sim::SataPortDeviceProfile LongField = Drive(2, 0, Long);
  LongField.Unterminated = true;
  LongField.Texts[4] = "Not Supported";  // padded: still the exact text
  ASSERT_EQ(Call({Terminated, Field, LongField}), 1u);
  const std::u16string Bounded = Wide(Long.substr(0, SATA_DEVICE_TEXT_BYTES));
  EXPECT_EQ(Model(0), Bounded);
  EXPECT_EQ(Line(0), LineOf(0, Long.substr(0, SATA_DEVICE_TEXT_BYTES)));
  EXPECT_EQ(Model(1), u"FIELD MODEL");
  EXPECT_EQ(Text2(1), u"Size: 500.1 GB");
  EXPECT_EQ(UltraDma(1), u"Ultra DMA\x1b{p100#: Mode 6");
  EXPECT_EQ(Model(2), Bounded);
  EXPECT_EQ(Note(2), u"Security freeze lock: not supported");
}

// A lookup that fails, or succeeds without a handle, finds no device; texts
// that fail show empty and hand nothing to free.
TEST_F(SataPortStrings, FailingDriverCallsShowNoDeviceOrEmptyTexts) {
  sim::SataPortDriverProfile Failing;
  Failing.Devices = {Drive(0, 0, "Never")};
  Failing.FindStatus = EFI_DEVICE_ERROR;
  ASSERT_EQ(Call(Failing), 1u);
  for (size_t Port = 0; Port < 6; ++Port) ExpectEmpty(Port);
  EXPECT_EQ(Peer->Lookups.size(), 12u);

  sim::SataPortDriverProfile Mute;
  Mute.Devices = {Drive(0, 0, "Mute", "Not Supported")};
  Mute.TextStatus = EFI_NOT_READY;
  ASSERT_EQ(Call(Mute), 1u);
  EXPECT_EQ(Model(0), u"");
  EXPECT_EQ(Text2(0), u"Size: ");
  EXPECT_EQ(UltraDma(0), u"Ultra DMA\x1b{p100#: ");
  EXPECT_EQ(Note(0), u"");
  EXPECT_EQ(Line(0), LineOf(0, ""));
  EXPECT_EQ(Peer->TextsHanded, 0u);

  // Handles that say success with no device, and no interface at all.
  SATA_DEVICE_INTERFACE Empty{};
  Empty.FindDevice = FindNothingButSucceed;
  UpdateSataPortStrings(&Empty);
  ExpectEmpty(0);
  ASSERT_EQ(Call({Drive(0, 0, "Kept")}), 1u);
  UpdateSataPortStrings(nullptr);
  ExpectShown(0, "Kept");
}

// A failed allocation in a later call leaves nothing behind and spoils
// nothing for the call after it.
TEST_F(SataPortStrings, EveryAllocationOfALaterCallMayFailWithoutLeakOrLastingDamage) {
  const std::vector<sim::SataPortDeviceProfile> Devices = {Drive(0, 0, "Zero"), Drive(2, 1, "Two", "Not Supported")};
  ASSERT_EQ(Call(Devices), 1u);
  for (size_t N = 0;; ++N) {
    SCOPED_TRACE(testing::Message() << "allocation " << N << " fails");
    const size_t Live = M().LiveAllocationCount();
    M().Pool().FailAllocationAfter(N);
    Call({Drive(5, 0, "Five")});
    const bool Failed = !M().Pool().FailurePending();
    M().Pool().ClearFailure();
    EXPECT_EQ(M().LiveAllocationCount(), Live);
    ASSERT_EQ(Call(Devices), 1u);
    ExpectShown(0, "Zero");
    ExpectShown(2, "Two");
    EXPECT_EQ(Note(2), u"Security freeze lock: not supported");
    ExpectEmpty(5);
    if (!Failed) break;
    ASSERT_LT(N, 2000u);
  }
}

// Without room to keep a port's templates the first call still fills it as
// the package allows; later calls then leave that port alone rather than
// fill texts that are no templates any more. The allocations of the first
// two ports cover every kind (each port repeats them).
TEST_F(SataPortStrings, PortsWhoseTemplatesCouldNotBeKeptAreFilledOnceAndLeftAlone) {
  for (size_t N = 0; N < 40; ++N) {
    SCOPED_TRACE(testing::Message() << "allocation " << N << " of the first call fails");
    M().Reboot();
    ASSERT_EQ(InstallTrigger(), EFI_SUCCESS);
    ASSERT_NE(FormSetHandle(ADVANCED), nullptr);
    const size_t Live = M().LiveAllocationCount();
    M().Pool().FailAllocationAfter(N);
    Call({Drive(0, 0, "Zero%d")});
    ASSERT_FALSE(M().Pool().FailurePending());
    M().Pool().ClearFailure();
    EXPECT_EQ(M().LiveAllocationCount(), Live);
    ExpectSecondCallRebuildsOrLeavesEachPort();
    // The ports past the failure kept their templates.
    ExpectEmpty(5);
  }
}

// The HII String calls of the first call failing one at a time: reading the
// languages, reading a template, making or setting a kept copy (the first
// two templates' calls cover every kind; each template repeats them). A port then
// keeps no half-made templates: a later call rebuilds it or leaves it alone,
// and nothing is left in the pool.
class FailingHiiString {
 public:
  explicit FailingHiiString(EFI_HII_STRING_PROTOCOL* Hii) : Hii_(Hii), Saved_(*Hii) {
    Active = this;
    Hii->NewString = NewString;
    Hii->GetString = GetString;
    Hii->SetString = SetString;
    Hii->GetLanguages = GetLanguages;
  }
  ~FailingHiiString() {
    *Hii_ = Saved_;
    Active = nullptr;
  }
  size_t FailAt = ~size_t(0);  // the call that fails, counted from 0
  size_t Calls = 0;

 private:
  bool Fails() { return Calls++ == FailAt; }
  static EFI_STATUS EFIAPI NewString(const EFI_HII_STRING_PROTOCOL* This, EFI_HII_HANDLE List, EFI_STRING_ID* Id,
                                     const CHAR8* Language, const CHAR16* Name, const CHAR16* Text,
                                     const EFI_FONT_INFO* Font) {
    if (Active->Fails()) return EFI_OUT_OF_RESOURCES;
    return Active->Saved_.NewString(This, List, Id, Language, Name, Text, Font);
  }
  static EFI_STATUS EFIAPI GetString(const EFI_HII_STRING_PROTOCOL* This, const CHAR8* Language, EFI_HII_HANDLE List,
                                     EFI_STRING_ID Id, CHAR16* Text, UINTN* Size, EFI_FONT_INFO** Font) {
    if (Active->Fails()) return EFI_NOT_FOUND;
    return Active->Saved_.GetString(This, Language, List, Id, Text, Size, Font);
  }
  static EFI_STATUS EFIAPI SetString(const EFI_HII_STRING_PROTOCOL* This, EFI_HII_HANDLE List, EFI_STRING_ID Id,
                                     const CHAR8* Language, const CHAR16* Text, const EFI_FONT_INFO* Font) {
    if (Active->Fails()) return EFI_OUT_OF_RESOURCES;
    return Active->Saved_.SetString(This, List, Id, Language, Text, Font);
  }
  static EFI_STATUS EFIAPI GetLanguages(const EFI_HII_STRING_PROTOCOL* This, EFI_HII_HANDLE List, CHAR8* Languages,
                                        UINTN* Size) {
    if (Active->Fails()) return EFI_DEVICE_ERROR;
    return Active->Saved_.GetLanguages(This, List, Languages, Size);
  }
  static inline FailingHiiString* Active = nullptr;
  EFI_HII_STRING_PROTOCOL* Hii_;
  EFI_HII_STRING_PROTOCOL Saved_;
};

TEST_F(SataPortStrings, AFailingStringCallOfTheFirstCallLeavesNoHalfKeptTemplate) {
  size_t Total = 0;
  for (size_t N = 0; N < 16; ++N) {
    SCOPED_TRACE(testing::Message() << "string call " << N << " of the first call fails");
    M().Reboot();
    ASSERT_EQ(InstallTrigger(), EFI_SUCCESS);
    const size_t Live = M().LiveAllocationCount();
    {
      FailingHiiString Failing(HiiStringProtocol());
      Failing.FailAt = N;
      Call({Drive(0, 0, "Zero%d")});
      if (N == 0) Total = Failing.Calls;
      ASSERT_LT(N, Failing.Calls);
    }
    EXPECT_EQ(M().LiveAllocationCount(), Live);
    ExpectSecondCallRebuildsOrLeavesEachPort();
  }
  // Every port reads its languages, keeps its templates and sets its texts.
  EXPECT_GT(Total, 6u * 3u * SATA_KEPT_TEMPLATES);
}

TEST(SataPortDriverProfile, ReadsTheSectionAndRefusesWhatCannotBe) {
  auto Parse = [](const std::string& Sata, sim::BoardProfile& B, std::string& Error) {
    return sim::ParseBoardProfile("{\"firmware\": {\"vendor\": \"V\", \"revision\": 1}, \"sataPortDriver\": " + Sata + "}",
                                  "t.json", B, Error);
  };
  sim::BoardProfile B;
  std::string Error;
  ASSERT_TRUE(Parse(R"({"late": true, "findStatus": "0x8000000000000007", "textStatus": "0x8000000000000006",
                        "devices": [{"bus": 1, "device": 31, "function": 5, "a": "0xF0", "b": 16, "model": "M",
                                     "text2": "2", "text3": "3", "ultraDma": "4", "support": "5",
                                     "unterminated": true, "text3Hidden": "0x80000000"}]})",
                    B, Error))
      << Error;
  ASSERT_TRUE(B.SataPortDriver.has_value());
  EXPECT_TRUE(B.SataPortDriver->Late);
  EXPECT_EQ(B.SataPortDriver->FindStatus, EFI_DEVICE_ERROR);
  EXPECT_EQ(B.SataPortDriver->TextStatus, EFI_NOT_READY);
  ASSERT_EQ(B.SataPortDriver->Devices.size(), 1u);
  const sim::SataPortDeviceProfile& D = B.SataPortDriver->Devices[0];
  EXPECT_EQ(D.Bus, 1);
  EXPECT_EQ(D.Function, 5);
  EXPECT_EQ(D.ByteA, 0xF0);
  EXPECT_EQ(D.ByteB, 16);
  EXPECT_EQ(D.Texts, (std::array<std::string, 5>{"M", "2", "3", "4", "5"}));
  EXPECT_TRUE(D.Unterminated);
  EXPECT_EQ(D.Text3Hidden, 0x80000000u);

  sim::BoardProfile Other;
  EXPECT_TRUE(Parse(R"({"present": false})", Other, Error));
  EXPECT_FALSE(Other.SataPortDriver.has_value());
  EXPECT_FALSE(Parse(R"({"devices": [{"device": 31, "function": 2, "a": 0}]})", Other, Error));
  EXPECT_NE(Error.find("b: missing required field"), std::string::npos) << Error;
  EXPECT_FALSE(Parse("{\"devices\": [{\"device\": 31, \"function\": 2, \"a\": 0, \"b\": 0, \"model\": \"" +
                         std::string(4097, 'x') + "\"}]}",
                     Other, Error));
  EXPECT_FALSE(Parse(R"({"devices": [{"device": 256, "function": 2, "a": 0, "b": 0}]})", Other, Error));
  // The built-in board: four ports in use, one of them by its second lookup.
  const sim::SataPortDriverProfile& Default = *sim::DefaultBoardProfile().SataPortDriver;
  EXPECT_FALSE(Default.Late);
  ASSERT_EQ(Default.Devices.size(), 4u);
  EXPECT_EQ(Default.Devices[1].ByteA, 1);
  EXPECT_EQ(Default.Devices[1].ByteB, 0xF0);
}

}  // namespace
}  // namespace setupinfo_test
