#include "sim/peers/processor_peers.h"

#include <algorithm>
#include <cstring>

namespace sim {

std::vector<uint8_t> BuildCacheDescriptorBytes(const std::vector<CacheDescriptorProfile>& Caches) {
  std::vector<uint8_t> Bytes;
  size_t Offset = 0;
  for (const CacheDescriptorProfile& C : Caches) {
    const uint32_t Fields[6] = {C.Length, C.Level, C.SizeKb, C.Type, 0, C.Sharing};
    Bytes.resize(std::max(Bytes.size(), Offset + std::max<size_t>(sizeof Fields, C.Length)), 0);
    std::memcpy(Bytes.data() + Offset, Fields, sizeof Fields);
    Offset += C.Length;
  }
  return Bytes;
}

std::vector<uint8_t> BuildResourceDescriptorBytes(const std::vector<ProcessorResourceProfile>& Resources) {
  std::vector<uint8_t> Bytes((Resources.size() + 1) * sizeof(PROCESSOR_RESOURCE_DESCRIPTOR), 0);
  for (size_t I = 0; I < Resources.size(); ++I) {
    PROCESSOR_RESOURCE_DESCRIPTOR D{};
    D.InUse = Resources[I].InUse;
    D.Kind = Resources[I].Kind;
    D.Size = Resources[I].Size;
    std::memcpy(Bytes.data() + I * sizeof D, &D, sizeof D);
  }
  return Bytes;
}

ProcessorPeers::ProcessorPeers(const ProcessorProfile& Profile) {
  Information_.Protocol.GetInfo = GetInfo;
  Information_.Owner = this;
  Topology_.Protocol.GetCoreCounts = GetCoreCounts;
  Topology_.Protocol.GetCacheDescriptors = GetCacheDescriptors;
  Topology_.Owner = this;

  Record_.Signature = Profile.Signature;
  Record_.FeatureWord = Profile.FeatureWord;
  Record_.Supported = Profile.Supported;
  Record_.CoreCount = Profile.CoreCount;
  Record_.ThreadsPerCore = Profile.ThreadsPerCore;
  Record_.MicrocodeRevision = Profile.MicrocodeRevision;
  SetBrandString(Profile.BrandString);
  CoresPerPackage = Profile.CoresPerPackage;
  SetCacheDescriptorBytes(BuildCacheDescriptorBytes(Profile.Caches), (uint32_t)Profile.Caches.size());
  Record_.SummaryValue = Profile.SummaryValue;
  if (Profile.Resources)
    SetResourceBytes(BuildResourceDescriptorBytes(*Profile.Resources));
  else
    SetResourceBytes(std::nullopt);
}

void ProcessorPeers::SetResourceBytes(std::optional<std::vector<uint8_t>> Bytes) {
  Resources_.reset();
  Record_.Resources = nullptr;
  if (!Bytes) return;
  // Exactly sized (at least one byte), so that a walk past the end is caught.
  Resources_.reset(new uint8_t[Bytes->empty() ? 1 : Bytes->size()]());
  std::memcpy(Resources_.get(), Bytes->data(), Bytes->size());
  Record_.Resources = (const PROCESSOR_RESOURCE_DESCRIPTOR*)Resources_.get();
}

void ProcessorPeers::SetBrandString(const std::string& Brand) {
  Brand_.reset(new char[Brand.size() + 1]);
  std::memcpy(Brand_.get(), Brand.c_str(), Brand.size() + 1);
  Record_.BrandString = Brand_.get();
}

void ProcessorPeers::SetCacheDescriptorBytes(std::vector<uint8_t> Bytes, uint32_t Count) {
  Caches_.reset();
  if (!Bytes.empty()) {
    Caches_.reset(new uint8_t[Bytes.size()]);
    std::memcpy(Caches_.get(), Bytes.data(), Bytes.size());
  }
  CacheCount_ = Count;
}

EFI_STATUS ProcessorPeers::InstallInformation(EFI_BOOT_SERVICES* BootServices) {
  EFI_HANDLE Handle = nullptr;
  return BootServices->InstallProtocolInterface(&Handle, &PROCESSOR_INFORMATION_PROTOCOL::Guid, EFI_NATIVE_INTERFACE,
                                                &Information_.Protocol);
}

EFI_STATUS ProcessorPeers::InstallTopology(EFI_BOOT_SERVICES* BootServices) {
  EFI_HANDLE Handle = nullptr;
  return BootServices->InstallProtocolInterface(&Handle, &PROCESSOR_TOPOLOGY_PROTOCOL::Guid, EFI_NATIVE_INTERFACE,
                                                &Topology_.Protocol);
}

EFI_STATUS EFIAPI ProcessorPeers::GetInfo(PROCESSOR_INFORMATION_PROTOCOL* This, UINT32 Cpu,
                                          PROCESSOR_INFORMATION_RECORD** Record) {
  ProcessorPeers* Self = ((InformationInstance*)This)->Owner;
  ++Self->GetInfoCalls;
  if (Record == nullptr || Cpu != 0) return EFI_INVALID_PARAMETER;
  if (EFI_ERROR(Self->GetInfoStatus)) return Self->GetInfoStatus;
  *Record = &Self->Record_;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI ProcessorPeers::GetCoreCounts(PROCESSOR_TOPOLOGY_PROTOCOL* This, UINT32 Package, UINT32* First,
                                                UINT32* Second, VOID*, VOID*) {
  ProcessorPeers* Self = ((TopologyInstance*)This)->Owner;
  ++Self->GetCoreCountsCalls;
  if (Package != 0) return EFI_NOT_FOUND;
  if (First != nullptr) *First = Self->CoresPerPackage;
  if (Second != nullptr) *Second = Self->Record_.ThreadsPerCore;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI ProcessorPeers::GetCacheDescriptors(PROCESSOR_TOPOLOGY_PROTOCOL* This, UINT32 Package, UINT32 Core,
                                                      CACHE_DESCRIPTOR** Descriptors, UINT32* Count) {
  ProcessorPeers* Self = ((TopologyInstance*)This)->Owner;
  ++Self->GetCacheDescriptorsCalls;
  if (Descriptors == nullptr || Count == nullptr) return EFI_INVALID_PARAMETER;
  if (Package != 0 || Core != 0) return EFI_NOT_FOUND;
  if (EFI_ERROR(Self->GetCacheDescriptorsStatus)) return Self->GetCacheDescriptorsStatus;
  *Descriptors = (CACHE_DESCRIPTOR*)Self->Caches_.get();
  *Count = Self->CacheCount_;
  return EFI_SUCCESS;
}

}  // namespace sim
