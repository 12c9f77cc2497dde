#include "sim/peers/memory_peers.h"

namespace sim {

namespace {

// The BIOS's answer to a function it does not have: carry set, AH = 86h.
BOOLEAN Unsupported(EFI_IA32_REGISTER_SET* Regs) {
  Regs->H.AH = 0x86;
  Regs->X.Flags |= EFI_EFLAGS_CF;
  return TRUE;
}

// Services of the compatibility module that no page of this board calls.
EFI_STATUS EFIAPI NoRom(EFI_LEGACY_BIOS_PROTOCOL*, EFI_HANDLE, VOID**, UINTN*, UINTN*) { return EFI_UNSUPPORTED; }
EFI_STATUS EFIAPI NoInstall(EFI_LEGACY_BIOS_PROTOCOL*, EFI_HANDLE, VOID**, UINTN*, UINT8*, UINT8*, VOID**, UINT32*) {
  return EFI_UNSUPPORTED;
}
EFI_STATUS EFIAPI NoBoot(EFI_LEGACY_BIOS_PROTOCOL*, BBS_BBS_DEVICE_PATH*, UINT32, VOID*) { return EFI_UNSUPPORTED; }
EFI_STATUS EFIAPI NoLeds(EFI_LEGACY_BIOS_PROTOCOL*, UINT8) { return EFI_UNSUPPORTED; }
EFI_STATUS EFIAPI NoBbs(EFI_LEGACY_BIOS_PROTOCOL*, UINT16*, HDD_INFO**, UINT16*, BBS_TABLE**) { return EFI_UNSUPPORTED; }
EFI_STATUS EFIAPI NoShadow(EFI_LEGACY_BIOS_PROTOCOL*) { return EFI_UNSUPPORTED; }
EFI_STATUS EFIAPI NoPrepare(EFI_LEGACY_BIOS_PROTOCOL*, UINT16*, BBS_TABLE**) { return EFI_UNSUPPORTED; }
EFI_STATUS EFIAPI NoRegion(EFI_LEGACY_BIOS_PROTOCOL*, UINTN, UINTN, UINTN, VOID**) { return EFI_UNSUPPORTED; }
EFI_STATUS EFIAPI NoCopy(EFI_LEGACY_BIOS_PROTOCOL*, UINTN, VOID*, VOID*) { return EFI_UNSUPPORTED; }
EFI_STATUS EFIAPI NoUnconventional(EFI_LEGACY_BIOS_PROTOCOL*, UDC_ATTRIBUTES, UINTN, VOID*, VOID*) {
  return EFI_UNSUPPORTED;
}

EFI_STATUS InstallOnNewHandle(EFI_BOOT_SERVICES* BootServices, const EFI_GUID* Guid, VOID* Interface) {
  EFI_HANDLE Handle = nullptr;
  return BootServices->InstallProtocolInterface(&Handle, Guid, EFI_NATIVE_INTERFACE, Interface);
}

}  // namespace

MemoryPeers::MemoryPeers(const MemoryProfile& Profile) : Profile_(Profile) {
  Information_.MemorySizeMb = Profile.SizeMb;
  Information_.Frequency = Profile.Frequency;
  Information_.VoltageMv = Profile.VoltageMv;
  for (size_t I = 0; I < 4; ++I) Information_.ModuleSizeMb[I] = Profile.ModuleSizesMb[I];
  for (auto [Offset, Value] : Profile.Timings) Information_.Timing[MemoryTimingIndex(Offset)] = Value;

  const uint32_t V = Profile.Version.value_or(0);
  for (size_t I = 0; I < 4; ++I) Version_.Version[I] = (uint8_t)(V >> (8 * I));

  if (Profile.VideoBios) VideoBios = *Profile.VideoBios;
  EFI_LEGACY_BIOS_PROTOCOL& P = LegacyBios_.Protocol;
  P.Int86 = Int86;
  P.FarCall86 = FarCall86;
  P.CheckPciRom = NoRom;
  P.InstallPciRom = NoInstall;
  P.LegacyBoot = NoBoot;
  P.UpdateKeyboardLedStatus = NoLeds;
  P.GetBbsInfo = NoBbs;
  P.ShadowAllLegacyOproms = NoShadow;
  P.PrepareToBootEfi = NoPrepare;
  P.GetLegacyRegion = NoRegion;
  P.CopyLegacyRegion = NoCopy;
  P.BootUnconventionalDevice = NoUnconventional;
  LegacyBios_.Owner = this;
}

EFI_STATUS MemoryPeers::InstallInformation(EFI_BOOT_SERVICES* BootServices) {
  return InstallOnNewHandle(BootServices, &MEMORY_INFO_PROTOCOL::Guid, &Information_);
}

EFI_STATUS MemoryPeers::InstallVersion(EFI_BOOT_SERVICES* BootServices) {
  return InstallOnNewHandle(BootServices, &MEMORY_VERSION_PROTOCOL::Guid, &Version_);
}

EFI_STATUS MemoryPeers::InstallLegacyBios(EFI_BOOT_SERVICES* BootServices) {
  return InstallOnNewHandle(BootServices, &EFI_LEGACY_BIOS_PROTOCOL::Guid, &LegacyBios_.Protocol);
}

void MemoryPeers::InstallPresent(EFI_BOOT_SERVICES* BootServices) {
  if (Profile_.InformationPresent) InstallInformation(BootServices);
  if (Profile_.Version) InstallVersion(BootServices);
  if (Profile_.VideoBios) InstallLegacyBios(BootServices);
}

BOOLEAN EFIAPI MemoryPeers::Int86(EFI_LEGACY_BIOS_PROTOCOL* This, UINT8 BiosInt, EFI_IA32_REGISTER_SET* Regs) {
  MemoryPeers* Self = ((LegacyBiosInstance*)This)->Owner;
  if (Regs == nullptr) return TRUE;
  Self->Int86Calls.push_back({BiosInt, *Regs});
  constexpr UINT8 SYSTEM_SERVICES = 0x15;
  constexpr UINT16 VIDEO_BIOS_VERSION = 0x5F01;
  if (BiosInt != SYSTEM_SERVICES || Regs->X.AX != VIDEO_BIOS_VERSION || Self->VideoBios.Fails) return Unsupported(Regs);
  // The video BIOS hook answers AX = 005Fh with the version in BX and DX.
  Regs->X.AX = 0x005F;
  Regs->X.BX = Self->VideoBios.Bx;
  Regs->X.DX = Self->VideoBios.Dx;
  Regs->X.Flags &= (UINT16)~EFI_EFLAGS_CF;
  return FALSE;
}

BOOLEAN EFIAPI MemoryPeers::FarCall86(EFI_LEGACY_BIOS_PROTOCOL*, UINT16, UINT16, EFI_IA32_REGISTER_SET* Regs, VOID*,
                                      UINTN) {
  return Regs == nullptr ? TRUE : Unsupported(Regs);
}

}  // namespace sim
