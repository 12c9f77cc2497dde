// Entry of the library check image: reaches every part of the support
// library so that the link proves nothing is left undefined.
#include "lib/device_path_text.h"
#include "lib/firmware_services.h"
#include "lib/hw/hw.h"
#include "lib/pool_buffer.h"
#include "lib/strings.h"
#include "lib/text_format.h"

extern "C" EFI_STATUS EFIAPI LibCheckEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE* SystemTable) {
  LibraryInit(ImageHandle, SystemTable);
  CHAR16 Line[64];
  FormatWide(Line, 64, u"%a %r %g", "status", EFI_NOT_FOUND, &EFI_GLOBAL_VARIABLE_GUID);
  CHAR8 Narrow[64];
  FormatAscii(Narrow, 64, "%d", (INT32)WideLength(Line));
  EFI_DXE_SERVICES* Dxe = nullptr;
  GetDxeServicesTable(&Dxe);
  PoolBuffer<CHAR8> Text;
  const UINT8 EndNode[4] = {0x7F, 0xFF, 4, 0};
  DescribeDevicePath((const EFI_DEVICE_PATH_PROTOCOL*)EndNode, (CHAR8**)Text.OutPtr());
  POINTER_LIST List = {};
  PointerListAppend(&List, Line);
  PointerListFree(&List);
  UINT32 Eax = 0, Ecx = 0;
  ReadCpuid(1, &Eax, nullptr, &Ecx, nullptr);
  (void)PciRead32(0, 0, 0, 0);
  (void)SioRead(0x20);
  (void)ReadMsr(0xCE);
  (void)Divide64(Multiply64(ShiftLeft64(1, 40), 3), 7, nullptr);
  return EFI_SUCCESS;
}
