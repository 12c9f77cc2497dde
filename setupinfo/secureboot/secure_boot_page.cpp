#include "setupinfo/secureboot/secure_boot_page.h"

#include "lib/pool_buffer.h"
#include "lib/strings.h"
#include "setupinfo/core/callback_parameters.h"
#include "setupinfo/core/form_set_table.h"
#include "setupinfo/secureboot/key_file_selection.h"
#include "setupinfo/secureboot/secure_boot_keys.h"
#include "setupinfo/secureboot/secure_boot_texts.h"

namespace {

// Remembers the package list and tells whether the callback acts: for
// CHANGING only, and only while the message box service is there. The
// question may reach us through the main form set, whose package list holds
// none of these strings: the Secure Boot list is taken when it is loaded.
bool Acting(EFI_HII_HANDLE HiiHandle) {
  if (!CurrentActionIs(EFI_BROWSER_ACTION_CHANGING)) return false;
  const EFI_HII_HANDLE Page = FormSetHiiHandle(FORM_SET_CLASS_SECURE_BOOT);
  SecureBootPageState().HiiHandle = Page != nullptr ? Page : HiiHandle;
  return SecureBootMessageBox() != nullptr;
}

UINT8 NewValue8() {
  const EFI_IFR_TYPE_VALUE* Value = CurrentValue();
  return Value != nullptr ? Value->u8 : 0;
}

// SetupMode as one byte; 0 (user mode) when it cannot be read as one.
UINT8 SetupModeByte() {
  UINT8 Mode = 0;
  UINTN Size = sizeof(Mode);
  if (EFI_ERROR(gRT()->GetVariable(u"SetupMode", &EFI_GLOBAL_VARIABLE_GUID, nullptr, &Size, &Mode)) || Size != 1)
    return 0;
  return Mode;
}

struct FileCloser {
  EFI_FILE_PROTOCOL* File = nullptr;
  ~FileCloser() {
    if (File != nullptr) File->Close(File);
  }
};

// An existing longer file keeps its tail after a write from the start: the
// size is set to what was written.
EFI_STATUS CutFileTo(EFI_FILE_PROTOCOL* File, UINTN Size) {
  UINTN InfoSize = 0;
  EFI_STATUS Status = File->GetInfo(File, &EFI_FILE_INFO::Guid, &InfoSize, nullptr);
  if (Status != EFI_BUFFER_TOO_SMALL) return EFI_ERROR(Status) ? Status : EFI_DEVICE_ERROR;
  if (InfoSize < SIZE_OF_EFI_FILE_INFO || InfoSize > FILE_INFO_SIZE_LIMIT) return EFI_VOLUME_CORRUPTED;
  PoolBuffer<UINT8> Record;
  if (!Record.Allocate(InfoSize)) return EFI_OUT_OF_RESOURCES;
  UINTN Got = InfoSize;
  Status = File->GetInfo(File, &EFI_FILE_INFO::Guid, &Got, Record.Get());
  if (EFI_ERROR(Status)) return Status;
  if (Got < SIZE_OF_EFI_FILE_INFO || Got > InfoSize) return EFI_VOLUME_CORRUPTED;
  EFI_FILE_INFO* Info = (EFI_FILE_INFO*)Record.Get();
  if (Info->FileSize == Size) return EFI_SUCCESS;
  Info->FileSize = Size;
  return File->SetInfo(File, &EFI_FILE_INFO::Guid, Got, Info);
}

// One key variable into the file of its name in the root: exactly its bytes.
EFI_STATUS SaveKeyFile(EFI_FILE_PROTOCOL* Root, const CHAR16* Name, const VOID* Data, UINTN Size) {
  FileCloser File;
  EFI_STATUS Status =
      Root->Open(Root, &File.File, Name, EFI_FILE_MODE_READ | EFI_FILE_MODE_WRITE | EFI_FILE_MODE_CREATE, 0);
  if (EFI_ERROR(Status)) return Status;
  if (File.File == nullptr) return EFI_DEVICE_ERROR;
  UINTN Written = Size;
  if (Size != 0) {
    Status = File.File->Write(File.File, &Written, Data);
    if (EFI_ERROR(Status)) return Status;
    if (Written != Size) return EFI_VOLUME_FULL;
  }
  return CutFileTo(File.File, Size);
}

void ShowOutcome(bool Done) {
  SECURE_BOOT_PAGE_STATE& State = SecureBootPageState();
  FetchSecureBootString(Done ? STR_OPERATION_DONE : STR_OPERATION_FAILED, State.Text);
  ShowSecureBootNotice(State.Title, State.Text);
}

const KEY_VARIABLE_QUESTION* QuestionOf(UINT16 Key) {
  for (const KEY_VARIABLE_QUESTION& Question : KeyVariableQuestions)
    if (Question.Key == Key) return &Question;
  return nullptr;
}

void DeleteOne(UINTN Index) {
  SECURE_BOOT_PAGE_STATE& State = SecureBootPageState();
  FetchSecureBootString(STR_DELETE_ONE_TITLE, State.Title);
  FormatSecureBootString(State.Text, STR_DELETE_ONE_QUESTION, KeyVariables[Index].Name);
  if (!AskSecureBootQuestion(State.Title, State.Text)) return;
  ShowOutcome(!EFI_ERROR(WriteKeyVariable(Index, KEY_WRITE_DELETE, nullptr, 0)));
}

void SetOrAppend(UINTN Index, bool Append) {
  SECURE_BOOT_PAGE_STATE& State = SecureBootPageState();
  FetchSecureBootString(Append ? STR_APPEND_TITLE : STR_SET_TITLE, State.Title);
  FormatSecureBootString(State.Text, STR_FROM_DEFAULT_QUESTION, KeyVariables[Index].Name);
  PoolBuffer<UINT8> Content;
  UINTN ContentSize = 0;
  bool Confirmed = false;
  if (AskSecureBootQuestion(State.Title, State.Text)) {
    if (EFI_ERROR(ReadDefaultKeyFile(&KeyVariables[Index].DefaultKeyFile, Content.OutPtr(), &ContentSize))) return;
    Confirmed = true;
  } else {
    EFI_HANDLE Volume = nullptr;
    PoolBuffer<CHAR16> Path;
    PoolBuffer<UINT8> File;
    UINTN FileSize = 0;
    if (EFI_ERROR(SelectKeyFile(TRUE, &Volume, (CHAR16**)Path.OutPtr(), File.OutPtr(), &FileSize))) return;
    MESSAGE_BOX_LIST_ITEM Items[2] = {};
    Items[FORMAT_ITEM_WRAP].StringId = STR_FORMAT_WRAPPED;
    Items[FORMAT_ITEM_UNCHANGED].StringId = STR_FORMAT_UNCHANGED;
    UINTN Chosen = 0;
    if (EFI_ERROR(SecureBootMessageBox()->SelectFromList(State.HiiHandle, STR_FILE_FORMAT_TITLE, 0, Items, 2,
                                                         &Chosen)) ||
        Chosen >= 2)
      return;
    FormatSecureBootString(State.Formatted, STR_FROM_FILE_QUESTION, KeyVariables[Index].Name, Path.Get());
    // An empty file or one that cannot be wrapped leaves no content.
    if (EFI_ERROR(BuildKeyFileContent(File.Get(), FileSize, Chosen, Content.OutPtr(), &ContentSize))) {
      Content.Reset();
      ContentSize = 0;
    }
    Confirmed = AskSecureBootQuestion(State.Title, State.Formatted);
  }
  if (!Confirmed) return;
  // Empty content is no content: a set would delete the key and put nothing
  // in its place.
  if (!Content || ContentSize == 0) {
    ShowOutcome(false);
    return;
  }
  UINT32 Flags = Append ? KEY_WRITE_DATA | KEY_WRITE_APPEND : KEY_WRITE_DELETE | KEY_WRITE_DATA;
  // In user mode a database or KEK refused after its delete could not be put
  // back (the put-back carries no signature either), so the write goes over
  // the old key and a refusal leaves it as it was. PK keeps the delete: it
  // returns the platform to setup mode, where the write and any put-back are
  // taken.
  if (!Append && Index != KEY_INDEX_PK && SetupModeByte() == 0) Flags = KEY_WRITE_DATA;
  ShowOutcome(!EFI_ERROR(WriteKeyVariable(Index, Flags, Content.Get(), ContentSize)));
}

}  // namespace

