#include "setupinfo/core/hii_protocols.h"

#include "lib/firmware_services.h"
#include "setupinfo/core/core_state.h"

EFI_HII_STRING_PROTOCOL* HiiStringProtocol() { return LocateOnce(CoreState().HiiString); }
EFI_HII_DATABASE_PROTOCOL* HiiDatabaseProtocol() { return LocateOnce(CoreState().HiiDatabase); }
