#include "fuzz/malloc_firmware.h"

#include <cstdlib>

#include "lib/firmware_services.h"

namespace {

EFI_STATUS EFIAPI HostAllocatePool(EFI_MEMORY_TYPE, UINTN Size, VOID** Buffer) {
  *Buffer = std::malloc(Size == 0 ? 1 : Size);
  return *Buffer != nullptr ? EFI_SUCCESS : EFI_OUT_OF_RESOURCES;
}

EFI_STATUS EFIAPI HostFreePool(VOID* Buffer) {
  std::free(Buffer);
  return EFI_SUCCESS;
}

EFI_BOOT_SERVICES gBootServices;
EFI_RUNTIME_SERVICES gRuntimeServices;
EFI_SYSTEM_TABLE gSystemTable;

}  // namespace

void UseMallocFirmware() {
  static bool Done = false;
  if (Done) return;
  gBootServices.AllocatePool = HostAllocatePool;
  gBootServices.FreePool = HostFreePool;
  gSystemTable.BootServices = &gBootServices;
  gSystemTable.RuntimeServices = &gRuntimeServices;
  LibraryInit((EFI_HANDLE)1, &gSystemTable);
  Done = true;
}
