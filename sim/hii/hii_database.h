// The simulated HII database: package lists parsed from their binary form,
// string packages kept as per-language string tables, and the HII Database
// and HII String protocols over them.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/service_faults.h"
#include "uefi/hii.h"
#include "uefi/system_table.h"

namespace sim {

struct HiiStringPackage {
  std::string Language;  // the whole Language field
  std::string Primary;   // up to the first ';'
  std::array<CHAR16, 16> LanguageWindow{};
  EFI_STRING_ID LanguageName = 0;
  std::map<EFI_STRING_ID, std::u16string> Strings;
  UINT32 NextId = 1;  // first ID after the package's last block (skips count)
};

struct HiiPackage {
  UINT8 Type = 0;
  std::vector<UINT8> Raw;  // packages other than strings, kept as they came
  size_t StringIndex = 0;  // string packages: index into StringPackages
};

struct HiiPackageList {
  EFI_GUID Guid{};
  EFI_HANDLE DriverHandle = nullptr;
  std::vector<HiiPackage> Packages;  // list order, end package excluded
  std::vector<HiiStringPackage> StringPackages;

  HiiStringPackage* FindLanguage(const char* Language);
  const HiiStringPackage* FindLanguage(const char* Language) const;
};

// Parses a package list that lies in Size readable bytes. Every length is
// checked against the bytes that hold it; anything malformed gives
// EFI_INVALID_PARAMETER and leaves Out unspecified.
EFI_STATUS ParsePackageList(const void* Data, size_t Size, HiiPackageList& Out);

// The binary form of a package list with its current strings.
std::vector<UINT8> BuildPackageList(const HiiPackageList& List);

// RFC 4646 codes compare without regard to case.
bool SameLanguage(const std::string& A, const std::string& B);

class HiiDatabase {
 public:
  explicit HiiDatabase(EFI_SYSTEM_TABLE* SystemTable);
  ~HiiDatabase();
  HiiDatabase(const HiiDatabase&) = delete;
  HiiDatabase& operator=(const HiiDatabase&) = delete;

  // Installs both protocols on one new handle through boot services.
  EFI_STATUS Install();
  EFI_STATUS Uninstall();
  EFI_HANDLE Handle() const { return Handle_; }

  EFI_HII_DATABASE_PROTOCOL* DatabaseProtocol() { return &Database_.Protocol; }
  EFI_HII_STRING_PROTOCOL* StringProtocol() { return &String_.Protocol; }

  // Armed failures of the HII String protocol's members (none when null).
  void SetFaults(ServiceFaults* Faults) { Faults_ = Faults; }

  // Adds a package list of at most Size bytes (its header's length must fit).
  EFI_STATUS AddPackageList(const void* Data, size_t Size, EFI_HANDLE DriverHandle, EFI_HII_HANDLE* Handle);
  EFI_STATUS RemovePackageList(EFI_HII_HANDLE Handle);

  HiiPackageList* Find(EFI_HII_HANDLE Handle);
  const HiiPackageList* Find(EFI_HII_HANDLE Handle) const;
  std::vector<EFI_HII_HANDLE> Handles() const;

  // The protocol members, also callable from C++.
  EFI_STATUS ListPackageLists(UINT8 PackageType, const EFI_GUID* PackageGuid, UINTN* HandleBufferLength,
                              EFI_HII_HANDLE* Handle);
  EFI_STATUS ExportPackageLists(EFI_HII_HANDLE Handle, UINTN* BufferSize, EFI_HII_PACKAGE_LIST_HEADER* Buffer);
  EFI_STATUS GetPackageListHandle(EFI_HII_HANDLE Handle, EFI_HANDLE* DriverHandle);
  EFI_STATUS NewString(EFI_HII_HANDLE PackageList, EFI_STRING_ID* StringId, const CHAR8* Language,
                       const CHAR16* LanguageName, const CHAR16* String);
  EFI_STATUS GetString(const CHAR8* Language, EFI_HII_HANDLE PackageList, EFI_STRING_ID StringId, CHAR16* String,
                       UINTN* StringSize);
  EFI_STATUS SetString(EFI_HII_HANDLE PackageList, EFI_STRING_ID StringId, const CHAR8* Language,
                       const CHAR16* String);
  EFI_STATUS GetLanguages(EFI_HII_HANDLE PackageList, CHAR8* Languages, UINTN* LanguagesSize);
  EFI_STATUS GetSecondaryLanguages(EFI_HII_HANDLE PackageList, const CHAR8* PrimaryLanguage,
                                   CHAR8* SecondaryLanguages, UINTN* SecondaryLanguagesSize);

  // Every NewString and SetString that carried a text, taken or not, so a
  // test sees a text the database refused as well as one it kept.
  struct StringWrite {
    EFI_HII_HANDLE PackageList;
    EFI_STRING_ID StringId;  // 0 for a NewString the database refused
    std::string Language;
    std::u16string Text;
    EFI_STATUS Status;
  };
  const std::vector<StringWrite>& StringWrites() const { return StringWrites_; }

 private:
  EFI_STATUS AddString(EFI_HII_HANDLE PackageList, EFI_STRING_ID* StringId, const CHAR8* Language,
                       const CHAR16* LanguageName, const CHAR16* String);
  EFI_STATUS ReplaceString(EFI_HII_HANDLE PackageList, EFI_STRING_ID StringId, const CHAR8* Language,
                           const CHAR16* String);
  std::vector<StringWrite> StringWrites_;
  std::optional<EFI_STATUS> Fault(FaultableService S) { return Faults_ ? Faults_->Enter(S) : std::nullopt; }
  ServiceFaults* Faults_ = nullptr;

