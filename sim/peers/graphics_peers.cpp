#include "sim/peers/graphics_peers.h"

#include <cstdio>

#include "sim/board.h"

namespace sim {

namespace {

// The marker has no interface; its presence is what counts.
UINT8 ExcludedMarker = 0;

std::string HexBytes(const UINT8* Bytes, size_t Size) {
  std::string Out;
  char B[4];
  for (size_t I = 0; I < Size; ++I) {
    std::snprintf(B, sizeof B, I ? " %02X" : "%02X", Bytes[I]);
    Out += B;
  }
  return Out;
}

// A controller node numbering the handles that stand between a controller
// and an output.
std::vector<uint8_t> ViaNode(uint32_t Number) { return {HARDWARE_DEVICE_PATH, 5, 8, 0, (uint8_t)Number, 0, 0, 0}; }

template <typename Instance, typename Protocol>
GraphicsPeers::Output* OwnerOf(Protocol* This) {
  return ((Instance*)This)->Owner;
}

}  // namespace

void GraphicsPeers::Output::Show(uint32_t Number) {
  Mode.Mode = Number;
  Info.HorizontalResolution = Profile.Modes[Number].Horizontal;
  Info.VerticalResolution = Profile.Modes[Number].Vertical;
  Info.PixelsPerScanLine = Profile.Modes[Number].Horizontal;
}

GraphicsPeers::GraphicsPeers(const GraphicsProfile& Profile, Board& B) : Profile_(Profile), Board_(B) {}
GraphicsPeers::~GraphicsPeers() = default;

GraphicsPeers::Output* GraphicsPeers::FindOutput(EFI_HANDLE Handle) {
  for (auto& C : Controllers_)
    for (auto& O : C->Outputs)
      if (O->Handle == Handle) return O.get();
  return nullptr;
}

EFI_STATUS GraphicsPeers::Install(EFI_BOOT_SERVICES* BootServices) {
  BootServices_ = BootServices;
  EFI_STATUS Result = EFI_SUCCESS;
  for (size_t Number = 0; Number < Profile_.Controllers.size(); ++Number) {
    auto C = std::make_unique<Controller>();
    C->Profile = Profile_.Controllers[Number];
    Controllers_.push_back(std::move(C));
    EFI_STATUS Status = InstallController(*Controllers_.back(), Number);
    if (EFI_ERROR(Status)) Result = Status;
  }
  return Result;
}

EFI_STATUS GraphicsPeers::InstallController(Controller& C, size_t Number) {
  const DisplayControllerProfile& P = C.Profile;
  C.Pci = MakePciController(Board_, P.Pci);
  EFI_STATUS Status = C.Pci->Install(BootServices_);
  if (EFI_ERROR(Status)) return Status;

  C.Driver = std::make_unique<DriverPeer>(DriverOptions(P.Driver));
  Status = C.Driver->Install(BootServices_);
  if (EFI_ERROR(Status)) return Status;
  ApplyDriverNames(*C.Driver, P.Driver);
  if (P.Excluded) {
    EFI_HANDLE Handle = C.Driver->Handle();
    Status = BootServices_->InstallProtocolInterface(&Handle, &EXCLUDED_DRIVER_MARKER_PROTOCOL::Guid,
                                                     EFI_NATIVE_INTERFACE, &ExcludedMarker);
    if (EFI_ERROR(Status)) return Status;
  }
  const EFI_HANDLE Handle = C.Pci->Handle();
  const std::string Label = "display " + std::to_string(Number);
  C.Driver->OnSupported = [Handle](EFI_HANDLE Controller, EFI_DEVICE_PATH_PROTOCOL*) {
    return Controller == Handle ? EFI_SUCCESS : EFI_UNSUPPORTED;
  };
  Controller* Self = &C;
  C.Driver->OnStart = [this, Self, Label](EFI_HANDLE, EFI_DEVICE_PATH_PROTOCOL* Remaining) {
    std::vector<uint8_t> Node;
    if (Remaining != nullptr) {
      auto* Bytes = (const UINT8*)Remaining;
      Node.assign(Bytes, Bytes + DevicePathNodeLength(Remaining));
    }
    Self->Connects.push_back(Node);
    // A restarted driver brings its outputs up in their own modes.
    for (auto& O : Self->Outputs)
      if (O->Profile.StartMode && O->Profile.GraphicsOutput) O->Show(*O->Profile.StartMode);
    Calls.push_back(Label + ": Start" + (Node.empty() ? std::string() : " with " + HexBytes(Node.data(), Node.size())));
    return Self->Profile.StartStatus;
  };
  if (P.Managed) {
    Status = C.Driver->Manage(Handle, EFI_PCI_IO_PROTOCOL::Guid);
    if (EFI_ERROR(Status)) return Status;
  }
  ApplyComponentNames(*C.Driver, Handle, nullptr, P.Name);
  for (size_t I = 0; I < P.Outputs.size(); ++I) {
    auto Out = std::make_unique<Output>();
    Out->Profile = P.Outputs[I];
    Out->Label = Label + " output " + std::to_string(I);
    Out->Peers = this;
    C.Outputs.push_back(std::move(Out));
    Status = InstallOutput(C, *C.Outputs.back(), I);
    if (EFI_ERROR(Status)) return Status;
    ApplyComponentNames(*C.Driver, Handle, C.Outputs.back()->Handle, P.Outputs[I].Name);
  }
  return EFI_SUCCESS;
}

EFI_STATUS GraphicsPeers::InstallOutput(Controller& C, Output& O, size_t Number) {
  const GraphicsOutputProfile& P = O.Profile;
  EFI_HANDLE Parent = C.Pci->Handle();
  const EFI_GUID* Consumed = &EFI_PCI_IO_PROTOCOL::Guid;
  for (uint32_t V = 0; V < P.Via; ++V) {
    EFI_HANDLE Via = C.Driver->AddChild(Parent, *Consumed, ViaNode((uint32_t)Number), {});
    if (Via == nullptr) return EFI_OUT_OF_RESOURCES;
    O.Via.push_back(Via);
    Parent = Via;
    Consumed = &EFI_DEVICE_PATH_PROTOCOL::Guid;
  }

  std::vector<std::pair<const EFI_GUID*, VOID*>> Protocols;
  if (P.GraphicsOutput) {
    O.Gop.Owner = &O;
    O.Gop.Protocol.QueryMode = &QueryMode;
    O.Gop.Protocol.SetMode = &SetMode;
    O.Gop.Protocol.Mode = &O.Mode;
    O.Mode.MaxMode = (UINT32)P.Modes.size();
    O.Mode.Mode = P.Mode;
    O.Mode.Info = &O.Info;
    O.Mode.SizeOfInfo = sizeof(O.Info);
    if (P.Mode < P.Modes.size()) O.Show(P.Mode);
    O.Info.PixelFormat = PixelBlueGreenRedReserved8BitPerColor;
    Protocols.push_back({&EFI_GRAPHICS_OUTPUT_PROTOCOL::Guid, &O.Gop.Protocol});
  }
  if (P.Edid) {
    O.EdidBlock = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    O.EdidBlock.resize(128, 0);
    O.Edid.SizeOfEdid = (UINT32)O.EdidBlock.size();
    O.Edid.Edid = O.EdidBlock.data();
    Protocols.push_back({&EFI_EDID_DISCOVERED_PROTOCOL::Guid, &O.Edid});
  }
  if (P.Level) {
    O.Level.Owner = &O;
    O.Level.Protocol = {P.Level->Supported, &GetMaxLevel, &GetLevel, &SetLevel};
    O.CurrentLevel = P.Level->Level;
    Protocols.push_back({&OUTPUT_LEVEL_PROTOCOL::Guid, &O.Level.Protocol});
  }
  if (P.Switch) {
    O.Switch.Owner = &O;
    O.Switch.Protocol = {P.Switch->Supported, &SwitchOn, &SwitchOff};
    O.SwitchedOn = P.Switch->On;
    Protocols.push_back({&OUTPUT_SWITCH_PROTOCOL::Guid, &O.Switch.Protocol});
  }
  O.Handle = C.Driver->AddChild(Parent, *Consumed, P.Node, Protocols);
  return O.Handle == nullptr ? EFI_OUT_OF_RESOURCES : EFI_SUCCESS;
}

EFI_STATUS EFIAPI GraphicsPeers::QueryMode(EFI_GRAPHICS_OUTPUT_PROTOCOL* This, UINT32 Mode, UINTN* Size,
                                           EFI_GRAPHICS_OUTPUT_MODE_INFORMATION** Info) {
  Output& O = *OwnerOf<Output::GopInstance>(This);
  O.Peers->Record(O, "QueryMode " + std::to_string(Mode));
  if (EFI_ERROR(O.Profile.QueryModeStatus)) return O.Profile.QueryModeStatus;
  if (Size == nullptr || Info == nullptr || Mode >= O.Profile.Modes.size()) return EFI_INVALID_PARAMETER;
  VOID* Buffer = nullptr;
  EFI_STATUS Status = O.Peers->BootServices_->AllocatePool(EfiBootServicesData, sizeof(**Info), &Buffer);
  if (EFI_ERROR(Status)) return Status;
  auto* Out = (EFI_GRAPHICS_OUTPUT_MODE_INFORMATION*)Buffer;
  *Out = O.Info;
  Out->HorizontalResolution = O.Profile.Modes[Mode].Horizontal;
  Out->VerticalResolution = O.Profile.Modes[Mode].Vertical;
  Out->PixelsPerScanLine = O.Profile.Modes[Mode].Horizontal;
  *Size = sizeof(*Out);
  *Info = Out;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI GraphicsPeers::SetMode(EFI_GRAPHICS_OUTPUT_PROTOCOL* This, UINT32 Mode) {
  Output& O = *OwnerOf<Output::GopInstance>(This);
  O.Peers->Record(O, "SetMode " + std::to_string(Mode));
  if (EFI_ERROR(O.Profile.SetModeStatus)) return O.Profile.SetModeStatus;
  if (Mode >= O.Profile.Modes.size()) return EFI_UNSUPPORTED;
  O.Show(Mode);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI GraphicsPeers::GetMaxLevel(OUTPUT_LEVEL_PROTOCOL* This, UINT32* Max) {
  Output& O = *OwnerOf<Output::LevelInstance>(This);
  O.Peers->Record(O, "GetMaxLevel");
  if (EFI_ERROR(O.Profile.Level->GetMaxStatus)) return O.Profile.Level->GetMaxStatus;
  if (Max == nullptr) return EFI_INVALID_PARAMETER;
  *Max = O.Profile.Level->Max;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI GraphicsPeers::GetLevel(OUTPUT_LEVEL_PROTOCOL* This, UINT32* Level) {
  Output& O = *OwnerOf<Output::LevelInstance>(This);
  O.Peers->Record(O, "GetLevel");
  if (EFI_ERROR(O.Profile.Level->GetLevelStatus)) return O.Profile.Level->GetLevelStatus;
  if (Level == nullptr) return EFI_INVALID_PARAMETER;
  *Level = O.CurrentLevel;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI GraphicsPeers::SetLevel(OUTPUT_LEVEL_PROTOCOL* This, UINT32 Level) {
  Output& O = *OwnerOf<Output::LevelInstance>(This);
  O.Peers->Record(O, "SetLevel " + std::to_string(Level));
  if (EFI_ERROR(O.Profile.Level->SetLevelStatus)) return O.Profile.Level->SetLevelStatus;
  O.CurrentLevel = Level;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI GraphicsPeers::SwitchOn(OUTPUT_SWITCH_PROTOCOL* This) {
  Output& O = *OwnerOf<Output::SwitchInstance>(This);
  O.Peers->Record(O, "SwitchOn");
  if (EFI_ERROR(O.Profile.Switch->Status)) return O.Profile.Switch->Status;
  O.SwitchedOn = true;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI GraphicsPeers::SwitchOff(OUTPUT_SWITCH_PROTOCOL* This) {
  Output& O = *OwnerOf<Output::SwitchInstance>(This);
  O.Peers->Record(O, "SwitchOff");
  if (EFI_ERROR(O.Profile.Switch->Status)) return O.Profile.Switch->Status;
  O.SwitchedOn = false;
  return EFI_SUCCESS;
}

}  // namespace sim
