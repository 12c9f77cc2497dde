#include <vector>

#include "sim/machine_test.h"

namespace sim {
namespace {

constexpr EFI_GUID PROTO_A = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x01}};
constexpr EFI_GUID PROTO_B = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x02}};
constexpr EFI_GUID PROTO_C = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x03}};

class HandleTest : public MachineTest {
 protected:
  EFI_HANDLE NewHandleWith(const EFI_GUID& G, void* Iface) {
    EFI_HANDLE H = nullptr;
    EXPECT_EQ(BS()->InstallProtocolInterface(&H, &G, EFI_NATIVE_INTERFACE, Iface), EFI_SUCCESS);
    return H;
  }
  int IfaceA = 1, IfaceB = 2, IfaceC = 3;
};

struct NotifyLog {
  std::vector<EFI_EVENT> Events;
};
VOID EFIAPI RecordNotify(EFI_EVENT Event, VOID* Context) { ((NotifyLog*)Context)->Events.push_back(Event); }

TEST_F(HandleTest, InstallRulesAndLookups) {
  EFI_HANDLE H = NewHandleWith(PROTO_A, &IfaceA);
  ASSERT_NE(H, nullptr);
  // Same GUID twice on one handle is refused; an unknown handle is refused.
  EXPECT_EQ(BS()->InstallProtocolInterface(&H, &PROTO_A, EFI_NATIVE_INTERFACE, &IfaceB), EFI_INVALID_PARAMETER);
  EFI_HANDLE Bogus = &IfaceC;
  EXPECT_EQ(BS()->InstallProtocolInterface(&Bogus, &PROTO_B, EFI_NATIVE_INTERFACE, &IfaceB), EFI_INVALID_PARAMETER);
  EXPECT_EQ(BS()->InstallProtocolInterface(&H, &PROTO_B, EFI_NATIVE_INTERFACE, &IfaceB), EFI_SUCCESS);

  VOID* Got = nullptr;
  EXPECT_EQ(BS()->HandleProtocol(H, &PROTO_B, &Got), EFI_SUCCESS);
  EXPECT_EQ(Got, &IfaceB);
  EXPECT_EQ(BS()->HandleProtocol(H, &PROTO_C, &Got), EFI_UNSUPPORTED);
  EXPECT_EQ(Got, nullptr);
  EXPECT_EQ(BS()->LocateProtocol(&PROTO_A, nullptr, &Got), EFI_SUCCESS);
  EXPECT_EQ(Got, &IfaceA);
  EXPECT_EQ(BS()->LocateProtocol(&PROTO_C, nullptr, &Got), EFI_NOT_FOUND);

  EFI_GUID** Guids = nullptr;
  UINTN Count = 0;
  ASSERT_EQ(BS()->ProtocolsPerHandle(H, &Guids, &Count), EFI_SUCCESS);
  ASSERT_EQ(Count, 2u);
  EXPECT_EQ(*Guids[0], PROTO_A);
  EXPECT_EQ(*Guids[1], PROTO_B);
  BS()->FreePool(Guids);

  // The handle disappears with its last interface.
  EXPECT_EQ(BS()->UninstallProtocolInterface(H, &PROTO_A, &IfaceB), EFI_NOT_FOUND);
  EXPECT_EQ(BS()->UninstallProtocolInterface(H, &PROTO_A, &IfaceA), EFI_SUCCESS);
  EXPECT_EQ(BS()->UninstallProtocolInterface(H, &PROTO_B, &IfaceB), EFI_SUCCESS);
  EXPECT_FALSE(M().Handles().IsHandle(H));
  EXPECT_EQ(BS()->HandleProtocol(H, &PROTO_B, &Got), EFI_INVALID_PARAMETER);
}

