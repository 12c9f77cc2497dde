#include "sim/variables.h"

#include <cstring>

namespace sim {

namespace {
constexpr UINT32 KNOWN_ATTRIBUTES = 0x7F;

size_t NameBytes(const std::u16string& Name) { return (Name.size() + 1) * sizeof(CHAR16); }

std::u16string FromWide(const CHAR16* Text) { return std::u16string(Text); }

// Searches for a NUL within Limit bytes of Text.
bool TerminatedWithin(const CHAR16* Text, UINTN LimitBytes) {
  for (UINTN I = 0; I < LimitBytes / sizeof(CHAR16); ++I)
    if (Text[I] == 0) return true;
  return false;
}
}  // namespace

std::string ToUtf8(const std::u16string& Text) {
  std::string Out;
  for (char16_t C : Text) {
    if (C < 0x80) {
      Out += (char)C;
    } else if (C < 0x800) {
      Out += (char)(0xC0 | (C >> 6));
      Out += (char)(0x80 | (C & 0x3F));
    } else {
      Out += (char)(0xE0 | (C >> 12));
      Out += (char)(0x80 | ((C >> 6) & 0x3F));
      Out += (char)(0x80 | (C & 0x3F));
    }
  }
  return Out;
}

std::u16string ToUtf16(const std::string& Text) {
  std::u16string Out;
  for (size_t I = 0; I < Text.size();) {
    unsigned char C = (unsigned char)Text[I];
    char32_t Code;
    size_t Len;
    if (C < 0x80) {
      Code = C;
      Len = 1;
    } else if ((C & 0xE0) == 0xC0) {
      Code = C & 0x1F;
      Len = 2;
    } else if ((C & 0xF0) == 0xE0) {
      Code = C & 0x0F;
      Len = 3;
    } else {
      Code = u'?';
      Len = 1;
      while (I + Len < Text.size() && ((unsigned char)Text[I + Len] & 0xC0) == 0x80) ++Len;
      Out += (char16_t)Code;
      I += Len;
      continue;
    }
    for (size_t K = 1; K < Len && I + K < Text.size(); ++K) Code = (Code << 6) | ((unsigned char)Text[I + K] & 0x3F);
    Out += (char16_t)Code;
    I += Len;
  }
  return Out;
}

bool VariableStore::Key::operator<(const Key& O) const {
  if (Name != O.Name) return Name < O.Name;
  return std::memcmp(&Guid, &O.Guid, sizeof Guid) < 0;
}

const VariableStore::Variable* VariableStore::Find(const std::u16string& Name, const EFI_GUID& Guid) const {
  auto It = Vars_.find(Key{Name, Guid});
  return It == Vars_.end() ? nullptr : &It->second;
}

void VariableStore::Put(const std::u16string& Name, const EFI_GUID& Guid, UINT32 Attributes, std::vector<UINT8> Data) {
  Vars_[Key{Name, Guid}] = Variable{Attributes, std::move(Data)};
}

bool VariableStore::Erase(const std::u16string& Name, const EFI_GUID& Guid) { return Vars_.erase(Key{Name, Guid}) != 0; }

void VariableStore::DropVolatile() {
  for (auto It = Vars_.begin(); It != Vars_.end();)
    It = (It->second.Attributes & EFI_VARIABLE_NON_VOLATILE) ? std::next(It) : Vars_.erase(It);
}

void VariableStore::SetWriteProtected(const std::u16string& Name, const EFI_GUID& Guid, bool On) {
  if (On)
    Protected_.insert(Key{Name, Guid});
  else
    Protected_.erase(Key{Name, Guid});
}

size_t VariableStore::Used(bool NonVolatile) const {
  size_t Bytes = 0;
  for (auto& [K, V] : Vars_)
    if (((V.Attributes & EFI_VARIABLE_NON_VOLATILE) != 0) == NonVolatile)
      Bytes += HEADER_SIZE + NameBytes(K.Name) + V.Data.size();
  return Bytes;
}

EFI_STATUS VariableStore::Get(const CHAR16* Name, const EFI_GUID* Guid, UINT32* Attributes, UINTN* DataSize,
                              VOID* Data) {
  if (Name == nullptr || Guid == nullptr || DataSize == nullptr) return EFI_INVALID_PARAMETER;
  if (Name[0] == 0) return EFI_NOT_FOUND;
  std::u16string N = FromWide(Name);
  {
    auto It = GetFailures_.find(N);
    if (It == GetFailures_.end()) It = GetFailures_.find(u"");
    if (It != GetFailures_.end()) return It->second;
  }
  auto It = Vars_.find(Key{N, *Guid});
  if (It == Vars_.end()) return EFI_NOT_FOUND;
  const Variable& V = It->second;
  if (*DataSize < V.Data.size()) {
    *DataSize = V.Data.size();
    if (Attributes) *Attributes = V.Attributes;
    return EFI_BUFFER_TOO_SMALL;
  }
  if (Data == nullptr) return EFI_INVALID_PARAMETER;
  if (!V.Data.empty()) std::memcpy(Data, V.Data.data(), V.Data.size());
  *DataSize = V.Data.size();
  if (Attributes) *Attributes = V.Attributes;
  return EFI_SUCCESS;
}

EFI_STATUS VariableStore::GetNextName(UINTN* NameSize, CHAR16* Name, EFI_GUID* Guid) {
  if (NameSize == nullptr || Name == nullptr || Guid == nullptr) return EFI_INVALID_PARAMETER;
  if (!TerminatedWithin(Name, *NameSize)) return EFI_INVALID_PARAMETER;
  std::map<Key, Variable>::iterator Next;
  if (Name[0] == 0) {
    Next = Vars_.begin();
  } else {
    auto It = Vars_.find(Key{FromWide(Name), *Guid});
    if (It == Vars_.end()) return EFI_INVALID_PARAMETER;
    Next = std::next(It);
  }
  if (Next == Vars_.end()) return EFI_NOT_FOUND;
  UINTN Need = NameBytes(Next->first.Name);
  if (*NameSize < Need) {
    *NameSize = Need;
    return EFI_BUFFER_TOO_SMALL;
  }
  std::memcpy(Name, Next->first.Name.c_str(), Need);
  *Guid = Next->first.Guid;
  *NameSize = Need;
  return EFI_SUCCESS;
}

EFI_STATUS VariableStore::Set(const CHAR16* Name, const EFI_GUID* Guid, UINT32 Attributes, UINTN DataSize,
                              const VOID* Data) {
  EFI_STATUS Status = DoSet(Name, Guid, Attributes, DataSize, Data);
  if (Status == EFI_SUCCESS && Observer_ && Name && Guid) {
    Key K{FromWide(Name), *Guid};
    if (Hooked_ && Hooked_(K)) Observer_(K);
  }
  LogEntry E{};
  if (Name) E.Name = FromWide(Name);
  if (Guid) E.Guid = *Guid;
  E.Attributes = Attributes;
  // A size past the limit was refused unread; the log does not read it either.
  if (Data && DataSize && DataSize <= MaxVariableSize_) E.Data.assign((const UINT8*)Data, (const UINT8*)Data + DataSize);
  E.Status = Status;
  Log_.push_back(std::move(E));
  return Status;
}

EFI_STATUS VariableStore::DoSet(const CHAR16* Name, const EFI_GUID* Guid, UINT32 Attributes, UINTN DataSize,
                                const VOID* Data) {
  if (Name == nullptr || Name[0] == 0 || Guid == nullptr) return EFI_INVALID_PARAMETER;
  if (DataSize != 0 && Data == nullptr) return EFI_INVALID_PARAMETER;
  if (Attributes & ~KNOWN_ATTRIBUTES) return EFI_INVALID_PARAMETER;
  if ((Attributes & EFI_VARIABLE_RUNTIME_ACCESS) && !(Attributes & EFI_VARIABLE_BOOTSERVICE_ACCESS))
    return EFI_INVALID_PARAMETER;
  // The count-based authenticated write is deprecated; real stores refuse it.
  if (Attributes & EFI_VARIABLE_AUTHENTICATED_WRITE_ACCESS) {
    if (Attributes & EFI_VARIABLE_TIME_BASED_AUTHENTICATED_WRITE_ACCESS) return EFI_INVALID_PARAMETER;
    return EFI_UNSUPPORTED;
  }
  if ((Attributes & EFI_VARIABLE_HARDWARE_ERROR_RECORD) &&
      (Attributes & (EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS)) !=
          (EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS))
    return EFI_INVALID_PARAMETER;

  std::u16string N = FromWide(Name);
  {
    auto It = SetFailures_.find(N);
    if (It == SetFailures_.end()) It = SetFailures_.find(u"");
    if (It != SetFailures_.end()) return It->second;
  }
  Key K{N, *Guid};
  // DataSize first on its own: near the top of UINTN the sum would wrap.
  if (DataSize > MaxVariableSize_ || NameBytes(N) + DataSize + HEADER_SIZE > MaxVariableSize_)
    return EFI_INVALID_PARAMETER;

  auto It = Vars_.find(K);
  Variable* Existing = It == Vars_.end() ? nullptr : &It->second;
  if (Protected_.count(K)) return EFI_WRITE_PROTECTED;
  bool Append = (Attributes & EFI_VARIABLE_APPEND_WRITE) != 0;
  UINT32 Stored = Attributes & ~EFI_VARIABLE_APPEND_WRITE;
  if (Existing && Attributes != 0 && Stored != Existing->Attributes) return EFI_INVALID_PARAMETER;

  std::vector<UINT8> Payload((const UINT8*)Data, (const UINT8*)Data + DataSize);
  if ((Attributes & EFI_VARIABLE_TIME_BASED_AUTHENTICATED_WRITE_ACCESS) || (Hooked_ && Hooked_(K))) {
    if (AuthHook_) {
      EFI_STATUS S = AuthHook_(K, Attributes, Payload, Existing);
      if (EFI_ERROR(S)) return S;
    }
  }

  // Size 0, or no access at all, deletes.
  bool Delete = (!Append && Payload.empty()) ||
                (Stored & (EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS)) == 0;
  if (Delete) {
    if (Existing == nullptr) return EFI_NOT_FOUND;
    Vars_.erase(It);
    return EFI_SUCCESS;
  }
  if (Append && Payload.empty()) return EFI_SUCCESS;

  std::vector<UINT8> NewData = Payload;
  if (Append && Existing) {
    NewData = Existing->Data;
    NewData.insert(NewData.end(), Payload.begin(), Payload.end());
    if (NameBytes(N) + NewData.size() + HEADER_SIZE > MaxVariableSize_) return EFI_INVALID_PARAMETER;
  }
  bool Nv = (Stored & EFI_VARIABLE_NON_VOLATILE) != 0;
  size_t Cost = HEADER_SIZE + NameBytes(N) + NewData.size();
  size_t Freed = Existing ? HEADER_SIZE + NameBytes(N) + Existing->Data.size() : 0;
  if (Used(Nv) - Freed + Cost > (Nv ? NvCapacity_ : VolatileCapacity_)) return EFI_OUT_OF_RESOURCES;
  Vars_[K] = Variable{Stored, std::move(NewData)};
  return EFI_SUCCESS;
}

EFI_STATUS VariableStore::QueryInfo(UINT32 Attributes, UINT64* MaxStorage, UINT64* Remaining, UINT64* MaxVar) {
  if (MaxStorage == nullptr || Remaining == nullptr || MaxVar == nullptr || Attributes == 0)
    return EFI_INVALID_PARAMETER;
  if (Attributes & ~KNOWN_ATTRIBUTES) return EFI_INVALID_PARAMETER;
  if ((Attributes & EFI_VARIABLE_RUNTIME_ACCESS) && !(Attributes & EFI_VARIABLE_BOOTSERVICE_ACCESS))
    return EFI_INVALID_PARAMETER;
  if (Attributes & EFI_VARIABLE_AUTHENTICATED_WRITE_ACCESS) return EFI_UNSUPPORTED;
  bool Nv = (Attributes & EFI_VARIABLE_NON_VOLATILE) != 0;
  size_t Capacity = Nv ? NvCapacity_ : VolatileCapacity_;
  size_t Used = this->Used(Nv);
  *MaxStorage = Capacity;
  *Remaining = Used > Capacity ? 0 : Capacity - Used;
  *MaxVar = MaxVariableSize_ - HEADER_SIZE;
  return EFI_SUCCESS;
}

}  // namespace sim
