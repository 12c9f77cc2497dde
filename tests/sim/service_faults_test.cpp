#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "sim/service_faults.h"
#include "tests/sim/hii/hii_test_support.h"

namespace {

using sim::FaultableService;

constexpr EFI_GUID ProbeGuid = {0x7A1E0C33, 0x51B2, 0x4D0F, {0x8E, 0x11, 0x60, 0x2C, 0x9B, 0x44, 0xD7, 0x03}};
VOID* const Sentinel = (VOID*)(uintptr_t)0x5A5A;

// One call of a service, and whether it wrote an output or changed any state.
struct Outcome {
  EFI_STATUS Status;
  bool Changed;
};

class ServiceFaultsTest;
struct ServiceCase {
  FaultableService Service;
  std::function<Outcome(ServiceFaultsTest&)> Call;
};

class ServiceFaultsTest : public hiitest::HiiTest, public ::testing::WithParamInterface<ServiceCase> {
 protected:
  void SetUp() override {
    HiiTest::SetUp();
    PutVariable(u"Probe", ProbeGuid, EFI_VARIABLE_BOOTSERVICE_ACCESS, {1});
    List = Add(hiitest::PackageListBuilder(hiitest::TestListGuid)
                   .Strings("en-US;fr-FR", hiitest::Cat({hiitest::Ucs2Block(u"One"), {hiitest::EndBlock}}))
                   .Build());
  }
  sim::ServiceFaults& F() { return M().Faults(); }

