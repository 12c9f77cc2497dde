// Every GUID the system knows, in one list: the UEFI ones, the platform
// drivers' and this driver's own. A GUID pasted twice would make one
// interface, variable or package list answer for another. A GUID that
// serves two names (the Secure Boot form set's package list and the vendor
// of "SecureVarPresent") is one named constant used twice, and listed once.
#include "platform/board_identity.h"
#include "platform/callback_registry.h"
#include "platform/clock_control.h"
#include "platform/component_version.h"
#include "platform/form_utility.h"
#include "platform/graphics_output.h"
#include "platform/management_engine.h"
#include "platform/memory_info.h"
#include "platform/message_box.h"
#include "platform/name_resolution.h"
#include "platform/net_config.h"
#include "platform/nvme.h"
#include "platform/page_actions.h"
#include "platform/processor_info.h"
#include "platform/profile_storage.h"
#include "platform/presets.h"
#include "platform/processor_info.h"
#include "platform/sata_port_strings.h"
#include "platform/setup_load_trigger.h"
#include "platform/super_io_device.h"
#include "platform/south_bridge.h"
#include "platform/update_locator.h"
#include "platform/usb_support.h"
#include "setupinfo/core/form_set_table.h"
#include "setupinfo/core/setup_record.h"
#include "setupinfo/secureboot/secure_boot_keys.h"
#include "uefi/device_path.h"
#include "uefi/disk_info.h"
#include "uefi/driver_model.h"
#include "uefi/file.h"
#include "uefi/firmware_volume.h"
#include "uefi/graphics.h"
#include "uefi/hii.h"
#include "uefi/image_authentication.h"
#include "uefi/legacy_bios.h"
#include "uefi/loaded_image.h"
#include "uefi/pci_io.h"
#include "uefi/pi.h"
#include "uefi/simple_text_input.h"
#include "uefi/system_table.h"
#include "uefi/variable_ppi.h"

namespace {

constexpr EFI_GUID KnownGuids[] = {
    // UEFI and PI
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
    EFI_IMAGE_SECURITY_DATABASE_GUID,
    EFI_CERT_SHA256_GUID,
    EFI_CERT_RSA2048_GUID,
    EFI_CERT_RSA2048_SHA256_GUID,
    EFI_CERT_RSA2048_SHA1_GUID,
    EFI_CERT_X509_GUID,
    EFI_CERT_X509_SHA256_GUID,
    EFI_CERT_X509_SHA384_GUID,
    EFI_CERT_X509_SHA512_GUID,
    EFI_CERT_TYPE_PKCS7_GUID,
    EFI_EVENT_GROUP_READY_TO_BOOT,
    EFI_EVENT_GROUP_EXIT_BOOT_SERVICES,
    EFI_END_OF_DXE_EVENT_GROUP_GUID,
    EFI_DXE_SERVICES_TABLE_GUID,
    EFI_HOB_LIST_GUID,
    // The platform's drivers, their HOBs and variables
    BOARD_IDENTITY_PROTOCOL::Guid,
    CALLBACK_REGISTRY_PROTOCOL::Guid,
    FORM_UTILITY_PROTOCOL::Guid,
    NAME_RESOLUTION_PROTOCOL::Guid,
    PROCESSOR_INFORMATION_PROTOCOL::Guid,
    PROCESSOR_TOPOLOGY_PROTOCOL::Guid,
    SETUP_LOAD_TRIGGER_PROTOCOL::Guid,
    SUPER_IO_DEVICE_PROTOCOL::Guid,
    SOUTH_BRIDGE_VERSION_PROTOCOL::Guid,
    UPDATE_LOCATOR_PROTOCOL::Guid,
    PROCESSOR_RATIO_HOB_GUID,
    PROCESSOR_PLATFORM_HOB_GUID,
    MEMORY_INFO_PROTOCOL::Guid,
    MEMORY_VERSION_PROTOCOL::Guid,
    MEMORY_MODULE_HOB_GUID,
    NET_CONFIG_DATA_GUID,
    NETWORK_CONFIG_PROTOCOL::Guid,
    NETWORK_ACTION_52A_PROTOCOL::Guid,
    NETWORK_ACTION_52D_PROTOCOL::Guid,
    NETWORK_ACTION_52E_PROTOCOL::Guid,
    ME_INFO_SETUP::Guid,
    PTT_INFO_VARIABLE::Guid,
    OUTPUT_LEVEL_PROTOCOL::Guid,
    OUTPUT_SWITCH_PROTOCOL::Guid,
    EXCLUDED_DRIVER_MARKER_PROTOCOL::Guid,
    GOP_OUTPUT_VARIABLE_GUID,
    NVME_CONTROLLER_PROTOCOL::Guid,
    USB_SUPPORT_PROTOCOL::Guid,
    SATA_PORT_STRING_PROTOCOL::Guid,
    SATA_BUS_TABLE_PROTOCOL_GUID,
    PRESET_PROVIDER_PROTOCOL::Guid,
    PRESET_FORWARD_51C_PROTOCOL::Guid,
    PRESET_FORWARD_51D_PROTOCOL::Guid,
    PRESET_FORWARD_51E_PROTOCOL::Guid,
    MESSAGE_BOX_PROTOCOL::Guid,
    ICC_CLOCK_CONTROL_PROTOCOL::Guid,
    BOOT_PHASE_INFO_PROTOCOL::Guid,
    ICC_SETUP_DATA_GUID,
    ICC_PERSISTENT_DATA_GUID,
    PROFILE_STORAGE_PROTOCOL::Guid,
    QUICK_SETUP_STORE_GUID,
    SUPER_IO_STORE_GUID,
    // The main page: component versions, action protocols, resolution trigger
    PLATFORM_VERSION_PROTOCOL::Guid,
    PROCESSOR_CODE_VERSION_PROTOCOL::Guid,
    ENGINE_CODE_VERSION_PROTOCOL::Guid,
    GRAPHICS_CODE_VERSION_PROTOCOL::Guid,
    MAIN_PAGE_ACTION_PROTOCOL::Guid,
    TOOL_ACTION_1_PROTOCOL::Guid,
    TOOL_ACTION_2_PROTOCOL::Guid,
    RESOLUTION_TRIGGER_PROTOCOL::Guid,
    // The setup driver: its variables and the package lists of its form sets
    SETUP_VARIABLE_GUID,
    MAIN_FORM_SET_GUID,
    TUNING_FORM_SET_GUID,
    ADVANCED_FORM_SET_GUID,
    TOOLS_FORM_SET_GUID,
    HARDWARE_MONITOR_FORM_SET_GUID,
    MEMORY_FORM_SET_GUID,
    MANAGEMENT_ENGINE_FORM_SET_GUID,
    SECURE_BOOT_FORM_SET_GUID,
    EXIT_FORM_SET_GUID,
    // The Secure Boot keys: signature owner and the default key files
    SIGNATURE_OWNER_GUID,
    KeyVariables[0].DefaultKeyFile,
    KeyVariables[1].DefaultKeyFile,
    KeyVariables[2].DefaultKeyFile,
    KeyVariables[3].DefaultKeyFile,
    KeyVariables[4].DefaultKeyFile,
};

constexpr bool AllDistinct(const EFI_GUID* Guids, UINTN Count) {
  for (UINTN i = 0; i < Count; ++i)
    for (UINTN j = i + 1; j < Count; ++j)
      if (Guids[i] == Guids[j]) return false;
  return true;
}
static_assert(AllDistinct(KnownGuids, sizeof(KnownGuids) / sizeof(KnownGuids[0])), "a GUID serves two names");

}  // namespace
