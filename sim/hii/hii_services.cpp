#include "sim/hii/hii_services.h"

#include "sim/hii/form_utility_service.h"
#include "sim/hii/hii_database.h"
#include "sim/hii/setup_browser.h"

namespace sim {

HiiServices::~HiiServices() = default;

// A service that cannot be installed leaves its object in place but absent
// from the handle database, as on a board whose firmware lacks it.
std::unique_ptr<HiiServices> InstallHiiServices(EFI_SYSTEM_TABLE* SystemTable) {
  auto services = std::make_unique<HiiServices>();
  services->Database = std::make_unique<HiiDatabase>(SystemTable);
  services->Forms = std::make_unique<FormUtilityService>(SystemTable);
  services->Browser = std::make_unique<SetupBrowser>(SystemTable, services->Forms.get());
  services->Forms->AttachBrowser(services->Browser.get());
  services->Database->Install();
  services->Forms->Install();
  return services;
}

}  // namespace sim
