// Setting page strings: in the current language through the form utility
// service, or in every language of a package list through the HII String
// protocol. Formats are often run-time text taken from the string itself.
#pragma once

#include "lib/text_format.h"
#include "uefi/hii.h"

// Work size of every page text, in characters, terminator included.
constexpr UINTN PAGE_STRING_CAPACITY = 1024;

EFI_STATUS SetPageStringV(EFI_HII_HANDLE HiiHandle, UINT16 StringId, const CHAR16* Format, FORMAT_ARGS Args);

// Formats into PAGE_STRING_CAPACITY characters (longer text is cut) and sets
// the string in the current language; the form utility service's status.
template <typename... T>
EFI_STATUS SetPageString(EFI_HII_HANDLE HiiHandle, UINT16 StringId, const CHAR16* Format, T... Values) {
  FormatSlots<T...> Slots(Values...);
  return SetPageStringV(HiiHandle, StringId, Format, Slots.Args());
}

// Sets text from outside (a disk model, a USB name, a file name, a profile
// name) as it stands, in the current language: it is never read as a
// format. At most MaxLength characters are read, and at most
// PAGE_STRING_CAPACITY - 1 kept; 8-bit text is widened byte by byte.
EFI_STATUS SetPageText(EFI_HII_HANDLE HiiHandle, UINT16 StringId, const CHAR16* Text,
                       UINTN MaxLength = PAGE_STRING_CAPACITY - 1);
EFI_STATUS SetPageText(EFI_HII_HANDLE HiiHandle, UINT16 StringId, const CHAR8* Text,
                       UINTN MaxLength = PAGE_STRING_CAPACITY - 1);

EFI_STATUS SetPageStringAllLanguagesV(EFI_HII_HANDLE HiiHandle, UINT16 StringId, UINT16 TemplateId, BOOLEAN Direct,
                                      const CHAR16* Format, FORMAT_ARGS Args);

// For each language of the package list: the template string (TemplateId, or
// StringId itself when TemplateId is 0, which also makes Direct true) in that
// language is filled with the arguments, or with the text of Format when one
// is given. Unless Direct, the result fills the string's own text in turn.
// Returns EFI_SUCCESS when at least one language was set, EFI_NOT_FOUND when
// none could be, or the status that stopped it before the languages.
template <typename... T>
EFI_STATUS SetPageStringAllLanguages(EFI_HII_HANDLE HiiHandle, UINT16 StringId, UINT16 TemplateId, BOOLEAN Direct,
                                     const CHAR16* Format, T... Values) {
  FormatSlots<T...> Slots(Values...);
  return SetPageStringAllLanguagesV(HiiHandle, StringId, TemplateId, Direct, Format, Slots.Args());
}
