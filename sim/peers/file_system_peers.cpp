#include "sim/peers/file_system_peers.h"

#include <cstring>

#include "uefi/device_path.h"

namespace sim {

namespace {

// Longest name the stand-in takes from a caller, in characters.
constexpr size_t MAX_NAME = 1024;
constexpr uint64_t HUGE_FILE_SIZE = 0xFFFFFFF0ull;

std::u16string Wide(const std::string& Utf8) {
  std::u16string Out;
  for (size_t I = 0; I < Utf8.size();) {
    uint8_t C = uint8_t(Utf8[I]);
    uint32_t Code = C;
    size_t Extra = C >= 0xF0 ? 3 : C >= 0xE0 ? 2 : C >= 0xC0 ? 1 : 0;
    if (Extra) Code = C & (0x3F >> Extra);
    for (size_t K = 1; K <= Extra && I + K < Utf8.size(); ++K) Code = (Code << 6) | (uint8_t(Utf8[I + K]) & 0x3F);
    I += Extra + 1;
    Out.push_back(Code > 0xFFFF ? u'?' : char16_t(Code));
  }
  return Out;
}

std::string Narrow(const std::u16string& Text) {
  std::string Out;
  for (char16_t C : Text) {
    if (C < 0x80) {
      Out.push_back(char(C));
    } else if (C < 0x800) {
      Out.push_back(char(0xC0 | (C >> 6)));
      Out.push_back(char(0x80 | (C & 0x3F)));
    } else {
      Out.push_back(char(0xE0 | (C >> 12)));
      Out.push_back(char(0x80 | ((C >> 6) & 0x3F)));
      Out.push_back(char(0x80 | (C & 0x3F)));
    }
  }
  return Out;
}

// FAT names compare without regard to case.
bool SameName(const std::string& A, const std::string& B) {
  if (A.size() != B.size()) return false;
  for (size_t I = 0; I < A.size(); ++I) {
    char X = A[I], Y = B[I];
    if (X >= 'a' && X <= 'z') X = char(X - 32);
    if (Y >= 'a' && Y <= 'z') Y = char(Y - 32);
    if (X != Y) return false;
  }
  return true;
}

FileNodeProfile* Child(FileNodeProfile& Dir, const std::string& Name) {
  for (auto& C : Dir.Children)
    if (SameName(C.Name, Name)) return &C;
  return nullptr;
}

FileSystemPeers::OpenFile* Of(EFI_FILE_PROTOCOL* This) { return reinterpret_cast<FileSystemPeers::OpenFile*>(This); }

}  // namespace

FileSystemPeers::FileSystemPeers(const std::vector<FileVolumeProfile>& Volumes) {
  for (const auto& P : Volumes) {
    auto V = std::make_unique<Volume>();
    V->Profile = P;
    V->Root.Directory = true;
    V->Root.Children = P.Files;
    V->Protocol.Revision = EFI_SIMPLE_FILE_SYSTEM_PROTOCOL::Revision1;
    V->Protocol.OpenVolume = OpenVolume;
    V->Self = this;
    Volumes_.push_back(std::move(V));
  }
}

FileSystemPeers::~FileSystemPeers() {
  for (OpenFile* F : Open_) delete F;
}

EFI_STATUS FileSystemPeers::Install(EFI_BOOT_SERVICES* BootServices) {
  for (auto& V : Volumes_) {
    V->Handle = nullptr;  // a new boot has a new handle database
    EFI_STATUS Status = BootServices->InstallProtocolInterface(&V->Handle, &EFI_SIMPLE_FILE_SYSTEM_PROTOCOL::Guid,
                                                               EFI_NATIVE_INTERFACE, &V->Protocol);
    if (EFI_ERROR(Status)) return Status;
    if (V->Profile.DevicePath) {
      Status = BootServices->InstallProtocolInterface(&V->Handle, &EFI_DEVICE_PATH_PROTOCOL::Guid,
                                                      EFI_NATIVE_INTERFACE, V->Profile.DevicePath->data());
      if (EFI_ERROR(Status)) return Status;
    }
  }
  return EFI_SUCCESS;
}

const FileNodeProfile* FileSystemPeers::Find(size_t VolumeIndex, const std::string& Path) const {
  if (VolumeIndex >= Volumes_.size()) return nullptr;
  const FileNodeProfile* Node = &Volumes_[VolumeIndex]->Root;
  size_t Start = 0;
  while (Start < Path.size()) {
    size_t End = Path.find('\\', Start);
    if (End == std::string::npos) End = Path.size();
    const std::string Part = Path.substr(Start, End - Start);
    Start = End + 1;
    if (Part.empty()) continue;
    const FileNodeProfile* Next = nullptr;
    for (const auto& C : Node->Children)
      if (SameName(C.Name, Part)) Next = &C;
    if (Next == nullptr) return nullptr;
    Node = Next;
  }
  return Node;
}

FileSystemPeers::OpenFile* FileSystemPeers::NewHandle(size_t VolumeIndex, std::vector<std::string> Path,
                                                      bool Writable) {
  auto* F = new OpenFile{};
  F->Protocol.Revision = EFI_FILE_PROTOCOL::Revision1;
  F->Protocol.Open = Open;
  F->Protocol.Close = Close;
  F->Protocol.Delete = Delete;
  F->Protocol.Read = Read;
  F->Protocol.Write = Write;
  F->Protocol.GetPosition = GetPosition;
  F->Protocol.SetPosition = SetPosition;
  F->Protocol.GetInfo = GetInfo;
  F->Protocol.SetInfo = SetInfo;
  F->Protocol.Flush = Flush;
  F->Self = this;
  F->VolumeIndex = VolumeIndex;
  F->Path = std::move(Path);
  F->Writable = Writable;
  Open_.insert(F);
  return F;
}

FileNodeProfile* FileSystemPeers::Resolve(size_t VolumeIndex, const std::vector<std::string>& Path) {
  FileNodeProfile* Node = &Volumes_[VolumeIndex]->Root;
  for (const auto& Part : Path) {
    if (!Node->Directory) return nullptr;
    Node = Child(*Node, Part);
    if (Node == nullptr) return nullptr;
  }
  return Node;
}

std::vector<uint8_t> FileSystemPeers::InfoRecord(const Volume& V, const FileNodeProfile& Node,
                                                 const std::string& Name) const {
  const std::u16string WideName = Wide(Name);
  const bool Unterminated = V.Profile.Fault == DirectoryFault::UnterminatedName;
  const size_t NameBytes = (WideName.size() + (Unterminated ? 0 : 1)) * 2;
  std::vector<uint8_t> Record(SIZE_OF_EFI_FILE_INFO + NameBytes, 0);
  EFI_FILE_INFO Info{};
  Info.Size = V.Profile.Fault == DirectoryFault::RecordBelowHeader ? 40 : Record.size();
  Info.FileSize = Node.Directory ? 0 : Node.Data.size();
  if (!Node.Directory && V.Profile.Fault == DirectoryFault::HugeFileSize) Info.FileSize = HUGE_FILE_SIZE;
  if (!Node.Directory && V.Profile.ClaimedFileSize) Info.FileSize = *V.Profile.ClaimedFileSize;
  Info.PhysicalSize = (Info.FileSize + 511) & ~511ull;
  Info.Attribute = Node.Directory ? EFI_FILE_DIRECTORY : EFI_FILE_ARCHIVE;
  if (V.Profile.ReadOnly) Info.Attribute |= EFI_FILE_READ_ONLY;
  std::memcpy(Record.data(), &Info, SIZE_OF_EFI_FILE_INFO);
  std::memcpy(Record.data() + SIZE_OF_EFI_FILE_INFO, WideName.data(), WideName.size() * 2);
  return Record;
}

EFI_STATUS EFIAPI FileSystemPeers::OpenVolume(EFI_SIMPLE_FILE_SYSTEM_PROTOCOL* This, EFI_FILE_PROTOCOL** Root) {
  if (This == nullptr || Root == nullptr) return EFI_INVALID_PARAMETER;
  auto* V = reinterpret_cast<Volume*>(reinterpret_cast<uint8_t*>(This) - offsetof(Volume, Protocol));
  if (V->Profile.OpenVolumeFailure) return *V->Profile.OpenVolumeFailure;
  FileSystemPeers* Self = V->Self;
  size_t Index = 0;
  while (Self->Volumes_[Index].get() != V) ++Index;
  ++Self->VolumesOpened_;
  *Root = &Self->NewHandle(Index, {}, !V->Profile.ReadOnly)->Protocol;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FileSystemPeers::Open(EFI_FILE_PROTOCOL* This, EFI_FILE_PROTOCOL** NewHandle,
                                        const CHAR16* FileName, UINT64 OpenMode, UINT64 Attributes) {
  if (This == nullptr || NewHandle == nullptr || FileName == nullptr) return EFI_INVALID_PARAMETER;
  OpenFile* F = Of(This);
  FileSystemPeers* Self = F->Self;
  if (OpenMode != EFI_FILE_MODE_READ && OpenMode != (EFI_FILE_MODE_READ | EFI_FILE_MODE_WRITE) &&
      OpenMode != (EFI_FILE_MODE_READ | EFI_FILE_MODE_WRITE | EFI_FILE_MODE_CREATE))
    return EFI_INVALID_PARAMETER;
  const Volume& V = *Self->Volumes_[F->VolumeIndex];
  const bool Writing = (OpenMode & EFI_FILE_MODE_WRITE) != 0;
  if (Writing && V.Profile.ReadOnly) return EFI_WRITE_PROTECTED;
  FileNodeProfile* Base = Self->Resolve(F->VolumeIndex, F->Path);
  if (Base == nullptr) return EFI_DEVICE_ERROR;
  std::u16string Name;
  for (size_t I = 0; FileName[I] != 0; ++I) {
    if (I == MAX_NAME) return EFI_INVALID_PARAMETER;
    Name.push_back(FileName[I]);
  }
  std::vector<std::string> Path = Base->Directory ? F->Path : std::vector<std::string>(F->Path.begin(), F->Path.end() - (F->Path.empty() ? 0 : 1));
  std::string Text = Narrow(Name);
  size_t Start = 0;
  if (!Text.empty() && Text[0] == '\\') {
    Path.clear();
    Start = 1;
  }
  std::vector<std::string> Parts;
  while (Start <= Text.size()) {
    size_t End = Text.find('\\', Start);
    if (End == std::string::npos) End = Text.size();
    Parts.push_back(Text.substr(Start, End - Start));
    Start = End + 1;
  }
  for (size_t I = 0; I < Parts.size(); ++I) {
    const std::string& Part = Parts[I];
    const bool Last = I + 1 == Parts.size();
    if (Part.empty() || Part == ".") continue;
    if (Part == "..") {
      if (Path.empty()) return EFI_NOT_FOUND;
      Path.pop_back();
      continue;
    }
    FileNodeProfile* Dir = Self->Resolve(F->VolumeIndex, Path);
    if (Dir == nullptr || !Dir->Directory) return EFI_NOT_FOUND;
    FileNodeProfile* Next = Child(*Dir, Part);
    if (Next == nullptr) {
      if (!Last || (OpenMode & EFI_FILE_MODE_CREATE) == 0) return EFI_NOT_FOUND;
      FileNodeProfile Created;
      Created.Name = Part;
      Created.Directory = (Attributes & EFI_FILE_DIRECTORY) != 0;
      Dir->Children.push_back(std::move(Created));
    } else if (Next->Directory && Writing && !Last) {
      // walking through a directory is fine
    }
    Path.push_back(Part);
  }
  *NewHandle = &Self->NewHandle(F->VolumeIndex, std::move(Path), Writing)->Protocol;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FileSystemPeers::Close(EFI_FILE_PROTOCOL* This) {
  if (This == nullptr) return EFI_INVALID_PARAMETER;
  OpenFile* F = Of(This);
  F->Self->Open_.erase(F);
  delete F;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FileSystemPeers::Delete(EFI_FILE_PROTOCOL* This) {
  if (This == nullptr) return EFI_INVALID_PARAMETER;
  OpenFile* F = Of(This);
  FileSystemPeers* Self = F->Self;
  EFI_STATUS Status = EFI_WARN_DELETE_FAILURE;
  if (F->Writable && !F->Path.empty()) {
    std::vector<std::string> Parent(F->Path.begin(), F->Path.end() - 1);
    if (FileNodeProfile* Dir = Self->Resolve(F->VolumeIndex, Parent)) {
      for (auto It = Dir->Children.begin(); It != Dir->Children.end(); ++It) {
        if (SameName(It->Name, F->Path.back())) {
          Dir->Children.erase(It);
          Status = EFI_SUCCESS;
          break;
        }
      }
    }
  }
  Self->Open_.erase(F);
  delete F;
  return Status;
}

EFI_STATUS EFIAPI FileSystemPeers::Read(EFI_FILE_PROTOCOL* This, UINTN* BufferSize, VOID* Buffer) {
  if (This == nullptr || BufferSize == nullptr) return EFI_INVALID_PARAMETER;
  OpenFile* F = Of(This);
  FileSystemPeers* Self = F->Self;
  const Volume& V = *Self->Volumes_[F->VolumeIndex];
  FileNodeProfile* Node = Self->Resolve(F->VolumeIndex, F->Path);
  if (Node == nullptr) return EFI_DEVICE_ERROR;
  if (!Node->Directory) {
    const uint64_t Size = Node->Data.size();
    uint64_t Give = F->Position >= Size ? 0 : std::min<uint64_t>(*BufferSize, Size - F->Position);
    if (V.Profile.ShortRead && Give > 0) --Give;
    if (Give > 0 && Buffer == nullptr) return EFI_INVALID_PARAMETER;
    if (Give > 0) std::memcpy(Buffer, Node->Data.data() + F->Position, Give);
    F->Position += Give;
    *BufferSize = Give;
    return EFI_SUCCESS;
  }
  // A subdirectory lists "." and ".." first; the root has neither.
  const uint64_t Dots = F->Path.empty() ? 0 : 2;
  if (F->Position >= Dots + Node->Children.size()) {
    *BufferSize = 0;
    return EFI_SUCCESS;
  }
  std::vector<uint8_t> Record;
  if (F->Position < Dots) {
    FileNodeProfile Dot;
    Dot.Directory = true;
    Record = Self->InfoRecord(V, Dot, F->Position == 0 ? "." : "..");
  } else {
    const FileNodeProfile& Entry = Node->Children[F->Position - Dots];
    Record = Self->InfoRecord(V, Entry, Entry.Name);
  }
  UINTN Needed = Record.size();
  if (V.Profile.Fault == DirectoryFault::SizeChangesAfterProbe && !F->ProbeShrunk) {
    // The first probe of each entry undercounts; the read then asks for more.
    F->ProbeShrunk = true;
    *BufferSize = Needed - 2;
    return EFI_BUFFER_TOO_SMALL;
  }
  if (*BufferSize < Needed) {
    *BufferSize = Needed;
    return EFI_BUFFER_TOO_SMALL;
  }
  if (Buffer == nullptr) return EFI_INVALID_PARAMETER;
  std::memcpy(Buffer, Record.data(), Needed);
  *BufferSize = V.Profile.Fault == DirectoryFault::ReadsMoreThanAsked ? *BufferSize + 16 : Needed;
  F->ProbeShrunk = false;
  ++F->Position;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FileSystemPeers::Write(EFI_FILE_PROTOCOL* This, UINTN* BufferSize, const VOID* Buffer) {
  if (This == nullptr || BufferSize == nullptr) return EFI_INVALID_PARAMETER;
  OpenFile* F = Of(This);
  FileSystemPeers* Self = F->Self;
  const Volume& V = *Self->Volumes_[F->VolumeIndex];
  FileNodeProfile* Node = Self->Resolve(F->VolumeIndex, F->Path);
  if (Node == nullptr) return EFI_DEVICE_ERROR;
  if (Node->Directory) return EFI_UNSUPPORTED;
  if (!F->Writable) return EFI_ACCESS_DENIED;
  if (V.Profile.WriteFailure) {
    *BufferSize = 0;
    return *V.Profile.WriteFailure;
  }
  if (*BufferSize != 0 && Buffer == nullptr) return EFI_INVALID_PARAMETER;
  const uint64_t End = F->Position + *BufferSize;
  if (Node->Data.size() < End) Node->Data.resize(End, 0);
  if (*BufferSize != 0) std::memcpy(Node->Data.data() + F->Position, Buffer, *BufferSize);
  F->Position = End;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FileSystemPeers::GetPosition(EFI_FILE_PROTOCOL* This, UINT64* Position) {
  if (This == nullptr || Position == nullptr) return EFI_INVALID_PARAMETER;
  OpenFile* F = Of(This);
  FileNodeProfile* Node = F->Self->Resolve(F->VolumeIndex, F->Path);
  if (Node == nullptr) return EFI_DEVICE_ERROR;
  if (Node->Directory) return EFI_UNSUPPORTED;
  *Position = F->Position;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FileSystemPeers::SetPosition(EFI_FILE_PROTOCOL* This, UINT64 Position) {
  if (This == nullptr) return EFI_INVALID_PARAMETER;
  OpenFile* F = Of(This);
  FileNodeProfile* Node = F->Self->Resolve(F->VolumeIndex, F->Path);
  if (Node == nullptr) return EFI_DEVICE_ERROR;
  if (Node->Directory) {
    // Only a restart of the listing.
    if (Position != 0) return EFI_UNSUPPORTED;
    F->Position = 0;
    F->ProbeShrunk = false;
    return EFI_SUCCESS;
  }
  F->Position = Position == EFI_FILE_POSITION_END ? Node->Data.size() : Position;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FileSystemPeers::GetInfo(EFI_FILE_PROTOCOL* This, const EFI_GUID* InformationType,
                                           UINTN* BufferSize, VOID* Buffer) {
  if (This == nullptr || InformationType == nullptr || BufferSize == nullptr) return EFI_INVALID_PARAMETER;
  if (std::memcmp(InformationType, &EFI_FILE_INFO::Guid, sizeof(EFI_GUID)) != 0) return EFI_UNSUPPORTED;
  OpenFile* F = Of(This);
  FileSystemPeers* Self = F->Self;
  FileNodeProfile* Node = Self->Resolve(F->VolumeIndex, F->Path);
  if (Node == nullptr) return EFI_DEVICE_ERROR;
  FileVolumeProfile Plain = Self->Volumes_[F->VolumeIndex]->Profile;
  Plain.Fault = DirectoryFault::None;  // the faults are in directory reads only
  Volume Honest;
  Honest.Profile = Plain;
  const std::vector<uint8_t> Record = Self->InfoRecord(Honest, *Node, F->Path.empty() ? "" : F->Path.back());
  if (*BufferSize < Record.size()) {
    *BufferSize = Record.size();
    return EFI_BUFFER_TOO_SMALL;
  }
  if (Buffer == nullptr) return EFI_INVALID_PARAMETER;
  std::memcpy(Buffer, Record.data(), Record.size());
  *BufferSize = Record.size();
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FileSystemPeers::SetInfo(EFI_FILE_PROTOCOL* This, const EFI_GUID* InformationType,
                                           UINTN BufferSize, const VOID* Buffer) {
  if (This == nullptr || InformationType == nullptr || Buffer == nullptr) return EFI_INVALID_PARAMETER;
  if (std::memcmp(InformationType, &EFI_FILE_INFO::Guid, sizeof(EFI_GUID)) != 0) return EFI_UNSUPPORTED;
  if (BufferSize < SIZE_OF_EFI_FILE_INFO + sizeof(CHAR16)) return EFI_BAD_BUFFER_SIZE;
  OpenFile* F = Of(This);
  FileSystemPeers* Self = F->Self;
  const Volume& V = *Self->Volumes_[F->VolumeIndex];
  FileNodeProfile* Node = Self->Resolve(F->VolumeIndex, F->Path);
  if (Node == nullptr) return EFI_DEVICE_ERROR;
  if (!F->Writable) return EFI_ACCESS_DENIED;
  EFI_FILE_INFO Info;
  std::memcpy(&Info, Buffer, SIZE_OF_EFI_FILE_INFO);
  if (Info.Size > BufferSize) return EFI_BAD_BUFFER_SIZE;
  // A rename is not offered; the name must stay.
  std::u16string Name;
  const CHAR16* Chars = (const CHAR16*)((const uint8_t*)Buffer + SIZE_OF_EFI_FILE_INFO);
  for (size_t I = 0; I < (BufferSize - SIZE_OF_EFI_FILE_INFO) / 2 && Chars[I] != 0; ++I) Name.push_back(Chars[I]);
  if (!F->Path.empty() && !SameName(Narrow(Name), F->Path.back())) return EFI_ACCESS_DENIED;
  if (Node->Directory) return Info.FileSize == 0 ? EFI_SUCCESS : EFI_ACCESS_DENIED;
  if (Info.FileSize != Node->Data.size()) {
    if (V.Profile.NoTruncate) return EFI_ACCESS_DENIED;
    if (Info.FileSize > (1ull << 30)) return EFI_VOLUME_FULL;
    Node->Data.resize(Info.FileSize, 0);
  }
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FileSystemPeers::Flush(EFI_FILE_PROTOCOL* This) {
  return This == nullptr ? EFI_INVALID_PARAMETER : EFI_SUCCESS;
}

std::vector<uint8_t> UsbStickDevicePath(uint8_t Device, uint8_t Port) { return UsbStickDevicePathBytes(Device, Port); }

}  // namespace sim