TEST_F(HandleTest, LocateHandleReportsTheSizeItNeeds) {
  EFI_HANDLE H1 = NewHandleWith(PROTO_A, &IfaceA);
  EFI_HANDLE H2 = NewHandleWith(PROTO_A, &IfaceB);
  UINTN Size = 0;
  EXPECT_EQ(BS()->LocateHandle(ByProtocol, &PROTO_A, nullptr, &Size, nullptr), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ(Size, 2 * sizeof(EFI_HANDLE));
  EFI_HANDLE Buffer[2] = {};
  Size = sizeof(EFI_HANDLE);  // one short
  EXPECT_EQ(BS()->LocateHandle(ByProtocol, &PROTO_A, nullptr, &Size, Buffer), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ(Size, 2 * sizeof(EFI_HANDLE));
  EXPECT_EQ(BS()->LocateHandle(ByProtocol, &PROTO_A, nullptr, &Size, Buffer), EFI_SUCCESS);
  EXPECT_EQ(Buffer[0], H1);
  EXPECT_EQ(Buffer[1], H2);
  Size = 0;
  EXPECT_EQ(BS()->LocateHandle(ByProtocol, &PROTO_C, nullptr, &Size, nullptr), EFI_NOT_FOUND);
  EXPECT_EQ(BS()->LocateHandle(ByProtocol, nullptr, nullptr, &Size, nullptr), EFI_INVALID_PARAMETER);

  UINTN Count = 99;
  EFI_HANDLE* List = nullptr;
  ASSERT_EQ(BS()->LocateHandleBuffer(ByProtocol, &PROTO_A, nullptr, &Count, &List), EFI_SUCCESS);
  EXPECT_EQ(Count, 2u);
  EXPECT_EQ(List[1], H2);
  BS()->FreePool(List);
  EXPECT_EQ(BS()->LocateHandleBuffer(ByProtocol, &PROTO_C, nullptr, &Count, &List), EFI_NOT_FOUND);
  EXPECT_EQ(Count, 0u);
  EXPECT_EQ(List, nullptr);

  // AllHandles: every handle, in creation order, ours last.
  ASSERT_EQ(BS()->LocateHandleBuffer(AllHandles, nullptr, nullptr, &Count, &List), EFI_SUCCESS);
  EXPECT_EQ(Count, M().Handles().HandleCount());
  ASSERT_GE(Count, 5u);  // core image, two consoles, ours
  EXPECT_EQ(List[Count - 2], H1);
  EXPECT_EQ(List[Count - 1], H2);
  EXPECT_EQ(List[1], ST()->ConsoleOutHandle);
  BS()->FreePool(List);
}

TEST_F(HandleTest, ProtocolNotifyFiresOncePerInstallationAndNeverBefore) {
  NewHandleWith(PROTO_A, &IfaceA);  // before registration: must not count
  NotifyLog Log;
  EFI_EVENT Event;
  ASSERT_EQ(BS()->CreateEvent(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, RecordNotify, &Log, &Event), EFI_SUCCESS);
  VOID* Registration = nullptr;
  ASSERT_EQ(BS()->RegisterProtocolNotify(&PROTO_A, Event, &Registration), EFI_SUCCESS);
  EXPECT_TRUE(Log.Events.empty());
  VOID* Got = nullptr;
  EXPECT_EQ(BS()->LocateProtocol(&PROTO_A, Registration, &Got), EFI_NOT_FOUND);

  EFI_HANDLE H2 = NewHandleWith(PROTO_A, &IfaceB);
  EXPECT_EQ(Log.Events.size(), 1u);
  NewHandleWith(PROTO_B, &IfaceB);  // other protocol: no notify
  EXPECT_EQ(Log.Events.size(), 1u);
  NewHandleWith(PROTO_A, &IfaceC);
  EXPECT_EQ(Log.Events.size(), 2u);

  // The registration hands out each new interface once, in order.
  EXPECT_EQ(BS()->LocateProtocol(&PROTO_A, Registration, &Got), EFI_SUCCESS);
  EXPECT_EQ(Got, &IfaceB);
  EXPECT_EQ(BS()->LocateProtocol(&PROTO_A, Registration, &Got), EFI_SUCCESS);
  EXPECT_EQ(Got, &IfaceC);
  EXPECT_EQ(BS()->LocateProtocol(&PROTO_A, Registration, &Got), EFI_NOT_FOUND);

  // ByRegisterNotify gives one handle per call.
  int IfaceD = 4;
  EFI_HANDLE HD = NewHandleWith(PROTO_A, &IfaceD);
  EFI_HANDLE Buffer[4] = {};
  UINTN Size = sizeof Buffer;
  EXPECT_EQ(BS()->LocateHandle(ByRegisterNotify, nullptr, Registration, &Size, Buffer), EFI_SUCCESS);
  EXPECT_EQ(Size, sizeof(EFI_HANDLE));
  EXPECT_EQ(Buffer[0], HD);
  Size = sizeof Buffer;
  EXPECT_EQ(BS()->LocateHandle(ByRegisterNotify, nullptr, Registration, &Size, Buffer), EFI_NOT_FOUND);

  // Reinstalling counts as an installation.
  int IfaceE = 5;
  EXPECT_EQ(BS()->ReinstallProtocolInterface(H2, &PROTO_A, &IfaceB, &IfaceE), EFI_SUCCESS);
  EXPECT_EQ(Log.Events.size(), 4u);

  // A closed event's registration is gone: nothing fires any more.
  EXPECT_EQ(BS()->CloseEvent(Event), EFI_SUCCESS);
  NewHandleWith(PROTO_A, &IfaceA);
  EXPECT_EQ(Log.Events.size(), 4u);
}

TEST_F(HandleTest, InstallMultipleIsAllOrNothing) {
  EFI_HANDLE H = nullptr;
  ASSERT_EQ(BS()->InstallMultipleProtocolInterfaces(&H, &PROTO_A, &IfaceA, &PROTO_B, &IfaceB, nullptr), EFI_SUCCESS);
  ASSERT_NE(H, nullptr);
  EXPECT_EQ(M().Handles().InterfaceOn(H, PROTO_B), &IfaceB);

  // C is new but A is already there: nothing of the call stays installed.
  EXPECT_EQ(BS()->InstallMultipleProtocolInterfaces(&H, &PROTO_C, &IfaceC, &PROTO_A, &IfaceA, nullptr),
            EFI_INVALID_PARAMETER);
  EXPECT_EQ(M().Handles().InterfaceOn(H, PROTO_C), nullptr);
  EXPECT_EQ(M().Handles().InterfaceOn(H, PROTO_A), &IfaceA);

  // On a fresh handle a failure leaves no handle behind and *Handle null.
  size_t Before = M().Handles().HandleCount();
  EFI_HANDLE Fresh = nullptr;
  EXPECT_EQ(BS()->InstallMultipleProtocolInterfaces(&Fresh, &PROTO_C, &IfaceC, &PROTO_C, &IfaceC, nullptr),
            EFI_INVALID_PARAMETER);
  EXPECT_EQ(Fresh, nullptr);
  EXPECT_EQ(M().Handles().HandleCount(), Before);

  // Uninstall of a set with one wrong interface removes nothing.
  EXPECT_EQ(BS()->UninstallMultipleProtocolInterfaces(H, &PROTO_A, &IfaceA, &PROTO_B, &IfaceC, nullptr),
            EFI_INVALID_PARAMETER);
  EXPECT_EQ(M().Handles().InterfaceOn(H, PROTO_A), &IfaceA);
  EXPECT_EQ(M().Handles().InterfaceOn(H, PROTO_B), &IfaceB);
  // Even when the handle had vanished with its last interface, it comes back as it was.
  EXPECT_EQ(BS()->UninstallMultipleProtocolInterfaces(H, &PROTO_A, &IfaceA, &PROTO_B, &IfaceB, &PROTO_C, &IfaceC,
                                                      nullptr),
            EFI_INVALID_PARAMETER);
  EXPECT_TRUE(M().Handles().IsHandle(H));
  EXPECT_EQ(M().Handles().InterfaceOn(H, PROTO_A), &IfaceA);
  EXPECT_EQ(M().Handles().InterfaceOn(H, PROTO_B), &IfaceB);
  EXPECT_EQ(BS()->UninstallMultipleProtocolInterfaces(H, &PROTO_A, &IfaceA, &PROTO_B, &IfaceB, nullptr), EFI_SUCCESS);
  EXPECT_FALSE(M().Handles().IsHandle(H));
}

struct SeenAtNotify {
  bool BothInstalled = false;
  int Calls = 0;
};
VOID EFIAPI CheckBothInstalled(EFI_EVENT, VOID* Context) {
  auto* S = (SeenAtNotify*)Context;
  ++S->Calls;
  VOID* I = nullptr;
  S->BothInstalled = Machine::Current()->BootServices()->LocateProtocol(&PROTO_B, nullptr, &I) == EFI_SUCCESS;
}

TEST_F(HandleTest, InstallMultipleNotifiesAfterTheWholeSet) {
  SeenAtNotify Seen;
  EFI_EVENT Event;
  ASSERT_EQ(BS()->CreateEvent(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, CheckBothInstalled, &Seen, &Event), EFI_SUCCESS);
  VOID* Registration;
  ASSERT_EQ(BS()->RegisterProtocolNotify(&PROTO_A, Event, &Registration), EFI_SUCCESS);
  EFI_HANDLE H = nullptr;
  ASSERT_EQ(BS()->InstallMultipleProtocolInterfaces(&H, &PROTO_A, &IfaceA, &PROTO_B, &IfaceB, nullptr), EFI_SUCCESS);
  EXPECT_EQ(Seen.Calls, 1);
  EXPECT_TRUE(Seen.BothInstalled);
  BS()->CloseEvent(Event);
}

TEST_F(HandleTest, OpenProtocolRecordsAndExclusiveRules) {
  EFI_HANDLE Controller = NewHandleWith(PROTO_A, &IfaceA);
  EFI_HANDLE Driver1 = NewHandleWith(PROTO_B, &IfaceB);
  EFI_HANDLE Driver2 = NewHandleWith(PROTO_B, &IfaceC);
  VOID* Got = nullptr;

  EXPECT_EQ(BS()->OpenProtocol(Controller, &PROTO_A, &Got, Driver1, Controller, EFI_OPEN_PROTOCOL_GET_PROTOCOL),
            EFI_SUCCESS);
  EXPECT_EQ(Got, &IfaceA);
  EXPECT_EQ(BS()->OpenProtocol(Controller, &PROTO_A, &Got, Driver1, Controller, EFI_OPEN_PROTOCOL_GET_PROTOCOL),
            EFI_SUCCESS);
  EXPECT_EQ(BS()->OpenProtocol(Controller, &PROTO_A, nullptr, Driver1, Controller, EFI_OPEN_PROTOCOL_TEST_PROTOCOL),
            EFI_SUCCESS);
  EXPECT_EQ(BS()->OpenProtocol(Controller, &PROTO_C, nullptr, Driver1, Controller, EFI_OPEN_PROTOCOL_TEST_PROTOCOL),
            EFI_UNSUPPORTED);
  EXPECT_EQ(BS()->OpenProtocol(Controller, &PROTO_A, &Got, Driver1, Controller, EFI_OPEN_PROTOCOL_BY_DRIVER),
            EFI_SUCCESS);
  // Same driver again: already started, interface still given; another driver: denied.
  Got = nullptr;
  EXPECT_EQ(BS()->OpenProtocol(Controller, &PROTO_A, &Got, Driver1, Controller, EFI_OPEN_PROTOCOL_BY_DRIVER),
            EFI_ALREADY_STARTED);
  EXPECT_EQ(Got, &IfaceA);
  EXPECT_EQ(BS()->OpenProtocol(Controller, &PROTO_A, &Got, Driver2, Controller, EFI_OPEN_PROTOCOL_BY_DRIVER),
            EFI_ACCESS_DENIED);
  EXPECT_EQ(BS()->OpenProtocol(Controller, &PROTO_A, &Got, Driver1, Controller, 0x40), EFI_INVALID_PARAMETER);
  EXPECT_EQ(BS()->OpenProtocol(Controller, &PROTO_A, &Got, Driver1, Controller, EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER),
            EFI_INVALID_PARAMETER);  // a controller cannot be its own child

  EFI_OPEN_PROTOCOL_INFORMATION_ENTRY* Info = nullptr;
  UINTN Count = 0;
  ASSERT_EQ(BS()->OpenProtocolInformation(Controller, &PROTO_A, &Info, &Count), EFI_SUCCESS);
  // GET twice is one record with count 2; TEST once; BY_DRIVER once.
  ASSERT_EQ(Count, 3u);
  EXPECT_EQ(Info[0].AgentHandle, Driver1);
  EXPECT_EQ(Info[0].Attributes, EFI_OPEN_PROTOCOL_GET_PROTOCOL);
  EXPECT_EQ(Info[0].OpenCount, 2u);
  EXPECT_EQ(Info[1].Attributes, EFI_OPEN_PROTOCOL_TEST_PROTOCOL);
  EXPECT_EQ(Info[2].Attributes, EFI_OPEN_PROTOCOL_BY_DRIVER);
  EXPECT_EQ(Info[2].ControllerHandle, Controller);
  BS()->FreePool(Info);

  // Opened BY_DRIVER by a handle without a driver binding: it cannot be stopped, so it stays.
  EXPECT_EQ(BS()->UninstallProtocolInterface(Controller, &PROTO_A, &IfaceA), EFI_ACCESS_DENIED);
  EXPECT_EQ(M().Handles().InterfaceOn(Controller, PROTO_A), &IfaceA);

  // Closing drops every record of that agent/controller pair.
  EXPECT_EQ(BS()->CloseProtocol(Controller, &PROTO_A, Driver1, Controller), EFI_SUCCESS);
  EXPECT_EQ(BS()->CloseProtocol(Controller, &PROTO_A, Driver1, Controller), EFI_NOT_FOUND);
  ASSERT_EQ(BS()->OpenProtocolInformation(Controller, &PROTO_A, &Info, &Count), EFI_SUCCESS);
  EXPECT_EQ(Count, 0u);
  BS()->FreePool(Info);
  EXPECT_EQ(BS()->UninstallProtocolInterface(Controller, &PROTO_A, &IfaceA), EFI_SUCCESS);
}

TEST_F(HandleTest, ExclusiveOpenKeepsOthersOut) {
  EFI_HANDLE Controller = NewHandleWith(PROTO_A, &IfaceA);
  EFI_HANDLE App1 = NewHandleWith(PROTO_B, &IfaceB);
  EFI_HANDLE App2 = NewHandleWith(PROTO_B, &IfaceC);
  VOID* Got = nullptr;
  EXPECT_EQ(BS()->OpenProtocol(Controller, &PROTO_A, &Got, App1, nullptr, EFI_OPEN_PROTOCOL_EXCLUSIVE), EFI_SUCCESS);
  EXPECT_EQ(BS()->OpenProtocol(Controller, &PROTO_A, &Got, App2, nullptr, EFI_OPEN_PROTOCOL_EXCLUSIVE),
            EFI_ACCESS_DENIED);
  EXPECT_EQ(BS()->OpenProtocol(Controller, &PROTO_A, &Got, App2, Controller, EFI_OPEN_PROTOCOL_BY_DRIVER),
            EFI_ACCESS_DENIED);
  // Plain look-ups still work.
  EXPECT_EQ(BS()->OpenProtocol(Controller, &PROTO_A, &Got, App2, nullptr, EFI_OPEN_PROTOCOL_GET_PROTOCOL),
            EFI_SUCCESS);
  EXPECT_EQ(Got, &IfaceA);
  EXPECT_EQ(BS()->OpenProtocol(Controller, &PROTO_A, &Got, nullptr, nullptr, EFI_OPEN_PROTOCOL_EXCLUSIVE),
            EFI_INVALID_PARAMETER);  // exclusive needs an agent
  EXPECT_EQ(BS()->CloseProtocol(Controller, &PROTO_A, App1, nullptr), EFI_SUCCESS);
  EXPECT_EQ(BS()->OpenProtocol(Controller, &PROTO_A, &Got, App2, nullptr, EFI_OPEN_PROTOCOL_EXCLUSIVE), EFI_SUCCESS);
  BS()->CloseProtocol(Controller, &PROTO_A, App2, nullptr);
}

// A driver that manages controllers carrying PROTO_A and makes one child each.
struct TestDriver {
  DriverBindingInterface Binding;
  EFI_HANDLE Child = nullptr;
  int Child0 = 0;
  int Starts = 0, Stops = 0;
  bool RefuseStop = false;
  VOID* TakeAwayOnStop = nullptr;  // the controller's PROTO_A interface, removed by Stop itself
};

TestDriver* gDriver = nullptr;

EFI_STATUS EFIAPI DriverSupported(DriverBindingInterface* This, EFI_HANDLE Controller, EFI_DEVICE_PATH_PROTOCOL*) {
  auto* BS = Machine::Current()->BootServices();
  return BS->OpenProtocol(Controller, &PROTO_A, nullptr, This->DriverBindingHandle, Controller,
                          EFI_OPEN_PROTOCOL_TEST_PROTOCOL);
}
EFI_STATUS EFIAPI DriverStart(DriverBindingInterface* This, EFI_HANDLE Controller, EFI_DEVICE_PATH_PROTOCOL*) {
  auto* BS = Machine::Current()->BootServices();
  VOID* I;
  EFI_STATUS S = BS->OpenProtocol(Controller, &PROTO_A, &I, This->DriverBindingHandle, Controller,
                                  EFI_OPEN_PROTOCOL_BY_DRIVER);
  if (EFI_ERROR(S)) return S;
  ++gDriver->Starts;
  BS->InstallProtocolInterface(&gDriver->Child, &PROTO_C, EFI_NATIVE_INTERFACE, &gDriver->Child0);
  BS->OpenProtocol(Controller, &PROTO_A, &I, This->DriverBindingHandle, gDriver->Child,
                   EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER);
  return EFI_SUCCESS;
}
EFI_STATUS EFIAPI DriverStop(DriverBindingInterface* This, EFI_HANDLE Controller, UINTN Children, EFI_HANDLE* List) {
  auto* BS = Machine::Current()->BootServices();
  if (gDriver->RefuseStop) return EFI_DEVICE_ERROR;
  ++gDriver->Stops;
  for (UINTN I = 0; I < Children; ++I) {
    BS->CloseProtocol(Controller, &PROTO_A, This->DriverBindingHandle, List[I]);
    BS->UninstallProtocolInterface(List[I], &PROTO_C, &gDriver->Child0);
    gDriver->Child = nullptr;
  }
  if (Children == 0) BS->CloseProtocol(Controller, &PROTO_A, This->DriverBindingHandle, Controller);
  if (Children == 0 && gDriver->TakeAwayOnStop)
    BS->UninstallProtocolInterface(Controller, &PROTO_A, gDriver->TakeAwayOnStop);
  return EFI_SUCCESS;
}

// Puts Driver's binding on a new handle and makes it the driver the callbacks above act for.
EFI_HANDLE InstallTestDriver(EFI_BOOT_SERVICES* BS, TestDriver& Driver) {
  gDriver = &Driver;
  Driver.Binding = DriverBindingInterface{DriverSupported, DriverStart, DriverStop, 0x10, nullptr, nullptr};
  EFI_HANDLE Handle = nullptr;
  if (EFI_ERROR(BS->InstallProtocolInterface(&Handle, &DriverBindingInterface::Guid, EFI_NATIVE_INTERFACE,
                                             &Driver.Binding)))
    return nullptr;
  Driver.Binding.ImageHandle = Driver.Binding.DriverBindingHandle = Handle;
  return Handle;
}

TEST_F(HandleTest, ConnectStartsDriversAndUninstallStopsThem) {
  TestDriver Driver;
  EFI_HANDLE DriverHandle = InstallTestDriver(BS(), Driver);
  ASSERT_NE(DriverHandle, nullptr);

  EFI_HANDLE Unrelated = NewHandleWith(PROTO_B, &IfaceB);
  EXPECT_EQ(BS()->ConnectController(Unrelated, nullptr, nullptr, FALSE), EFI_NOT_FOUND);
  EFI_HANDLE Controller = NewHandleWith(PROTO_A, &IfaceA);
  EXPECT_EQ(BS()->ConnectController(Controller, nullptr, nullptr, FALSE), EFI_SUCCESS);
  EXPECT_EQ(Driver.Starts, 1);
  ASSERT_NE(Driver.Child, nullptr);

  // A driver that will not stop keeps the protocol installed.
  Driver.RefuseStop = true;
  EXPECT_EQ(BS()->UninstallProtocolInterface(Controller, &PROTO_A, &IfaceA), EFI_ACCESS_DENIED);
  Driver.RefuseStop = false;
  EXPECT_EQ(BS()->UninstallProtocolInterface(Controller, &PROTO_A, &IfaceA), EFI_SUCCESS);
  EXPECT_EQ(Driver.Stops, 2);  // children, then the controller
  EXPECT_EQ(Driver.Child, nullptr);
  BS()->UninstallProtocolInterface(DriverHandle, &DriverBindingInterface::Guid, &Driver.Binding);
  gDriver = nullptr;
}

TEST_F(HandleTest, AStopThatRemovesTheInterfaceItselfLeavesItRemoved) {
  TestDriver Driver;
  EFI_HANDLE DriverHandle = InstallTestDriver(BS(), Driver);
  ASSERT_NE(DriverHandle, nullptr);
  EFI_HANDLE Controller = NewHandleWith(PROTO_A, &IfaceA);
  ASSERT_EQ(BS()->InstallProtocolInterface(&Controller, &PROTO_B, EFI_NATIVE_INTERFACE, &IfaceB), EFI_SUCCESS);
  ASSERT_EQ(BS()->ConnectController(Controller, nullptr, nullptr, FALSE), EFI_SUCCESS);

  // The outer uninstall finds its interface gone once the drivers have stopped.
  Driver.TakeAwayOnStop = &IfaceA;
  EXPECT_TRUE(EFI_ERROR(BS()->UninstallProtocolInterface(Controller, &PROTO_A, &IfaceA)));
  EXPECT_EQ(M().Handles().InterfaceOn(Controller, PROTO_A), nullptr);
  EXPECT_EQ(M().Handles().InterfaceOn(Controller, PROTO_B), &IfaceB);
  EXPECT_EQ(Driver.Child, nullptr);
  BS()->UninstallProtocolInterface(Controller, &PROTO_B, &IfaceB);
  BS()->UninstallProtocolInterface(DriverHandle, &DriverBindingInterface::Guid, &Driver.Binding);
  gDriver = nullptr;
}

TEST_F(HandleTest, LocateDevicePathFindsTheLongestPrefix) {
  // PCI root (ACPI node) / PCI 1F.2 / end, and the root alone.
  const UINT8 Root[] = {0x02, 0x01, 0x0C, 0x00, 0xD0, 0x41, 0x03, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x7F, 0xFF, 0x04, 0x00};
  const UINT8 Sata[] = {0x02, 0x01, 0x0C, 0x00, 0xD0, 0x41, 0x03, 0x0A, 0x00, 0x00, 0x00, 0x00,
                        0x01, 0x01, 0x06, 0x00, 0x02, 0x1F, 0x7F, 0xFF, 0x04, 0x00};
  const UINT8 Disk[] = {0x02, 0x01, 0x0C, 0x00, 0xD0, 0x41, 0x03, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x01, 0x01,
                        0x06, 0x00, 0x02, 0x1F, 0x03, 0x12, 0x0A, 0x00, 0x01, 0x00, 0xFF, 0xFF, 0x00, 0x00,
                        0x7F, 0xFF, 0x04, 0x00};
  EFI_HANDLE RootHandle = nullptr, SataHandle = nullptr;
  ASSERT_EQ(BS()->InstallMultipleProtocolInterfaces(&RootHandle, &EFI_DEVICE_PATH_PROTOCOL::Guid, (void*)Root,
                                                    &PROTO_A, &IfaceA, nullptr),
            EFI_SUCCESS);
  ASSERT_EQ(BS()->InstallMultipleProtocolInterfaces(&SataHandle, &EFI_DEVICE_PATH_PROTOCOL::Guid, (void*)Sata,
                                                    &PROTO_A, &IfaceB, nullptr),
            EFI_SUCCESS);
  auto* Path = (EFI_DEVICE_PATH_PROTOCOL*)Disk;
  EFI_HANDLE Found = nullptr;
  ASSERT_EQ(BS()->LocateDevicePath(&PROTO_A, &Path, &Found), EFI_SUCCESS);
  EXPECT_EQ(Found, SataHandle);
  EXPECT_EQ((const UINT8*)Path, Disk + 18);  // at the SATA node that remains
  Path = (EFI_DEVICE_PATH_PROTOCOL*)Disk;
  EXPECT_EQ(BS()->LocateDevicePath(&PROTO_C, &Path, &Found), EFI_NOT_FOUND);

  // The same device path may not be installed on a second handle.
  EFI_HANDLE Dup = nullptr;
  EXPECT_EQ(BS()->InstallMultipleProtocolInterfaces(&Dup, &EFI_DEVICE_PATH_PROTOCOL::Guid, (void*)Sata, nullptr),
            EFI_ALREADY_STARTED);
  EXPECT_EQ(Dup, nullptr);
}

}  // namespace
}  // namespace sim
