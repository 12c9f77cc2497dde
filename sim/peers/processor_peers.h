// Stand-ins for the platform's processor driver: the processor information
// and processor topology protocols, answering from a ProcessorProfile. Each
// protocol is installed when the test or the machine says so, so a page can
// be built before either has arrived.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/processor_info.h"
#include "sim/board_profile.h"
#include "uefi/system_table.h"

namespace sim {

class ProcessorPeers {
 public:
  explicit ProcessorPeers(const ProcessorProfile& Profile);
  ProcessorPeers(const ProcessorPeers&) = delete;
  ProcessorPeers& operator=(const ProcessorPeers&) = delete;

  PROCESSOR_INFORMATION_PROTOCOL* Information() { return &Information_.Protocol; }
  PROCESSOR_TOPOLOGY_PROTOCOL* Topology() { return &Topology_.Protocol; }

  // Installs one protocol on a new handle through BootServices, so that
  // notifications registered for it are signalled.
  EFI_STATUS InstallInformation(EFI_BOOT_SERVICES* BootServices);
  EFI_STATUS InstallTopology(EFI_BOOT_SERVICES* BootServices);

  // The record GetInfo hands out; tests may change it.
  PROCESSOR_INFORMATION_RECORD& Record() { return Record_; }
  // Replaces the brand text (stored exactly, terminator included).
  void SetBrandString(const std::string& Brand);
  // Replaces the descriptor array with raw bytes and a record count, for
  // records no well-behaved producer would write.
  void SetCacheDescriptorBytes(std::vector<uint8_t> Bytes, uint32_t Count);
  // Replaces the resource list the record points at with exactly these
  // bytes (no end descriptor is added); std::nullopt makes the pointer null.
  void SetResourceBytes(std::optional<std::vector<uint8_t>> Bytes);

  // Scripted answers.
  EFI_STATUS GetInfoStatus = EFI_SUCCESS;
  EFI_STATUS GetCacheDescriptorsStatus = EFI_SUCCESS;
  uint32_t CoresPerPackage = 0;

  // What was asked.
  size_t GetInfoCalls = 0;
  size_t GetCoreCountsCalls = 0;
  size_t GetCacheDescriptorsCalls = 0;

 private:
  struct InformationInstance {
    PROCESSOR_INFORMATION_PROTOCOL Protocol;
    ProcessorPeers* Owner;
  };
  struct TopologyInstance {
    PROCESSOR_TOPOLOGY_PROTOCOL Protocol;
    ProcessorPeers* Owner;
  };

  static EFI_STATUS EFIAPI GetInfo(PROCESSOR_INFORMATION_PROTOCOL* This, UINT32 Cpu,
                                   PROCESSOR_INFORMATION_RECORD** Record);
  static EFI_STATUS EFIAPI GetCoreCounts(PROCESSOR_TOPOLOGY_PROTOCOL* This, UINT32 Package, UINT32* First,
                                         UINT32* Second, VOID* Reserved1, VOID* Reserved2);
  static EFI_STATUS EFIAPI GetCacheDescriptors(PROCESSOR_TOPOLOGY_PROTOCOL* This, UINT32 Package, UINT32 Core,
                                               CACHE_DESCRIPTOR** Descriptors, UINT32* Count);

  InformationInstance Information_{};
  TopologyInstance Topology_{};
  PROCESSOR_INFORMATION_RECORD Record_{};
  // Exactly sized, so that reading past the text or the records is caught.
  std::unique_ptr<char[]> Brand_;
  std::unique_ptr<uint8_t[]> Caches_;
  uint32_t CacheCount_ = 0;
  std::unique_ptr<uint8_t[]> Resources_;
};

// The resource list a producer would build from Profile's descriptors,
// ended by a descriptor whose first byte is 0.
std::vector<uint8_t> BuildResourceDescriptorBytes(const std::vector<ProcessorResourceProfile>& Resources);

// The descriptor array a producer would build from Profile's cache list:
// records end to end, each at the previous one's reported length.
std::vector<uint8_t> BuildCacheDescriptorBytes(const std::vector<CacheDescriptorProfile>& Caches);

}  // namespace sim
