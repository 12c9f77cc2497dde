#include "setupinfo/secureboot/secure_boot_keys.h"

#include "lib/pool_buffer.h"
#include "lib/strings.h"
#include "lib/util.h"
#include "setupinfo/core/form_set_table.h"
#include "setupinfo/core/form_utility.h"
#include "uefi/firmware_volume.h"



// The build time the main page shows; a fixed stamp, which is why a set
// deletes first: it could not overwrite a variable with a newer one.
static constexpr EFI_TIME HEADER_TIME_STAMP = {2016, 6, 13, 22, 51, 43, 0, 0, 0, 0, 0};

static constexpr const EFI_GUID* KnownSignatureTypes[] = {
    &EFI_CERT_X509_SHA256_GUID, &EFI_CERT_X509_SHA384_GUID, &EFI_CERT_X509_SHA512_GUID,
    &EFI_CERT_SHA256_GUID,      &EFI_CERT_X509_GUID,        &EFI_CERT_RSA2048_GUID,
    &EFI_CERT_RSA2048_SHA256_GUID, &EFI_CERT_RSA2048_SHA1_GUID,
};

static constexpr CHAR16 SECURE_VAR_PRESENT_NAME[] = u"SecureVarPresent";

const EFI_GUID* KeyVariableGuid(UINTN Index) {
  return Index < 3 ? &EFI_IMAGE_SECURITY_DATABASE_GUID : &EFI_GLOBAL_VARIABLE_GUID;
}

static EFI_STATUS GetKey(UINTN Index, UINTN* Size, VOID* Buffer) {
  return gRT()->GetVariable(KeyVariables[Index].Name, KeyVariableGuid(Index), nullptr, Size, Buffer);
}

static EFI_STATUS SetKey(UINTN Index, UINT32 Attributes, UINTN Size, const VOID* Data) {
  return gRT()->SetVariable(KeyVariables[Index].Name, KeyVariableGuid(Index), Attributes, Size, (VOID*)Data);
}

// A probe: the variable exists exactly when a zero-size read is too small.
static EFI_STATUS ProbeKey(UINTN Index) {
  UINTN Size = 0;
  return GetKey(Index, &Size, nullptr);
}

// One byte owned by the platform; 0 whenever the one-byte read fails (a
// longer value must not pass its own size on with a one-byte buffer).
static void RefreshStateByte(const CHAR16* Name) {
  UINT8 Value = 0;
  UINTN Size = sizeof(Value);
  if (EFI_ERROR(gRT()->GetVariable(Name, &EFI_GLOBAL_VARIABLE_GUID, nullptr, &Size, &Value)) || Size != 1) Value = 0;
  SetBrowserData(sizeof(Value), &Value, &EFI_GLOBAL_VARIABLE_GUID, Name);
}

void RefreshSecureBootState() {
  UINT8 Present[SECURE_VAR_PRESENT_SIZE] = {};
  for (UINTN i = 0; i < KEY_VARIABLE_COUNT; ++i) Present[i] = ProbeKey(i) == EFI_BUFFER_TOO_SMALL ? 1 : 0;
  gRT()->SetVariable(SECURE_VAR_PRESENT_NAME, &SECURE_BOOT_FORM_SET_GUID, EFI_VARIABLE_BOOTSERVICE_ACCESS,
                     sizeof(Present), Present);
  SetBrowserData(sizeof(Present), Present, &SECURE_BOOT_FORM_SET_GUID, SECURE_VAR_PRESENT_NAME);
  RefreshStateByte(u"SecureBoot");
  RefreshStateByte(u"SetupMode");
}

EFI_STATUS ReadDefaultKeyFile(const EFI_GUID* FileGuid, VOID** Buffer, UINTN* Size) {
  if (FileGuid == nullptr || Buffer == nullptr || Size == nullptr) return EFI_INVALID_PARAMETER;
  *Buffer = nullptr;
  *Size = 0;
  UINTN Count = 0;
  PoolBuffer<EFI_HANDLE> Handles;
  if (EFI_ERROR(gBS()->LocateHandleBuffer(ByProtocol, &EFI_FIRMWARE_VOLUME2_PROTOCOL::Guid, nullptr, &Count,
                                          (EFI_HANDLE**)Handles.OutPtr())))
    return EFI_NOT_FOUND;
  for (UINTN i = 0; i < Count; ++i) {
    auto* Volume = HandleProtocol<EFI_FIRMWARE_VOLUME2_PROTOCOL>(Handles[i]);
    if (Volume == nullptr) continue;
    PoolBuffer<UINT8> Section;
    UINTN SectionSize = 0;
    UINT32 AuthenticationStatus = 0;
    if (EFI_ERROR(Volume->ReadSection(Volume, FileGuid, EFI_SECTION_RAW, 0, Section.OutPtr(), &SectionSize,
                                      &AuthenticationStatus)))
      continue;
    // A volume that claims bytes it did not hand over holds no usable file.
    if (!Section && SectionSize != 0) continue;
    *Buffer = Section.Release();
    *Size = SectionSize;
    return EFI_SUCCESS;
  }
  return EFI_NOT_FOUND;
}

