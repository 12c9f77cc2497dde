#include "sim/peers/secure_boot_peers.h"

#include <algorithm>
#include <cstring>
#include <tuple>

#include "uefi/image_authentication.h"

namespace sim {
namespace {

struct KeyName {
  const char16_t* Name;
  const EFI_GUID* Guid;
};
const KeyName KeyNames[] = {
    {u"dbx", &EFI_IMAGE_SECURITY_DATABASE_GUID}, {u"dbt", &EFI_IMAGE_SECURITY_DATABASE_GUID},
    {u"db", &EFI_IMAGE_SECURITY_DATABASE_GUID},  {u"KEK", &EFI_GLOBAL_VARIABLE_GUID},
    {u"PK", &EFI_GLOBAL_VARIABLE_GUID},
};
constexpr int PK_INDEX = 4, KEK_INDEX = 3;

const std::pair<const char*, EFI_GUID> DefaultFiles[] = {
    {"dbx", {0x9D7A05E9, 0xF740, 0x44C3, {0x85, 0x8B, 0x75, 0x58, 0x6A, 0x8F, 0x9C, 0x8E}}},
    {"dbt", {0xC246FBBF, 0xF75C, 0x43F7, {0x88, 0xA6, 0xB5, 0xFD, 0x0C, 0xF1, 0xDB, 0x7F}}},
    {"db", {0xFBF95065, 0x427F, 0x47B3, {0x80, 0x77, 0xD1, 0x3C, 0x60, 0x71, 0x09, 0x98}}},
    {"KEK", {0x9FE7DE69, 0x0AEA, 0x470A, {0xB5, 0x0A, 0x13, 0x98, 0x13, 0x64, 0x91, 0x89}}},
    {"PK", {0xCC0F8A3F, 0x3DEA, 0x4376, {0x96, 0x79, 0x54, 0x26, 0xBA, 0x0A, 0x90, 0x7E}}},
};

uint32_t Le32(const uint8_t* P) { return P[0] | P[1] << 8 | P[2] << 16 | (uint32_t)P[3] << 24; }

struct Signature {
  EFI_GUID Type;
  uint32_t Size;
  std::vector<uint8_t> Bytes;  // owner and data
};

// Whole signature lists, each signature counted; false for anything else.
bool SplitLists(const std::vector<uint8_t>& Data, std::vector<Signature>& Out) {
  size_t Offset = 0;
  while (Offset < Data.size()) {
    if (Data.size() - Offset < sizeof(EFI_SIGNATURE_LIST)) return false;
    const uint8_t* L = Data.data() + Offset;
    uint32_t ListSize = Le32(L + 16), HeaderSize = Le32(L + 20), SigSize = Le32(L + 24);
    if (ListSize > Data.size() - Offset || ListSize < sizeof(EFI_SIGNATURE_LIST)) return false;
    if (SigSize < sizeof(EFI_SIGNATURE_DATA) || HeaderSize > ListSize - sizeof(EFI_SIGNATURE_LIST)) return false;
    size_t Body = ListSize - sizeof(EFI_SIGNATURE_LIST) - HeaderSize;
    if (Body == 0 || Body % SigSize != 0) return false;
    EFI_GUID Type;
    std::memcpy(&Type, L, sizeof(Type));
    for (size_t S = 0; S < Body; S += SigSize) {
      const uint8_t* P = L + sizeof(EFI_SIGNATURE_LIST) + HeaderSize + S;
      Out.push_back(Signature{Type, SigSize, std::vector<uint8_t>(P, P + SigSize)});
    }
    Offset += ListSize;
  }
  return true;
}

void AppendList(std::vector<uint8_t>& Out, const Signature& S) {
  uint8_t Header[sizeof(EFI_SIGNATURE_LIST)] = {};
  std::memcpy(Header, &S.Type, sizeof(EFI_GUID));
  uint32_t Fields[3] = {(uint32_t)(sizeof(Header) + S.Bytes.size()), 0, S.Size};
  std::memcpy(Header + 16, Fields, sizeof(Fields));
  Out.insert(Out.end(), Header, Header + sizeof(Header));
  Out.insert(Out.end(), S.Bytes.begin(), S.Bytes.end());
}

// Signature data equal, owner aside, under the same type.
bool SameSignature(const Signature& A, const Signature& B) {
  return A.Type == B.Type && A.Bytes.size() == B.Bytes.size() &&
         std::equal(A.Bytes.begin() + sizeof(EFI_GUID), A.Bytes.end(), B.Bytes.begin() + sizeof(EFI_GUID));
}

auto StampKey(const EFI_TIME& T) {
  return std::make_tuple(T.Year, T.Month, T.Day, T.Hour, T.Minute, T.Second, T.Nanosecond);
}

}  // namespace

int KeyVariableIndex(const VariableStore::Key& K) {
  for (int I = 0; I < 5; ++I)
    if (K.Name == KeyNames[I].Name && K.Guid == *KeyNames[I].Guid) return I;
  return -1;
}

std::optional<EFI_GUID> DefaultKeyFileName(const std::string& Variable) {
  for (auto& [Name, Guid] : DefaultFiles)
    if (Variable == Name) return Guid;
  return std::nullopt;
}

SecureBootVariablePeer::SecureBootVariablePeer(VariableStore& Store, const SecureBootProfile& Profile)
    : Store_(Store), Profile_(Profile) {
  Store_.SetAuthenticatedWriteHook(
      [this](const VariableStore::Key& K, UINT32 A, std::vector<UINT8>& D, const VariableStore::Variable* E) {
        return Check(K, A, D, E);
      });
  Store_.SetHookedVariables([](const VariableStore::Key& K) { return KeyVariableIndex(K) >= 0; },
                            [this](const VariableStore::Key& K) { Written(K); });
  for (const char16_t* Name : {u"SetupMode", u"SecureBoot"}) Store_.SetWriteProtected(Name, EFI_GLOBAL_VARIABLE_GUID);
}

SecureBootVariablePeer::~SecureBootVariablePeer() {
  Store_.SetAuthenticatedWriteHook(nullptr);
  Store_.SetHookedVariables(nullptr, nullptr);
  for (const char16_t* Name : {u"SetupMode", u"SecureBoot"})
    Store_.SetWriteProtected(Name, EFI_GLOBAL_VARIABLE_GUID, false);
}

void SecureBootVariablePeer::EnrollProfileKeys() {
  for (int I = 0; I < 5; ++I) {
    std::string Name(KeyNames[I].Name, KeyNames[I].Name + std::char_traits<char16_t>::length(KeyNames[I].Name));
    auto It = Profile_.Keys.find(Name);
    if (It != Profile_.Keys.end() && !It->second.empty())
      Store_.Put(KeyNames[I].Name, *KeyNames[I].Guid, 0x27, It->second);
  }
  PublishState();
}

bool SecureBootVariablePeer::SetupMode() const {
  return Store_.Find(KeyNames[PK_INDEX].Name, *KeyNames[PK_INDEX].Guid) == nullptr;
}

void SecureBootVariablePeer::PublishState() {
  bool Setup = SetupMode();
  Store_.Put(u"SetupMode", EFI_GLOBAL_VARIABLE_GUID, 0x6, {UINT8(Setup ? 1 : 0)});
  Store_.Put(u"SecureBoot", EFI_GLOBAL_VARIABLE_GUID, 0x6, {UINT8(!Setup && Profile_.SecureBootEnabled ? 1 : 0)});
}

bool SecureBootVariablePeer::Trusted(const std::vector<UINT8>& Certificate, int Index) const {
  for (auto& Signer : Profile_.TrustedSigners) {
    bool MaySign = Signer.Authority == "PK" || (Signer.Authority == "KEK" && Index < KEK_INDEX);
    if (!MaySign || Signer.Marker.empty()) continue;
    if (std::search(Certificate.begin(), Certificate.end(), Signer.Marker.begin(), Signer.Marker.end()) !=
        Certificate.end())
      return true;
  }
  return false;
}

EFI_STATUS SecureBootVariablePeer::Check(const VariableStore::Key& K, UINT32 Attributes, std::vector<UINT8>& Data,
                                         const VariableStore::Variable* Existing) {
  int Index = KeyVariableIndex(K);
  if (Index < 0) return EFI_SUCCESS;
  PendingStamp_.reset();
  bool Setup = SetupMode();
  // A plain delete: only where the platform lets setup clear keys.
  if (Attributes == 0 && Data.empty()) {
    if (Existing == nullptr) return EFI_SUCCESS;
    return Setup || Profile_.SetupMayDelete ? EFI_SUCCESS : EFI_SECURITY_VIOLATION;
  }
  if ((Attributes & ~EFI_VARIABLE_APPEND_WRITE) != 0x27) return EFI_SECURITY_VIOLATION;
  bool Append = (Attributes & EFI_VARIABLE_APPEND_WRITE) != 0;

  if (Data.size() < sizeof(EFI_VARIABLE_AUTHENTICATION_2)) return EFI_SECURITY_VIOLATION;
  EFI_VARIABLE_AUTHENTICATION_2 Header;
  std::memcpy(&Header, Data.data(), sizeof(Header));
  const EFI_TIME& T = Header.TimeStamp;
  UINT32 CertLength = Header.AuthInfo.Hdr.dwLength;
  if (CertLength < sizeof(WIN_CERTIFICATE_UEFI_GUID) || CertLength > Data.size() - sizeof(EFI_TIME) ||
      Header.AuthInfo.Hdr.wRevision != WIN_CERT_REVISION_2_0 ||
      Header.AuthInfo.Hdr.wCertificateType != WIN_CERT_TYPE_EFI_GUID ||
      !(Header.AuthInfo.CertType == EFI_CERT_TYPE_PKCS7_GUID))
    return EFI_SECURITY_VIOLATION;
  if (T.Pad1 != 0 || T.Nanosecond != 0 || T.TimeZone != 0 || T.Daylight != 0 || T.Pad2 != 0)
    return EFI_SECURITY_VIOLATION;
  std::vector<UINT8> Certificate(Data.begin() + sizeof(Header), Data.begin() + sizeof(EFI_TIME) + CertLength);
  std::vector<UINT8> Payload(Data.begin() + sizeof(EFI_TIME) + CertLength, Data.end());

  if (!Setup && (Certificate.empty() || !Trusted(Certificate, Index))) return EFI_SECURITY_VIOLATION;

  auto Stamp = Stamps_.find(Index);
  if (!Append && Existing && Stamp != Stamps_.end() && !(StampKey(T) > StampKey(Stamp->second)))
    return EFI_SECURITY_VIOLATION;

  std::vector<Signature> Incoming;
  if (!SplitLists(Payload, Incoming)) return EFI_INVALID_PARAMETER;
  if (Append) {
    std::vector<Signature> Held;
    if (Existing) SplitLists(Existing->Data, Held);
    std::vector<UINT8> Merged;
    for (auto& S : Incoming) {
      bool Known = std::any_of(Held.begin(), Held.end(), [&](const Signature& H) { return SameSignature(H, S); });
      if (Known) continue;
      Held.push_back(S);
      AppendList(Merged, S);
    }
    Payload = std::move(Merged);
  }
  if (Stamp == Stamps_.end() || StampKey(T) > StampKey(Stamp->second)) PendingStamp_ = std::make_pair(Index, T);
  Data = std::move(Payload);
  return EFI_SUCCESS;
}

void SecureBootVariablePeer::Written(const VariableStore::Key& K) {
  int Index = KeyVariableIndex(K);
  if (Store_.Find(K.Name, K.Guid) == nullptr)
    Stamps_.erase(Index);
  else if (PendingStamp_ && PendingStamp_->first == Index)
    Stamps_[Index] = PendingStamp_->second;
  PendingStamp_.reset();
  if (Index == PK_INDEX) PublishState();
}

FirmwareVolumePeer::FirmwareVolumePeer(const SecureBootProfile& Profile) : Failure_(Profile.ReadSectionFailure) {
  for (auto& [Name, Bytes] : Profile.DefaultKeyFiles)
    if (auto Guid = DefaultKeyFileName(Name)) Files_.emplace_back(*Guid, Bytes);
  Instance_.Self = this;
  auto& P = Instance_.Protocol;
  P.GetVolumeAttributes = GetVolumeAttributes;
  P.SetVolumeAttributes = SetVolumeAttributes;
  P.ReadFile = ReadFile;
  P.ReadSection = ReadSection;
  P.WriteFile = WriteFile;
  P.GetNextFile = GetNextFile;
  P.KeySize = sizeof(UINTN);
  P.ParentHandle = nullptr;
  P.GetInfo = GetInfo;
  P.SetInfo = SetInfo;
}

EFI_STATUS FirmwareVolumePeer::Install(EFI_BOOT_SERVICES* BootServices) {
  BootServices_ = BootServices;
  Handle_ = nullptr;
  return BootServices->InstallProtocolInterface(&Handle_, &EFI_FIRMWARE_VOLUME2_PROTOCOL::Guid, EFI_NATIVE_INTERFACE,
                                                &Instance_.Protocol);
}

const std::vector<uint8_t>* FirmwareVolumePeer::Find(const EFI_GUID& Name) const {
  for (auto& [Guid, Bytes] : Files_)
    if (Guid == Name) return &Bytes;
  return nullptr;
}

static FirmwareVolumePeer* Self(const EFI_FIRMWARE_VOLUME2_PROTOCOL* This) {
  return ((const FirmwareVolumePeer::Instance*)This)->Self;
}

// The bytes into the caller's buffer, or a new pool buffer when *Buffer is null.
static EFI_STATUS HandOver(EFI_BOOT_SERVICES* BootServices, const std::vector<uint8_t>& Bytes, VOID** Buffer,
                           UINTN* BufferSize) {
  if (*Buffer == nullptr) {
    if (BootServices->AllocatePool(EfiBootServicesData, Bytes.size() ? Bytes.size() : 1, Buffer) != EFI_SUCCESS)
      return EFI_OUT_OF_RESOURCES;
  } else if (*BufferSize < Bytes.size()) {
    std::memcpy(*Buffer, Bytes.data(), *BufferSize);
    *BufferSize = Bytes.size();
    return EFI_WARN_BUFFER_TOO_SMALL;
  }
  if (!Bytes.empty()) std::memcpy(*Buffer, Bytes.data(), Bytes.size());
  *BufferSize = Bytes.size();
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FirmwareVolumePeer::ReadSection(const EFI_FIRMWARE_VOLUME2_PROTOCOL* This, const EFI_GUID* NameGuid,
                                                  EFI_SECTION_TYPE SectionType, UINTN SectionInstance, VOID** Buffer,
                                                  UINTN* BufferSize, UINT32* AuthenticationStatus) {
  if (This == nullptr || NameGuid == nullptr || Buffer == nullptr || BufferSize == nullptr ||
      AuthenticationStatus == nullptr)
    return EFI_INVALID_PARAMETER;
  FirmwareVolumePeer* P = Self(This);
  if (P->Failure_) return *P->Failure_;
  const std::vector<uint8_t>* File = P->Find(*NameGuid);
  // Each file holds one raw section.
  if (File == nullptr || SectionType != EFI_SECTION_RAW || SectionInstance != 0) return EFI_NOT_FOUND;
  *AuthenticationStatus = 0;
  return HandOver(P->BootServices_, *File, Buffer, BufferSize);
}

// The whole file: one raw section, a 4-byte common header before the bytes.
EFI_STATUS EFIAPI FirmwareVolumePeer::ReadFile(const EFI_FIRMWARE_VOLUME2_PROTOCOL* This, const EFI_GUID* NameGuid,
                                               VOID** Buffer, UINTN* BufferSize, EFI_FV_FILETYPE* FoundType,
                                               EFI_FV_FILE_ATTRIBUTES* FileAttributes,
                                               UINT32* AuthenticationStatus) {
  if (This == nullptr || NameGuid == nullptr || BufferSize == nullptr || FoundType == nullptr ||
      FileAttributes == nullptr || AuthenticationStatus == nullptr)
    return EFI_INVALID_PARAMETER;
  FirmwareVolumePeer* P = Self(This);
  if (P->Failure_) return *P->Failure_;
  const std::vector<uint8_t>* File = P->Find(*NameGuid);
  if (File == nullptr) return EFI_NOT_FOUND;
  *FoundType = 0x02;  // freeform
  *FileAttributes = 0;
  *AuthenticationStatus = 0;
  size_t Length = 4 + File->size();
  std::vector<uint8_t> Section = {uint8_t(Length), uint8_t(Length >> 8), uint8_t(Length >> 16), EFI_SECTION_RAW};
  Section.insert(Section.end(), File->begin(), File->end());
  if (Buffer == nullptr) {
    *BufferSize = Section.size();
    return EFI_SUCCESS;
  }
  return HandOver(P->BootServices_, Section, Buffer, BufferSize);
}

EFI_STATUS EFIAPI FirmwareVolumePeer::GetVolumeAttributes(const EFI_FIRMWARE_VOLUME2_PROTOCOL*,
                                                          EFI_FV_ATTRIBUTES* FvAttributes) {
  if (FvAttributes == nullptr) return EFI_INVALID_PARAMETER;
  *FvAttributes = EFI_FV2_READ_STATUS;
  return EFI_SUCCESS;
}

// The volume is read-only and lists no files: nothing here changes it.
EFI_STATUS EFIAPI FirmwareVolumePeer::SetVolumeAttributes(const EFI_FIRMWARE_VOLUME2_PROTOCOL*, EFI_FV_ATTRIBUTES*) {
  return EFI_INVALID_PARAMETER;
}
EFI_STATUS EFIAPI FirmwareVolumePeer::WriteFile(const EFI_FIRMWARE_VOLUME2_PROTOCOL*, UINT32, EFI_FV_WRITE_POLICY,
                                                EFI_FV_WRITE_FILE_DATA*) {
  return EFI_WRITE_PROTECTED;
}
EFI_STATUS EFIAPI FirmwareVolumePeer::GetNextFile(const EFI_FIRMWARE_VOLUME2_PROTOCOL* This, VOID* Key,
                                                  EFI_FV_FILETYPE* FileType, EFI_GUID* NameGuid,
                                                  EFI_FV_FILE_ATTRIBUTES* Attributes, UINTN* Size) {
  if (This == nullptr || Key == nullptr || FileType == nullptr || NameGuid == nullptr || Attributes == nullptr ||
      Size == nullptr)
    return EFI_INVALID_PARAMETER;
  FirmwareVolumePeer* P = Self(This);
  UINTN Next;
  std::memcpy(&Next, Key, sizeof(Next));
  if (Next >= P->Files_.size()) return EFI_NOT_FOUND;
  *FileType = 0x02;
  *NameGuid = P->Files_[Next].first;
  *Attributes = 0;
  *Size = 4 + P->Files_[Next].second.size();
  ++Next;
  std::memcpy(Key, &Next, sizeof(Next));
  return EFI_SUCCESS;
}
EFI_STATUS EFIAPI FirmwareVolumePeer::GetInfo(const EFI_FIRMWARE_VOLUME2_PROTOCOL*, const EFI_GUID*, UINTN*, VOID*) {
  return EFI_UNSUPPORTED;
}
EFI_STATUS EFIAPI FirmwareVolumePeer::SetInfo(const EFI_FIRMWARE_VOLUME2_PROTOCOL*, const EFI_GUID*, UINTN,
                                              const VOID*) {
  return EFI_UNSUPPORTED;
}

}  // namespace sim
