#include "setupinfo/pages/platform/clock_control.h"

#include "lib/firmware_services.h"
#include "setupinfo/core/browser_store.h"
#include "setupinfo/core/callback_parameters.h"
#include "setupinfo/core/form_set_table.h"
#include "setupinfo/core/page_strings.h"
#include "setupinfo/core/setup_record.h"
#include "setupinfo/pages/platform/clock_info.h"
#include "setupinfo/pages/platform/icc_message.h"

namespace {

CLOCK_CONTROL_STATE& State() { return ClockControlState(); }

inline constexpr BROWSER_STORE ICC_SETUP_DATA_STORE = {ICC_ADVANCED_SETUP_DATA_NAME, &ICC_SETUP_DATA_GUID,
                                                       sizeof(ICC_ADVANCED_SETUP_DATA)};

// How each library status of a set operation is reported.
struct APPLY_REPORT {
  UINT32 LibStatus;
  UINT16 Message;
  UINT8 Kind;
  bool NamesTheClock;  // the clock's name is the argument, else the status
};

constexpr APPLY_REPORT ApplyReports[] = {
    {5, MSG_ICC_INVALID_CLOCK, MESSAGE_BOX_NOTICE, true},
    {6, MSG_ICC_FREQUENCY_OUT_OF_RANGE, MESSAGE_BOX_NOTICE, true},
    {7, MSG_ICC_SPREAD_NOT_ALLOWED, MESSAGE_BOX_NOTICE, true},
    {8, MSG_ICC_FREQUENCY_NOT_ALLOWED, MESSAGE_BOX_NOTICE, true},
    {10, MSG_ICC_CLOCK_BUSY, MESSAGE_BOX_NOTICE, true},
    {11, MSG_ICC_SPREAD_OUT_OF_RANGE, MESSAGE_BOX_NOTICE, true},
    {12, MSG_ICC_SPREAD_OUT_OF_RANGE, MESSAGE_BOX_NOTICE, true},
    {13, MSG_ICC_CLOCK_DISABLED, MESSAGE_BOX_NOTICE, true},
    {15, MSG_ICC_RESTART_NEEDED, MESSAGE_BOX_CONFIRM, true},
    {17, MSG_ICC_LOCKED, MESSAGE_BOX_NOTICE, false},
    {18, MSG_ICC_NOT_AVAILABLE, MESSAGE_BOX_NOTICE, false},
    {19, MSG_ICC_NOT_AVAILABLE, MESSAGE_BOX_NOTICE, false},
};

// Strings go to the class 4 form set, whichever form set the question came through.
EFI_HII_HANDLE PageHandle() {
  return State().HiiHandle != nullptr ? State().HiiHandle : FormSetHiiHandle(FORM_SET_CLASS_ADVANCED);
}

// A one-byte variable of the clock driver. A missing, empty or longer one
// is not read.
bool ReadByteVariable(const CHAR16* Name, const EFI_GUID* Guid, UINT8* Value) {
  if (gRT() == nullptr) return false;
  UINT8 Byte = 0;
  UINTN Size = sizeof(Byte);
  if (EFI_ERROR(gRT()->GetVariable(Name, Guid, nullptr, &Size, &Byte)) || Size != sizeof(Byte)) return false;
  *Value = Byte;
  return true;
}

// An unreadable handshake counts as nothing pending: it never restarts.
UINT8 ReadPersistentData() {
  UINT8 Value = ICC_PERSISTENT_NOTHING;
  return ReadByteVariable(ICC_PERSISTENT_DATA_NAME, &ICC_PERSISTENT_DATA_GUID, &Value) ? Value
                                                                                       : ICC_PERSISTENT_NOTHING;
}

void WritePersistentData(UINT8 Value) {
  if (gRT() == nullptr) return;
  gRT()->SetVariable(ICC_PERSISTENT_DATA_NAME, &ICC_PERSISTENT_DATA_GUID, ICC_VARIABLE_ATTRIBUTES, sizeof(Value),
                     &Value);
}

// The browser's record, whole: a shorter copy would be read as zeros past
// its end and a longer one is refused by the fetch. Nothing is handed back
// or written unless this holds.
bool FetchSetupData(BrowserStoreEdit& Edit) {
  return !EFI_ERROR(Edit.Fetch()) && Edit.Size() == sizeof(ICC_ADVANCED_SETUP_DATA);
}

ICC_ADVANCED_SETUP_DATA* SetupData(BrowserStoreEdit& Edit) { return (ICC_ADVANCED_SETUP_DATA*)Edit.Bytes(); }

// A library status that an EFI error came without is no success.
UINT32 CallStatus(EFI_STATUS Status, UINT32 LibStatus) {
  return EFI_ERROR(Status) && LibStatus == ICC_LIB_STATUS_SUCCESS ? ICC_LIB_STATUS_NOT_WRITTEN : LibStatus;
}

void SetFrequency(UINT16 StringId, UINT32 Value) {
  SetPageString(PageHandle(), StringId, u"%d.%02d MHz", Value / 100, Value % 100);
}

void SetSpread(UINT16 StringId, UINT32 Value) {
  SetPageString(PageHandle(), StringId, u"%d.%02d%%", Value / 100, Value % 100);
}

void SetModeName(UINT8 Index) {
  SetPageString(PageHandle(), STR_CLOCK_SPREAD_MODE, u"%s", SpreadModeNames[Index < SPREAD_INDEX_COUNT ? Index : SPREAD_INDEX_NONE]);
}

void ShowSelectedClock(UINT8 Clock, const CLOCK_INFO& Info) {
  const EFI_HII_HANDLE Handle = PageHandle();
  SetPageString(Handle, STR_CLOCK_USAGE_SECOND, u"");
  if (Info.UsageMask == 0) {
    SetPageString(Handle, STR_CLOCK_USAGE_FIRST, u"%s", u"Not used");
  } else {
    USAGE_TEXT Usage;
    BuildUsageText(Info.UsageMask, &Usage);
    SetPageString(Handle, STR_CLOCK_USAGE_FIRST, u"%s", (const CHAR16*)Usage.First);
    if (Usage.Wrapped) SetPageString(Handle, STR_CLOCK_USAGE_SECOND, u"%s", (const CHAR16*)Usage.Second);
  }
  SetPageString(Handle, STR_CLOCK_NAME, u"%s", ClockNames[Clock]);
  SetFrequency(STR_CLOCK_MAX_FREQUENCY, Info.MaxFrequency);
  SetFrequency(STR_CLOCK_MIN_FREQUENCY, Info.MinFrequency);
  SetFrequency(STR_CLOCK_CURRENT_FREQUENCY, Info.CurrentFrequency);
  SetPageString(Handle, STR_CLOCK_SPREAD_MODES, u"%s%s%s", Info.DownAllowed ? u"Down " : u" ",
                Info.CenterAllowed ? u"Center " : u" ", Info.UpAllowed ? u"Up " : u" ");
  SetModeName(Info.CurrentSpreadMode);
  SetSpread(STR_CLOCK_MAX_SPREAD, Info.MaxSpread);
  SetSpread(STR_CLOCK_CURRENT_SPREAD, Info.CurrentSpread);
}

// Fills the record from the protocol; EFI_SUCCESS or why it could not.
EFI_STATUS RefreshClockData(ICC_ADVANCED_SETUP_DATA* Data) {
  if (!CurrentActionIs(EFI_BROWSER_ACTION_CHANGED)) return EFI_SUCCESS;
  SETUP_RECORD Setup;
  EFI_STATUS Status = ReadStoredSetup(&Setup);
  if (EFI_ERROR(Status)) return Status;

  // Once passed, the point stays passed: a later 0 does not offer settings again.
  UINT8 After = 0;
  if (ReadByteVariable(AFTER_READY_TO_BOOT_NAME, &ICC_SETUP_DATA_GUID, &After) && After != 0)
    State().AfterReadyToBoot = 1;

  ICC_CLOCK_CONTROL_PROTOCOL* ClockControl = LocateOnce(State().ClockControl);
  if (ClockControl == nullptr) return EFI_NOT_FOUND;

  ICC_LIB_VERSION Version = {};
  UINT64 Unused[8] = {};
  UINT32 Lib = ICC_LIB_STATUS_NOT_WRITTEN;
  Lib = CallStatus(ClockControl->GetIccInfo(&Version, Unused, &Lib), Lib);
  if (Lib != ICC_LIB_STATUS_SUCCESS) {
    ShowIccMessage(MESSAGE_BOX_NOTICE, nullptr, MSG_ICC_REFRESH_FAILED, (UINT64)Lib);
    Data->SettingsOffered = 0;
    return EFI_DEVICE_ERROR;
  }
  SetPageString(PageHandle(), STR_ICC_VERSION, u"%d.%d.%d.%d", Version.Major, Version.Minor, Version.Hotfix,
                Version.Build);

  if (State().AfterReadyToBoot) {
    Data->SettingsOffered = 0;
    return EFI_SUCCESS;
  }
  Data->SettingsOffered = 1;
  for (UINT8 Clock = 0; Clock < ICC_CLOCK_COUNT; ++Clock) {
    CLOCK_INFO Info;
    if (EFI_ERROR(GetClockInfo(ClockControl, Clock, &Info))) {
      // Unreadable: the browser's values stay, and the clock is offered as fixed.
      Data->SpreadChange[Clock] = 0;
      Data->FrequencyAdjustable[Clock] = 0;
      continue;
    }
    Data->Frequency[Clock] = (UINT16)Info.CurrentFrequency;
    Data->Spread[Clock] = Info.CurrentSpread;
    Data->SpreadMode[Clock] = Info.CurrentSpreadMode;
    if (Info.UsageMask == 0) {
      Data->SpreadChange[Clock] = 0;
      Data->FrequencyAdjustable[Clock] = 0;
    } else {
      Data->SpreadChange[Clock] = Info.SpreadChange;
      Data->FrequencyAdjustable[Clock] = Info.MaxFrequency != Info.MinFrequency ? 1 : 0;
    }
  }
  return EFI_SUCCESS;
}

// Submits the browser's settings of Clock; the library status reported.
UINT32 ApplyClockSettings(ICC_CLOCK_CONTROL_PROTOCOL* ClockControl, const ICC_ADVANCED_SETUP_DATA* Data, UINT8 Clock,
                          CLOCK_APPLY_MODE Mode) {
  ICC_CLOCK_SETTINGS Settings = {};
  UINT32 Lib = ICC_LIB_STATUS_NOT_WRITTEN;
  UINT32 Status = CallStatus(ClockControl->GetClockSettings(Clock, &Settings, &Lib), Lib);
  // Without the clock's own record there is nothing sound to submit; the
  // read's status is reported as a set's would be.
  if (Status == ICC_LIB_STATUS_SUCCESS) {
    Settings.Frequency = (UINT32)Data->Frequency[Clock] * 10000;
    // A mode byte past the four modes keeps the clock's own mode.
    UINT32 ProtocolMode = 0;
    if (SpreadProtocolFromIndex(Data->SpreadMode[Clock], &ProtocolMode)) Settings.SpreadMode = ProtocolMode;
    Settings.Spread = (UINT8)Data->Spread[Clock];
    Settings.Option = Data->Option[Clock];

    Lib = ICC_LIB_STATUS_NOT_WRITTEN;
    const ICC_CLOCK_CONTROL_PROTOCOL::SetClockSettingsFn Set =
        Mode == CLOCK_APPLY_A ? ClockControl->SetClockSettingsA : ClockControl->SetClockSettingsB;
    Status = CallStatus(Set(Clock, &Settings, &Lib), Lib);
    if (Status != ICC_LIB_STATUS_SUCCESS) {
      if (Mode == CLOCK_APPLY_A) return ICC_LIB_STATUS_SUCCESS;
      UINT8 Answer = ICC_ANSWER_NONE;
      ShowIccMessage(MESSAGE_BOX_CONFIRM, &Answer, MSG_ICC_SET_FAILED_CONTINUE, (UINT64)Status);
      if (Answer != 0) return ICC_LIB_STATUS_SUCCESS;
    }
  }

  if (Status == ICC_LIB_STATUS_SUCCESS) {
    ShowIccMessage(MESSAGE_BOX_NOTICE, nullptr, Mode == CLOCK_APPLY_A ? MSG_ICC_APPLIED_A : MSG_ICC_APPLIED_B,
                   (UINT64)Status);
    return Status;
  }
  for (const APPLY_REPORT& Report : ApplyReports) {
    if (Report.LibStatus != Status) continue;
    UINT8 Answer = ICC_ANSWER_NONE;
    if (Report.NamesTheClock)
      ShowIccMessage(Report.Kind, &Answer, Report.Message, ClockNames[Clock]);
    else
      ShowIccMessage(Report.Kind, &Answer, Report.Message, (UINT64)Status);
    return Status;
  }
  ShowIccMessage(MESSAGE_BOX_NOTICE, nullptr, MSG_ICC_FAILED, (UINT64)Status);
  return Status;
}

EFI_STATUS ApplySelectedClock(CLOCK_APPLY_MODE Mode) {
  // No clock chosen: there is nothing to apply to.
  const UINT8 Clock = State().SelectedClock;
  if (Clock >= ICC_CLOCK_COUNT) return EFI_SUCCESS;
  ICC_CLOCK_CONTROL_PROTOCOL* ClockControl = LocateOnce(State().ClockControl);
  if (ClockControl == nullptr) return EFI_SUCCESS;

  BrowserStoreEdit Edit(ICC_SETUP_DATA_STORE);
  if (!FetchSetupData(Edit)) return EFI_SUCCESS;
  ApplyClockSettings(ClockControl, SetupData(Edit), Clock, Mode);

  CLOCK_INFO Info;
  if (!EFI_ERROR(GetClockInfo(ClockControl, Clock, &Info))) {
    SetFrequency(STR_CLOCK_CURRENT_FREQUENCY, Info.CurrentFrequency);
    SetModeName(Info.CurrentSpreadMode);
    SetSpread(STR_CLOCK_CURRENT_SPREAD, Info.CurrentSpread);
  }
  return EFI_SUCCESS;
}

}  // namespace