namespace {

// What a key variable held before a delete, to be put back when the write
// that should replace it is refused.
class KeySnapshot {
 public:
  // EFI_SUCCESS also when the variable does not exist (nothing to put back).
  EFI_STATUS Take(UINTN Index) {
    Index_ = Index;
    EFI_STATUS Status = ReadWholeVariable(KeyVariables[Index].Name, KeyVariableGuid(Index), Data_, &Size_,
                                          VARIABLE_AS_BYTES, &Attributes_);
    if (Status == EFI_NOT_FOUND) return EFI_SUCCESS;
    return Status;
  }
  // The old lists again, behind the fixed header: a time-based variable
  // is only written with a descriptor. Refused where the platform wants a
  // signature; the caller still reports the failed write.
  void PutBack() {
    if (!Data_ || Size_ == 0) return;
    if (Size_ > (UINTN)0xFFFFFFFF - AUTHENTICATED_HEADER_SIZE) return;
    PoolBuffer<UINT8> Image;
    if (!Image.Allocate(AUTHENTICATED_HEADER_SIZE + Size_, false)) return;
    BuildAuthenticatedHeader(Image.Get());
    MemMove(Image.Get() + AUTHENTICATED_HEADER_SIZE, Data_.Get(), Size_);
    SetKey(Index_, Attributes_ != 0 ? Attributes_ : KEY_WRITE_ATTRIBUTES, AUTHENTICATED_HEADER_SIZE + Size_,
           Image.Get());
  }

 private:
  UINTN Index_ = 0;
  PoolBuffer<UINT8> Data_;
  UINTN Size_ = 0;
  UINT32 Attributes_ = 0;
};

}  // namespace

EFI_STATUS WriteKeyVariable(UINTN Index, UINT32 Flags, const VOID* Data, UINTN Size) {
  if (Index >= KEY_VARIABLE_COUNT) return EFI_INVALID_PARAMETER;
  EFI_STATUS Status = EFI_SUCCESS;
  bool Write = (Flags & KEY_WRITE_DATA) != 0 && Data != nullptr && Size != 0;
  KeySnapshot Previous;
  bool Deleted = false;
  if (Flags & KEY_WRITE_DELETE) {
    // Without a copy of the old key a refused write would lose it: no delete.
    if (Write) Status = Previous.Take(Index);
    if (EFI_ERROR(Status)) {
      RefreshSecureBootState();
      return Status;
    }
    Status = SetKey(Index, 0, 0, nullptr);
    Deleted = Status == EFI_SUCCESS;
  }
  if (Write) {
    Status = SetKey(Index, (Flags & KEY_WRITE_APPEND) ? KEY_APPEND_ATTRIBUTES : KEY_WRITE_ATTRIBUTES, Size, Data);
    if (EFI_ERROR(Status) && Deleted) Previous.PutBack();
  }
  RefreshSecureBootState();
  return Status;
}

EFI_STATUS RestoreKeys(UINT32 Flags) {
  EFI_STATUS FirstFailure = EFI_SUCCESS;
  bool Installed = false;
  auto Note = [&](EFI_STATUS Status) {
    if (EFI_ERROR(Status) && !EFI_ERROR(FirstFailure)) FirstFailure = Status;
  };
  for (UINTN i = 0; i < KEY_VARIABLE_COUNT; ++i) {
    PoolBuffer<UINT8> File;
    UINTN FileSize = 0;
    // An empty default file is no file: deleting the key for it would leave
    // the variable empty with nothing put in its place.
    if (Flags & RESTORE_INSTALL_DEFAULTS) {
      if (EFI_ERROR(ReadDefaultKeyFile(&KeyVariables[i].DefaultKeyFile, File.OutPtr(), &FileSize)) || FileSize == 0)
        continue;
    }
    bool Install = (Flags & RESTORE_INSTALL_DEFAULTS) != 0;
    KeySnapshot Previous;
    bool Deleted = false;
    if (Flags & RESTORE_DELETE) {
      EFI_STATUS Status = Install ? Previous.Take(i) : EFI_SUCCESS;
      if (!EFI_ERROR(Status)) {
        Status = SetKey(i, 0, 0, nullptr);
        Deleted = Status == EFI_SUCCESS;
        if (Status == EFI_NOT_FOUND) Status = EFI_SUCCESS;
      }
      Note(Status);
    }
    if (Install && ProbeKey(i) == EFI_NOT_FOUND) {
      EFI_STATUS Status = SetKey(i, KEY_WRITE_ATTRIBUTES, FileSize, File.Get());
      Note(Status);
      if (!EFI_ERROR(Status))
        Installed = true;
      else if (Deleted)
        Previous.PutBack();
    }
  }
  if (EFI_ERROR(FirstFailure)) return FirstFailure;
  if ((Flags & RESTORE_INSTALL_DEFAULTS) && !Installed) return EFI_NOT_FOUND;
  return EFI_SUCCESS;
}

