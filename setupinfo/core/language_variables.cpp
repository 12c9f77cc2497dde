#include "setupinfo/core/language_variables.h"

#include "lib/firmware_services.h"
#include "lib/pool_buffer.h"
#include "lib/strings.h"
#include "setupinfo/core/setup_record.h"
#include "setupinfo/core/core_state.h"

namespace {

constexpr UINT32 ATTR_NV_BS = EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS;
constexpr UINT32 ATTR_BS_RT = EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS;
constexpr UINT32 ATTR_NV_BS_RT = ATTR_NV_BS | EFI_VARIABLE_RUNTIME_ACCESS;

constexpr UINTN ISO_CODE_SIZE = 3;

struct LANGUAGE_ENTRY {
  CHAR8 Iso[ISO_CODE_SIZE + 1];
  const CHAR8* Rfc;
};

// Lookups take the first match, so the order matters.
constexpr LANGUAGE_ENTRY LanguageTable[] = {
    {"eng", "en-US"}, {"zho", "zh-chs"}, {"chi", "zh-cht"}, {"spa", "es-ES"},
    {"ger", "de-DE"}, {"kor", "ko-KR"},  {"rus", "ru-RU"},  {"jpn", "ja-JP"},
};

constexpr CHAR8 DEFAULT_LANGUAGE_LIST[] = "en-US";

// A language value: text (terminated within Size + 1 bytes) and the size it is written with.
struct LANGUAGE_VALUE {
  const CHAR8* Text = nullptr;
  UINTN Size = 0;
  bool Present() const { return Text != nullptr; }
};

// A variable read whole as text: terminated after its bytes.
struct TEXT_VARIABLE {
  PoolBuffer<CHAR8> Buffer;
  UINTN Size = 0;

  LANGUAGE_VALUE Value() const { return LANGUAGE_VALUE{Buffer.Get(), Size}; }
};

bool ReadTextVariable(const CHAR16* Name, const EFI_GUID& Guid, TEXT_VARIABLE& Out) {
  return !EFI_ERROR(ReadWholeVariable(Name, &Guid, Out.Buffer, &Out.Size, VARIABLE_AS_TEXT));
}

void WriteValue(const CHAR16* Name, const EFI_GUID& Guid, UINT32 Attributes, LANGUAGE_VALUE Value) {
  if (!Value.Present()) return;
  gRT()->SetVariable(Name, &Guid, Attributes, Value.Size, Value.Text);
}

LANGUAGE_VALUE IsoToRfc(LANGUAGE_VALUE Iso) {
  if (!Iso.Present() || Iso.Size < ISO_CODE_SIZE) return {};
  for (const LANGUAGE_ENTRY& Entry : LanguageTable)
    if (MemCompare(Entry.Iso, Iso.Text, ISO_CODE_SIZE) == 0) return {Entry.Rfc, AsciiLength(Entry.Rfc) + 1};
  return {};
}

// Code of Length bytes (not necessarily terminated) to its three-byte ISO code.
const CHAR8* RfcToIso(const CHAR8* Code, UINTN Length) {
  for (const LANGUAGE_ENTRY& Entry : LanguageTable)
    if (AsciiLength(Entry.Rfc) == Length && MemCompare(Entry.Rfc, Code, Length) == 0) return Entry.Iso;
  return nullptr;
}

LANGUAGE_VALUE RfcToIso(LANGUAGE_VALUE Rfc) {
  if (!Rfc.Present()) return {};
  const CHAR8* Iso = RfcToIso(Rfc.Text, AsciiLength(Rfc.Text));
  return Iso != nullptr ? LANGUAGE_VALUE{Iso, ISO_CODE_SIZE} : LANGUAGE_VALUE{};
}

bool SameLanguage(LANGUAGE_VALUE A, LANGUAGE_VALUE B) {
  return A.Present() && B.Present() && AsciiEqualIgnoringCase(A.Text, B.Text);
}

// The ISO codes of the list's languages, concatenated; codes without a table
// entry are left out. False (nothing written) when no code converts.
bool ListToIsoList(const TEXT_VARIABLE& List, PoolBuffer<CHAR8>& IsoList, UINTN& IsoSize) {
  const CHAR8* Text = List.Buffer.Get();
  const UINTN Length = AsciiLength(Text);  // the list ends at its first NUL, or at its size
  UINTN Codes = 1;
  for (UINTN i = 0; i < Length; ++i)
    if (Text[i] == ';') ++Codes;
  if (!IsoList.Allocate(Codes * ISO_CODE_SIZE)) return false;

  IsoSize = 0;
  UINTN Start = 0;
  for (UINTN i = 0; i <= Length; ++i) {
    if (i < Length && Text[i] != ';') continue;
    const CHAR8* Iso = RfcToIso(Text + Start, i - Start);
    if (Iso != nullptr) {
      MemMove(IsoList.Get() + IsoSize, Iso, ISO_CODE_SIZE);
      IsoSize += ISO_CODE_SIZE;
    }
    Start = i + 1;
  }
  if (IsoSize == 0) {
    IsoList.Reset();
    return false;
  }
  return true;
}

// Cuts the list after its first code, in place.
LANGUAGE_VALUE FirstCode(TEXT_VARIABLE& List) {
  CHAR8* Text = List.Buffer.Get();
  if (Text == nullptr) return {};
  UINTN Length = 0;
  while (Text[Length] != 0 && Text[Length] != ';') ++Length;
  Text[Length] = 0;
  return {Text, Length + 1};
}

}  // namespace

