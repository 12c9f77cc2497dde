#include "sim/hii/hii_database.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

// Package lists come from outside: every read goes through this cursor,
// which refuses to step past the bytes it was given.
class Reader {
 public:
  Reader(const UINT8* Data, size_t Size) : Data_(Data), Size_(Size) {}
  size_t Offset() const { return Offset_; }
  size_t Left() const { return Size_ - Offset_; }
  bool U8(UINT8& Value) {
    if (Left() < 1) return false;
    Value = Data_[Offset_++];
    return true;
  }
  bool U16(UINT16& Value) {
    if (Left() < 2) return false;
    Value = (UINT16)(Data_[Offset_] | (Data_[Offset_ + 1] << 8));
    Offset_ += 2;
    return true;
  }
  bool U32(UINT32& Value) {
    if (Left() < 4) return false;
    std::memcpy(&Value, Data_ + Offset_, 4);
    Offset_ += 4;
    return true;
  }
  bool Skip(size_t Count) {
    if (Left() < Count) return false;
    Offset_ += Count;
    return true;
  }
  // A NUL-terminated UCS-2 text; false when the terminator is missing.
  bool Ucs2(std::u16string& Text) {
    Text.clear();
    for (;;) {
      UINT16 c;
      if (!U16(c)) return false;
      if (c == 0) return true;
      Text.push_back((char16_t)c);
    }
  }
  // A NUL-terminated SCSU text in its initial state: single-byte mode with
  // dynamic window 0 at U+0080. Tag bytes (window changes, quotes) are not
  // accepted.
  bool Scsu(std::u16string& Text) {
    Text.clear();
    for (;;) {
      UINT8 b;
      if (!U8(b)) return false;
      if (b == 0) return true;
      bool passThrough = b == 0x09 || b == 0x0A || b == 0x0D || b >= 0x20;
      if (!passThrough) return false;
      Text.push_back((char16_t)b);  // 0x80-0xFF through window 0 is the same code point
    }
  }

 private:
  const UINT8* Data_;
  size_t Size_;
  size_t Offset_ = 0;
};

bool ParseStringBlocks(Reader& In, HiiStringPackage& Package) {
  UINT32 id = 1;
  auto add = [&](std::u16string Text) {
    if (id > 0xFFFF) return false;
    Package.Strings[(EFI_STRING_ID)id++] = std::move(Text);
    return true;
  };
  for (;;) {
    UINT8 type;
    if (!In.U8(type)) return false;
    std::u16string text;
    UINT8 font;
    UINT16 count;
    switch (type) {
      case EFI_HII_SIBT_END:
        Package.NextId = id;
        return In.Left() == 0;
      case EFI_HII_SIBT_STRING_SCSU_FONT:
        if (!In.U8(font)) return false;
        [[fallthrough]];
      case EFI_HII_SIBT_STRING_SCSU:
        if (!In.Scsu(text) || !add(std::move(text))) return false;
        break;
      case EFI_HII_SIBT_STRINGS_SCSU_FONT:
        if (!In.U8(font)) return false;
        [[fallthrough]];
      case EFI_HII_SIBT_STRINGS_SCSU:
        if (!In.U16(count)) return false;
        for (UINT16 i = 0; i < count; ++i)
          if (!In.Scsu(text) || !add(std::move(text))) return false;
        break;
      case EFI_HII_SIBT_STRING_UCS2_FONT:
        if (!In.U8(font)) return false;
        [[fallthrough]];
      case EFI_HII_SIBT_STRING_UCS2:
        if (!In.Ucs2(text) || !add(std::move(text))) return false;
        break;
      case EFI_HII_SIBT_STRINGS_UCS2_FONT:
        if (!In.U8(font)) return false;
        [[fallthrough]];
      case EFI_HII_SIBT_STRINGS_UCS2:
        if (!In.U16(count)) return false;
        for (UINT16 i = 0; i < count; ++i)
          if (!In.Ucs2(text) || !add(std::move(text))) return false;
        break;
      case EFI_HII_SIBT_DUPLICATE: {
        UINT16 original;
        if (!In.U16(original)) return false;
        auto it = Package.Strings.find(original);
        if (it == Package.Strings.end() || !add(it->second)) return false;
        break;
      }
      case EFI_HII_SIBT_SKIP1: {
        UINT8 skip;
        if (!In.U8(skip)) return false;
        id += skip;
        break;
      }
      case EFI_HII_SIBT_SKIP2: {
        UINT16 skip;
        if (!In.U16(skip)) return false;
        id += skip;
        break;
      }
      // Extended blocks (fonts and the like) are stepped over by their own length.
      case EFI_HII_SIBT_EXT1: {
        UINT8 type2, length;
        if (!In.U8(type2) || !In.U8(length) || length < 3 || !In.Skip(length - 3u)) return false;
        break;
      }
      case EFI_HII_SIBT_EXT2: {
        UINT8 type2;
        UINT16 length;
        if (!In.U8(type2) || !In.U16(length) || length < 4 || !In.Skip(length - 4u)) return false;
        break;
      }
      case EFI_HII_SIBT_EXT4: {
        UINT8 type2;
        UINT32 length;
        if (!In.U8(type2) || !In.U32(length) || length < 6 || !In.Skip(length - 6u)) return false;
        break;
      }
      default:
        return false;
    }
    if (id > 0x10000) return false;
  }
}

