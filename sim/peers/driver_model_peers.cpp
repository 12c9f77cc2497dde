#include "sim/peers/driver_model_peers.h"

#include <algorithm>
#include <cstring>

#include "sim/board.h"
#include "uefi/loaded_image.h"

namespace sim {

std::vector<uint8_t> PciDevicePath(const std::vector<std::pair<uint8_t, uint8_t>>& Hops) {
  std::vector<uint8_t> Path = {ACPI_DEVICE_PATH, ACPI_DP, 12, 0, 0xD0, 0x41, 0x03, 0x0A, 0, 0, 0, 0};  // PNP0A03, UID 0
  for (auto [Device, Function] : Hops) Path.insert(Path.end(), {HARDWARE_DEVICE_PATH, HW_PCI_DP, 6, 0, Function, Device});
  Path.insert(Path.end(), {END_DEVICE_PATH_TYPE, END_ENTIRE_DEVICE_PATH_SUBTYPE, 4, 0});
  return Path;
}

std::vector<uint8_t> PciDevicePath(uint8_t Device, uint8_t Function) { return PciDevicePath({{Device, Function}}); }

std::vector<uint8_t> AppendDevicePathNode(const std::vector<uint8_t>& Path, const std::vector<uint8_t>& Node) {
  // The end node is the last four bytes of a path built here.
  std::vector<uint8_t> Out(Path.begin(), Path.size() >= 4 ? Path.end() - 4 : Path.begin());
  Out.insert(Out.end(), Node.begin(), Node.end());
  Out.insert(Out.end(), {END_DEVICE_PATH_TYPE, END_ENTIRE_DEVICE_PATH_SUBTYPE, 4, 0});
  return Out;
}

// ---- PCI function -------------------------------------------------------

PciControllerPeer::PciControllerPeer(Board& B, uint16_t Segment, uint8_t Bus, uint8_t Device, uint8_t Function)
    : Board_(B), Segment_(Segment), Bus_(Bus), Device_(Device), Function_(Function),
      DevicePath_(PciDevicePath(Device, Function)) {
  Instance_.Owner = this;
  Instance_.Protocol.Pci.Read = &ConfigRead;
  Instance_.Protocol.Pci.Write = &ConfigWrite;
  Instance_.Protocol.GetLocation = &GetLocation;
}

EFI_STATUS PciControllerPeer::Install(EFI_BOOT_SERVICES* BootServices) {
  return BootServices->InstallMultipleProtocolInterfaces(&Handle_, &EFI_DEVICE_PATH_PROTOCOL::Guid,
                                                          DevicePath_.data(), &EFI_PCI_IO_PROTOCOL::Guid,
                                                          &Instance_.Protocol, nullptr);
}

namespace {

// Element size of a PCI I/O width; 0 for the FIFO and fill forms, which
// configuration space does not take.
size_t ElementSize(EFI_PCI_IO_PROTOCOL_WIDTH Width) {
  switch (Width) {
    case EfiPciIoWidthUint8: return 1;
    case EfiPciIoWidthUint16: return 2;
    case EfiPciIoWidthUint32: return 4;
    case EfiPciIoWidthUint64: return 8;
    default: return 0;
  }
}

constexpr UINT32 PCI_CONFIG_SIZE = 4096;

}  // namespace

EFI_STATUS EFIAPI PciControllerPeer::ConfigRead(EFI_PCI_IO_PROTOCOL* This, EFI_PCI_IO_PROTOCOL_WIDTH Width,
                                                UINT32 Offset, UINTN Count, VOID* Buffer) {
  PciControllerPeer* Self = ((Instance*)This)->Owner;
  ++Self->ConfigReads;
  if (EFI_ERROR(Self->ConfigStatus)) return Self->ConfigStatus;
  size_t Size = ElementSize(Width);
  if (Size == 0 || Buffer == nullptr) return EFI_INVALID_PARAMETER;
  if (Count > PCI_CONFIG_SIZE || Offset + Size * Count > PCI_CONFIG_SIZE) return EFI_UNSUPPORTED;
  auto* Out = (UINT8*)Buffer;
  for (size_t I = 0; I < Size * Count; ++I)
    Out[I] = (UINT8)Self->Board_.PciRead(Self->Bus_, Self->Device_, Self->Function_, (UINT16)(Offset + I), 1);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI PciControllerPeer::ConfigWrite(EFI_PCI_IO_PROTOCOL* This, EFI_PCI_IO_PROTOCOL_WIDTH Width,
                                                 UINT32 Offset, UINTN Count, VOID* Buffer) {
  PciControllerPeer* Self = ((Instance*)This)->Owner;
  if (EFI_ERROR(Self->ConfigStatus)) return Self->ConfigStatus;
  size_t Size = ElementSize(Width);
  if (Size == 0 || Buffer == nullptr) return EFI_INVALID_PARAMETER;
  if (Count > PCI_CONFIG_SIZE || Offset + Size * Count > PCI_CONFIG_SIZE) return EFI_UNSUPPORTED;
  Self->Board_.PciWrite(Self->Bus_, Self->Device_, Self->Function_, (UINT16)Offset, Buffer, Size * Count);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI PciControllerPeer::GetLocation(EFI_PCI_IO_PROTOCOL* This, UINTN* Segment, UINTN* Bus,
                                                 UINTN* Device, UINTN* Function) {
  PciControllerPeer* Self = ((Instance*)This)->Owner;
  ++Self->LocationCalls;
  if (EFI_ERROR(Self->LocationStatus)) return Self->LocationStatus;
  if (!Segment || !Bus || !Device || !Function) return EFI_INVALID_PARAMETER;
  *Segment = Self->Segment_;
  *Bus = Self->Bus_;
  *Device = Self->Device_;
  *Function = Self->Function_;
  return EFI_SUCCESS;
}

// ---- Device driver ------------------------------------------------------

DriverPeer::DriverPeer(const Options& O)
    : Options_(O), Languages2_(O.Languages2), Languages1_(O.Languages) {
  Binding_.Owner = this;
  Binding_.Protocol.Supported = &Supported;
  Binding_.Protocol.Start = &Start;
  Binding_.Protocol.Stop = &Stop;
  Binding_.Protocol.Version = 0x10;
  Name2_.Owner = this;
  Name2_.Protocol.GetDriverName = &DriverName2;
  Name2_.Protocol.GetControllerName = &ControllerName2;
  Name2_.Protocol.SupportedLanguages = (const CHAR8*)Languages2_.c_str();
  Name1_.Owner = this;
  Name1_.Protocol.GetDriverName = &DriverName1;
  Name1_.Protocol.GetControllerName = &ControllerName1;
  Name1_.Protocol.SupportedLanguages = (const CHAR8*)Languages1_.c_str();
}

DriverPeer::~DriverPeer() = default;

EFI_STATUS DriverPeer::Install(EFI_BOOT_SERVICES* BootServices) {
  BootServices_ = BootServices;
  // The driver's handle is its image handle, as for a driver loaded from
  // a firmware volume.
  Image_.Revision = 0x1000;
  EFI_STATUS Status = BootServices->InstallProtocolInterface(&Handle_, &EFI_LOADED_IMAGE_PROTOCOL::Guid,
                                                             EFI_NATIVE_INTERFACE, &Image_);
  if (EFI_ERROR(Status)) return Status;
  Binding_.Protocol.ImageHandle = Handle_;
  Binding_.Protocol.DriverBindingHandle = Handle_;
  if (Options_.Binding) {
    Status = BootServices->InstallProtocolInterface(&Handle_, &EFI_DRIVER_BINDING_PROTOCOL::Guid,
                                                    EFI_NATIVE_INTERFACE, &Binding_.Protocol);
    if (EFI_ERROR(Status)) return Status;
  }
  if (Options_.ComponentName2) {
    Status = BootServices->InstallProtocolInterface(&Handle_, &EFI_COMPONENT_NAME2_PROTOCOL::Guid,
                                                    EFI_NATIVE_INTERFACE, &Name2_.Protocol);
    if (EFI_ERROR(Status)) return Status;
  }
  if (Options_.ComponentName)
    Status = BootServices->InstallProtocolInterface(&Handle_, &EFI_COMPONENT_NAME_PROTOCOL::Guid,
                                                    EFI_NATIVE_INTERFACE, &Name1_.Protocol);
  return Status;
}

EFI_STATUS DriverPeer::Manage(EFI_HANDLE Controller, const EFI_GUID& Protocol) {
  if (BootServices_ == nullptr) return EFI_NOT_READY;
  VOID* Interface = nullptr;
  return BootServices_->OpenProtocol(Controller, &Protocol, &Interface, Handle_, Controller,
                                     EFI_OPEN_PROTOCOL_BY_DRIVER);
}

EFI_HANDLE DriverPeer::AddChild(EFI_HANDLE Parent, const EFI_GUID& Consumed, const std::vector<uint8_t>& Node,
                                const std::vector<std::pair<const EFI_GUID*, VOID*>>& Protocols) {
  if (BootServices_ == nullptr) return nullptr;
  EFI_HANDLE Child = nullptr;
  EFI_STATUS Status = EFI_SUCCESS;
  VOID* ParentPath = nullptr;
  if (!Node.empty() &&
      !EFI_ERROR(BootServices_->HandleProtocol(Parent, &EFI_DEVICE_PATH_PROTOCOL::Guid, &ParentPath))) {
    // The parent's path is walked to its end node, as any consumer would.
    auto* P = (const UINT8*)ParentPath;
    size_t Length = 0;
    while (!(P[Length] == END_DEVICE_PATH_TYPE && P[Length + 1] == END_ENTIRE_DEVICE_PATH_SUBTYPE)) {
      size_t NodeLength = P[Length + 2] | (P[Length + 3] << 8);
      if (NodeLength < 4) return nullptr;
      Length += NodeLength;
    }
    std::vector<uint8_t> Path(P, P + Length + 4);
    auto Stored = std::make_unique<std::vector<uint8_t>>(AppendDevicePathNode(Path, Node));
    Status = BootServices_->InstallProtocolInterface(&Child, &EFI_DEVICE_PATH_PROTOCOL::Guid, EFI_NATIVE_INTERFACE,
                                                     Stored->data());
    if (EFI_ERROR(Status)) return nullptr;
    ChildPaths_[Child] = std::move(Stored);
  }
  for (auto& [Guid, Interface] : Protocols) {
    Status = BootServices_->InstallProtocolInterface(&Child, Guid, EFI_NATIVE_INTERFACE, Interface);
    if (EFI_ERROR(Status)) return nullptr;
  }
  if (Child == nullptr) return nullptr;
  VOID* Interface = nullptr;
  Status = BootServices_->OpenProtocol(Parent, &Consumed, &Interface, Handle_, Child,
                                       EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER);
  return EFI_ERROR(Status) ? nullptr : Child;
}

const std::vector<uint8_t>* DriverPeer::ChildPath(EFI_HANDLE Child) const {
  auto It = ChildPaths_.find(Child);
  return It == ChildPaths_.end() ? nullptr : It->second.get();
}

namespace {

std::unique_ptr<char16_t[]> ExactText(const std::u16string& Name, bool Terminated) {
  const size_t Length = Name.size() + (Terminated ? 1 : 0);
  auto Text = std::make_unique<char16_t[]>(Length == 0 ? 1 : Length);
  std::copy(Name.begin(), Name.end(), Text.get());
  return Text;
}

}  // namespace

void DriverPeer::SetDriverName(const std::string& Language, const std::u16string& Name, bool Terminated) {
  Names_[{nullptr, nullptr, Language}] = ExactText(Name, Terminated);
}

void DriverPeer::SetControllerName(EFI_HANDLE Controller, EFI_HANDLE Child, const std::string& Language,
                                   const std::u16string& Name, bool Terminated) {
  Names_[{Controller, Child, Language}] = ExactText(Name, Terminated);
}

EFI_STATUS EFIAPI DriverPeer::Supported(EFI_DRIVER_BINDING_PROTOCOL* This, EFI_HANDLE Controller,
                                        EFI_DEVICE_PATH_PROTOCOL* Remaining) {
  DriverPeer* Self = ((BindingInstance*)This)->Owner;
  return Self->OnSupported ? Self->OnSupported(Controller, Remaining) : EFI_UNSUPPORTED;
}

EFI_STATUS EFIAPI DriverPeer::Start(EFI_DRIVER_BINDING_PROTOCOL* This, EFI_HANDLE Controller,
                                    EFI_DEVICE_PATH_PROTOCOL* Remaining) {
  DriverPeer* Self = ((BindingInstance*)This)->Owner;
  ++Self->StartCalls;
  return Self->OnStart ? Self->OnStart(Controller, Remaining) : EFI_UNSUPPORTED;
}

EFI_STATUS EFIAPI DriverPeer::Stop(EFI_DRIVER_BINDING_PROTOCOL*, EFI_HANDLE, UINTN, EFI_HANDLE*) {
  // Devices here are made by the profile and outlive any disconnect.
  return EFI_DEVICE_ERROR;
}

bool DriverPeer::Supports(bool Rfc4646, const CHAR8* Language) const {
  if (Language == nullptr) return false;
  std::string Wanted((const char*)Language);
  const std::string& List = Rfc4646 ? Languages2_ : Languages1_;
  if (Rfc4646) {
    for (size_t Start = 0; Start <= List.size();) {
      size_t End = List.find(';', Start);
      if (End == std::string::npos) End = List.size();
      if (End > Start && List.compare(Start, End - Start, Wanted) == 0 && Wanted.size() == End - Start) return true;
      Start = End + 1;
    }
    return false;
  }
  if (Wanted.size() != 3) return false;
  for (size_t Start = 0; Start + 3 <= List.size(); Start += 3)
    if (List.compare(Start, 3, Wanted) == 0) return true;
  return false;
}

EFI_STATUS DriverPeer::Lookup(bool Rfc4646, EFI_HANDLE Controller, EFI_HANDLE Child, const CHAR8* Language,
                              CHAR16** Name) {
  std::string Wanted = Language ? (const char*)Language : "";
  if (EFI_ERROR(NameStatus)) {
    NameCalls.emplace_back(Wanted, false);
    return NameStatus;
  }
  if (Language == nullptr || Name == nullptr) return EFI_INVALID_PARAMETER;
  auto It = Names_.find({Controller, Child, Wanted});
  bool Found = Supports(Rfc4646, Language) && It != Names_.end();
  NameCalls.emplace_back(Wanted, Found);
  if (!Found) return EFI_UNSUPPORTED;
  *Name = (CHAR16*)It->second.get();
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI DriverPeer::DriverName2(EFI_COMPONENT_NAME2_PROTOCOL* This, const CHAR8* Language, CHAR16** Name) {
  return ((Name2Instance*)This)->Owner->Lookup(true, nullptr, nullptr, Language, Name);
}

EFI_STATUS EFIAPI DriverPeer::ControllerName2(EFI_COMPONENT_NAME2_PROTOCOL* This, EFI_HANDLE Controller,
                                              EFI_HANDLE Child, const CHAR8* Language, CHAR16** Name) {
  if (Controller == nullptr) return EFI_INVALID_PARAMETER;
  return ((Name2Instance*)This)->Owner->Lookup(true, Controller, Child, Language, Name);
}

EFI_STATUS EFIAPI DriverPeer::DriverName1(EFI_COMPONENT_NAME_PROTOCOL* This, const CHAR8* Language, CHAR16** Name) {
  return ((Name1Instance*)This)->Owner->Lookup(false, nullptr, nullptr, Language, Name);
}

EFI_STATUS EFIAPI DriverPeer::ControllerName1(EFI_COMPONENT_NAME_PROTOCOL* This, EFI_HANDLE Controller,
                                              EFI_HANDLE Child, const CHAR8* Language, CHAR16** Name) {
  if (Controller == nullptr) return EFI_INVALID_PARAMETER;
  return ((Name1Instance*)This)->Owner->Lookup(false, Controller, Child, Language, Name);
}

}  // namespace sim

namespace sim {

DriverPeer::Options DriverOptions(const DriverProfile& Profile) {
  DriverPeer::Options O;
  O.Binding = Profile.Binding;
  O.ComponentName2 = Profile.ComponentName2;
  O.ComponentName = Profile.ComponentName;
  O.Languages2 = Profile.Languages2;
  O.Languages = Profile.Languages;
  return O;
}

void ApplyDriverNames(DriverPeer& Driver, const DriverProfile& Profile) {
  for (auto& [Language, Name] : Profile.Names) Driver.SetDriverName(Language, Name);
  Driver.NameStatus = Profile.NameStatus;
}

void ApplyComponentNames(DriverPeer& Driver, EFI_HANDLE Controller, EFI_HANDLE Child,
                         const ComponentNamesProfile& Names) {
  for (auto& [Language, Name] : Names.Names)
    Driver.SetControllerName(Controller, Child, Language, Name, !Names.Unterminated);
}

std::unique_ptr<PciControllerPeer> MakePciController(Board& B, const PciControllerProfile& Profile) {
  auto Pci = std::make_unique<PciControllerPeer>(B, Profile.Segment, Profile.Bus, Profile.Device, Profile.Function);
  if (!Profile.Path.empty()) Pci->SetDevicePathBytes(PciDevicePath(Profile.Path));
  Pci->ConfigStatus = Profile.ConfigStatus;
  Pci->LocationStatus = Profile.LocationStatus;
  return Pci;
}

}  // namespace sim
