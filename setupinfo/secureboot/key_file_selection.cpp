#include "setupinfo/secureboot/key_file_selection.h"

#include "lib/device_path_text.h"
#include "lib/pool_buffer.h"
#include "lib/strings.h"
#include "setupinfo/core/hii_protocols.h"
#include "setupinfo/secureboot/secure_boot_texts.h"

// Languages of a package list: the first guess, and the most taken after it.
static constexpr UINTN LANGUAGES_FIRST_SIZE = 64;
static constexpr UINTN LANGUAGES_LIMIT = 4096;
static constexpr UINTN LANGUAGE_CODE_LIMIT = 64;
// A directory record whose size keeps changing between probe and read.
static constexpr UINTN RECORD_READ_ATTEMPTS = 4;

EFI_STRING_ID NewListString(const CHAR16* Text) {
  EFI_HII_STRING_PROTOCOL* Hii = HiiStringProtocol();
  const EFI_HII_HANDLE Handle = SecureBootPageState().HiiHandle;
  if (Hii == nullptr || Handle == nullptr || Text == nullptr) return 0;
  UINTN Size = LANGUAGES_FIRST_SIZE;
  PoolBuffer<CHAR8> Languages;
  if (!Languages.Allocate(Size + 1)) return 0;
  EFI_STATUS Status = Hii->GetLanguages(Hii, Handle, Languages.Get(), &Size);
  if (Status == EFI_BUFFER_TOO_SMALL) {
    if (Size == 0 || Size > LANGUAGES_LIMIT) return 0;
    // One byte more than asked, zeroed: the list always ends.
    if (!Languages.Allocate(Size + 1)) return 0;
    Status = Hii->GetLanguages(Hii, Handle, Languages.Get(), &Size);
  }
  if (EFI_ERROR(Status)) return 0;

  EFI_STRING_ID Id = 0;
  const CHAR8* Cursor = Languages.Get();
  while (*Cursor != 0) {
    CHAR8 Code[LANGUAGE_CODE_LIMIT];
    UINTN Length = 0;
    while (Cursor[Length] != 0 && Cursor[Length] != ';') ++Length;
    const bool Fits = Length > 0 && Length < LANGUAGE_CODE_LIMIT;
    if (Fits) {
      MemMove(Code, Cursor, Length);
      Code[Length] = 0;
    }
    Cursor += Length;
    if (*Cursor == ';') ++Cursor;
    if (!Fits) continue;
    if (Id == 0) {
      EFI_STRING_ID Created = 0;
      // The first language creates the string; an id from a failed call means nothing.
      if (EFI_ERROR(Hii->NewString(Hii, Handle, &Created, Code, nullptr, Text, nullptr))) return 0;
      Id = Created;
    } else {
      // A language that refuses keeps the string without its text.
      Hii->SetString(Hii, Handle, Id, Code, Text, nullptr);
    }
  }
  return Id;
}

void FreeKeyFileEntries(KEY_FILE_ENTRY* Entries, UINTN Count) {
  if (Entries == nullptr) return;
  for (UINTN I = 0; I < Count; ++I) FreeBootPool(Entries[I].Name);
  FreeBootPool(Entries);
}

namespace {

// The entries while a directory is read; whatever is left is freed.
class EntryArray {
 public:
  ~EntryArray() { FreeKeyFileEntries(Entries_.Release(), Count_); }
  UINTN Count() const { return Count_; }

