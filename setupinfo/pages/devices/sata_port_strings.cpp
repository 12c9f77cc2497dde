#include "setupinfo/pages/devices/sata_port_strings.h"

#include "lib/firmware_services.h"
#include "lib/pool_buffer.h"
#include "lib/strings.h"
#include "lib/text_format.h"
#include "setupinfo/core/form_set_table.h"
#include "setupinfo/core/hii_protocols.h"
#include "setupinfo/core/page_strings.h"

namespace {

SATA_PORT_STRINGS_STATE& State() { return SataPortStringsState(); }

constexpr SATA_PORT_STRING_PROTOCOL SataPortStringInterface = {UpdateSataPortStrings};

// The kept package texts of a port, by role.
enum KEPT_ROLE : UINTN { KEPT_MODEL, KEPT_TEXT2, KEPT_TEXT3, KEPT_NOTE, KEPT_LINE };
constexpr UINT16 RoleFirstIds[SATA_KEPT_TEMPLATES] = {STR_SATA_MODEL, STR_SATA_TEXT2, STR_SATA_TEXT3, STR_SATA_NOTE,
                                                      STR_SATA_PORT_LINE};
static_assert(sizeof(RoleFirstIds) / sizeof(RoleFirstIds[0]) == SATA_KEPT_TEMPLATES);

// A text as the driver handed it, bounded: at most SATA_DEVICE_TEXT_BYTES
// bytes are read, and the copy is always terminated.
using DEVICE_TEXT = CHAR8[SATA_DEVICE_TEXT_BYTES + 1];
// The model with each '%' doubled, for the port line that is later used as
// a format.
using ESCAPED_TEXT = CHAR8[2 * SATA_DEVICE_TEXT_BYTES + 1];
// "SATA3_0", the layout sequence and " :".
constexpr UINTN PORT_NAME_BYTES = 32;

// Calls Visit(language) for each language of the package list; false when
// the list cannot be read.
template <typename VISIT>
bool ForEachLanguage(EFI_HII_STRING_PROTOCOL* Hii, EFI_HII_HANDLE Handle, VISIT&& Visit) {
  UINTN ListSize = 0;
  if (Hii->GetLanguages(Hii, Handle, nullptr, &ListSize) != EFI_BUFFER_TOO_SMALL) return false;
  PoolBuffer<CHAR8> Languages;
  if (!Languages.Allocate(ListSize + 1)) return false;
  if (EFI_ERROR(Hii->GetLanguages(Hii, Handle, Languages.Get(), &ListSize))) return false;
  CHAR8* Cursor = Languages.Get();
  while (*Cursor != 0) {
    CHAR8* Language = Cursor;
    while (*Cursor != 0 && *Cursor != ';') ++Cursor;
    if (*Cursor == ';') *Cursor++ = 0;
    if (*Language != 0) Visit(Language);
  }
  return true;
}

// One string of one language into a PAGE_STRING_CAPACITY buffer, always
// terminated.
bool ReadString(EFI_HII_STRING_PROTOCOL* Hii, const CHAR8* Language, EFI_HII_HANDLE Handle, UINT16 Id, CHAR16* Text) {
  UINTN Size = PAGE_STRING_CAPACITY * sizeof(CHAR16);
  const EFI_STATUS Status = Hii->GetString(Hii, Language, Handle, Id, Text, &Size, nullptr);
  Text[PAGE_STRING_CAPACITY - 1] = 0;
  return !EFI_ERROR(Status);
}

// String To takes the text of From in every language, as it stands: the
// kept templates hold '%' conversions that must not be read as a format.
void CopyEveryLanguage(EFI_HII_HANDLE Handle, UINT16 From, UINT16 To) {
  EFI_HII_STRING_PROTOCOL* Hii = HiiStringProtocol();
  PoolBuffer<CHAR16> Text;
  if (Hii == nullptr || !Text.Allocate(PAGE_STRING_CAPACITY)) return;
  ForEachLanguage(Hii, Handle, [&](const CHAR8* Language) {
    if (ReadString(Hii, Language, Handle, From, Text.Get()))
      Hii->SetString(Hii, Handle, To, Language, Text.Get(), nullptr);
  });
}

void SetEveryLanguage(EFI_HII_HANDLE Handle, UINT16 Id, const CHAR16* Text) {
  EFI_HII_STRING_PROTOCOL* Hii = HiiStringProtocol();
  if (Hii == nullptr) return;
  ForEachLanguage(Hii, Handle, [&](const CHAR8* Language) { Hii->SetString(Hii, Handle, Id, Language, Text, nullptr); });
}

// A new string of the package list holding From's text in every language;
// 0 when none could be made.
UINT16 KeepCopy(EFI_HII_HANDLE Handle, UINT16 From) {
  EFI_HII_STRING_PROTOCOL* Hii = HiiStringProtocol();
  PoolBuffer<CHAR16> Text;
  if (Hii == nullptr || !Text.Allocate(PAGE_STRING_CAPACITY)) return 0;
  EFI_STRING_ID Kept = 0;
  bool Failed = false;
  const bool Listed = ForEachLanguage(Hii, Handle, [&](const CHAR8* Language) {
    if (Failed || !ReadString(Hii, Language, Handle, From, Text.Get())) {
      Failed = true;
      return;
    }
    EFI_STATUS Status = Kept == 0 ? Hii->NewString(Hii, Handle, &Kept, Language, nullptr, Text.Get(), nullptr)
                                  : Hii->SetString(Hii, Handle, Kept, Language, Text.Get(), nullptr);
    if (EFI_ERROR(Status)) Failed = true;
  });
  // A copy missing a language would give that language another text than
  // its package's; such a copy is left unused.
  return Listed && !Failed ? (UINT16)Kept : 0;
}

bool TemplatesKept(UINTN Port) {
  for (UINT16 Id : State().KeptTemplates[Port])
    if (Id == 0) return false;
  return true;
}

// Keeps the port's package texts before they are first filled in. Only
// then: once filled, they are the device's texts, not templates.
bool KeepTemplates(EFI_HII_HANDLE Handle, UINTN Port) {
  if (TemplatesKept(Port)) return true;
  if (State().Spent[Port]) return false;
  for (UINTN Role = 0; Role < SATA_KEPT_TEMPLATES; ++Role) {
    UINT16& Kept = State().KeptTemplates[Port][Role];
    if (Kept == 0) Kept = KeepCopy(Handle, SataPortStringId(RoleFirstIds[Role], Port));
    if (Kept == 0) return false;
  }
  return true;
}

void ReadDeviceText(SATA_DEVICE_INTERFACE::GetTextFn GetText, SATA_DEVICE_RECORD* Device, DEVICE_TEXT& Out) {
  Out[0] = 0;
  if (GetText == nullptr) return;
  CHAR8* Raw = nullptr;
  const EFI_STATUS Status = GetText(Device, &Raw);
  // A failed call hands over nothing to free; its text shows empty.
  if (EFI_ERROR(Status) || Raw == nullptr) return;
  PoolBuffer<CHAR8> Owned(Raw);
  UINTN Length = 0;
  while (Length < SATA_DEVICE_TEXT_BYTES && Raw[Length] != 0) {
    Out[Length] = Raw[Length];
    ++Length;
  }
  // A fixed field without a terminator is padded with blanks, which are not
  // part of the text.
  if (Length == SATA_DEVICE_TEXT_BYTES)
    while (Length > 0 && Out[Length - 1] == ' ') --Length;
  Out[Length] = 0;
}

void EscapePercent(const CHAR8* Text, ESCAPED_TEXT& Out) {
  UINTN Length = 0;
  for (UINTN i = 0; Text[i] != 0 && Length + 2 < sizeof(Out); ++i) {
    if (Text[i] == '%') Out[Length++] = '%';
    Out[Length++] = Text[i];
  }
  Out[Length] = 0;
}

SATA_DEVICE_RECORD* FindPortDevice(SATA_DEVICE_INTERFACE* Sata, const SATA_PORT_ROW& Row) {
  if (Sata->FindDevice == nullptr) return nullptr;
  for (const UINT8(&Lookup)[5] : Row.Lookups) {
    // Designator 0 is bus 0; no row of this board names another bus.
    if (Lookup[0] != 0) continue;
    SATA_DEVICE_RECORD* Device = nullptr;
    if (!EFI_ERROR(Sata->FindDevice(Sata, 0, Lookup[1], Lookup[2], Lookup[3], Lookup[4], &Device)) &&
        Device != nullptr)
      return Device;
  }
  return nullptr;
}

void ShowDevice(EFI_HII_HANDLE Handle, UINTN Port, SATA_DEVICE_INTERFACE* Sata, SATA_DEVICE_RECORD* Device,
                const UINT16* Templates) {
  DEVICE_TEXT Texts[5];
  ReadDeviceText(Sata->GetText1, Device, Texts[0]);
  ReadDeviceText(Sata->GetText2, Device, Texts[1]);
  ReadDeviceText(Sata->GetText3, Device, Texts[2]);
  ReadDeviceText(Sata->GetText4, Device, Texts[3]);
  ReadDeviceText(Sata->GetText5, Device, Texts[4]);

  SetPageStringAllLanguages(Handle, SataPortStringId(STR_SATA_MODEL, Port), Templates[KEPT_MODEL], TRUE, nullptr,
                            (const CHAR8*)Texts[0]);
  // The line's "%a" stays for the port name; the model's own '%' must reach
  // the finished line as it stands.
  ESCAPED_TEXT Model;
  EscapePercent(Texts[0], Model);
  SetPageString(Handle, SataPortStringId(STR_SATA_PORT_LINE, Port), u"%a %a", "%a", (const CHAR8*)Model);
  SetPageStringAllLanguages(Handle, SataPortStringId(STR_SATA_TEXT2, Port), Templates[KEPT_TEXT2], TRUE, nullptr,
                            (const CHAR8*)Texts[1]);
  const UINT16 Text3 = SataPortStringId(STR_SATA_TEXT3, Port);
  if (Device->Text3Hidden != 0)
    SetEveryLanguage(Handle, Text3, u" ");
  else
    SetPageStringAllLanguages(Handle, Text3, Templates[KEPT_TEXT3], TRUE, nullptr, (const CHAR8*)Texts[2]);
  SetPageString(Handle, SataPortStringId(STR_SATA_ULTRA_DMA, Port), u"Ultra DMA\x1b{p100#: %a", (const CHAR8*)Texts[3]);
  if (AsciiCompare(Texts[4], SATA_NOT_SUPPORTED_TEXT) == 0)
    SetPageStringAllLanguages(Handle, SataPortStringId(STR_SATA_NOTE, Port), STR_SATA_NOT_SUPPORTED, TRUE, nullptr);
}

constexpr UINT16 BlankedWithoutDevice[] = {STR_SATA_MODEL, STR_SATA_TEXT2, STR_SATA_TEXT3, STR_SATA_ULTRA_DMA,
                                           STR_SATA_NOTE};

void ShowNoDevice(EFI_HII_HANDLE Handle, UINTN Port) {
  for (UINT16 First : BlankedWithoutDevice)
    SetEveryLanguage(Handle, SataPortStringId(First, Port), u" ");
}

}  // namespace

