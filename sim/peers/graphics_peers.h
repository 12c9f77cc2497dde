// The board's graphics stack as the setup pages meet it, built from the
// profile on the shared driver-model stand-ins: each display controller is a
// PCI function managed by its graphics driver, with one child handle per
// output (Graphics Output with modes, EDID Discovered, the output level and
// switch protocols), possibly below handles without EDID. The driver's
// Start, reached through ConnectController with an output's node, records
// which output was asked for. Every call into the stand-ins is recorded.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/graphics_output.h"
#include "sim/board_profile.h"
#include "sim/peers/driver_model_peers.h"
#include "uefi/graphics.h"

namespace sim {

class GraphicsPeers {
 public:
  GraphicsPeers(const GraphicsProfile& Profile, Board& B);
  ~GraphicsPeers();
  GraphicsPeers(const GraphicsPeers&) = delete;
  GraphicsPeers& operator=(const GraphicsPeers&) = delete;

  // Every controller, its driver and its outputs.
  EFI_STATUS Install(EFI_BOOT_SERVICES* BootServices);

  struct Output {
    std::string Label;  // "display 0 output 1"
    EFI_HANDLE Handle = nullptr;
    std::vector<EFI_HANDLE> Via;  // the handles above it, outermost first
    GraphicsOutputProfile Profile;
    // Graphics Output, with the current mode's information.
    struct GopInstance {
      EFI_GRAPHICS_OUTPUT_PROTOCOL Protocol;
      Output* Owner;
    } Gop{};
    EFI_GRAPHICS_OUTPUT_PROTOCOL_MODE Mode{};
    EFI_GRAPHICS_OUTPUT_MODE_INFORMATION Info{};
    EFI_EDID_DISCOVERED_PROTOCOL Edid{};
    std::vector<UINT8> EdidBlock;
    struct LevelInstance {
      OUTPUT_LEVEL_PROTOCOL Protocol;
      Output* Owner;
    } Level{};
    struct SwitchInstance {
      OUTPUT_SWITCH_PROTOCOL Protocol;
      Output* Owner;
    } Switch{};
    uint32_t CurrentLevel = 0;
    bool SwitchedOn = false;
    GraphicsPeers* Peers = nullptr;
    // Makes mode Number (one of the profile's) the current one.
    void Show(uint32_t Number);
  };

  struct Controller {
    DisplayControllerProfile Profile;
    std::unique_ptr<PciControllerPeer> Pci;
    std::unique_ptr<DriverPeer> Driver;
    std::vector<std::unique_ptr<Output>> Outputs;
    std::vector<std::vector<uint8_t>> Connects;  // remaining node of each Start, empty for none
  };

  std::vector<std::unique_ptr<Controller>>& Controllers() { return Controllers_; }
  Output* FindOutput(EFI_HANDLE Handle);

  // Every call into the stand-ins, in order ("display 0 output 1: SetLevel 7").
  std::vector<std::string> Calls;

 private:
  void Record(const Output& O, const std::string& What) { Calls.push_back(O.Label + ": " + What); }
  EFI_STATUS InstallController(Controller& C, size_t Number);
  EFI_STATUS InstallOutput(Controller& C, Output& O, size_t Number);

  static EFI_STATUS EFIAPI QueryMode(EFI_GRAPHICS_OUTPUT_PROTOCOL* This, UINT32 Mode, UINTN* Size,
                                     EFI_GRAPHICS_OUTPUT_MODE_INFORMATION** Info);
  static EFI_STATUS EFIAPI SetMode(EFI_GRAPHICS_OUTPUT_PROTOCOL* This, UINT32 Mode);
  static EFI_STATUS EFIAPI GetMaxLevel(OUTPUT_LEVEL_PROTOCOL* This, UINT32* Max);
  static EFI_STATUS EFIAPI GetLevel(OUTPUT_LEVEL_PROTOCOL* This, UINT32* Level);
  static EFI_STATUS EFIAPI SetLevel(OUTPUT_LEVEL_PROTOCOL* This, UINT32 Level);
  static EFI_STATUS EFIAPI SwitchOn(OUTPUT_SWITCH_PROTOCOL* This);
  static EFI_STATUS EFIAPI SwitchOff(OUTPUT_SWITCH_PROTOCOL* This);

  GraphicsProfile Profile_;
  Board& Board_;
  EFI_BOOT_SERVICES* BootServices_ = nullptr;
  std::vector<std::unique_ptr<Controller>> Controllers_;
};

}  // namespace sim