 public:
  sim::Machine& Mach() { return M(); }
  EFI_SYSTEM_TABLE* Table() { return ST(); }
  EFI_HII_HANDLE List = nullptr;
  UINT8 NextByte = 2;
  bool Toggle = false;
};

Outcome GetVariableCall(ServiceFaultsTest& T) {
  UINT8 Data[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  UINTN Size = sizeof Data;
  EFI_STATUS S = T.Table()->RuntimeServices->GetVariable(u"Probe", &ProbeGuid, nullptr, &Size, Data);
  return {S, Data[0] != 0xEE || Size != sizeof Data};
}

Outcome SetVariableCall(ServiceFaultsTest& T) {
  UINT8 Byte = T.NextByte++;
  EFI_STATUS S = T.Table()->RuntimeServices->SetVariable(u"Probe", &ProbeGuid, EFI_VARIABLE_BOOTSERVICE_ACCESS, 1, &Byte);
  auto* V = T.Mach().Variables().Find(u"Probe", ProbeGuid);
  return {S, V != nullptr && V->Data == std::vector<UINT8>{Byte}};
}

Outcome LocateProtocolCall(ServiceFaultsTest& T) {
  VOID* P = Sentinel;
  EFI_STATUS S = T.Table()->BootServices->LocateProtocol(&EFI_HII_STRING_PROTOCOL::Guid, nullptr, &P);
  return {S, P != Sentinel};
}

Outcome LocateHandleBufferCall(ServiceFaultsTest& T) {
  UINTN Count = 77;
  EFI_HANDLE* Buffer = nullptr;
  EFI_STATUS S = T.Table()->BootServices->LocateHandleBuffer(ByProtocol, &EFI_HII_STRING_PROTOCOL::Guid, nullptr,
                                                          &Count, &Buffer);
  bool Changed = Count != 77 || Buffer != nullptr;
  if (Buffer) T.Table()->BootServices->FreePool(Buffer);
  return {S, Changed};
}

Outcome HandleProtocolCall(ServiceFaultsTest& T) {
  VOID* P = Sentinel;
  EFI_STATUS S = T.Table()->BootServices->HandleProtocol(T.Mach().Hii().Database->Handle(), &EFI_HII_STRING_PROTOCOL::Guid, &P);
  return {S, P != Sentinel};
}

Outcome OpenProtocolCall(ServiceFaultsTest& T) {
  VOID* P = Sentinel;
  EFI_HANDLE H = T.Mach().Hii().Database->Handle();
  EFI_STATUS S = T.Table()->BootServices->OpenProtocol(H, &EFI_HII_STRING_PROTOCOL::Guid, &P, H, nullptr,
                                                    EFI_OPEN_PROTOCOL_GET_PROTOCOL);
  return {S, P != Sentinel};
}

EFI_HII_STRING_PROTOCOL* Strings(ServiceFaultsTest& T) {
  VOID* P = nullptr;
  T.Mach().Handles().LocateProtocol(&EFI_HII_STRING_PROTOCOL::Guid, nullptr, &P);
  return (EFI_HII_STRING_PROTOCOL*)P;
}

size_t StringCount(ServiceFaultsTest& T) { return T.Mach().Hii().Database->Find(T.List)->StringPackages[0].Strings.size(); }

Outcome NewStringCall(ServiceFaultsTest& T) {
  auto* P = Strings(T);
  size_t Before = StringCount(T);
  EFI_STRING_ID Id = 0;
  EFI_STATUS S = P->NewString(P, T.List, &Id, "en-US", nullptr, u"Added", nullptr);
  return {S, Id != 0 || StringCount(T) != Before};
}

Outcome GetStringCall(ServiceFaultsTest& T) {
  auto* P = Strings(T);
  CHAR16 Text[16] = {0xEEEE};
  UINTN Size = sizeof Text;
  EFI_STATUS S = P->GetString(P, "en-US", T.List, 1, Text, &Size, nullptr);
  return {S, Text[0] != 0xEEEE || Size != sizeof Text};
}

Outcome SetStringCall(ServiceFaultsTest& T) {
  auto* P = Strings(T);
  T.Toggle = !T.Toggle;
  const CHAR16* Want = T.Toggle ? u"Two" : u"Three";
  EFI_STATUS S = P->SetString(P, T.List, 1, "en-US", Want, nullptr);
  return {S, T.Mach().Hii().Database->Find(T.List)->StringPackages[0].Strings.at(1) == Want};
}

Outcome GetLanguagesCall(ServiceFaultsTest& T) {
  auto* P = Strings(T);
  CHAR8 Text[32];
  std::memset(Text, 0x7E, sizeof Text);
  UINTN Size = sizeof Text;
  EFI_STATUS S = P->GetLanguages(P, T.List, Text, &Size);
  return {S, Text[0] != 0x7E || Size != sizeof Text};
}

Outcome GetSecondaryLanguagesCall(ServiceFaultsTest& T) {
  auto* P = Strings(T);
  CHAR8 Text[32];
  std::memset(Text, 0x7E, sizeof Text);
  UINTN Size = sizeof Text;
  EFI_STATUS S = P->GetSecondaryLanguages(P, T.List, "en-US", Text, &Size);
  return {S, Text[0] != 0x7E || Size != sizeof Text};
}

constexpr EFI_STATUS Injected = EFI_NO_MEDIA;

TEST_P(ServiceFaultsTest, NthCallFailsOnceAndDoesNothing) {
  const ServiceCase& C = GetParam();
  size_t Start = F().Calls(C.Service);
  Outcome Plain = C.Call(*this);
  ASSERT_EQ(Plain.Status, EFI_SUCCESS);
  ASSERT_TRUE(Plain.Changed);

  F().FailNth(C.Service, 2, Injected);
  EXPECT_EQ(C.Call(*this).Status, EFI_SUCCESS);
  Outcome Failed = C.Call(*this);
  EXPECT_EQ(Failed.Status, Injected);
  EXPECT_FALSE(Failed.Changed);
  EXPECT_EQ(C.Call(*this).Status, EFI_SUCCESS);
  EXPECT_EQ(F().Calls(C.Service), Start + 4);
  EXPECT_EQ(F().Failures(C.Service), 1u);
}

TEST_P(ServiceFaultsTest, AlwaysFailsUntilCleared) {
  const ServiceCase& C = GetParam();
  F().FailAlways(C.Service);
  for (int I = 0; I < 3; ++I) {
    Outcome O = C.Call(*this);
    EXPECT_EQ(O.Status, EFI_DEVICE_ERROR);
    EXPECT_FALSE(O.Changed);
  }
  size_t Calls = F().Calls(C.Service);
  F().Clear();
  EXPECT_EQ(F().Calls(C.Service), Calls);
  Outcome After = C.Call(*this);
  EXPECT_EQ(After.Status, EFI_SUCCESS);
  EXPECT_TRUE(After.Changed);
}

// An armed service leaves every other one working.
TEST_P(ServiceFaultsTest, OtherServicesAreUnaffected) {
  const ServiceCase& C = GetParam();
  for (unsigned S = 0; S < (unsigned)FaultableService::Count; ++S)
    if ((FaultableService)S != C.Service) F().FailAlways((FaultableService)S, Injected);
  EXPECT_EQ(C.Call(*this).Status, EFI_SUCCESS);
  F().Clear();
}

INSTANTIATE_TEST_SUITE_P(
    Services, ServiceFaultsTest,
    ::testing::Values(ServiceCase{FaultableService::GetVariable, GetVariableCall},
                      ServiceCase{FaultableService::SetVariable, SetVariableCall},
                      ServiceCase{FaultableService::LocateProtocol, LocateProtocolCall},
                      ServiceCase{FaultableService::LocateHandleBuffer, LocateHandleBufferCall},
                      ServiceCase{FaultableService::HandleProtocol, HandleProtocolCall},
                      ServiceCase{FaultableService::OpenProtocol, OpenProtocolCall},
                      ServiceCase{FaultableService::HiiNewString, NewStringCall},
                      ServiceCase{FaultableService::HiiGetString, GetStringCall},
                      ServiceCase{FaultableService::HiiSetString, SetStringCall},
                      ServiceCase{FaultableService::HiiGetLanguages, GetLanguagesCall},
                      ServiceCase{FaultableService::HiiGetSecondaryLanguages, GetSecondaryLanguagesCall}),
    [](const ::testing::TestParamInfo<ServiceCase>& I) { return std::string(FaultableServiceName(I.param.Service)); });

TEST(ServiceFaultNames, RoundTripAndRejectNearMisses) {
  for (unsigned S = 0; S < (unsigned)FaultableService::Count; ++S) {
    std::string Name = sim::FaultableServiceName((FaultableService)S);
    ASSERT_FALSE(Name.empty());
    EXPECT_EQ(sim::FaultableServiceByName(Name), (FaultableService)S);
    for (auto& Ch : Name) Ch = (char)std::toupper((unsigned char)Ch);
    EXPECT_EQ(sim::FaultableServiceByName(Name), (FaultableService)S) << Name;
  }
  for (const char* Bad : {"", "GetVariabl", "GetVariables", " GetVariable", "Count", "NewString"})
    EXPECT_FALSE(sim::FaultableServiceByName(Bad).has_value()) << Bad;
}

// Several one-shot faults on one service; a one-shot's status wins over an always-fault's.
TEST(ServiceFaultArming, OneShotsStackAndOutrankAlways) {
  sim::ServiceFaults F;
  F.FailNth(FaultableService::GetVariable, 1, EFI_NOT_READY);
  F.FailNth(FaultableService::GetVariable, 3, EFI_TIMEOUT);
  F.FailNth(FaultableService::GetVariable, 0, EFI_ABORTED);  // arms nothing
  EXPECT_EQ(F.Enter(FaultableService::GetVariable), EFI_NOT_READY);
  EXPECT_EQ(F.Enter(FaultableService::GetVariable), std::nullopt);
  F.FailAlways(FaultableService::GetVariable, EFI_ACCESS_DENIED);
  EXPECT_EQ(F.Enter(FaultableService::GetVariable), EFI_TIMEOUT);
  EXPECT_EQ(F.Enter(FaultableService::GetVariable), EFI_ACCESS_DENIED);
  F.Clear();
  EXPECT_EQ(F.Enter(FaultableService::GetVariable), std::nullopt);
  EXPECT_EQ(F.Calls(FaultableService::GetVariable), 5u);
  EXPECT_EQ(F.Failures(FaultableService::GetVariable), 3u);
}

}  // namespace