bool ParseStringPackage(const UINT8* Data, size_t Size, HiiStringPackage& Package) {
  if (Size < EFI_HII_STRING_PACKAGE_HDR_FIXED_SIZE + 1) return false;
  UINT32 hdrSize, infoOffset;
  std::memcpy(&hdrSize, Data + offsetof(EFI_HII_STRING_PACKAGE_HDR, HdrSize), 4);
  std::memcpy(&infoOffset, Data + offsetof(EFI_HII_STRING_PACKAGE_HDR, StringInfoOffset), 4);
  if (hdrSize < EFI_HII_STRING_PACKAGE_HDR_FIXED_SIZE + 1 || hdrSize > Size) return false;
  if (infoOffset < hdrSize || infoOffset >= Size) return false;

  const char* language = (const char*)Data + EFI_HII_STRING_PACKAGE_HDR_FIXED_SIZE;
  size_t room = hdrSize - EFI_HII_STRING_PACKAGE_HDR_FIXED_SIZE;
  const void* nul = std::memchr(language, 0, room);
  if (nul == nullptr) return false;
  Package.Language.assign(language, (const char*)nul);
  Package.Primary = Package.Language.substr(0, Package.Language.find(';'));
  if (Package.Primary.empty()) return false;
  std::memcpy(Package.LanguageWindow.data(), Data + offsetof(EFI_HII_STRING_PACKAGE_HDR, LanguageWindow), 32);
  std::memcpy(&Package.LanguageName, Data + offsetof(EFI_HII_STRING_PACKAGE_HDR, LanguageName), 2);

  Reader blocks(Data + infoOffset, Size - infoOffset);
  return ParseStringBlocks(blocks, Package);
}

void PutU16(std::vector<UINT8>& Out, UINT16 Value) {
  Out.push_back((UINT8)Value);
  Out.push_back((UINT8)(Value >> 8));
}

void PutU32(std::vector<UINT8>& Out, UINT32 Value) {
  for (int i = 0; i < 4; ++i) Out.push_back((UINT8)(Value >> (8 * i)));
}

void PutSkip(std::vector<UINT8>& Out, UINT32 Gap) {
  while (Gap > 0) {
    if (Gap <= 0xFF) {
      Out.push_back(EFI_HII_SIBT_SKIP1);
      Out.push_back((UINT8)Gap);
      return;
    }
    UINT16 step = (UINT16)std::min<UINT32>(Gap, 0xFFFF);
    Out.push_back(EFI_HII_SIBT_SKIP2);
    PutU16(Out, step);
    Gap -= step;
  }
}

std::vector<UINT8> BuildStringPackage(const HiiStringPackage& Package) {
  std::vector<UINT8> out(EFI_HII_STRING_PACKAGE_HDR_FIXED_SIZE);
  out.insert(out.end(), Package.Language.begin(), Package.Language.end());
  out.push_back(0);
  UINT32 hdrSize = (UINT32)out.size();
  std::memcpy(out.data() + offsetof(EFI_HII_STRING_PACKAGE_HDR, HdrSize), &hdrSize, 4);
  std::memcpy(out.data() + offsetof(EFI_HII_STRING_PACKAGE_HDR, StringInfoOffset), &hdrSize, 4);
  std::memcpy(out.data() + offsetof(EFI_HII_STRING_PACKAGE_HDR, LanguageWindow), Package.LanguageWindow.data(), 32);
  std::memcpy(out.data() + offsetof(EFI_HII_STRING_PACKAGE_HDR, LanguageName), &Package.LanguageName, 2);

  UINT32 next = 1;
  for (const auto& [id, text] : Package.Strings) {
    PutSkip(out, id - next);
    out.push_back(EFI_HII_SIBT_STRING_UCS2);
    for (char16_t c : text) PutU16(out, (UINT16)c);
    PutU16(out, 0);
    next = id + 1u;
  }
  if (Package.NextId > next) PutSkip(out, Package.NextId - next);  // keep reserved IDs reserved
  out.push_back(EFI_HII_SIBT_END);

  EFI_HII_PACKAGE_HEADER header;
  header.Set((UINT32)out.size(), EFI_HII_PACKAGE_STRINGS);
  std::memcpy(out.data(), &header, 4);
  return out;
}