  // The new entry goes right after the leading run of entries of the first
  // entry's kind: directories stay at the head in reading order when the
  // first entry read is a directory.
  bool Insert(const KEY_FILE_ENTRY& Entry) {
    if (Count_ == Capacity_) {
      const UINTN Capacity = Capacity_ == 0 ? 16 : Capacity_ * 2;
      PoolBuffer<KEY_FILE_ENTRY> Grown;
      if (!Grown.Allocate(Capacity)) return false;
      if (Count_ != 0) MemMove(Grown.Get(), Entries_.Get(), Count_ * sizeof(KEY_FILE_ENTRY));
      Entries_ = static_cast<PoolBuffer<KEY_FILE_ENTRY>&&>(Grown);
      Capacity_ = Capacity;
    }
    UINTN At = 0;
    if (Count_ != 0) {
      At = 1;
      while (At < Count_ && Entries_[At].Kind == Entries_[0].Kind) ++At;
    }
    MemMove(&Entries_[At + 1], &Entries_[At], (Count_ - At) * sizeof(KEY_FILE_ENTRY));
    Entries_[At] = Entry;
    ++Count_;
    return true;
  }

  KEY_FILE_ENTRY* Release(UINTN* Count) {
    *Count = Count_;
    Count_ = 0;
    return Entries_.Release();
  }

 private:
  PoolBuffer<KEY_FILE_ENTRY> Entries_;
  UINTN Count_ = 0;
  UINTN Capacity_ = 0;
};

// One file information record. *RecordSize 0 marks the end of the
// directory. Every size the directory reports is bounded before use.
EFI_STATUS ReadDirectoryRecord(EFI_FILE_PROTOCOL* Directory, PoolBuffer<UINT8>& Record, UINTN* RecordSize) {
  *RecordSize = 0;
  UINTN Size = 0;
  EFI_STATUS Status = Directory->Read(Directory, &Size, nullptr);
  if (Status == EFI_SUCCESS && Size == 0) return EFI_SUCCESS;
  for (UINTN Attempt = 0; Attempt < RECORD_READ_ATTEMPTS; ++Attempt) {
    if (Status != EFI_BUFFER_TOO_SMALL) return EFI_ERROR(Status) ? Status : EFI_VOLUME_CORRUPTED;
    if (Size < SIZE_OF_EFI_FILE_INFO || Size > FILE_INFO_SIZE_LIMIT) return EFI_VOLUME_CORRUPTED;
    if (!Record.Allocate(Size)) return EFI_OUT_OF_RESOURCES;
    UINTN Got = Size;
    Status = Directory->Read(Directory, &Got, Record.Get());
    if (Status == EFI_BUFFER_TOO_SMALL) {
      // The entry grew between the probe and the read.
      Size = Got;
      continue;
    }
    if (EFI_ERROR(Status)) return Status;
    if (Got > Size) return EFI_VOLUME_CORRUPTED;
    if (Got == 0) return EFI_SUCCESS;
    if (Got < SIZE_OF_EFI_FILE_INFO) return EFI_VOLUME_CORRUPTED;
    *RecordSize = Got;
    return EFI_SUCCESS;
  }
  return EFI_VOLUME_CORRUPTED;
}

}  // namespace

