// Simple-file-system volumes with a directory tree: the Simple File System
// and File protocols as a FAT driver answers them (directory reads of one
// EFI_FILE_INFO record each with the BUFFER_TOO_SMALL sizing, "." and ".."
// in subdirectories, create, write, delete, and the file size through
// SetInfo), and the hostile behaviours of broken media from the profile.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "sim/board_profile.h"
#include "uefi/file.h"
#include "uefi/system_table.h"

namespace sim {

class FileSystemPeers {
 public:
  explicit FileSystemPeers(const std::vector<FileVolumeProfile>& Volumes);
  ~FileSystemPeers();
  FileSystemPeers(const FileSystemPeers&) = delete;
  FileSystemPeers& operator=(const FileSystemPeers&) = delete;

  // One handle per volume: Simple File System, and its device path if any.
  // Called again at every boot; the files stay as they were.
  EFI_STATUS Install(EFI_BOOT_SERVICES* BootServices);

  struct Volume;
  struct OpenFile {
    EFI_FILE_PROTOCOL Protocol;
    FileSystemPeers* Self;
    size_t VolumeIndex;
    std::vector<std::string> Path;  // components below the root
    uint64_t Position = 0;          // byte offset, or next entry of a directory
    bool Writable = false;
    bool ProbeShrunk = false;       // SizeChangesAfterProbe: this entry's short probe was given
  };
  struct Volume {
    FileVolumeProfile Profile;
    FileNodeProfile Root;
    EFI_SIMPLE_FILE_SYSTEM_PROTOCOL Protocol{};
    FileSystemPeers* Self = nullptr;
    EFI_HANDLE Handle = nullptr;
  };

  size_t VolumeCount() const { return Volumes_.size(); }
  const Volume& VolumeAt(size_t I) const { return *Volumes_[I]; }
  EFI_HANDLE Handle(size_t I) const { return Volumes_[I]->Handle; }
  // The node at a backslash-separated path below the volume root; null if none.
  const FileNodeProfile* Find(size_t VolumeIndex, const std::string& Path) const;
  // Handles opened and not yet closed: a caller that forgets one leaks it.
  size_t OpenHandles() const { return Open_.size(); }
  size_t VolumesOpened() const { return VolumesOpened_; }

 private:
  static EFI_STATUS EFIAPI OpenVolume(EFI_SIMPLE_FILE_SYSTEM_PROTOCOL* This, EFI_FILE_PROTOCOL** Root);
  static EFI_STATUS EFIAPI Open(EFI_FILE_PROTOCOL* This, EFI_FILE_PROTOCOL** NewHandle, const CHAR16* FileName,
                                UINT64 OpenMode, UINT64 Attributes);
  static EFI_STATUS EFIAPI Close(EFI_FILE_PROTOCOL* This);
  static EFI_STATUS EFIAPI Delete(EFI_FILE_PROTOCOL* This);
  static EFI_STATUS EFIAPI Read(EFI_FILE_PROTOCOL* This, UINTN* BufferSize, VOID* Buffer);
  static EFI_STATUS EFIAPI Write(EFI_FILE_PROTOCOL* This, UINTN* BufferSize, const VOID* Buffer);
  static EFI_STATUS EFIAPI GetPosition(EFI_FILE_PROTOCOL* This, UINT64* Position);
  static EFI_STATUS EFIAPI SetPosition(EFI_FILE_PROTOCOL* This, UINT64 Position);
  static EFI_STATUS EFIAPI GetInfo(EFI_FILE_PROTOCOL* This, const EFI_GUID* InformationType, UINTN* BufferSize,
                                   VOID* Buffer);
  static EFI_STATUS EFIAPI SetInfo(EFI_FILE_PROTOCOL* This, const EFI_GUID* InformationType, UINTN BufferSize,
                                   const VOID* Buffer);
  static EFI_STATUS EFIAPI Flush(EFI_FILE_PROTOCOL* This);

  OpenFile* NewHandle(size_t VolumeIndex, std::vector<std::string> Path, bool Writable);
  FileNodeProfile* Resolve(size_t VolumeIndex, const std::vector<std::string>& Path);
  std::vector<uint8_t> InfoRecord(const Volume& V, const FileNodeProfile& Node, const std::string& Name) const;

  std::vector<std::unique_ptr<Volume>> Volumes_;
  std::set<OpenFile*> Open_;
  size_t VolumesOpened_ = 0;
};

// The device path of a USB stick's first partition behind the board's USB
// controller at PCI device Device: Acpi/Pci/USB(Port,0)/HD(1).
std::vector<uint8_t> UsbStickDevicePath(uint8_t Device, uint8_t Port);

}  // namespace sim
