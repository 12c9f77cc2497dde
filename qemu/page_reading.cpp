#include "qemu/page_reading.h"

#include "lib/firmware_services.h"
#include "qemu/current_language.h"
#include "qemu/formutil_control.h"

EFI_HII_HANDLE PublishedPage(UINT16 Class) {
  FORMUTIL_CONTROL_PROTOCOL* Control = LocateProtocol<FORMUTIL_CONTROL_PROTOCOL>();
  FORMUTIL_LOAD_RECORD Record = {};
  if (Control == nullptr || EFI_ERROR(Control->GetLoadRecord(&Record)) || Record.Table == nullptr) return nullptr;
  for (UINTN i = 0; i < Record.EntryCount; ++i)
    if (Record.Table[i].Class == Class) return Record.Table[i].HiiHandle;
  return nullptr;
}

EFI_STATUS ReadPageText(EFI_HII_STRING_PROTOCOL* Strings, EFI_HII_HANDLE Handle, UINT16 Id,
                        CHAR16 (&Text)[PAGE_TEXT_CAPACITY]) {
  CHAR8 Language[LANGUAGE_CODE_CAPACITY];
  CurrentHiiLanguage(Strings, Handle, Language);
  UINTN Size = sizeof(Text);
  Text[0] = 0;
  EFI_STATUS Status = Strings->GetString(Strings, Language, Handle, Id, Text, &Size, nullptr);
  if (EFI_ERROR(Status)) Text[0] = 0;
  Text[PAGE_TEXT_CAPACITY - 1] = 0;
  return Status;
}