VOID EFIAPI InitClockControl(EFI_HII_HANDLE HiiHandle, UINT16 Class) {
  CLOCK_CONTROL_STATE& S = State();
  if (S.Initialised || Class != FORM_SET_CLASS_ADVANCED) return;
  S.Initialised = 1;
  S.HiiHandle = HiiHandle;

  if (ReadPersistentData() == ICC_PERSISTENT_RESTART_REQUESTED) WritePersistentData(ICC_PERSISTENT_REQUEST_SEEN);

  if (gBS() == nullptr) return;
  gBS()->CreateEventEx(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, OnIccReadyToBoot, nullptr, &EFI_EVENT_GROUP_READY_TO_BOOT,
                       &S.ReadyToBootEvent);
}

VOID EFIAPI OnIccReadyToBoot(EFI_EVENT Event, VOID*) {
  CLOCK_CONTROL_STATE& S = State();
  S.AfterReadyToBoot = 1;
  if (Event != nullptr && gBS() != nullptr) gBS()->CloseEvent(Event);
  if (Event == S.ReadyToBootEvent) S.ReadyToBootEvent = nullptr;

  // Only a request made after the page saw the last one restarts.
  const UINT8 Value = ReadPersistentData();
  if (Value == ICC_PERSISTENT_RESTART_REQUESTED) {
    if (gRT() != nullptr) gRT()->ResetSystem(EfiResetCold, EFI_SUCCESS, 0, nullptr);
  } else if (Value == ICC_PERSISTENT_REQUEST_SEEN) {
    WritePersistentData(ICC_PERSISTENT_NOTHING);
  }
}

