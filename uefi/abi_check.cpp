// Pulls every UEFI ABI header into one translation unit of the support
// library, so each header's layout assertions are checked by both builds
// and the headers are known to live together without clashes. That no GUID
// serves two interfaces is checked with the drivers' own GUIDs, in
// setupinfo/guid_check.cpp.
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

// Members the pages call through, asserted where the headers meet: the
// system table's ConIn is now a complete type.
static_assert(sizeof(*EFI_SYSTEM_TABLE{}.ConIn) == 24);

}  // namespace
