// The platform's authenticated variable service for the five key variables,
// and the firmware volume that holds the default key files as raw sections.
// Only the rules are modelled: a signature is "valid" when its certificate
// bytes carry the marker of a signer the profile trusts.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/board_profile.h"
#include "sim/variables.h"
#include "uefi/firmware_volume.h"
#include "uefi/system_table.h"

namespace sim {

// Index of a key variable by name and GUID, or -1.
int KeyVariableIndex(const VariableStore::Key& Name);

class SecureBootVariablePeer {
 public:
  SecureBootVariablePeer(VariableStore& Store, const SecureBootProfile& Profile);
  ~SecureBootVariablePeer();
  SecureBootVariablePeer(const SecureBootVariablePeer&) = delete;
  SecureBootVariablePeer& operator=(const SecureBootVariablePeer&) = delete;

  // Puts the profile's keys into an empty store (first power-on).
  void EnrollProfileKeys();
  // Every boot: SetupMode and SecureBoot from PK (they are volatile).
  void PublishState();

  bool SetupMode() const;

 private:
  EFI_STATUS Check(const VariableStore::Key& Name, UINT32 Attributes, std::vector<UINT8>& Data,
                   const VariableStore::Variable* Existing);
  void Written(const VariableStore::Key& Name);
  bool Trusted(const std::vector<UINT8>& Certificate, int Index) const;

  VariableStore& Store_;
  SecureBootProfile Profile_;
  std::map<int, EFI_TIME> Stamps_;
  std::optional<std::pair<int, EFI_TIME>> PendingStamp_;
};

// One firmware volume with raw-section files.
class FirmwareVolumePeer {
 public:
  explicit FirmwareVolumePeer(const SecureBootProfile& Profile);
  EFI_STATUS Install(EFI_BOOT_SERVICES* BootServices);
  EFI_HANDLE Handle() const { return Handle_; }

  struct Instance {
    EFI_FIRMWARE_VOLUME2_PROTOCOL Protocol;
    FirmwareVolumePeer* Self;
  };

 private:
  static EFI_STATUS EFIAPI ReadSection(const EFI_FIRMWARE_VOLUME2_PROTOCOL* This, const EFI_GUID* NameGuid,
                                       EFI_SECTION_TYPE SectionType, UINTN SectionInstance, VOID** Buffer,
                                       UINTN* BufferSize, UINT32* AuthenticationStatus);
  static EFI_STATUS EFIAPI ReadFile(const EFI_FIRMWARE_VOLUME2_PROTOCOL* This, const EFI_GUID* NameGuid,
                                    VOID** Buffer, UINTN* BufferSize, EFI_FV_FILETYPE* FoundType,
                                    EFI_FV_FILE_ATTRIBUTES* FileAttributes, UINT32* AuthenticationStatus);
  static EFI_STATUS EFIAPI GetVolumeAttributes(const EFI_FIRMWARE_VOLUME2_PROTOCOL* This,
                                               EFI_FV_ATTRIBUTES* FvAttributes);
  static EFI_STATUS EFIAPI SetVolumeAttributes(const EFI_FIRMWARE_VOLUME2_PROTOCOL* This,
                                               EFI_FV_ATTRIBUTES* FvAttributes);
  static EFI_STATUS EFIAPI WriteFile(const EFI_FIRMWARE_VOLUME2_PROTOCOL* This, UINT32 NumberOfFiles,
                                     EFI_FV_WRITE_POLICY WritePolicy, EFI_FV_WRITE_FILE_DATA* FileData);
  static EFI_STATUS EFIAPI GetNextFile(const EFI_FIRMWARE_VOLUME2_PROTOCOL* This, VOID* Key,
                                       EFI_FV_FILETYPE* FileType, EFI_GUID* NameGuid,
                                       EFI_FV_FILE_ATTRIBUTES* Attributes, UINTN* Size);
  static EFI_STATUS EFIAPI GetInfo(const EFI_FIRMWARE_VOLUME2_PROTOCOL* This, const EFI_GUID* InformationType,
                                   UINTN* BufferSize, VOID* Buffer);
  static EFI_STATUS EFIAPI SetInfo(const EFI_FIRMWARE_VOLUME2_PROTOCOL* This, const EFI_GUID* InformationType,
                                   UINTN BufferSize, const VOID* Buffer);

  const std::vector<uint8_t>* Find(const EFI_GUID& Name) const;

  std::vector<std::pair<EFI_GUID, std::vector<uint8_t>>> Files_;
  std::optional<EFI_STATUS> Failure_;
  EFI_BOOT_SERVICES* BootServices_ = nullptr;
  EFI_HANDLE Handle_ = nullptr;
  Instance Instance_{};
};

// The default key files' names in the firmware volumes, by variable name.
std::optional<EFI_GUID> DefaultKeyFileName(const std::string& Variable);

}  // namespace sim
