// The profile names on real firmware: a name variable written in the first
// boot, in OVMF's non-volatile store, is shown on the tools and main pages
// once the second boot loads them. OVMF has no profile storage protocol, so
// saving and loading are left to the host tests.
#include "lib/firmware_services.h"
#include "lib/strings.h"
#include "platform/profile_storage.h"
#include "qemu/checks.h"
#include "qemu/page_reading.h"

namespace {

constexpr UINT16 TOOLS_CLASS = 0x8;
constexpr UINT16 MAIN_CLASS = 0x1;
constexpr UINT16 SECOND_PROFILE_NAME = 3452;
constexpr UINT16 THIRD_PROFILE_NAME = 3455;
constexpr CHAR16 NAME_VARIABLE[] = u"TWL_USER_DEF_NAME01";
constexpr CHAR16 NAME[] = u"Qemu profile";

bool PageTextIs(EFI_HII_STRING_PROTOCOL* Strings, UINT16 Class, UINT16 Id, const CHAR16* Expected,
                CHAR16 (&Text)[PAGE_TEXT_CAPACITY]) {
  EFI_HII_HANDLE Handle = PublishedPage(Class);
  return Handle != nullptr && !EFI_ERROR(ReadPageText(Strings, Handle, Id, Text)) && WideCompare(Text, Expected) == 0;
}

}  // namespace

void RunProfileNameChecks(CHECK_REPORT* Report, bool LaterBoot) {
  EFI_HII_STRING_PROTOCOL* Strings = LocateProtocol<EFI_HII_STRING_PROTOCOL>();
  if (!Check(Report, LaterBoot ? u"boot2.profiles.services" : u"boot1.profiles.services", Strings != nullptr,
             u"no HII String protocol"))
    return;
  CHAR16 Text[PAGE_TEXT_CAPACITY];
  if (!LaterBoot) {
    // A fresh store has no names: the packaged text stays.
    Check(Report, u"boot1.profiles.unsaved_shown",
          PageTextIs(Strings, TOOLS_CLASS, SECOND_PROFILE_NAME, u"Profile 2: not saved", Text), u"tools page: \"%s\"",
          Text);
    CHAR16 Name[PROFILE_NAME_CHARACTERS] = {};
    WideCopy(Name, NAME);
    const EFI_STATUS Status = gRT()->SetVariable(NAME_VARIABLE, &PROFILE_VARIABLE_GUID, PROFILE_VARIABLE_ATTRIBUTES,
                                                 PROFILE_NAME_BYTES, Name);
    Check(Report, u"boot1.profiles.name_written", Status == EFI_SUCCESS, u"SetVariable: %r", Status);
    return;
  }
  Check(Report, u"boot2.profiles.name_on_tools_page",
        PageTextIs(Strings, TOOLS_CLASS, SECOND_PROFILE_NAME, u"Profile 2: Qemu profile", Text), u"\"%s\"", Text);
  Check(Report, u"boot2.profiles.name_on_main_page",
        PageTextIs(Strings, MAIN_CLASS, SECOND_PROFILE_NAME, u"Profile 2: Qemu profile", Text), u"\"%s\"", Text);
  Check(Report, u"boot2.profiles.others_unsaved",
        PageTextIs(Strings, TOOLS_CLASS, THIRD_PROFILE_NAME, u"Profile 3: not saved", Text), u"\"%s\"", Text);
}