  struct DatabaseInstance {
    EFI_HII_DATABASE_PROTOCOL Protocol;
    HiiDatabase* Owner;
  };
  struct StringInstance {
    EFI_HII_STRING_PROTOCOL Protocol;
    HiiDatabase* Owner;
  };
  struct Entry {
    EFI_HII_HANDLE Handle;
    std::unique_ptr<HiiPackageList> List;
  };

  static HiiDatabase* From(const EFI_HII_DATABASE_PROTOCOL* This);
  static HiiDatabase* From(const EFI_HII_STRING_PROTOCOL* This);

  static EFI_STATUS EFIAPI NewPackageListEntry(const EFI_HII_DATABASE_PROTOCOL* This,
                                               const EFI_HII_PACKAGE_LIST_HEADER* PackageList,
                                               EFI_HANDLE DriverHandle, EFI_HII_HANDLE* Handle);
  static EFI_STATUS EFIAPI RemovePackageListEntry(const EFI_HII_DATABASE_PROTOCOL* This, EFI_HII_HANDLE Handle);
  static EFI_STATUS EFIAPI UpdatePackageListEntry(const EFI_HII_DATABASE_PROTOCOL* This, EFI_HII_HANDLE Handle,
                                                  const EFI_HII_PACKAGE_LIST_HEADER* PackageList);
  static EFI_STATUS EFIAPI ListPackageListsEntry(const EFI_HII_DATABASE_PROTOCOL* This, UINT8 PackageType,
                                                 const EFI_GUID* PackageGuid, UINTN* HandleBufferLength,
                                                 EFI_HII_HANDLE* Handle);
  static EFI_STATUS EFIAPI ExportPackageListsEntry(const EFI_HII_DATABASE_PROTOCOL* This, EFI_HII_HANDLE Handle,
                                                   UINTN* BufferSize, EFI_HII_PACKAGE_LIST_HEADER* Buffer);
  static EFI_STATUS EFIAPI RegisterPackageNotifyEntry(const EFI_HII_DATABASE_PROTOCOL* This, UINT8 PackageType,
                                                      const EFI_GUID* PackageGuid,
                                                      EFI_HII_DATABASE_NOTIFY PackageNotifyFn,
                                                      EFI_HII_DATABASE_NOTIFY_TYPE NotifyType,
                                                      EFI_HANDLE* NotifyHandle);
  static EFI_STATUS EFIAPI UnregisterPackageNotifyEntry(const EFI_HII_DATABASE_PROTOCOL* This,
                                                        EFI_HANDLE NotificationHandle);
  static EFI_STATUS EFIAPI FindKeyboardLayoutsEntry(const EFI_HII_DATABASE_PROTOCOL* This,
                                                    UINT16* KeyGuidBufferLength, EFI_GUID* KeyGuidBuffer);
  static EFI_STATUS EFIAPI GetKeyboardLayoutEntry(const EFI_HII_DATABASE_PROTOCOL* This, const EFI_GUID* KeyGuid,
                                                  UINT16* KeyboardLayoutLength,
                                                  EFI_HII_KEYBOARD_LAYOUT* KeyboardLayout);
  static EFI_STATUS EFIAPI SetKeyboardLayoutEntry(const EFI_HII_DATABASE_PROTOCOL* This, const EFI_GUID* KeyGuid);
  static EFI_STATUS EFIAPI GetPackageListHandleEntry(const EFI_HII_DATABASE_PROTOCOL* This,
                                                     EFI_HII_HANDLE PackageListHandle, EFI_HANDLE* DriverHandle);

  static EFI_STATUS EFIAPI NewStringEntry(const EFI_HII_STRING_PROTOCOL* This, EFI_HII_HANDLE PackageList,
                                          EFI_STRING_ID* StringId, const CHAR8* Language,
                                          const CHAR16* LanguageName, const CHAR16* String,
                                          const EFI_FONT_INFO* StringFontInfo);
  static EFI_STATUS EFIAPI GetStringEntry(const EFI_HII_STRING_PROTOCOL* This, const CHAR8* Language,
                                          EFI_HII_HANDLE PackageList, EFI_STRING_ID StringId, CHAR16* String,
                                          UINTN* StringSize, EFI_FONT_INFO** StringFontInfo);
  static EFI_STATUS EFIAPI SetStringEntry(const EFI_HII_STRING_PROTOCOL* This, EFI_HII_HANDLE PackageList,
                                          EFI_STRING_ID StringId, const CHAR8* Language, const CHAR16* String,
                                          const EFI_FONT_INFO* StringFontInfo);
  static EFI_STATUS EFIAPI GetLanguagesEntry(const EFI_HII_STRING_PROTOCOL* This, EFI_HII_HANDLE PackageList,
                                             CHAR8* Languages, UINTN* LanguagesSize);
  static EFI_STATUS EFIAPI GetSecondaryLanguagesEntry(const EFI_HII_STRING_PROTOCOL* This,
                                                      EFI_HII_HANDLE PackageList, const CHAR8* PrimaryLanguage,
                                                      CHAR8* SecondaryLanguages, UINTN* SecondaryLanguagesSize);

  EFI_SYSTEM_TABLE* SystemTable_;
  EFI_HANDLE Handle_ = nullptr;
  DatabaseInstance Database_;
  StringInstance String_;
  std::vector<Entry> Lists_;  // in the order they were added
  UINTN NextHandle_ = 1;      // handles are never reused, so a removed one stays invalid
};

}  // namespace sim