EFI_STATUS ReadKeyFileDirectory(EFI_FILE_PROTOCOL* Directory, KEY_FILE_ENTRY** Entries, UINTN* Count) {
  if (Directory == nullptr || Entries == nullptr || Count == nullptr) return EFI_INVALID_PARAMETER;
  *Entries = nullptr;
  *Count = 0;
  EntryArray Array;
  while (Array.Count() < DIRECTORY_ENTRY_LIMIT) {
    PoolBuffer<UINT8> Record;
    UINTN RecordSize = 0;
    EFI_STATUS Status = ReadDirectoryRecord(Directory, Record, &RecordSize);
    if (EFI_ERROR(Status)) return Status;
    if (RecordSize == 0) break;
    const EFI_FILE_INFO* Info = (const EFI_FILE_INFO*)Record.Get();
    // The record claims its own size; the name ends where the smaller of
    // that and what was read ends, terminator or not.
    if (Info->Size < SIZE_OF_EFI_FILE_INFO) return EFI_VOLUME_CORRUPTED;
    const UINTN Bound = Info->Size < RecordSize ? (UINTN)Info->Size : RecordSize;
    const UINTN MaxChars = (Bound - SIZE_OF_EFI_FILE_INFO) / sizeof(CHAR16);
    const CHAR16* Source = Info->FileName;
    UINTN Length = 0;
    bool Separator = false;
    while (Length < MaxChars && Source[Length] != 0) Separator |= Source[Length++] == u'\\';
    // A name that is empty or carries a separator could not be opened as one
    // component of the path.
    if (Length == 0 || Separator) continue;

    KEY_FILE_ENTRY Entry = {};
    Entry.Kind = Info->Attribute & EFI_FILE_DIRECTORY;
    Entry.FileSize = Info->FileSize;
    // Room for "<name>" and the terminator: 2 x length + 6 bytes.
    PoolBuffer<CHAR16> Name;
    if (!Name.Allocate(Length + 3)) return EFI_OUT_OF_RESOURCES;
    UINTN At = 0;
    if (Entry.Kind != 0) Name[At++] = u'<';
    MemMove(&Name[At], Source, Length * sizeof(CHAR16));
    At += Length;
    if (Entry.Kind != 0) Name[At++] = u'>';
    Name[At] = 0;
    Entry.StringId = NewListString(Name.Get());
    MemMove(Name.Get(), Source, Length * sizeof(CHAR16));
    Name[Length] = 0;
    Entry.Name = Name.Get();
    if (!Array.Insert(Entry)) return EFI_OUT_OF_RESOURCES;
    Name.Release();
  }
  if (Array.Count() == 0) return EFI_NOT_FOUND;
  *Entries = Array.Release(Count);
  return EFI_SUCCESS;
}

EFI_STATUS UpdateKeyFilePath(CHAR16* Path, const CHAR16* Name) {
  if (Path == nullptr || Name == nullptr) return EFI_INVALID_PARAMETER;
  if (WideCompare(Name, u".") == 0) return EFI_SUCCESS;
  UINTN Length = 0;
  while (Length < KEY_FILE_PATH_CHARS && Path[Length] != 0) ++Length;
  if (Length == KEY_FILE_PATH_CHARS) return EFI_BUFFER_TOO_SMALL;
  if (WideCompare(Name, u"..") == 0) {
    // Up one level, wherever ".." stands in the list; the root stays the root.
    while (Length > 0 && Path[Length - 1] != u'\\') --Length;
    if (Length > 0) --Length;
    Path[Length] = 0;
    return EFI_SUCCESS;
  }
  UINTN NameLength = 0;
  while (NameLength < KEY_FILE_PATH_CHARS && Name[NameLength] != 0) ++NameLength;
  const UINTN Needed = Length + (Length != 0 ? 1 : 0) + NameLength;
  if (Needed >= KEY_FILE_PATH_CHARS) return EFI_BUFFER_TOO_SMALL;
  if (Length != 0) Path[Length++] = u'\\';
  MemMove(&Path[Length], Name, NameLength * sizeof(CHAR16));
  Path[Needed] = 0;
  return EFI_SUCCESS;
}