VOID EFIAPI InitSataPortStrings(EFI_HII_HANDLE, UINT16) {
  if (gBS() == nullptr) return;
  EFI_HANDLE Handle = nullptr;
  gBS()->InstallProtocolInterface(&Handle, &SATA_PORT_STRING_PROTOCOL::Guid, EFI_NATIVE_INTERFACE,
                                  (VOID*)&SataPortStringInterface);
}

VOID EFIAPI UpdateSataPortStrings(SATA_DEVICE_INTERFACE* SataInterface) {
  EFI_HII_HANDLE Handle = FormSetHiiHandle(FORM_SET_CLASS_ADVANCED);
  if (SataInterface == nullptr || Handle == nullptr) return;

  bool Shown[SATA_PORT_STRING_PORTS] = {};
  for (UINTN Port = 0; Port < SATA_PORT_STRING_PORTS; ++Port) {
    // Own templates (0) only the first time; later calls use the kept
    // copies, or leave a port whose templates are spent.
    UINT16 Templates[SATA_KEPT_TEMPLATES] = {};
    if (KeepTemplates(Handle, Port)) {
      for (UINTN Role = 0; Role < SATA_KEPT_TEMPLATES; ++Role) Templates[Role] = State().KeptTemplates[Port][Role];
      // What an earlier call left in the two strings that are not always set.
      CopyEveryLanguage(Handle, Templates[KEPT_LINE], SataPortStringId(STR_SATA_PORT_LINE, Port));
      CopyEveryLanguage(Handle, Templates[KEPT_NOTE], SataPortStringId(STR_SATA_NOTE, Port));
    } else if (State().Spent[Port]) {
      continue;
    } else {
      State().Spent[Port] = true;
    }
    Shown[Port] = true;

    SATA_DEVICE_RECORD* Device = FindPortDevice(SataInterface, SataPortRows[Port]);
    if (Device != nullptr)
      ShowDevice(Handle, Port, SataInterface, Device, Templates);
    else
      ShowNoDevice(Handle, Port);
  }

  for (UINTN Port = 0; Port < SATA_PORT_STRING_PORTS; ++Port) {
    if (!Shown[Port]) continue;
    CHAR8 Name[PORT_NAME_BYTES];
    FormatAscii(Name, PORT_NAME_BYTES, "%s\x1b{p110# :", SataPortRows[Port].Name);
    const UINT16 Line = SataPortStringId(STR_SATA_PORT_LINE, Port);
    // The copy is filled from the same template and name before the line
    // itself, so the finished line is never read as a format again.
    SetPageStringAllLanguages(Handle, SataPortStringId(STR_SATA_LINE_COPY, Port), Line, TRUE, nullptr,
                              (const CHAR8*)Name);
    SetPageStringAllLanguages(Handle, Line, 0, TRUE, nullptr, (const CHAR8*)Name);
  }
}
