// The clock page's restart handshake on real firmware. One QEMU run of two
// boots: the first loads the form sets, asks for a restart the way the
// clock driver does (IccPersistentData = 1) and signals ready to boot, which
// must restart the machine; the second finds the request, sees the page turn
// it into 2 at load and clear it at ready to boot without another restart.
#include "lib/firmware_services.h"
#include "platform/clock_control.h"
#include "qemu/checks.h"
#include "qemu/formutil_control.h"

namespace {

// Marks the first boot's request, so the second boot knows it follows a restart.
constexpr EFI_GUID RESTART_CHECK_VENDOR = {0x3C1E6F27, 0x9B02, 0x4D7A, {0x8E, 0x54, 0x21, 0xC9, 0x6B, 0x0F, 0xD3, 0x88}};
inline constexpr CHAR16 RESTART_MARKER_NAME[] = u"QemuCheckClockRestart";
constexpr UINT32 NV_BS_RT = EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS;

// The handshake byte; 0xFF for a missing one, 0xFE for any other size.
UINT8 PersistentData() {
  UINT8 Bytes[2] = {};
  UINTN Size = sizeof(Bytes);
  EFI_STATUS Status = gRT()->GetVariable(ICC_PERSISTENT_DATA_NAME, &ICC_PERSISTENT_DATA_GUID, nullptr, &Size, Bytes);
  if (Status == EFI_NOT_FOUND) return 0xFF;
  if (EFI_ERROR(Status) || Size != 1) return 0xFE;
  return Bytes[0];
}

bool MarkerPresent() {
  UINT8 Byte = 0;
  UINTN Size = sizeof(Byte);
  return !EFI_ERROR(gRT()->GetVariable(RESTART_MARKER_NAME, &RESTART_CHECK_VENDOR, nullptr, &Size, &Byte));
}

VOID EFIAPI Unused(EFI_EVENT, VOID*) {}

// Signalling one event of the group notifies every member, as the boot
// manager's signal does.
EFI_STATUS SignalReadyToBoot() {
  EFI_EVENT Event = nullptr;
  EFI_STATUS Status =
      gBS()->CreateEventEx(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, Unused, nullptr, &EFI_EVENT_GROUP_READY_TO_BOOT, &Event);
  if (EFI_ERROR(Status)) return Status;
  Status = gBS()->SignalEvent(Event);
  gBS()->CloseEvent(Event);
  return Status;
}

// The form sets load, and with them the clock page's initialiser.
bool LoadFormSets(CHECK_REPORT* Report, const CHAR16* Name) {
  FORMUTIL_CONTROL_PROTOCOL* Control = LocateProtocol<FORMUTIL_CONTROL_PROTOCOL>();
  if (Control == nullptr) return Check(Report, Name, false, u"no test form utility driver");
  EFI_STATUS Status = Control->InstallSetupLoadTrigger();
  FORMUTIL_LOAD_RECORD Record = {};
  Control->GetLoadRecord(&Record);
  return Check(Report, Name, !EFI_ERROR(Status) && Record.LoadCalls == 1, u"trigger %r, %ld LoadResources calls",
               Status, Record.LoadCalls);
}

}  // namespace

void RunClockRestartChecks(CHECK_REPORT* Report) {
  if (!MarkerPresent()) {
    Check(Report, u"restart.nothing_pending_before_load", PersistentData() == 0xFF, u"IccPersistentData %d",
          PersistentData());
    if (!LoadFormSets(Report, u"restart.form_sets_loaded")) return;
    UINT8 Request = 1, Marker = 1;
    EFI_STATUS Status = gRT()->SetVariable(RESTART_MARKER_NAME, &RESTART_CHECK_VENDOR, NV_BS_RT, 1, &Marker);
    if (!Check(Report, u"restart.marker_written", !EFI_ERROR(Status), u"%r", Status)) return;
    Status = gRT()->SetVariable(ICC_PERSISTENT_DATA_NAME, &ICC_PERSISTENT_DATA_GUID, NV_BS_RT, 1, &Request);
    if (!Check(Report, u"restart.request_written", !EFI_ERROR(Status), u"%r", Status)) return;
    Note(u"signalling ready to boot with IccPersistentData = 1: the machine restarts");
    Status = SignalReadyToBoot();
    // Still here: no restart came.
    gRT()->SetVariable(RESTART_MARKER_NAME, &RESTART_CHECK_VENDOR, NV_BS_RT, 0, nullptr);
    Check(Report, u"restart.restarted", false, u"ready to boot (%r) returned, IccPersistentData %d", Status,
          PersistentData());
    return;
  }

  PrintLine(u"NOTE after the restart");
  gRT()->SetVariable(RESTART_MARKER_NAME, &RESTART_CHECK_VENDOR, NV_BS_RT, 0, nullptr);
  Check(Report, u"restart.request_kept_over_the_restart", PersistentData() == 1, u"IccPersistentData %d",
        PersistentData());
  if (!LoadFormSets(Report, u"restart.form_sets_loaded_again")) return;
  Check(Report, u"restart.request_seen_at_load", PersistentData() == 2, u"IccPersistentData %d", PersistentData());
  EFI_STATUS Status = SignalReadyToBoot();
  Check(Report, u"restart.cleared_without_restart", !EFI_ERROR(Status) && PersistentData() == 0,
        u"ready to boot %r, IccPersistentData %d", Status, PersistentData());
}
