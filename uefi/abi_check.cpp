// Pulls every UEFI ABI header into one translation unit of the support
// library, so each header's layout assertions are checked by both builds
// and the headers are known to live together without clashes.
#include "uefi/base.h"
#include "uefi/device_path.h"
#include "uefi/disk_info.h"
#include "uefi/driver_model.h"
#include "uefi/file.h"
#include "uefi/firmware_volume.h"
#include "uefi/graphics.h"
#include "uefi/legacy_bios.h"
#include "uefi/loaded_image.h"
#include "uefi/pci_io.h"
#include "uefi/pi.h"
#include "uefi/simple_text_input.h"
#include "uefi/system_table.h"
#include "uefi/variable_ppi.h"
#include "uefi/hii.h"

namespace {

// A GUID pasted twice would make one interface answer for another.
constexpr EFI_GUID kBoundGuids[] = {
    EFI_DEVICE_PATH_PROTOCOL::Guid,
    EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL::Guid,
    EFI_SIMPLE_TEXT_INPUT_PROTOCOL::Guid,
    EFI_PCI_IO_PROTOCOL::Guid,
    EFI_GRAPHICS_OUTPUT_PROTOCOL::Guid,
    EFI_EDID_DISCOVERED_PROTOCOL::Guid,
    EFI_EDID_ACTIVE_PROTOCOL::Guid,
    EFI_DRIVER_BINDING_PROTOCOL::Guid,
    EFI_COMPONENT_NAME2_PROTOCOL::Guid,
    EFI_COMPONENT_NAME_PROTOCOL::Guid,
    EFI_DISK_INFO_PROTOCOL::Guid,
    EFI_DISK_INFO_PROTOCOL::IdeInterfaceGuid,
    EFI_DISK_INFO_PROTOCOL::ScsiInterfaceGuid,
    EFI_DISK_INFO_PROTOCOL::UsbInterfaceGuid,
    EFI_DISK_INFO_PROTOCOL::AhciInterfaceGuid,
    EFI_DISK_INFO_PROTOCOL::NvmeInterfaceGuid,
    EFI_LEGACY_BIOS_PROTOCOL::Guid,
    EFI_LOADED_IMAGE_PROTOCOL::Guid,
    EFI_HII_STRING_PROTOCOL::Guid,
    EFI_HII_DATABASE_PROTOCOL::Guid,
    EFI_HII_CONFIG_ACCESS_PROTOCOL::Guid,
    EFI_SIMPLE_FILE_SYSTEM_PROTOCOL::Guid,
    EFI_FILE_INFO::Guid,
    EFI_FILE_SYSTEM_INFO::Guid,
    EFI_FILE_SYSTEM_VOLUME_LABEL::Guid,
    EFI_FIRMWARE_VOLUME2_PROTOCOL::Guid,
    EFI_PEI_READ_ONLY_VARIABLE2_PPI::Guid,
    EFI_GLOBAL_VARIABLE_GUID,
    EFI_EVENT_GROUP_READY_TO_BOOT,
    EFI_EVENT_GROUP_EXIT_BOOT_SERVICES,
    EFI_END_OF_DXE_EVENT_GROUP_GUID,
    EFI_DXE_SERVICES_TABLE_GUID,
    EFI_HOB_LIST_GUID,
};

constexpr bool AllDistinct(const EFI_GUID* Guids, UINTN Count) {
  for (UINTN i = 0; i < Count; ++i)
    for (UINTN j = i + 1; j < Count; ++j)
      if (Guids[i] == Guids[j]) return false;
  return true;
}
static_assert(AllDistinct(kBoundGuids, sizeof(kBoundGuids) / sizeof(kBoundGuids[0])));

// Members the pages call through, asserted where the headers meet: the
// system table's ConIn is now a complete type.
static_assert(sizeof(*EFI_SYSTEM_TABLE{}.ConIn) == 24);

}  // namespace