namespace {

struct FileCloser {
  EFI_FILE_PROTOCOL* File = nullptr;
  ~FileCloser() { Close(); }
  void Close() {
    if (File != nullptr) File->Close(File);
    File = nullptr;
  }
};

struct EntriesOwner {
  KEY_FILE_ENTRY* Entries = nullptr;
  UINTN Count = 0;
  ~EntriesOwner() { FreeKeyFileEntries(Entries, Count); }
};

// The whole file, of the size its directory entry gave. A read that returns
// fewer or more bytes than that is refused: the buffer would hold bytes the
// file never gave.
EFI_STATUS ReadWholeKeyFile(EFI_FILE_PROTOCOL* File, UINT64 Size, VOID** Data, UINTN* DataSize) {
  *Data = nullptr;
  *DataSize = 0;
  if (Size > KEY_FILE_SIZE_LIMIT) return EFI_BAD_BUFFER_SIZE;
  if (Size == 0) return EFI_SUCCESS;
  PoolBuffer<UINT8> Buffer;
  if (!Buffer.Allocate((UINTN)Size, false)) return EFI_OUT_OF_RESOURCES;
  UINTN Got = (UINTN)Size;
  EFI_STATUS Status = File->Read(File, &Got, Buffer.Get());
  if (EFI_ERROR(Status)) return Status;
  if (Got != Size) return EFI_VOLUME_CORRUPTED;
  *Data = Buffer.Release();
  *DataSize = (UINTN)Size;
  return EFI_SUCCESS;
}

EFI_STATUS ChooseVolume(EFI_HANDLE* VolumeHandle) {
  SECURE_BOOT_PAGE_STATE& State = SecureBootPageState();
  MESSAGE_BOX_PROTOCOL* Service = SecureBootMessageBox();
  UINTN Count = 0;
  PoolBuffer<EFI_HANDLE> Handles;
  EFI_STATUS Status = gBS()->LocateHandleBuffer(ByProtocol, &EFI_SIMPLE_FILE_SYSTEM_PROTOCOL::Guid, nullptr, &Count,
                                                (EFI_HANDLE**)Handles.OutPtr());
  if (!EFI_ERROR(Status) && (Count == 0 || !Handles)) Status = EFI_NOT_FOUND;
  if (EFI_ERROR(Status)) {
    ShowSecureBootNoticeOf(STR_NO_VOLUME_TITLE, STR_NO_VOLUME_TEXT);
    return Status;
  }
  PoolBuffer<MESSAGE_BOX_LIST_ITEM> Items;
  if (!Items.Allocate(Count)) return EFI_OUT_OF_RESOURCES;
  for (UINTN I = 0; I < Count; ++I) {
    UINT8* Item = (UINT8*)&Items[I];
    auto* DevicePath = HandleProtocol<EFI_DEVICE_PATH_PROTOCOL>(Handles[I]);
    if (DevicePath == nullptr) {
      Item[VOLUME_ITEM_STATE_OFFSET] = VOLUME_ITEM_NO_DEVICE_PATH;
      continue;
    }
    Item[VOLUME_ITEM_STATE_OFFSET] = VOLUME_ITEM_HAS_PATH;
    PoolBuffer<CHAR8> Narrow;
    if (EFI_ERROR(DescribeDevicePath(DevicePath, (CHAR8**)Narrow.OutPtr())) || !Narrow) continue;
    const UINTN Length = AsciiLength(Narrow.Get());
    PoolBuffer<CHAR16> Wide;
    if (!Wide.Allocate(Length + 1)) continue;
    for (UINTN C = 0; C < Length; ++C) Wide[C] = (UINT8)Narrow[C];
    Items[I].StringId = NewListString(Wide.Get());
  }
  UINTN Index = 0;
  Status = Service->SelectFromList(State.HiiHandle, STR_VOLUME_LIST_TITLE, 0, Items.Get(), Count, &Index);
  if (!EFI_ERROR(Status) && Index >= Count) Status = EFI_INVALID_PARAMETER;
  if (EFI_ERROR(Status)) return Status;
  State.VolumeChosen = 1;
  *VolumeHandle = Handles[Index];
  return EFI_SUCCESS;
}

EFI_STATUS BrowseVolume(EFI_HANDLE Volume, CHAR16** PathText, VOID** FileData, UINTN* FileSize) {
  SECURE_BOOT_PAGE_STATE& State = SecureBootPageState();
  if (!State.VolumeChosen) return EFI_UNSUPPORTED;
  State.VolumeChosen = 0;
  MESSAGE_BOX_PROTOCOL* Service = SecureBootMessageBox();
  auto* FileSystem = HandleProtocol<EFI_SIMPLE_FILE_SYSTEM_PROTOCOL>(Volume);
  if (FileSystem == nullptr || Service == nullptr) return EFI_UNSUPPORTED;
  FileCloser Current;
  EFI_STATUS Status = FileSystem->OpenVolume(FileSystem, &Current.File);
  if (EFI_ERROR(Status)) return Status;
  if (Current.File == nullptr) return EFI_DEVICE_ERROR;
  CHAR16 Path[KEY_FILE_PATH_CHARS] = {};

  for (;;) {
    EntriesOwner Listed;
    Status = ReadKeyFileDirectory(Current.File, &Listed.Entries, &Listed.Count);
    if (Status == EFI_NOT_FOUND) {
      ShowSecureBootNoticeOf(STR_EMPTY_DIRECTORY_TITLE, STR_EMPTY_DIRECTORY_TEXT);
      return Status;
    }
    if (EFI_ERROR(Status)) return Status;
    PoolBuffer<MESSAGE_BOX_LIST_ITEM> Items;
    if (!Items.Allocate(Listed.Count)) return EFI_OUT_OF_RESOURCES;
    for (UINTN I = 0; I < Listed.Count; ++I) Items[I].StringId = (EFI_STRING_ID)Listed.Entries[I].StringId;
    UINTN Index = 0;
    Status = Service->SelectFromList(State.HiiHandle, STR_DIRECTORY_LIST_TITLE, 0, Items.Get(), Listed.Count, &Index);
    if (EFI_ERROR(Status)) return Status;  // EFI_ABORTED: the user left the list
    if (Index >= Listed.Count) return EFI_INVALID_PARAMETER;
    const KEY_FILE_ENTRY& Chosen = Listed.Entries[Index];

    // A name that would carry the path past its room is refused before
    // anything is opened; the same list is shown again.
    CHAR16 NewPath[KEY_FILE_PATH_CHARS];
    MemMove(NewPath, Path, sizeof(Path));
    if (EFI_ERROR(UpdateKeyFilePath(NewPath, Chosen.Name))) {
      Status = Current.File->SetPosition(Current.File, 0);
      if (EFI_ERROR(Status)) return Status;
      continue;
    }
    FileCloser Next;
    Status = Current.File->Open(Current.File, &Next.File, Chosen.Name, EFI_FILE_MODE_READ, 0);
    if (EFI_ERROR(Status)) return Status;
    if (Next.File == nullptr) return EFI_DEVICE_ERROR;
    Current.Close();
    MemMove(Path, NewPath, sizeof(Path));
    if (Chosen.Kind != 0) {
      Current.File = Next.File;
      Next.File = nullptr;
      continue;
    }
    PoolBuffer<UINT8> Data;
    UINTN DataSize = 0;
    Status = ReadWholeKeyFile(Next.File, Chosen.FileSize, Data.OutPtr(), &DataSize);
    if (EFI_ERROR(Status)) return Status;
    const UINTN PathLength = WideLength(Path);
    PoolBuffer<CHAR16> PathCopy;
    if (!PathCopy.Allocate(PathLength + 1)) return EFI_OUT_OF_RESOURCES;
    MemMove(PathCopy.Get(), Path, PathLength * sizeof(CHAR16));
    *PathText = PathCopy.Release();
    *FileData = Data.Release();
    *FileSize = DataSize;
    return EFI_SUCCESS;
  }
}

}  // namespace

EFI_STATUS SelectKeyFile(BOOLEAN Browse, EFI_HANDLE* VolumeHandle, CHAR16** PathText, VOID** FileData,
                         UINTN* FileSize) {
  if (SecureBootMessageBox() == nullptr) return EFI_UNSUPPORTED;
  if (FileSize == nullptr || VolumeHandle == nullptr) return EFI_INVALID_PARAMETER;
  if (Browse && (PathText == nullptr || FileData == nullptr)) return EFI_INVALID_PARAMETER;
  *VolumeHandle = nullptr;
  *FileSize = 0;
  if (PathText != nullptr) *PathText = nullptr;
  if (FileData != nullptr) *FileData = nullptr;
  EFI_HANDLE Volume = nullptr;
  EFI_STATUS Status = ChooseVolume(&Volume);
  if (EFI_ERROR(Status)) return Status;
  *VolumeHandle = Volume;
  if (!Browse) return EFI_SUCCESS;
  return BrowseVolume(Volume, PathText, FileData, FileSize);
}
