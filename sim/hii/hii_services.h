// The HII side of the simulated firmware: the HII database with the HII
// String protocol, the form utility service and the setup browser, all
// installed through the system table's boot services as a firmware driver
// would install them.
#pragma once

#include <memory>

#include "uefi/system_table.h"

namespace sim {

class HiiDatabase;
class FormUtilityService;
class SetupBrowser;

struct HiiServices {
  std::unique_ptr<HiiDatabase> Database;
  std::unique_ptr<FormUtilityService> Forms;
  std::unique_ptr<SetupBrowser> Browser;
  ~HiiServices();
};

// Installs the HII Database and HII String protocols, the form utility service and the setup browser through SystemTable's boot services.
std::unique_ptr<HiiServices> InstallHiiServices(EFI_SYSTEM_TABLE* SystemTable);

}  // namespace sim
