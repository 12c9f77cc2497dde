#include "qemu/boot_volume.h"

#include "lib/device_path_text.h"
#include "lib/firmware_services.h"
#include "lib/strings.h"
#include "uefi/device_path.h"
#include "uefi/loaded_image.h"

EFI_HANDLE BootVolumeHandle(EFI_HANDLE ImageHandle) {
  auto* Image = HandleProtocol<EFI_LOADED_IMAGE_PROTOCOL>(ImageHandle);
  return Image != nullptr ? Image->DeviceHandle : nullptr;
}

EFI_FILE_PROTOCOL* OpenBootVolumeRoot(EFI_HANDLE ImageHandle) {
  EFI_HANDLE Device = BootVolumeHandle(ImageHandle);
  auto* Volume = Device != nullptr ? HandleProtocol<EFI_SIMPLE_FILE_SYSTEM_PROTOCOL>(Device) : nullptr;
  EFI_FILE_PROTOCOL* Root = nullptr;
  if (Volume == nullptr || EFI_ERROR(Volume->OpenVolume(Volume, &Root))) return nullptr;
  return Root;
}

EFI_STATUS ReadBootVolumeFile(EFI_HANDLE ImageHandle, const CHAR16* Path, PoolBuffer<UINT8>& Data, UINTN* Size) {
  *Size = 0;
  Data.Reset();
  EFI_FILE_PROTOCOL* Root = OpenBootVolumeRoot(ImageHandle);
  if (Root == nullptr) return EFI_NOT_FOUND;
  EFI_FILE_PROTOCOL* File = nullptr;
  EFI_STATUS Status = Root->Open(Root, &File, Path, EFI_FILE_MODE_READ, 0);
  Root->Close(Root);
  if (EFI_ERROR(Status)) return Status;
  UINT8 InfoBytes[SIZE_OF_EFI_FILE_INFO + 256 * sizeof(CHAR16)] = {};
  UINTN InfoSize = sizeof(InfoBytes);
  Status = File->GetInfo(File, &EFI_FILE_INFO::Guid, &InfoSize, InfoBytes);
  const UINT64 FileSize = ((const EFI_FILE_INFO*)InfoBytes)->FileSize;
  // The checks' files are small; anything else is not one of them.
  if (!EFI_ERROR(Status) && FileSize > 0x100000) Status = EFI_BAD_BUFFER_SIZE;
  if (!EFI_ERROR(Status) && !Data.Allocate(FileSize + 1)) Status = EFI_OUT_OF_RESOURCES;
  UINTN ReadSize = (UINTN)FileSize;
  if (!EFI_ERROR(Status)) Status = File->Read(File, &ReadSize, Data.Get());
  File->Close(File);
  if (EFI_ERROR(Status)) {
    Data.Reset();
    return Status;
  }
  *Size = ReadSize;
  return EFI_SUCCESS;
}

EFI_STATUS LoadBootVolumeImage(EFI_HANDLE ImageHandle, const CHAR16* Path, EFI_HANDLE* Loaded) {
  *Loaded = nullptr;
  EFI_HANDLE Device = BootVolumeHandle(ImageHandle);
  auto* DevicePath = Device != nullptr ? HandleProtocol<EFI_DEVICE_PATH_PROTOCOL>(Device) : nullptr;
  const UINTN DeviceSize = DevicePathLength(DevicePath);
  if (DeviceSize < sizeof(EFI_DEVICE_PATH_PROTOCOL)) return EFI_NOT_FOUND;
  // The device's nodes without their end, a file-path node, a new end.
  const UINTN PrefixSize = DeviceSize - sizeof(EFI_DEVICE_PATH_PROTOCOL);
  const UINTN NodeSize = sizeof(EFI_DEVICE_PATH_PROTOCOL) + (WideLength(Path) + 1) * sizeof(CHAR16);
  PoolBuffer<UINT8> Full;
  if (!Full.Allocate(PrefixSize + NodeSize + sizeof(EFI_DEVICE_PATH_PROTOCOL))) return EFI_OUT_OF_RESOURCES;
  MemMove(Full.Get(), DevicePath, PrefixSize);
  auto* Node = (EFI_DEVICE_PATH_PROTOCOL*)(Full.Get() + PrefixSize);
  Node->Type = MEDIA_DEVICE_PATH;
  Node->SubType = MEDIA_FILEPATH_DP;
  Node->Length[0] = (UINT8)NodeSize;
  Node->Length[1] = (UINT8)(NodeSize >> 8);
  MemMove(Full.Get() + PrefixSize + sizeof(EFI_DEVICE_PATH_PROTOCOL), Path,
          NodeSize - sizeof(EFI_DEVICE_PATH_PROTOCOL));
  auto* End = (EFI_DEVICE_PATH_PROTOCOL*)(Full.Get() + PrefixSize + NodeSize);
  End->Type = END_DEVICE_PATH_TYPE;
  End->SubType = END_ENTIRE_DEVICE_PATH_SUBTYPE;
  End->Length[0] = sizeof(EFI_DEVICE_PATH_PROTOCOL);
  return gBS()->LoadImage(false, ImageHandle, (EFI_DEVICE_PATH_PROTOCOL*)Full.Get(), nullptr, 0, Loaded);
}
