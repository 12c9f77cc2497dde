// Stand-ins for the UEFI driver model as bus and device drivers leave it in
// the handle database: a PCI function presented through PCI I/O by the bus
// driver, and a device driver with Driver Binding and its Component Name
// protocols, which manages controllers (BY_DRIVER) and makes child handles
// (each opening its parent's protocol BY_CHILD_CONTROLLER). Pages that walk
// the driver model (display controllers, NVMe) build their devices on these.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "sim/board_profile.h"
#include "uefi/device_path.h"
#include "uefi/driver_model.h"
#include "uefi/loaded_image.h"
#include "uefi/pci_io.h"
#include "uefi/system_table.h"

namespace sim {

class Board;

// Acpi(PNP0A03,0)/Pci(Device,Function)/End, as a root bridge's bus driver
// builds it for a function on bus 0.
std::vector<uint8_t> PciDevicePath(uint8_t Device, uint8_t Function);
// Acpi(PNP0A03,0) and one Pci node per (device, function) hop, from the
// root bridge through each bridge down to the function.
std::vector<uint8_t> PciDevicePath(const std::vector<std::pair<uint8_t, uint8_t>>& Hops);
// The path with Node inserted before its end node.
std::vector<uint8_t> AppendDevicePathNode(const std::vector<uint8_t>& Path, const std::vector<uint8_t>& Node);

// One PCI function: configuration space is the board's own, so what a page
// reads through PCI I/O agrees with what the chipset access sees.
class PciControllerPeer {
 public:
  PciControllerPeer(Board& B, uint16_t Segment, uint8_t Bus, uint8_t Device, uint8_t Function);
  PciControllerPeer(const PciControllerPeer&) = delete;
  PciControllerPeer& operator=(const PciControllerPeer&) = delete;

  // PCI I/O and the device path on a new handle.
  EFI_STATUS Install(EFI_BOOT_SERVICES* BootServices);
  EFI_HANDLE Handle() const { return Handle_; }
  EFI_PCI_IO_PROTOCOL* PciIo() { return &Instance_.Protocol; }
  const std::vector<uint8_t>& DevicePath() const { return DevicePath_; }
  // Replaces the path, stored exactly sized. Call before Install.
  void SetDevicePathBytes(std::vector<uint8_t> Bytes) { DevicePath_ = std::move(Bytes); }

  // Scripted answers: a failing configuration read or write copies nothing;
  // a failing GetLocation writes nothing to its outputs.
  EFI_STATUS ConfigStatus = EFI_SUCCESS;
  EFI_STATUS LocationStatus = EFI_SUCCESS;

  // What was asked.
  size_t ConfigReads = 0;
  size_t LocationCalls = 0;

 private:
  struct Instance {
    EFI_PCI_IO_PROTOCOL Protocol;
    PciControllerPeer* Owner;
  };
  static EFI_STATUS EFIAPI ConfigRead(EFI_PCI_IO_PROTOCOL* This, EFI_PCI_IO_PROTOCOL_WIDTH Width, UINT32 Offset,
                                      UINTN Count, VOID* Buffer);
  static EFI_STATUS EFIAPI ConfigWrite(EFI_PCI_IO_PROTOCOL* This, EFI_PCI_IO_PROTOCOL_WIDTH Width, UINT32 Offset,
                                       UINTN Count, VOID* Buffer);
  static EFI_STATUS EFIAPI GetLocation(EFI_PCI_IO_PROTOCOL* This, UINTN* Segment, UINTN* Bus, UINTN* Device,
                                       UINTN* Function);

  Board& Board_;
  uint16_t Segment_;
  uint8_t Bus_, Device_, Function_;
  std::vector<uint8_t> DevicePath_;
  Instance Instance_{};
  EFI_HANDLE Handle_ = nullptr;
};

// A device driver. Names are answered from a table keyed by controller,
// child (null for the controller itself) and language; Component Name 2
// takes RFC 4646 codes, Component Name ISO 639-2 codes, each only from its
// own supported list, as the protocols require.
class DriverPeer {
 public:
  struct Options {
    bool Binding = true;         // Driver Binding on the driver's handle
    bool ComponentName2 = true;  // each name protocol may be left out
    bool ComponentName = false;
    std::string Languages2 = "en-US";  // ";"-separated
    std::string Languages = "eng";     // three-letter codes, concatenated
  };

  explicit DriverPeer(const Options& O);
  DriverPeer(const DriverPeer&) = delete;
  DriverPeer& operator=(const DriverPeer&) = delete;
  ~DriverPeer();

  // The driver's protocols on a new handle, which is also its image handle.
  EFI_STATUS Install(EFI_BOOT_SERVICES* BootServices);
  EFI_HANDLE Handle() const { return Handle_; }

  // Takes the controller: opens Protocol on it BY_DRIVER.
  EFI_STATUS Manage(EFI_HANDLE Controller, const EFI_GUID& Protocol);
  // A child of Parent (a managed controller or an earlier child): a new
  // handle with Parent's path plus Node (none when Node is empty or Parent
  // has no path) and the given protocols; it opens Parent's Consumed
  // protocol BY_CHILD_CONTROLLER. Returns null when that fails.
  EFI_HANDLE AddChild(EFI_HANDLE Parent, const EFI_GUID& Consumed, const std::vector<uint8_t>& Node,
                      const std::vector<std::pair<const EFI_GUID*, VOID*>>& Protocols);
  // The path AddChild gave a child.
  const std::vector<uint8_t>* ChildPath(EFI_HANDLE Child) const;