void UpdateLastLanguageCodes(EFI_HII_HANDLE HiiHandle) {
  EFI_HII_STRING_PROTOCOL* HiiString = CoreState().HiiString;
  if (HiiString == nullptr) return;

  PoolBuffer<CHAR8> List;
  UINTN Size = 0;
  EFI_STATUS Status = HiiString->GetLanguages(HiiString, HiiHandle, nullptr, &Size);
  if (Status == EFI_BUFFER_TOO_SMALL) {
    Status = List.Allocate(Size) ? HiiString->GetLanguages(HiiString, HiiHandle, List.Get(), &Size)
                                 : EFI_OUT_OF_RESOURCES;
  }
  // No list (also an empty one, which would delete the variable): the
  // driver's own language stands in.
  if (EFI_ERROR(Status) || !List || Size == 0) {
    gRT()->SetVariable(PLATFORM_LAST_LANG_CODES_NAME, &SETUP_VARIABLE_GUID, ATTR_NV_BS, sizeof(DEFAULT_LANGUAGE_LIST),
                       DEFAULT_LANGUAGE_LIST);
    return;
  }
  gRT()->SetVariable(PLATFORM_LAST_LANG_CODES_NAME, &SETUP_VARIABLE_GUID, ATTR_NV_BS, Size, List.Get());
}

void ReconcileLanguageVariables() {
  if (gRT() == nullptr) return;

  TEXT_VARIABLE List;
  const bool HaveList = ReadTextVariable(PLATFORM_LAST_LANG_CODES_NAME, SETUP_VARIABLE_GUID, List);
  if (HaveList) {
    WriteValue(PLATFORM_LANG_CODES_NAME, EFI_GLOBAL_VARIABLE_GUID, ATTR_BS_RT, List.Value());
    PoolBuffer<CHAR8> IsoList;
    UINTN IsoSize = 0;
    if (ListToIsoList(List, IsoList, IsoSize))
      WriteValue(LANG_CODES_NAME, EFI_GLOBAL_VARIABLE_GUID, ATTR_BS_RT, {IsoList.Get(), IsoSize});
  }

  TEXT_VARIABLE PlatformLang, Lang;
  LANGUAGE_VALUE P, L;
  if (ReadTextVariable(PLATFORM_LANG_NAME, EFI_GLOBAL_VARIABLE_GUID, PlatformLang)) P = PlatformLang.Value();
  if (ReadTextVariable(LANG_NAME, EFI_GLOBAL_VARIABLE_GUID, Lang)) L = Lang.Value();

  const LANGUAGE_VALUE LangAsRfc = IsoToRfc(L);

  if (!P.Present() && L.Present()) {
    // "PlatformLang" follows "Lang"; a "Lang" outside the table gives it no value.
    P = LangAsRfc;
    WriteValue(PLATFORM_LANG_NAME, EFI_GLOBAL_VARIABLE_GUID, ATTR_NV_BS_RT, P);
  } else if (!P.Present()) {
    // Without a recorded list there is no language the pages are known to
    // carry: nothing is written, and the next boot loads the form sets
    // during start-up again and records one.
    if (HaveList) {
      P = FirstCode(List);
      WriteValue(PLATFORM_LANG_NAME, EFI_GLOBAL_VARIABLE_GUID, ATTR_NV_BS_RT, P);
      WriteValue(LANG_NAME, EFI_GLOBAL_VARIABLE_GUID, ATTR_NV_BS_RT, RfcToIso(P));
    }
  } else if (!LangAsRfc.Present()) {
    // "Lang" absent, or naming no language of the table so that there is
    // nothing to compare or carry over: it is rewritten from "PlatformLang"
    // and the two agree again.
    WriteValue(LANG_NAME, EFI_GLOBAL_VARIABLE_GUID, ATTR_NV_BS_RT, RfcToIso(P));
  } else if (!SameLanguage(LangAsRfc, P)) {
    TEXT_VARIABLE LastLang;
    const bool LangChanged = ReadTextVariable(PLATFORM_LAST_LANG_NAME, SETUP_VARIABLE_GUID, LastLang) &&
                             SameLanguage(LastLang.Value(), P);
    if (LangChanged) {
      P = LangAsRfc;
      WriteValue(PLATFORM_LANG_NAME, EFI_GLOBAL_VARIABLE_GUID, ATTR_NV_BS_RT, P);
    } else {
      WriteValue(LANG_NAME, EFI_GLOBAL_VARIABLE_GUID, ATTR_NV_BS_RT, RfcToIso(P));
    }
  }

  WriteValue(PLATFORM_LAST_LANG_NAME, SETUP_VARIABLE_GUID, ATTR_NV_BS, P);
}