void BuildAuthenticatedHeader(UINT8* Image) {
  EFI_VARIABLE_AUTHENTICATION_2 Header = {};
  Header.TimeStamp = HEADER_TIME_STAMP;
  Header.AuthInfo.Hdr.dwLength = sizeof(WIN_CERTIFICATE_UEFI_GUID);
  Header.AuthInfo.Hdr.wRevision = WIN_CERT_REVISION_2_0;
  Header.AuthInfo.Hdr.wCertificateType = WIN_CERT_TYPE_EFI_GUID;
  Header.AuthInfo.CertType = EFI_CERT_TYPE_PKCS7_GUID;
  MemMove(Image, &Header, sizeof(Header));
}

// Payload sizes with a type: the hash sizes, an RSA-2048 key and, above
// that, a DER certificate. Any other size is refused rather than given a
// type the payload is not.
static const EFI_GUID* SignatureTypeForSize(UINTN PayloadSize) {
  switch (PayloadSize) {
    case 32: return &EFI_CERT_SHA256_GUID;
    case 48: return &EFI_CERT_X509_SHA256_GUID;
    case 64: return &EFI_CERT_X509_SHA384_GUID;
    case 80: return &EFI_CERT_X509_SHA512_GUID;
    case 256: return &EFI_CERT_RSA2048_GUID;
    default: return PayloadSize > 256 ? &EFI_CERT_X509_GUID : nullptr;
  }
}

EFI_STATUS BuildSignatureListImage(UINT8* Image, UINTN PayloadSize) {
  if (Image == nullptr) return EFI_INVALID_PARAMETER;
  const EFI_GUID* Type = SignatureTypeForSize(PayloadSize);
  if (Type == nullptr) return EFI_INVALID_PARAMETER;
  // The whole image's size must fit 32 bits, so no size field below wraps.
  if (PayloadSize > (UINTN)0xFFFFFFFF - SIGNATURE_LIST_IMAGE_HEADER_SIZE) return EFI_INVALID_PARAMETER;
  BuildAuthenticatedHeader(Image);
  EFI_SIGNATURE_LIST List = {};
  List.SignatureType = *Type;
  List.SignatureListSize = (UINT32)(PayloadSize + sizeof(EFI_SIGNATURE_LIST) + sizeof(EFI_SIGNATURE_DATA));
  List.SignatureHeaderSize = 0;
  List.SignatureSize = (UINT32)(PayloadSize + sizeof(EFI_SIGNATURE_DATA));
  MemMove(Image + AUTHENTICATED_HEADER_SIZE, &List, sizeof(List));
  EFI_SIGNATURE_DATA Signature = {SIGNATURE_OWNER_GUID};
  MemMove(Image + AUTHENTICATED_HEADER_SIZE + sizeof(List), &Signature, sizeof(Signature));
  return EFI_SUCCESS;
}

static bool KnownSignatureType(const UINT8* Guid) {
  for (const EFI_GUID* Type : KnownSignatureTypes)
    if (MemCompare(Guid, Type, sizeof(EFI_GUID)) == 0) return true;
  return false;
}

EFI_STATUS ValidateSignatureLists(const VOID* Data, UINTN Size) {
  if (Data == nullptr || Size == 0) return EFI_SECURITY_VIOLATION;
  const UINT8* Bytes = (const UINT8*)Data;
  EFI_STATUS Result = EFI_SECURITY_VIOLATION;
  UINTN Offset = 0;
  // Only a whole list header is read; a shorter rest counts as stray bytes.
  while (Size - Offset >= sizeof(EFI_SIGNATURE_LIST)) {
    const UINT8* List = Bytes + Offset;
    UINT32 ListSize = ReadLe32(List + offsetof(EFI_SIGNATURE_LIST, SignatureListSize));
    // A list that does not fit ends the walk; bounding it by what remains
    // also keeps the advance from wrapping.
    if (ListSize > Size - Offset) break;
    if (!KnownSignatureType(List) || ListSize < SIGNATURE_LIST_MIN_SIZE || ListSize > SIGNATURE_LIST_MAX_SIZE ||
        ReadLe32(List + offsetof(EFI_SIGNATURE_LIST, SignatureHeaderSize)) != 0)
      return EFI_SECURITY_VIOLATION;
    Result = EFI_SUCCESS;
    Offset += ListSize;
  }
  return Result;
}