EFI_STATUS EFIAPI OnClockPageRefresh(EFI_HII_HANDLE, UINT16, UINT16, UINT16) {
  if (!CurrentActionIs(EFI_BROWSER_ACTION_CHANGED)) return EFI_SUCCESS;
  CLOCK_CONTROL_STATE& S = State();
  if (!S.AfterReadyToBoot) {
    const BOOT_PHASE_INFO_PROTOCOL* Phase = LocateProtocol<BOOT_PHASE_INFO_PROTOCOL>();
    if (Phase != nullptr && (Phase->Flags[1] & BOOT_PHASE_AFTER_READY_TO_BOOT) != 0) S.AfterReadyToBoot = 1;
  }
  if (S.NotOfferedShown) return EFI_SUCCESS;
  if (!S.RefreshPending && !S.AfterReadyToBoot) return EFI_SUCCESS;

  // Without the browser's whole record nothing is written or handed back,
  // and the refresh stays pending for the next visit.
  BrowserStoreEdit Edit(ICC_SETUP_DATA_STORE);
  if (!FetchSetupData(Edit)) return EFI_SUCCESS;
  S.RefreshPending = 0;
  ICC_ADVANCED_SETUP_DATA* Data = SetupData(Edit);

  if (S.AfterReadyToBoot) {
    S.NotOfferedShown = 1;
    Data->SettingsOffered = 0;
    ShowIccMessage(MESSAGE_BOX_NOTICE, nullptr, MSG_ICC_NOT_OFFERED);
  } else {
    const EFI_STATUS Status = RefreshClockData(Data);
    if (EFI_ERROR(Status)) ShowIccMessage(MESSAGE_BOX_NOTICE, nullptr, MSG_ICC_REFRESH_FAILED, (UINT64)Status);
  }

  if (gRT() != nullptr)
    gRT()->SetVariable(ICC_ADVANCED_SETUP_DATA_NAME, &ICC_SETUP_DATA_GUID, ICC_VARIABLE_ATTRIBUTES,
                       sizeof(ICC_ADVANCED_SETUP_DATA), Data);
  Edit.HandBack();
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI OnClockSelected(EFI_HII_HANDLE, UINT16, UINT16, UINT16 Key) {
  if (!CurrentActionIs(EFI_BROWSER_ACTION_CHANGED)) return EFI_SUCCESS;
  CLOCK_CONTROL_STATE& S = State();
  const UINTN Offset = (UINTN)Key - KEY_CLOCK_SELECT_FIRST;
  if (Key < KEY_CLOCK_SELECT_FIRST || Offset >= ICC_CLOCK_COUNT) return EFI_SUCCESS;
  const UINT8 Clock = (UINT8)Offset;
  if (Clock == S.SelectedClock) return EFI_SUCCESS;
  // Without the protocol the choice is not taken; the next one looks again.
  ICC_CLOCK_CONTROL_PROTOCOL* ClockControl = LocateOnce(S.ClockControl);
  if (ClockControl == nullptr) return EFI_SUCCESS;

  CLOCK_INFO Info;
  if (EFI_ERROR(GetClockInfo(ClockControl, Clock, &Info))) {
    // An unreadable clock is not chosen, and nothing acts on the one before.
    S.SelectedClock = CLOCK_NONE_SELECTED;
    S.Selected = CLOCK_INFO{};
    return EFI_SUCCESS;
  }
  S.SelectedClock = Clock;
  S.Selected = Info;
  ShowSelectedClock(Clock, Info);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI OnClockFrequencyChanged(EFI_HII_HANDLE, UINT16, UINT16, UINT16) {
  if (!CurrentActionIs(EFI_BROWSER_ACTION_CHANGED)) return EFI_SUCCESS;
  CLOCK_CONTROL_STATE& S = State();
  // No clock chosen: the typed value has no range to keep it in.
  const UINT8 Clock = S.SelectedClock;
  if (Clock >= ICC_CLOCK_COUNT) return EFI_SUCCESS;
  ICC_CLOCK_CONTROL_PROTOCOL* ClockControl = LocateOnce(S.ClockControl);
  if (ClockControl == nullptr) return EFI_SUCCESS;

  BrowserStoreEdit Edit(ICC_SETUP_DATA_STORE);
  if (!FetchSetupData(Edit)) return EFI_SUCCESS;
  ICC_ADVANCED_SETUP_DATA* Data = SetupData(Edit);

  const CLOCK_INFO& Info = S.Selected;
  UINT32 Value = Data->Frequency[Clock];
  if (Value >= Info.MaxFrequency) {
    Value = Info.MaxFrequency;
  } else if (Value <= Info.MinFrequency) {
    Value = Info.MinFrequency;
  } else {
    const UINT32 Requested = Value * 10000;
    UINT32 Normalized = Requested;
    UINT32 Lib = ICC_LIB_STATUS_NOT_WRITTEN;
    ClockControl->NormalizeFrequency(Clock, Requested, &Normalized, &Lib);
    UINT32 Resolved = 0;
    Lib = ICC_LIB_STATUS_NOT_WRITTEN;
    const EFI_STATUS Status = ClockControl->ResolveFrequency(Clock, Normalized, &Resolved, &Lib);
    if (CallStatus(Status, Lib) == ICC_LIB_STATUS_SUCCESS) Value = Resolved / 10000;
  }
  // A range past the field's width is cut at its largest value.
  Data->Frequency[Clock] = Value > 0xFFFF ? (UINT16)0xFFFF : (UINT16)Value;
  Edit.HandBack();
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI OnClockApply(EFI_HII_HANDLE, UINT16, UINT16, UINT16 Key) {
  if (!CurrentActionIs(EFI_BROWSER_ACTION_CHANGED)) return EFI_SUCCESS;
  // The key's place among its clock's five names the set operation.
  if (Key < KEY_CLOCK_SETTINGS_FIRST) return EFI_SUCCESS;
  const UINTN Place = (UINTN)(Key - KEY_CLOCK_SETTINGS_FIRST) % KEY_CLOCK_SETTINGS_STEP;
  if (Place == KEY_PLACE_APPLY_A) return ApplySelectedClock(CLOCK_APPLY_A);
  if (Place == KEY_PLACE_APPLY_B) return ApplySelectedClock(CLOCK_APPLY_B);
  return EFI_SUCCESS;
}