// Bytes PutSkip writes for Gap.
size_t SkipSize(UINT32 Gap) {
  size_t Size = 0;
  while (Gap > 0) {
    if (Gap <= 0xFF) return Size + 2;
    const UINT32 Step = std::min<UINT32>(Gap, 0xFFFF);
    Size += 3;
    Gap -= Step;
  }
  return Size;
}

// What BuildStringPackage would make, counted rather than built: the string
// writes check it every time, and building the package there made a boot
// spend most of its time in the simulator.
size_t StringPackageSize(const HiiStringPackage& Package) {
  size_t Size = EFI_HII_STRING_PACKAGE_HDR_FIXED_SIZE + Package.Language.size() + 1;
  UINT32 Next = 1;
  for (const auto& [Id, Text] : Package.Strings) {
    Size += SkipSize(Id - Next) + 1 + 2 * (Text.size() + 1);
    Next = Id + 1u;
  }
  if (Package.NextId > Next) Size += SkipSize(Package.NextId - Next);
  return Size + 1;
}

void CopyAscii(const std::string& Text, CHAR8* Buffer) {
  std::memcpy(Buffer, Text.c_str(), Text.size() + 1);
}

// Shared tail of the "fill a caller's buffer" members.
template <typename Fill>
EFI_STATUS Answer(UINTN Needed, UINTN* Size, Fill&& Fill_) {
  if (*Size < Needed) {
    *Size = Needed;
    return EFI_BUFFER_TOO_SMALL;
  }
  Fill_();
  *Size = Needed;
  return EFI_SUCCESS;
}

}  // namespace

