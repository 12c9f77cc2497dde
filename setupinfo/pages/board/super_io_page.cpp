#include "setupinfo/pages/board/super_io_page.h"

#include "lib/firmware_services.h"
#include "lib/pool_buffer.h"
#include "lib/text_format.h"
#include "setupinfo/core/form_set_table.h"
#include "setupinfo/core/page_strings.h"

namespace {

enum SUPER_IO_LINE_FORM : UINT8 { LINE_IO_IRQ_DMA, LINE_IO_IRQ, LINE_BY_RESOURCES };

struct SUPER_IO_LINE {
  UINT32 Type;
  BOOLEAN AnyInstance;
  UINT8 Instance;
  UINT16 StringId;
  SUPER_IO_LINE_FORM Form;
};
constexpr SUPER_IO_LINE SuperIoLines[] = {
    {SUPER_IO_TYPE_1, TRUE, 0, 0x0888, LINE_IO_IRQ_DMA},
    {SUPER_IO_TYPE_6, FALSE, 0, 0x0897, LINE_IO_IRQ},
    {SUPER_IO_TYPE_6, FALSE, 1, 0x0898, LINE_IO_IRQ},
    {SUPER_IO_TYPE_7, TRUE, 0, 0x08A3, LINE_BY_RESOURCES},
    {SUPER_IO_TYPE_12, TRUE, 0, 0x08AF, LINE_IO_IRQ},
};

}  // namespace

BOOLEAN SuperIoResourceLine(const SUPER_IO_DEVICE_PROTOCOL* Device, UINT16* StringId,
                            CHAR16 (&Text)[SUPER_IO_LINE_CAPACITY]) {
  // A producer that left the record out offers nothing to show.
  if (Device == nullptr || Device->Description == nullptr) return FALSE;
  const SUPER_IO_DEVICE_DESCRIPTION& Description = *Device->Description;
  if (Description.Usable == 0 || Device->Enabled == 0 || Device->Active == 0) return FALSE;

  for (const SUPER_IO_LINE& Line : SuperIoLines) {
    if (Line.Type != Description.Type) continue;
    if (!Line.AnyInstance && Line.Instance != Description.Instance) continue;
    const UINT32 Io = Device->IoBase, Irq = Device->Interrupt, Dma = Device->DmaChannel;
    switch (Line.Form) {
      case LINE_IO_IRQ_DMA:
        FormatWideUnbounded(Text, u"IO=%Xh; IRQ=%d; DMA=%d;", Io, Irq, Dma);
        break;
      case LINE_IO_IRQ:
        FormatWideUnbounded(Text, u"IO=%Xh; IRQ=%d;", Io, Irq);
        break;
      case LINE_BY_RESOURCES:
        if (Irq != 0 && Dma != 0) FormatWideUnbounded(Text, u"IO=%Xh; IRQ=%d; DMA=%d;", Io, Irq, Dma);
        else if (Dma != 0) FormatWideUnbounded(Text, u"IO=%Xh; DMA=%d;", Io, Dma);
        else if (Irq != 0) FormatWideUnbounded(Text, u"IO=%Xh; IRQ=%d;", Io, Irq);
        else FormatWideUnbounded(Text, u"IO=%Xh;", Io);
        break;
    }
    *StringId = Line.StringId;
    return TRUE;
  }
  return FALSE;
}

VOID EFIAPI InitFixedVersionString(EFI_HII_HANDLE HiiHandle, UINT16 Class) {
  if (Class != FORM_SET_CLASS_ADVANCED) return;
  SetPageString(HiiHandle, STR_FIXED_VERSION, u"V %d.%02d.%02d", 2, 5, 2);
}

VOID EFIAPI InitSuperIoResourceStrings(EFI_HII_HANDLE HiiHandle, UINT16 Class) {
  if (Class != FORM_SET_CLASS_HARDWARE_MONITOR || gBS() == nullptr) return;
  UINTN Count = 0;
  PoolBuffer<EFI_HANDLE> Handles;
  // On failure nothing was handed over, so there is nothing to free.
  if (EFI_ERROR(gBS()->LocateHandleBuffer(ByProtocol, &SUPER_IO_DEVICE_PROTOCOL::Guid, nullptr, &Count,
                                          (EFI_HANDLE**)Handles.OutPtr()))) {
    Handles.Release();
    return;
  }
  for (UINTN i = 0; i < Count; ++i) {
    const SUPER_IO_DEVICE_PROTOCOL* Device = HandleProtocol<SUPER_IO_DEVICE_PROTOCOL>(Handles[i]);
    UINT16 StringId = 0;
    CHAR16 Text[SUPER_IO_LINE_CAPACITY];
    if (SuperIoResourceLine(Device, &StringId, Text)) SetPageText(HiiHandle, StringId, Text);
  }
}
