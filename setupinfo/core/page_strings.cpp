#include "setupinfo/core/page_strings.h"

#include "lib/pool_buffer.h"
#include "lib/util.h"
#include "setupinfo/core/form_utility.h"
#include "setupinfo/core/hii_protocols.h"

namespace {

constexpr UINTN PAGE_STRING_BYTES = PAGE_STRING_CAPACITY * sizeof(CHAR16);

// Reads one string of one language into a PAGE_STRING_CAPACITY buffer. The
// text comes from a package list: the last character is forced to NUL so a
// string without its terminator cannot run past the buffer.
EFI_STATUS ReadLanguageString(EFI_HII_STRING_PROTOCOL* HiiString, const CHAR8* Language, EFI_HII_HANDLE HiiHandle,
                              UINT16 StringId, CHAR16* Buffer) {
  UINTN Size = PAGE_STRING_BYTES;
  EFI_STATUS Status = HiiString->GetString(HiiString, Language, HiiHandle, StringId, Buffer, &Size, nullptr);
  Buffer[PAGE_STRING_CAPACITY - 1] = 0;
  return Status;
}

// The one slot is the text just formatted.
FORMAT_ARGS OneArgument(const UINT64* Slot) { return FORMAT_ARGS{Slot, 1, 1}; }

template <typename C>
EFI_STATUS SetTextAsItStands(EFI_HII_HANDLE HiiHandle, UINT16 StringId, const C* Text, UINTN MaxLength) {
  if (Text == nullptr) return EFI_INVALID_PARAMETER;
  CHAR16 Copy[PAGE_STRING_CAPACITY];
  const UINTN Limit = Min(MaxLength, PAGE_STRING_CAPACITY - 1);
  UINTN Length = 0;
  for (; Length < Limit && Text[Length] != 0; ++Length) {
    if constexpr (sizeof(C) == 1)
      Copy[Length] = (CHAR16)(UINT8)Text[Length];
    else
      Copy[Length] = Text[Length];
  }
  Copy[Length] = 0;
  return SetHiiString(HiiHandle, StringId, Copy);
}

}  // namespace

EFI_STATUS SetPageStringV(EFI_HII_HANDLE HiiHandle, UINT16 StringId, const CHAR16* Format, FORMAT_ARGS Args) {
  CHAR16 Text[PAGE_STRING_CAPACITY];
  Text[0] = 0;
  FormatWideV(Text, PAGE_STRING_CAPACITY, Format, Args);
  return SetHiiString(HiiHandle, StringId, Text);
}

EFI_STATUS SetPageText(EFI_HII_HANDLE HiiHandle, UINT16 StringId, const CHAR16* Text, UINTN MaxLength) {
  return SetTextAsItStands(HiiHandle, StringId, Text, MaxLength);
}

EFI_STATUS SetPageText(EFI_HII_HANDLE HiiHandle, UINT16 StringId, const CHAR8* Text, UINTN MaxLength) {
  return SetTextAsItStands(HiiHandle, StringId, Text, MaxLength);
}

EFI_STATUS SetPageStringAllLanguagesV(EFI_HII_HANDLE HiiHandle, UINT16 StringId, UINT16 TemplateId, BOOLEAN Direct,
                                      const CHAR16* Format, FORMAT_ARGS Args) {
  // Without any one of the work buffers nothing can be set; all are returned.
  PoolBuffer<CHAR16> Template, Result, Scratch;
  if (!Template.Allocate(PAGE_STRING_CAPACITY) || !Result.Allocate(PAGE_STRING_CAPACITY) ||
      !Scratch.Allocate(PAGE_STRING_CAPACITY))
    return EFI_OUT_OF_RESOURCES;

  EFI_HII_STRING_PROTOCOL* HiiString = HiiStringProtocol();
  if (HiiString == nullptr) return EFI_NOT_FOUND;

  if (TemplateId == 0) {
    Direct = TRUE;
    TemplateId = StringId;
  }

  UINTN ListSize = 0;
  EFI_STATUS Status = HiiString->GetLanguages(HiiString, HiiHandle, nullptr, &ListSize);
  if (Status != EFI_BUFFER_TOO_SMALL) return Status;
  // One byte more than reported, zeroed: the list is always terminated.
  PoolBuffer<CHAR8> Languages;
  if (!Languages.Allocate(ListSize + 1)) return EFI_OUT_OF_RESOURCES;
  Status = HiiString->GetLanguages(HiiString, HiiHandle, Languages.Get(), &ListSize);
  if (EFI_ERROR(Status)) return Status;

  bool AnySet = false;
  CHAR8* Cursor = Languages.Get();
  while (*Cursor != 0) {
    CHAR8* Language = Cursor;
    while (*Cursor != 0 && *Cursor != ';') ++Cursor;
    if (*Cursor == ';') *Cursor++ = 0;
    if (*Language == 0) continue;

    if (EFI_ERROR(ReadLanguageString(HiiString, Language, HiiHandle, TemplateId, Template.Get()))) continue;

    if (Format != nullptr) {
      FormatWideV(Scratch.Get(), PAGE_STRING_CAPACITY, Format, Args);
      const UINT64 Slot = (UINT64)(UINTN)Scratch.Get();
      FormatWideV(Result.Get(), PAGE_STRING_CAPACITY, Template.Get(), OneArgument(&Slot));
    } else {
      FormatWideV(Result.Get(), PAGE_STRING_CAPACITY, Template.Get(), Args);
    }

    const CHAR16* Text = Result.Get();
    if (!Direct) {
      if (EFI_ERROR(ReadLanguageString(HiiString, Language, HiiHandle, StringId, Template.Get()))) continue;
      const UINT64 Slot = (UINT64)(UINTN)Result.Get();
      FormatWideV(Scratch.Get(), PAGE_STRING_CAPACITY, Template.Get(), OneArgument(&Slot));
      Text = Scratch.Get();
    }

    if (!EFI_ERROR(HiiString->SetString(HiiString, HiiHandle, StringId, Language, Text, nullptr))) AnySet = true;
  }
  return AnySet ? EFI_SUCCESS : EFI_NOT_FOUND;
}
