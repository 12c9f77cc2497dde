// Stand-in for the platform's NVMe driver as setup finds it: per controller,
// a PCI function through PCI I/O carrying the NVMe controller protocol and
// managed by the driver, with one child handle per namespace whose path ends
// in an NVMe namespace node, named through the driver's Component Name 2.
#pragma once

#include <memory>
#include <vector>

#include "platform/nvme.h"
#include "sim/board_profile.h"
#include "sim/peers/driver_model_peers.h"

namespace sim {

// NVMe(namespace id, EUI-64): messaging node 0x17, 16 bytes.
std::vector<uint8_t> NvmeNamespaceNode(uint32_t Id, uint64_t Eui64);

class NvmePeers {
 public:
  NvmePeers(Board& B, const NvmeProfile& Profile);
  NvmePeers(const NvmePeers&) = delete;
  NvmePeers& operator=(const NvmePeers&) = delete;

  // The driver, then each controller with its namespaces, in profile order.
  EFI_STATUS Install(EFI_BOOT_SERVICES* BootServices);

  struct Controller {
    std::unique_ptr<PciControllerPeer> Pci;
    std::vector<EFI_HANDLE> Namespaces;  // null where a namespace could not be made
  };
  DriverPeer& Driver() { return Driver_; }
  std::vector<Controller>& Controllers() { return Controllers_; }

 private:
  NvmeProfile Profile_;
  Board& Board_;
  DriverPeer Driver_;
  std::vector<Controller> Controllers_;
  std::vector<std::unique_ptr<uint8_t[]>> RawPaths_;  // exactly sized
};

}  // namespace sim
