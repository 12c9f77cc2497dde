#include "sim/peers/clock_peers.h"

#include "sim/machine.h"

namespace sim {

namespace {

ClockControlPeer* Active = nullptr;

bool SpreadAllowed(const ICC_CLOCK_CAPABILITIES& Caps, uint32_t Mode) {
  switch (Mode) {
    case ICC_SPREAD_NONE: return true;
    case ICC_SPREAD_UP: return Caps.UpAllowed != 0;
    case ICC_SPREAD_CENTER: return Caps.CenterAllowed != 0;
    case ICC_SPREAD_DOWN: return Caps.DownAllowed != 0;
    default: return false;
  }
}

}  // namespace

ClockControlPeer::ClockControlPeer() {
  Protocol_.GetIccInfo = GetIccInfo;
  Protocol_.GetClockCapabilities = GetClockCapabilities;
  Protocol_.GetClockSettings = GetClockSettings;
  Protocol_.SetClockSettingsA = SetClockSettingsA;
  Protocol_.SetClockSettingsB = SetClockSettingsB;
  Protocol_.NormalizeFrequency = NormalizeFrequency;
  Protocol_.ResolveFrequency = ResolveFrequency;
  Active = this;
}

ClockControlPeer::ClockControlPeer(const ClockControlProfile& Profile) : ClockControlPeer() {
  Present_ = Profile.Present;
  Version = {Profile.Version[0], Profile.Version[1], Profile.Version[2], Profile.Version[3]};
  for (size_t I = 0; I < Profile.Outputs.size() && I < ICC_CLOCK_COUNT; ++I) {
    const ClockOutputProfile& P = Profile.Outputs[I];
    ClockOutput& Out = Clocks[I];
    Out.Capabilities.MinFrequency = P.MinFrequency;
    Out.Capabilities.MaxFrequency = P.MaxFrequency;
    Out.Capabilities.SpreadChange = P.SpreadChange;
    Out.Capabilities.UpAllowed = P.UpAllowed;
    Out.Capabilities.CenterAllowed = P.CenterAllowed;
    Out.Capabilities.DownAllowed = P.DownAllowed;
    Out.Capabilities.MaxSpread = P.MaxSpread;
    Out.Capabilities.UsageMask = P.UsageMask;
    Out.Settings.Frequency = P.Frequency;
    Out.Settings.SpreadMode = P.SpreadMode;
    Out.Settings.Spread = P.Spread;
    Out.Settings.Option = P.Option;
    Out.StepHz = P.StepHz ? P.StepHz : 1;
  }
  InfoLibStatus = Profile.InfoLibStatus;
  CapabilitiesLibStatus = Profile.CapabilitiesLibStatus;
  SettingsLibStatus = Profile.SettingsLibStatus;
  SetLibStatusA = Profile.SetLibStatusA;
  SetLibStatusB = Profile.SetLibStatusB;
  ResolveLibStatus = Profile.ResolveLibStatus;
  RestartAfterSet = Profile.RestartAfterSet;
}

ClockControlPeer::~ClockControlPeer() {
  if (Active == this) Active = nullptr;
}

EFI_STATUS ClockControlPeer::Install(EFI_BOOT_SERVICES* BootServices) {
  if (!Present_) return EFI_NOT_FOUND;
  Active = this;
  return BootServices->InstallProtocolInterface(&Handle_, &ICC_CLOCK_CONTROL_PROTOCOL::Guid, EFI_NATIVE_INTERFACE,
                                                &Protocol_);
}

EFI_STATUS ClockControlPeer::Uninstall(EFI_BOOT_SERVICES* BootServices) {
  if (Handle_ == nullptr) return EFI_NOT_STARTED;
  EFI_STATUS Status = BootServices->UninstallProtocolInterface(Handle_, &ICC_CLOCK_CONTROL_PROTOCOL::Guid, &Protocol_);
  if (!EFI_ERROR(Status)) Handle_ = nullptr;
  return Status;
}

EFI_STATUS ClockControlPeer::WriteSetupData(EFI_RUNTIME_SERVICES* RuntimeServices) const {
  UINTN Size = 0;
  EFI_STATUS Probe = RuntimeServices->GetVariable(ICC_ADVANCED_SETUP_DATA_NAME, &ICC_SETUP_DATA_GUID, nullptr, &Size,
                                                  nullptr);
  if (Probe != EFI_NOT_FOUND) return EFI_ALREADY_STARTED;
  ICC_ADVANCED_SETUP_DATA Data{};
  for (size_t I = 0; I < ICC_CLOCK_COUNT; ++I) {
    const ClockOutput& Out = Clocks[I];
    Data.Frequency[I] = (UINT16)(Out.Settings.Frequency / 10000);
    switch (Out.Settings.SpreadMode) {
      case ICC_SPREAD_DOWN: Data.SpreadMode[I] = 0; break;
      case ICC_SPREAD_CENTER: Data.SpreadMode[I] = 1; break;
      case ICC_SPREAD_UP: Data.SpreadMode[I] = 2; break;
      default: Data.SpreadMode[I] = 3; break;
    }
    Data.Spread[I] = Out.Settings.Spread;
    Data.Option[I] = (UINT8)Out.Settings.Option;
  }
  Data.SettingsOffered = 1;
  return RuntimeServices->SetVariable(ICC_ADVANCED_SETUP_DATA_NAME, &ICC_SETUP_DATA_GUID, 0x7, sizeof(Data), &Data);
}

EFI_STATUS EFIAPI ClockControlPeer::GetIccInfo(ICC_LIB_VERSION* Version, VOID*, UINT32* LibStatus) {
  ClockControlPeer* Self = Active;
  if (!Self || !Version || !LibStatus) return EFI_INVALID_PARAMETER;
  Self->Calls.push_back({1, 0, 0});
  *LibStatus = Self->InfoLibStatus;
  if (*LibStatus != 0) return EFI_DEVICE_ERROR;
  *Version = Self->Version;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI ClockControlPeer::GetClockCapabilities(UINT8 Clock, ICC_CLOCK_CAPABILITIES* Caps,
                                                         UINT32* LibStatus) {
  ClockControlPeer* Self = Active;
  if (!Self || !Caps || !LibStatus) return EFI_INVALID_PARAMETER;
  Self->Calls.push_back({3, Clock, 0});
  if (Clock >= ICC_CLOCK_COUNT) {
    *LibStatus = ICC_LIB_STATUS_INVALID_CLOCK;
    return EFI_INVALID_PARAMETER;
  }
  *LibStatus = Self->CapabilitiesLibStatus;
  if (*LibStatus != 0) return EFI_DEVICE_ERROR;
  *Caps = Self->Clocks[Clock].Capabilities;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI ClockControlPeer::GetClockSettings(UINT8 Clock, ICC_CLOCK_SETTINGS* Settings, UINT32* LibStatus) {
  ClockControlPeer* Self = Active;
  if (!Self || !Settings || !LibStatus) return EFI_INVALID_PARAMETER;
  Self->Calls.push_back({4, Clock, 0});
  if (Clock >= ICC_CLOCK_COUNT) {
    *LibStatus = ICC_LIB_STATUS_INVALID_CLOCK;
    return EFI_INVALID_PARAMETER;
  }
  *LibStatus = Self->SettingsLibStatus;
  if (*LibStatus != 0) return EFI_DEVICE_ERROR;
  *Settings = Self->Clocks[Clock].Settings;
  return EFI_SUCCESS;
}

EFI_STATUS ClockControlPeer::Set(int Operation, uint32_t Scripted, UINT8 Clock, ICC_CLOCK_SETTINGS* Settings,
                                 UINT32* LibStatus) {
  ClockControlPeer* Self = Active;
  if (!Self || !Settings || !LibStatus) return EFI_INVALID_PARAMETER;
  Self->Calls.push_back({Operation, Clock, Settings->Frequency});
  if (Clock >= ICC_CLOCK_COUNT) {
    *LibStatus = ICC_LIB_STATUS_INVALID_CLOCK;
    return EFI_INVALID_PARAMETER;
  }
  ClockOutput& Out = Self->Clocks[Clock];
  if (Scripted != 0) {
    *LibStatus = Scripted;
  } else if (Settings->Frequency < Out.Capabilities.MinFrequency ||
             Settings->Frequency > Out.Capabilities.MaxFrequency) {
    *LibStatus = ICC_LIB_STATUS_FREQUENCY_OUT_OF_RANGE;
  } else if (!SpreadAllowed(Out.Capabilities, Settings->SpreadMode) || Settings->Spread > Out.Capabilities.MaxSpread) {
    *LibStatus = ICC_LIB_STATUS_SPREAD_NOT_ALLOWED;
  } else {
    *LibStatus = 0;
  }
  if (*LibStatus != 0) return EFI_DEVICE_ERROR;
  Out.Settings = *Settings;
  if (Self->RestartAfterSet) {
    if (Machine* Board = Machine::Current()) {
      UINT8 Request = 1;
      Board->RuntimeServices()->SetVariable(ICC_PERSISTENT_DATA_NAME, &ICC_PERSISTENT_DATA_GUID, 0x7, 1, &Request);
    }
  }
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI ClockControlPeer::SetClockSettingsA(UINT8 Clock, ICC_CLOCK_SETTINGS* Settings, UINT32* LibStatus) {
  return Set(5, Active ? Active->SetLibStatusA : 0, Clock, Settings, LibStatus);
}

EFI_STATUS EFIAPI ClockControlPeer::SetClockSettingsB(UINT8 Clock, ICC_CLOCK_SETTINGS* Settings, UINT32* LibStatus) {
  return Set(7, Active ? Active->SetLibStatusB : 0, Clock, Settings, LibStatus);
}

// Normalising keeps the request inside the clock's range.
EFI_STATUS EFIAPI ClockControlPeer::NormalizeFrequency(UINT8 Clock, UINT32 Frequency, UINT32* Result,
                                                       UINT32* LibStatus) {
  ClockControlPeer* Self = Active;
  if (!Self || !Result || !LibStatus) return EFI_INVALID_PARAMETER;
  Self->Calls.push_back({11, Clock, Frequency});
  if (Clock >= ICC_CLOCK_COUNT) {
    *LibStatus = ICC_LIB_STATUS_INVALID_CLOCK;
    return EFI_INVALID_PARAMETER;
  }
  const ICC_CLOCK_CAPABILITIES& Caps = Self->Clocks[Clock].Capabilities;
  *Result = Frequency < Caps.MinFrequency ? Caps.MinFrequency
            : Frequency > Caps.MaxFrequency ? Caps.MaxFrequency
                                            : Frequency;
  *LibStatus = 0;
  return EFI_SUCCESS;
}

// Resolving rounds down to a frequency the generator can produce.
EFI_STATUS EFIAPI ClockControlPeer::ResolveFrequency(UINT8 Clock, UINT32 Frequency, UINT32* Result,
                                                     UINT32* LibStatus) {
  ClockControlPeer* Self = Active;
  if (!Self || !Result || !LibStatus) return EFI_INVALID_PARAMETER;
  Self->Calls.push_back({12, Clock, Frequency});
  if (Clock >= ICC_CLOCK_COUNT) {
    *LibStatus = ICC_LIB_STATUS_INVALID_CLOCK;
    return EFI_INVALID_PARAMETER;
  }
  *LibStatus = Self->ResolveLibStatus;
  if (*LibStatus != 0) return EFI_DEVICE_ERROR;
  const uint32_t Step = Self->Clocks[Clock].StepHz ? Self->Clocks[Clock].StepHz : 1;
  *Result = Frequency - Frequency % Step;
  return EFI_SUCCESS;
}

BootPhasePeer::BootPhasePeer(const ClockControlProfile& Profile) : Present_(Profile.BootPhasePresent) {
  SetAfterReadyToBoot(Profile.BootPhaseAfterReadyToBoot);
}

EFI_STATUS BootPhasePeer::Install(EFI_BOOT_SERVICES* BootServices) {
  if (!Present_) return EFI_NOT_FOUND;
  return BootServices->InstallProtocolInterface(&Handle_, &BOOT_PHASE_INFO_PROTOCOL::Guid, EFI_NATIVE_INTERFACE,
                                                &Record_);
}

void BootPhasePeer::SetAfterReadyToBoot(bool Passed) {
  if (Passed)
    Record_.Flags[1] |= BOOT_PHASE_AFTER_READY_TO_BOOT;
  else
    Record_.Flags[1] &= (UINT8)~BOOT_PHASE_AFTER_READY_TO_BOOT;
}

}  // namespace sim