  // Each text is stored exactly sized, so a reader running past it is
  // caught; an unterminated one is handed out without its terminator.
  void SetDriverName(const std::string& Language, const std::u16string& Name, bool Terminated = true);
  void SetControllerName(EFI_HANDLE Controller, EFI_HANDLE Child, const std::string& Language,
                         const std::u16string& Name, bool Terminated = true);

  // Every name call fails with this when it is not success.
  EFI_STATUS NameStatus = EFI_SUCCESS;
  // What ConnectController reaches. Unset Supported answers EFI_UNSUPPORTED,
  // so a connect of another controller passes this driver by.
  std::function<EFI_STATUS(EFI_HANDLE Controller, EFI_DEVICE_PATH_PROTOCOL* Remaining)> OnSupported;
  std::function<EFI_STATUS(EFI_HANDLE Controller, EFI_DEVICE_PATH_PROTOCOL* Remaining)> OnStart;

  // What was asked: (language, found) of every name call, in order.
  std::vector<std::pair<std::string, bool>> NameCalls;
  size_t StartCalls = 0;

  EFI_DRIVER_BINDING_PROTOCOL* Binding() { return &Binding_.Protocol; }
  EFI_COMPONENT_NAME2_PROTOCOL* ComponentName2() { return &Name2_.Protocol; }
  EFI_COMPONENT_NAME_PROTOCOL* ComponentName() { return &Name1_.Protocol; }

 private:
  struct BindingInstance {
    EFI_DRIVER_BINDING_PROTOCOL Protocol;
    DriverPeer* Owner;
  };
  struct Name2Instance {
    EFI_COMPONENT_NAME2_PROTOCOL Protocol;
    DriverPeer* Owner;
  };
  struct Name1Instance {
    EFI_COMPONENT_NAME_PROTOCOL Protocol;
    DriverPeer* Owner;
  };
  using NameKey = std::tuple<EFI_HANDLE, EFI_HANDLE, std::string>;

  static EFI_STATUS EFIAPI Supported(EFI_DRIVER_BINDING_PROTOCOL* This, EFI_HANDLE Controller,
                                     EFI_DEVICE_PATH_PROTOCOL* Remaining);
  static EFI_STATUS EFIAPI Start(EFI_DRIVER_BINDING_PROTOCOL* This, EFI_HANDLE Controller,
                                 EFI_DEVICE_PATH_PROTOCOL* Remaining);
  static EFI_STATUS EFIAPI Stop(EFI_DRIVER_BINDING_PROTOCOL* This, EFI_HANDLE Controller, UINTN Children,
                                EFI_HANDLE* ChildBuffer);
  static EFI_STATUS EFIAPI DriverName2(EFI_COMPONENT_NAME2_PROTOCOL* This, const CHAR8* Language, CHAR16** Name);
  static EFI_STATUS EFIAPI ControllerName2(EFI_COMPONENT_NAME2_PROTOCOL* This, EFI_HANDLE Controller,
                                           EFI_HANDLE Child, const CHAR8* Language, CHAR16** Name);
  static EFI_STATUS EFIAPI DriverName1(EFI_COMPONENT_NAME_PROTOCOL* This, const CHAR8* Language, CHAR16** Name);
  static EFI_STATUS EFIAPI ControllerName1(EFI_COMPONENT_NAME_PROTOCOL* This, EFI_HANDLE Controller,
                                           EFI_HANDLE Child, const CHAR8* Language, CHAR16** Name);

  bool Supports(bool Rfc4646, const CHAR8* Language) const;
  EFI_STATUS Lookup(bool Rfc4646, EFI_HANDLE Controller, EFI_HANDLE Child, const CHAR8* Language, CHAR16** Name);

  Options Options_;
  EFI_BOOT_SERVICES* BootServices_ = nullptr;
  EFI_HANDLE Handle_ = nullptr;
  EFI_LOADED_IMAGE_PROTOCOL Image_{};
  BindingInstance Binding_{};
  Name2Instance Name2_{};
  Name1Instance Name1_{};
  std::string Languages2_, Languages1_;  // the bytes SupportedLanguages points at
  std::map<NameKey, std::unique_ptr<char16_t[]>> Names_;
  std::map<EFI_HANDLE, std::unique_ptr<std::vector<uint8_t>>> ChildPaths_;
};

// From the board profile: a driver's protocol options.
DriverPeer::Options DriverOptions(const DriverProfile& Profile);
// The driver's own names and failure status from the profile.
void ApplyDriverNames(DriverPeer& Driver, const DriverProfile& Profile);
// A controller's or child's names from the profile.
void ApplyComponentNames(DriverPeer& Driver, EFI_HANDLE Controller, EFI_HANDLE Child,
                         const ComponentNamesProfile& Names);
// A PCI function from the profile, not yet installed.
std::unique_ptr<PciControllerPeer> MakePciController(Board& B, const PciControllerProfile& Profile);

}  // namespace sim
