#include "sim/peers/clock_peers.h"

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

ClockControlPeer::~ClockControlPeer() {
  if (Active == this) Active = nullptr;
}

EFI_STATUS ClockControlPeer::Install(EFI_BOOT_SERVICES* BootServices) {
  Active = this;
  return BootServices->InstallProtocolInterface(&Handle_, &ICC_CLOCK_CONTROL_PROTOCOL::Guid, EFI_NATIVE_INTERFACE,
                                                &Protocol_);
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

EFI_STATUS BootPhasePeer::Install(EFI_BOOT_SERVICES* BootServices) {
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