EFI_STATUS BuildKeyFileContent(const VOID* File, UINTN FileSize, UINTN FormatItem, VOID** Content,
                               UINTN* ContentSize) {
  if (Content == nullptr || ContentSize == nullptr) return EFI_INVALID_PARAMETER;
  *Content = nullptr;
  *ContentSize = 0;
  // Bounded before a byte is read, so no header size below can wrap.
  if (File == nullptr || FileSize == 0 || FileSize > KEY_FILE_SIZE_LIMIT) return EFI_INVALID_PARAMETER;
  UINTN Header = 0;
  PoolBuffer<UINT8> Image;
  if (!EFI_ERROR(ValidateSignatureLists(File, FileSize))) {
    Header = AUTHENTICATED_HEADER_SIZE;
    if (!Image.Allocate(Header + FileSize, false)) return EFI_OUT_OF_RESOURCES;
    BuildAuthenticatedHeader(Image.Get());
  } else if (FormatItem == FORMAT_ITEM_WRAP) {
    Header = SIGNATURE_LIST_IMAGE_HEADER_SIZE;
    UINT8 ListImage[SIGNATURE_LIST_IMAGE_HEADER_SIZE];
    EFI_STATUS Status = BuildSignatureListImage(ListImage, FileSize);
    if (EFI_ERROR(Status)) return Status;
    if (!Image.Allocate(Header + FileSize, false)) return EFI_OUT_OF_RESOURCES;
    MemMove(Image.Get(), ListImage, Header);
  } else {
    if (!Image.Allocate(FileSize, false)) return EFI_OUT_OF_RESOURCES;
  }
  MemMove(Image.Get() + Header, File, FileSize);
  *Content = Image.Release();
  *ContentSize = Header + FileSize;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI OnSecureBootInstallDefaults(EFI_HII_HANDLE HiiHandle, UINT16, UINT16, UINT16) {
  if (!Acting(HiiHandle) || NewValue8() != 1) return EFI_SUCCESS;
  RequestBrowserAction(EFI_BROWSER_ACTION_REQUEST_NONE);
  if (SetupModeByte() == 0) return EFI_SUCCESS;
  RestoreKeys(RESTORE_DELETE | RESTORE_INSTALL_DEFAULTS);
  RefreshSecureBootState();
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI OnSecureBootRestoreKeys(EFI_HII_HANDLE HiiHandle, UINT16, UINT16, UINT16 Key) {
  if (!Acting(HiiHandle)) return EFI_SUCCESS;
  if (Key == KEY_RESTORE_DEFAULT_KEYS_IF_SET && NewValue8() == 0) return EFI_SUCCESS;
  SECURE_BOOT_PAGE_STATE& State = SecureBootPageState();
  const bool DeleteOnly = Key == KEY_DELETE_ALL_KEYS;
  FetchSecureBootString(DeleteOnly ? STR_DELETE_ALL_TITLE : STR_RESTORE_TITLE, State.Title);
  FetchSecureBootString(DeleteOnly ? STR_DELETE_ALL_TEXT : STR_RESTORE_TEXT, State.Text);
  EFI_STATUS Status = EFI_SUCCESS;
  if (AskSecureBootQuestion(State.Title, State.Text))
    Status = RestoreKeys(DeleteOnly ? RESTORE_DELETE : RESTORE_DELETE | RESTORE_INSTALL_DEFAULTS);
  // Also after "no": the page always shows what the store really holds.
  RefreshSecureBootState();
  if (EFI_ERROR(Status)) ShowSecureBootNoticeOf(STR_RESTORE_FAILED_TITLE, STR_RESTORE_FAILED_TEXT);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI OnSecureBootSaveKeys(EFI_HII_HANDLE HiiHandle, UINT16, UINT16, UINT16) {
  if (!Acting(HiiHandle)) return EFI_SUCCESS;
  SECURE_BOOT_PAGE_STATE& State = SecureBootPageState();
  EFI_HANDLE Volume = nullptr;
  UINTN Unused = 0;
  if (EFI_ERROR(SelectKeyFile(FALSE, &Volume, nullptr, nullptr, &Unused))) return EFI_SUCCESS;
  // The root is opened once, at the first key that exists, and closed on
  // every way out.
  FileCloser Root;
  bool RootTried = false;
  UINTN Saved = 0;
  for (UINTN Index = 0; Index < KEY_VARIABLE_COUNT; ++Index) {
    PoolBuffer<UINT8> Data;
    UINTN Size = 0;
    if (EFI_ERROR(ReadWholeVariable(KeyVariables[Index].Name, KeyVariableGuid(Index), Data, &Size))) continue;
    if (!RootTried) {
      RootTried = true;
      auto* FileSystem = HandleProtocol<EFI_SIMPLE_FILE_SYSTEM_PROTOCOL>(Volume);
      if (FileSystem != nullptr && EFI_ERROR(FileSystem->OpenVolume(FileSystem, &Root.File))) Root.File = nullptr;
    }
    if (Root.File == nullptr || EFI_ERROR(SaveKeyFile(Root.File, KeyVariables[Index].Name, Data.Get(), Size))) {
      FetchSecureBootString(STR_SAVE_FAILED_TITLE, State.Title);
      FormatWide(State.Text, SECURE_BOOT_TEXT_CHARS, u" %s ", KeyVariables[Index].Name);
      ShowSecureBootNotice(State.Title, State.Text);
      return EFI_SUCCESS;
    }
    ++Saved;
  }
  FetchSecureBootString(STR_SAVE_DONE_TITLE, State.Title);
  FormatSecureBootString(State.Text, STR_SAVE_DONE_TEXT, Saved);
  ShowSecureBootNotice(State.Title, State.Text);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI OnSecureBootKeyVariable(EFI_HII_HANDLE HiiHandle, UINT16, UINT16, UINT16 Key) {
  const KEY_VARIABLE_QUESTION* Question = QuestionOf(Key);
  if (Question == nullptr || !Acting(HiiHandle)) return EFI_SUCCESS;
  if (Question->Operation == KEY_OPERATION_DELETE)
    DeleteOne(Question->Index);
  else
    SetOrAppend(Question->Index, Question->Operation == KEY_OPERATION_APPEND);
  return EFI_SUCCESS;
}