bool SameLanguage(const std::string& A, const std::string& B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i) {
    char a = A[i], b = B[i];
    if (a >= 'A' && a <= 'Z') a = (char)(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = (char)(b - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

// The firmware's HII database matches a package's primary language byte for
// byte, so a caller whose code differs only in case finds nothing there either.
HiiStringPackage* HiiPackageList::FindLanguage(const char* Language) {
  for (auto& p : StringPackages)
    if (p.Primary == Language) return &p;
  return nullptr;
}

const HiiStringPackage* HiiPackageList::FindLanguage(const char* Language) const {
  return const_cast<HiiPackageList*>(this)->FindLanguage(Language);
}

EFI_STATUS ParsePackageList(const void* Data, size_t Size, HiiPackageList& Out) {
  if (Data == nullptr || Size < sizeof(EFI_HII_PACKAGE_LIST_HEADER)) return EFI_INVALID_PARAMETER;
  const UINT8* bytes = (const UINT8*)Data;
  EFI_HII_PACKAGE_LIST_HEADER header;
  std::memcpy(&header, bytes, sizeof(header));
  if (header.PackageLength < sizeof(header) + sizeof(EFI_HII_PACKAGE_HEADER) || header.PackageLength > Size)
    return EFI_INVALID_PARAMETER;

  Out = HiiPackageList{};
  Out.Guid = header.PackageListGuid;
  size_t offset = sizeof(header);
  const size_t end = header.PackageLength;
  while (offset < end) {
    if (end - offset < sizeof(EFI_HII_PACKAGE_HEADER)) return EFI_INVALID_PARAMETER;
    EFI_HII_PACKAGE_HEADER package;
    std::memcpy(&package, bytes + offset, sizeof(package));
    size_t length = package.Length();
    if (length < sizeof(package) || length > end - offset) return EFI_INVALID_PARAMETER;
    const UINT8* at = bytes + offset;
    offset += length;

    switch (package.Type()) {
      case EFI_HII_PACKAGE_END:
        // The end package closes the list; nothing may follow it.
        if (length != sizeof(package) || offset != end) return EFI_INVALID_PARAMETER;
        return EFI_SUCCESS;
      case EFI_HII_PACKAGE_STRINGS: {
        HiiStringPackage strings;
        if (!ParseStringPackage(at, length, strings)) return EFI_INVALID_PARAMETER;
        // Two packages whose codes differ only in case are one language twice.
        for (const auto& known : Out.StringPackages)
          if (SameLanguage(known.Primary, strings.Primary)) return EFI_INVALID_PARAMETER;
        Out.Packages.push_back({EFI_HII_PACKAGE_STRINGS, {}, Out.StringPackages.size()});
        Out.StringPackages.push_back(std::move(strings));
        break;
      }
      case EFI_HII_PACKAGE_TYPE_GUID:
        if (length < sizeof(EFI_HII_GUID_PACKAGE_HDR)) return EFI_INVALID_PARAMETER;
        [[fallthrough]];
      default:
        Out.Packages.push_back({package.Type(), std::vector<UINT8>(at, at + length), 0});
        break;
    }
  }
  return EFI_INVALID_PARAMETER;  // no end package
}

std::vector<UINT8> BuildPackageList(const HiiPackageList& List) {
  std::vector<UINT8> out(sizeof(EFI_HII_PACKAGE_LIST_HEADER));
  for (const auto& package : List.Packages) {
    if (package.Type == EFI_HII_PACKAGE_STRINGS) {
      auto built = BuildStringPackage(List.StringPackages[package.StringIndex]);
      out.insert(out.end(), built.begin(), built.end());
    } else {
      out.insert(out.end(), package.Raw.begin(), package.Raw.end());
    }
  }
  EFI_HII_PACKAGE_HEADER endPackage;
  endPackage.Set(sizeof(endPackage), EFI_HII_PACKAGE_END);
  PutU32(out, endPackage.LengthAndType);
  EFI_HII_PACKAGE_LIST_HEADER header{List.Guid, (UINT32)out.size()};
  std::memcpy(out.data(), &header, sizeof(header));
  return out;
}

// ---- HiiDatabase ------------------------------------------------------------

HiiDatabase::HiiDatabase(EFI_SYSTEM_TABLE* SystemTable) : SystemTable_(SystemTable) {
  Database_.Protocol = {NewPackageListEntry,       RemovePackageListEntry,   UpdatePackageListEntry,
                        ListPackageListsEntry,     ExportPackageListsEntry,  RegisterPackageNotifyEntry,
                        UnregisterPackageNotifyEntry, FindKeyboardLayoutsEntry, GetKeyboardLayoutEntry,
                        SetKeyboardLayoutEntry,    GetPackageListHandleEntry};
  Database_.Owner = this;
  String_.Protocol = {NewStringEntry, GetStringEntry, SetStringEntry, GetLanguagesEntry, GetSecondaryLanguagesEntry};
  String_.Owner = this;
}

// The boot services may already be gone when the machine is torn down, so
// the destructor does not call them; Uninstall() is the way out while it runs.
HiiDatabase::~HiiDatabase() = default;

EFI_STATUS HiiDatabase::Install() {
  if (Handle_ != nullptr) return EFI_ALREADY_STARTED;
  EFI_BOOT_SERVICES* bs = SystemTable_->BootServices;
  EFI_HANDLE handle = nullptr;
  EFI_STATUS status = bs->InstallProtocolInterface(&handle, &EFI_HII_DATABASE_PROTOCOL::Guid, EFI_NATIVE_INTERFACE,
                                                   &Database_.Protocol);
  if (EFI_ERROR(status)) return status;
  status = bs->InstallProtocolInterface(&handle, &EFI_HII_STRING_PROTOCOL::Guid, EFI_NATIVE_INTERFACE,
                                        &String_.Protocol);
  if (EFI_ERROR(status)) {
    bs->UninstallProtocolInterface(handle, &EFI_HII_DATABASE_PROTOCOL::Guid, &Database_.Protocol);
    return status;
  }
  Handle_ = handle;
  return EFI_SUCCESS;
}

EFI_STATUS HiiDatabase::Uninstall() {
  if (Handle_ == nullptr) return EFI_NOT_STARTED;
  EFI_BOOT_SERVICES* bs = SystemTable_->BootServices;
  EFI_STATUS a = bs->UninstallProtocolInterface(Handle_, &EFI_HII_STRING_PROTOCOL::Guid, &String_.Protocol);
  EFI_STATUS b = bs->UninstallProtocolInterface(Handle_, &EFI_HII_DATABASE_PROTOCOL::Guid, &Database_.Protocol);
  Handle_ = nullptr;
  return EFI_ERROR(a) ? a : b;
}

HiiDatabase* HiiDatabase::From(const EFI_HII_DATABASE_PROTOCOL* This) {
  return This == nullptr ? nullptr : ((const DatabaseInstance*)This)->Owner;
}

HiiDatabase* HiiDatabase::From(const EFI_HII_STRING_PROTOCOL* This) {
  return This == nullptr ? nullptr : ((const StringInstance*)This)->Owner;
}

HiiPackageList* HiiDatabase::Find(EFI_HII_HANDLE Handle) {
  if (Handle == nullptr) return nullptr;
  for (auto& e : Lists_)
    if (e.Handle == Handle) return e.List.get();
  return nullptr;
}

const HiiPackageList* HiiDatabase::Find(EFI_HII_HANDLE Handle) const {
  return const_cast<HiiDatabase*>(this)->Find(Handle);
}

std::vector<EFI_HII_HANDLE> HiiDatabase::Handles() const {
  std::vector<EFI_HII_HANDLE> out;
  for (const auto& e : Lists_) out.push_back(e.Handle);
  return out;
}

EFI_STATUS HiiDatabase::AddPackageList(const void* Data, size_t Size, EFI_HANDLE DriverHandle,
                                       EFI_HII_HANDLE* Handle) {
  if (Data == nullptr || Handle == nullptr) return EFI_INVALID_PARAMETER;
  auto list = std::make_unique<HiiPackageList>();
  EFI_STATUS status = ParsePackageList(Data, Size, *list);
  if (EFI_ERROR(status)) return status;
  for (const auto& e : Lists_)
    if (e.List->Guid == list->Guid) return EFI_INVALID_PARAMETER;  // one list per GUID
  list->DriverHandle = DriverHandle;
  // Opaque, never dereferenced, never reused.
  EFI_HII_HANDLE handle = (EFI_HII_HANDLE)(uintptr_t)(0x4849490000000000ull + 0x10 * NextHandle_++);
  Lists_.push_back({handle, std::move(list)});
  *Handle = handle;
  return EFI_SUCCESS;
}

EFI_STATUS HiiDatabase::RemovePackageList(EFI_HII_HANDLE Handle) {
  for (auto it = Lists_.begin(); it != Lists_.end(); ++it) {
    if (it->Handle == Handle) {
      Lists_.erase(it);
      return EFI_SUCCESS;
    }
  }
  return EFI_NOT_FOUND;
}

EFI_STATUS HiiDatabase::ListPackageLists(UINT8 PackageType, const EFI_GUID* PackageGuid, UINTN* HandleBufferLength,
                                         EFI_HII_HANDLE* Handle) {
  if (HandleBufferLength == nullptr || (*HandleBufferLength != 0 && Handle == nullptr))
    return EFI_INVALID_PARAMETER;
  if ((PackageType == EFI_HII_PACKAGE_TYPE_GUID) != (PackageGuid != nullptr)) return EFI_INVALID_PARAMETER;

  std::vector<EFI_HII_HANDLE> found;
  for (const auto& e : Lists_) {
    bool match = PackageType == EFI_HII_PACKAGE_TYPE_ALL || PackageType == EFI_HII_PACKAGE_END;
    for (const auto& p : e.List->Packages) {
      if (p.Type != PackageType) continue;
      if (PackageType == EFI_HII_PACKAGE_TYPE_GUID) {
        EFI_HII_GUID_PACKAGE_HDR guidHeader;
        std::memcpy(&guidHeader, p.Raw.data(), sizeof(guidHeader));
        if (!(guidHeader.Guid == *PackageGuid)) continue;
      }
      match = true;
    }
    if (match) found.push_back(e.Handle);
  }
  if (found.empty()) return EFI_NOT_FOUND;
  return Answer(found.size() * sizeof(EFI_HII_HANDLE), HandleBufferLength,
                [&] { std::copy(found.begin(), found.end(), Handle); });
}

EFI_STATUS HiiDatabase::ExportPackageLists(EFI_HII_HANDLE Handle, UINTN* BufferSize,
                                           EFI_HII_PACKAGE_LIST_HEADER* Buffer) {
  if (BufferSize == nullptr || (*BufferSize != 0 && Buffer == nullptr)) return EFI_INVALID_PARAMETER;
  std::vector<UINT8> image;
  if (Handle == nullptr) {
    for (const auto& e : Lists_) {
      auto one = BuildPackageList(*e.List);
      image.insert(image.end(), one.begin(), one.end());
    }
  } else {
    const HiiPackageList* list = Find(Handle);
    if (list == nullptr) return EFI_NOT_FOUND;
    image = BuildPackageList(*list);
  }
  return Answer(image.size(), BufferSize, [&] { std::memcpy(Buffer, image.data(), image.size()); });
}

EFI_STATUS HiiDatabase::GetPackageListHandle(EFI_HII_HANDLE Handle, EFI_HANDLE* DriverHandle) {
  if (DriverHandle == nullptr) return EFI_INVALID_PARAMETER;
  const HiiPackageList* list = Find(Handle);
  if (list == nullptr) return EFI_NOT_FOUND;
  *DriverHandle = list->DriverHandle;
  return EFI_SUCCESS;
}

// A new string gets the next ID of the whole list. The text goes into the
// package of Language (created when the list has none) and, so that every
// language shows something until it is translated, into every other package.
EFI_STATUS HiiDatabase::NewString(EFI_HII_HANDLE PackageList, EFI_STRING_ID* StringId, const CHAR8* Language,
                                  const CHAR16* LanguageName, const CHAR16* String) {
  if (StringId == nullptr || Language == nullptr || String == nullptr) return EFI_INVALID_PARAMETER;
  const EFI_STATUS Status = AddString(PackageList, StringId, Language, LanguageName, String);
  StringWrites_.push_back({PackageList, EFI_ERROR(Status) ? (EFI_STRING_ID)0 : *StringId, Language, String, Status});
  return Status;
}

EFI_STATUS HiiDatabase::AddString(EFI_HII_HANDLE PackageList, EFI_STRING_ID* StringId, const CHAR8* Language,
                                  const CHAR16* LanguageName, const CHAR16* String) {
  HiiPackageList* list = Find(PackageList);
  if (list == nullptr) return EFI_NOT_FOUND;

  UINT32 id = 1;
  for (const auto& p : list->StringPackages) id = std::max(id, p.NextId);
  HiiStringPackage* target = list->FindLanguage(Language);
  UINT32 reserveTo = id + 1;
  if (target == nullptr && LanguageName != nullptr) ++reserveTo;  // the new package's own name
  if (reserveTo - 1 > 0xFFFF) return EFI_OUT_OF_RESOURCES;

  std::u16string text(String);
  for (const auto& p : list->StringPackages)
    if (StringPackageSize(p) + 2 * text.size() + 8 > EFI_HII_PACKAGE_MAX_LENGTH) return EFI_OUT_OF_RESOURCES;

  if (target == nullptr) {
    HiiStringPackage created;
    created.Language = Language;
    created.Primary = created.Language.substr(0, created.Language.find(';'));
    if (created.Primary.empty()) return EFI_INVALID_PARAMETER;
    if (LanguageName != nullptr) {
      created.LanguageName = (EFI_STRING_ID)(id + 1);
      created.Strings[created.LanguageName] = LanguageName;
    }
    list->Packages.push_back({EFI_HII_PACKAGE_STRINGS, {}, list->StringPackages.size()});
    list->StringPackages.push_back(std::move(created));
  }
  for (auto& p : list->StringPackages) {
    p.Strings[(EFI_STRING_ID)id] = text;
    p.NextId = reserveTo;
  }
  *StringId = (EFI_STRING_ID)id;
  return EFI_SUCCESS;
}

EFI_STATUS HiiDatabase::GetString(const CHAR8* Language, EFI_HII_HANDLE PackageList, EFI_STRING_ID StringId,
                                  CHAR16* String, UINTN* StringSize) {
  if (Language == nullptr || StringSize == nullptr || (*StringSize != 0 && String == nullptr))
    return EFI_INVALID_PARAMETER;
  const HiiPackageList* list = Find(PackageList);
  if (list == nullptr) return EFI_NOT_FOUND;
  const HiiStringPackage* package = list->FindLanguage(Language);
  if (package != nullptr) {
    auto it = package->Strings.find(StringId);
    if (it != package->Strings.end()) {
      const std::u16string& text = it->second;
      return Answer((text.size() + 1) * sizeof(CHAR16), StringSize,
                    [&] { std::memcpy(String, text.c_str(), (text.size() + 1) * sizeof(CHAR16)); });
    }
  }
  // Known in another language only: the language is what is wrong.
  for (const auto& p : list->StringPackages)
    if (p.Strings.count(StringId) != 0) return EFI_INVALID_LANGUAGE;
  return EFI_NOT_FOUND;
}

EFI_STATUS HiiDatabase::SetString(EFI_HII_HANDLE PackageList, EFI_STRING_ID StringId, const CHAR8* Language,
                                  const CHAR16* String) {
  if (Language == nullptr || String == nullptr) return EFI_INVALID_PARAMETER;
  const EFI_STATUS Status = ReplaceString(PackageList, StringId, Language, String);
  StringWrites_.push_back({PackageList, StringId, Language, String, Status});
  return Status;
}

EFI_STATUS HiiDatabase::ReplaceString(EFI_HII_HANDLE PackageList, EFI_STRING_ID StringId, const CHAR8* Language,
                                      const CHAR16* String) {
  HiiPackageList* list = Find(PackageList);
  if (list == nullptr) return EFI_NOT_FOUND;
  HiiStringPackage* package = list->FindLanguage(Language);
  if (package == nullptr) return EFI_NOT_FOUND;
  auto it = package->Strings.find(StringId);
  if (it == package->Strings.end()) return EFI_NOT_FOUND;
  std::u16string text(String);
  size_t grown = StringPackageSize(*package) - 2 * it->second.size() + 2 * text.size();
  if (grown > EFI_HII_PACKAGE_MAX_LENGTH) return EFI_OUT_OF_RESOURCES;
  it->second = std::move(text);
  return EFI_SUCCESS;
}

EFI_STATUS HiiDatabase::GetLanguages(EFI_HII_HANDLE PackageList, CHAR8* Languages, UINTN* LanguagesSize) {
  if (LanguagesSize == nullptr || (*LanguagesSize != 0 && Languages == nullptr)) return EFI_INVALID_PARAMETER;
  const HiiPackageList* list = Find(PackageList);
  if (list == nullptr || list->StringPackages.empty()) return EFI_NOT_FOUND;
  std::string text;
  for (const auto& p : list->StringPackages) {
    if (!text.empty()) text += ';';
    text += p.Primary;
  }
  return Answer(text.size() + 1, LanguagesSize, [&] { CopyAscii(text, Languages); });
}

EFI_STATUS HiiDatabase::GetSecondaryLanguages(EFI_HII_HANDLE PackageList, const CHAR8* PrimaryLanguage,
                                              CHAR8* SecondaryLanguages, UINTN* SecondaryLanguagesSize) {
  if (PrimaryLanguage == nullptr || SecondaryLanguagesSize == nullptr ||
      (*SecondaryLanguagesSize != 0 && SecondaryLanguages == nullptr))
    return EFI_INVALID_PARAMETER;
  const HiiPackageList* list = Find(PackageList);
  if (list == nullptr) return EFI_NOT_FOUND;
  const HiiStringPackage* package = list->FindLanguage(PrimaryLanguage);
  if (package == nullptr) return EFI_INVALID_LANGUAGE;
  size_t cut = package->Language.find(';');
  std::string text = cut == std::string::npos ? std::string() : package->Language.substr(cut + 1);
  return Answer(text.size() + 1, SecondaryLanguagesSize, [&] { CopyAscii(text, SecondaryLanguages); });
}

// ---- Protocol entry points ------------------------------------------------------

EFI_STATUS EFIAPI HiiDatabase::NewPackageListEntry(const EFI_HII_DATABASE_PROTOCOL* This,
                                                   const EFI_HII_PACKAGE_LIST_HEADER* PackageList,
                                                   EFI_HANDLE DriverHandle, EFI_HII_HANDLE* Handle) {
  HiiDatabase* self = From(This);
  if (self == nullptr || PackageList == nullptr || Handle == nullptr) return EFI_INVALID_PARAMETER;
  // The header's length is all a caller can tell about the buffer's size.
  return self->AddPackageList(PackageList, PackageList->PackageLength, DriverHandle, Handle);
}

EFI_STATUS EFIAPI HiiDatabase::RemovePackageListEntry(const EFI_HII_DATABASE_PROTOCOL* This, EFI_HII_HANDLE Handle) {
  HiiDatabase* self = From(This);
  return self == nullptr ? EFI_INVALID_PARAMETER : self->RemovePackageList(Handle);
}

// Updating, package notifications and keyboard layouts are not offered by
// this database: the drivers it serves never call them.
EFI_STATUS EFIAPI HiiDatabase::UpdatePackageListEntry(const EFI_HII_DATABASE_PROTOCOL*, EFI_HII_HANDLE,
                                                      const EFI_HII_PACKAGE_LIST_HEADER*) {
  return EFI_UNSUPPORTED;
}

EFI_STATUS EFIAPI HiiDatabase::ListPackageListsEntry(const EFI_HII_DATABASE_PROTOCOL* This, UINT8 PackageType,
                                                     const EFI_GUID* PackageGuid, UINTN* HandleBufferLength,
                                                     EFI_HII_HANDLE* Handle) {
  HiiDatabase* self = From(This);
  return self == nullptr ? EFI_INVALID_PARAMETER
                         : self->ListPackageLists(PackageType, PackageGuid, HandleBufferLength, Handle);
}

EFI_STATUS EFIAPI HiiDatabase::ExportPackageListsEntry(const EFI_HII_DATABASE_PROTOCOL* This, EFI_HII_HANDLE Handle,
                                                       UINTN* BufferSize, EFI_HII_PACKAGE_LIST_HEADER* Buffer) {
  HiiDatabase* self = From(This);
  return self == nullptr ? EFI_INVALID_PARAMETER : self->ExportPackageLists(Handle, BufferSize, Buffer);
}

EFI_STATUS EFIAPI HiiDatabase::RegisterPackageNotifyEntry(const EFI_HII_DATABASE_PROTOCOL*, UINT8, const EFI_GUID*,
                                                          EFI_HII_DATABASE_NOTIFY, EFI_HII_DATABASE_NOTIFY_TYPE,
                                                          EFI_HANDLE*) {
  return EFI_UNSUPPORTED;
}

EFI_STATUS EFIAPI HiiDatabase::UnregisterPackageNotifyEntry(const EFI_HII_DATABASE_PROTOCOL*, EFI_HANDLE) {
  return EFI_UNSUPPORTED;
}

EFI_STATUS EFIAPI HiiDatabase::FindKeyboardLayoutsEntry(const EFI_HII_DATABASE_PROTOCOL*, UINT16*, EFI_GUID*) {
  return EFI_UNSUPPORTED;
}

EFI_STATUS EFIAPI HiiDatabase::GetKeyboardLayoutEntry(const EFI_HII_DATABASE_PROTOCOL*, const EFI_GUID*, UINT16*,
                                                      EFI_HII_KEYBOARD_LAYOUT*) {
  return EFI_UNSUPPORTED;
}

EFI_STATUS EFIAPI HiiDatabase::SetKeyboardLayoutEntry(const EFI_HII_DATABASE_PROTOCOL*, const EFI_GUID*) {
  return EFI_UNSUPPORTED;
}

EFI_STATUS EFIAPI HiiDatabase::GetPackageListHandleEntry(const EFI_HII_DATABASE_PROTOCOL* This,
                                                         EFI_HII_HANDLE PackageListHandle, EFI_HANDLE* DriverHandle) {
  HiiDatabase* self = From(This);
  return self == nullptr ? EFI_INVALID_PARAMETER : self->GetPackageListHandle(PackageListHandle, DriverHandle);
}

EFI_STATUS EFIAPI HiiDatabase::NewStringEntry(const EFI_HII_STRING_PROTOCOL* This, EFI_HII_HANDLE PackageList,
                                              EFI_STRING_ID* StringId, const CHAR8* Language,
                                              const CHAR16* LanguageName, const CHAR16* String,
                                              const EFI_FONT_INFO* StringFontInfo) {
  HiiDatabase* self = From(This);
  if (self == nullptr) return EFI_INVALID_PARAMETER;
  if (auto F = self->Fault(FaultableService::HiiNewString)) return *F;
  return self->NewString(PackageList, StringId, Language, LanguageName, String);
}

// No font information is kept; a caller that asks for it gets none.
EFI_STATUS EFIAPI HiiDatabase::GetStringEntry(const EFI_HII_STRING_PROTOCOL* This, const CHAR8* Language,
                                              EFI_HII_HANDLE PackageList, EFI_STRING_ID StringId, CHAR16* String,
                                              UINTN* StringSize, EFI_FONT_INFO** StringFontInfo) {
  HiiDatabase* self = From(This);
  if (self == nullptr) return EFI_INVALID_PARAMETER;
  if (auto F = self->Fault(FaultableService::HiiGetString)) return *F;
  if (StringFontInfo != nullptr) *StringFontInfo = nullptr;
  return self->GetString(Language, PackageList, StringId, String, StringSize);
}

EFI_STATUS EFIAPI HiiDatabase::SetStringEntry(const EFI_HII_STRING_PROTOCOL* This, EFI_HII_HANDLE PackageList,
                                              EFI_STRING_ID StringId, const CHAR8* Language, const CHAR16* String,
                                              const EFI_FONT_INFO* StringFontInfo) {
  HiiDatabase* self = From(This);
  if (self == nullptr) return EFI_INVALID_PARAMETER;
  if (auto F = self->Fault(FaultableService::HiiSetString)) return *F;
  return self->SetString(PackageList, StringId, Language, String);
}

EFI_STATUS EFIAPI HiiDatabase::GetLanguagesEntry(const EFI_HII_STRING_PROTOCOL* This, EFI_HII_HANDLE PackageList,
                                                 CHAR8* Languages, UINTN* LanguagesSize) {
  HiiDatabase* self = From(This);
  if (self == nullptr) return EFI_INVALID_PARAMETER;
  if (auto F = self->Fault(FaultableService::HiiGetLanguages)) return *F;
  return self->GetLanguages(PackageList, Languages, LanguagesSize);
}

EFI_STATUS EFIAPI HiiDatabase::GetSecondaryLanguagesEntry(const EFI_HII_STRING_PROTOCOL* This,
                                                          EFI_HII_HANDLE PackageList, const CHAR8* PrimaryLanguage,
                                                          CHAR8* SecondaryLanguages,
                                                          UINTN* SecondaryLanguagesSize) {
  HiiDatabase* self = From(This);
  if (self == nullptr) return EFI_INVALID_PARAMETER;
  if (auto F = self->Fault(FaultableService::HiiGetSecondaryLanguages)) return *F;
  return self->GetSecondaryLanguages(PackageList, PrimaryLanguage, SecondaryLanguages, SecondaryLanguagesSize);
}

}  // namespace sim
