#include "sim/peers/driver_model_peers.h"

#include <vector>

#include "sim/machine_test.h"

namespace sim {
namespace {

constexpr EFI_GUID CHILD_MARK = {0x7E57C41D, 0x0001, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x01}};
constexpr EFI_GUID OTHER_PROTOCOL = {0x7E57C41D, 0x0002, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x02}};

std::vector<EFI_OPEN_PROTOCOL_INFORMATION_ENTRY> Opens(EFI_BOOT_SERVICES* Bs, EFI_HANDLE H, const EFI_GUID& G) {
  EFI_OPEN_PROTOCOL_INFORMATION_ENTRY* Entries = nullptr;
  UINTN Count = 0;
  std::vector<EFI_OPEN_PROTOCOL_INFORMATION_ENTRY> Out;
  if (EFI_ERROR(Bs->OpenProtocolInformation(H, &G, &Entries, &Count))) return Out;
  Out.assign(Entries, Entries + Count);
  Bs->FreePool(Entries);
  return Out;
}

class DriverModelPeerTest : public MachineTest {};

TEST_F(DriverModelPeerTest, PciIoReadsTheBoardsConfigurationSpaceAndReportsItsLocation) {
  PciControllerPeer Graphics(M().Board(), 0, 0, 2, 0);
  ASSERT_EQ(Graphics.Install(BS()), EFI_SUCCESS);

  VOID* Got = nullptr;
  ASSERT_EQ(BS()->HandleProtocol(Graphics.Handle(), &EFI_PCI_IO_PROTOCOL::Guid, &Got), EFI_SUCCESS);
  auto* PciIo = (EFI_PCI_IO_PROTOCOL*)Got;
  UINT16 Ids[2] = {};
  ASSERT_EQ(PciIo->Pci.Read(PciIo, EfiPciIoWidthUint16, 0, 2, Ids), EFI_SUCCESS);
  EXPECT_EQ(Ids[0], M().Board().PciRead(0, 2, 0, 0, 2));
  EXPECT_EQ(Ids[1], M().Board().PciRead(0, 2, 0, 2, 2));

  // A write lands in the same space the chipset access reads.
  UINT8 Value = 0x5A;
  ASSERT_EQ(PciIo->Pci.Write(PciIo, EfiPciIoWidthUint8, 0x70, 1, &Value), EFI_SUCCESS);
  EXPECT_EQ(M().Board().PciRead(0, 2, 0, 0x70, 1), 0x5Au);

  // Past the end of configuration space and the fill widths are refused.
  UINT32 Wide = 0xAAAAAAAA;
  EXPECT_EQ(PciIo->Pci.Read(PciIo, EfiPciIoWidthUint32, 4094, 1, &Wide), EFI_UNSUPPORTED);
  EXPECT_EQ(PciIo->Pci.Read(PciIo, EfiPciIoWidthFillUint8, 0, 1, &Wide), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Wide, 0xAAAAAAAAu);

  // A scripted failure copies nothing.
  Graphics.ConfigStatus = EFI_DEVICE_ERROR;
  UINT8 Class = 0xEE;
  EXPECT_EQ(PciIo->Pci.Read(PciIo, EfiPciIoWidthUint8, 0x0B, 1, &Class), EFI_DEVICE_ERROR);
  EXPECT_EQ(Class, 0xEE);

  UINTN Seg = 9, Bus = 9, Dev = 9, Fn = 9;
  ASSERT_EQ(PciIo->GetLocation(PciIo, &Seg, &Bus, &Dev, &Fn), EFI_SUCCESS);
  EXPECT_EQ(Seg, 0u);
  EXPECT_EQ(Bus, 0u);
  EXPECT_EQ(Dev, 2u);
  EXPECT_EQ(Fn, 0u);
  Graphics.LocationStatus = EFI_DEVICE_ERROR;
  Bus = 0x77;
  EXPECT_EQ(PciIo->GetLocation(PciIo, &Seg, &Bus, &Dev, &Fn), EFI_DEVICE_ERROR);
  EXPECT_EQ(Bus, 0x77u);

  // The handle's path is Acpi(PNP0A03,0)/Pci(0x2,0x0)/End.
  ASSERT_EQ(BS()->HandleProtocol(Graphics.Handle(), &EFI_DEVICE_PATH_PROTOCOL::Guid, &Got), EFI_SUCCESS);
  const std::vector<uint8_t> Expected = {2, 1, 12, 0, 0xD0, 0x41, 0x03, 0x0A, 0, 0, 0, 0,
                                         1, 1, 6,  0, 0,    2,    0x7F, 0xFF, 4, 0};
  EXPECT_EQ(std::vector<uint8_t>((UINT8*)Got, (UINT8*)Got + Expected.size()), Expected);
}

TEST_F(DriverModelPeerTest, DriverManagesControllersAndMakesChildrenWithRecordsAndPaths) {
  PciControllerPeer Controller(M().Board(), 0, 0, 2, 0);
  ASSERT_EQ(Controller.Install(BS()), EFI_SUCCESS);
  DriverPeer Driver({});
  ASSERT_EQ(Driver.Install(BS()), EFI_SUCCESS);
  ASSERT_EQ(Driver.Manage(Controller.Handle(), EFI_PCI_IO_PROTOCOL::Guid), EFI_SUCCESS);

  int Mark = 0;
  const std::vector<uint8_t> AdrNode = {2, 8, 8, 0, 0x00, 0x01, 0x00, 0x80};  // Acpi _ADR
  EFI_HANDLE Output = Driver.AddChild(Controller.Handle(), EFI_PCI_IO_PROTOCOL::Guid, AdrNode, {{&CHILD_MARK, &Mark}});
  ASSERT_NE(Output, nullptr);
  // A grandchild hangs off the child's own protocol, with no path of its own.
  EFI_HANDLE Grandchild = Driver.AddChild(Output, CHILD_MARK, {}, {{&OTHER_PROTOCOL, &Mark}});
  ASSERT_NE(Grandchild, nullptr);

  auto OnController = Opens(BS(), Controller.Handle(), EFI_PCI_IO_PROTOCOL::Guid);
  ASSERT_EQ(OnController.size(), 2u);
  EXPECT_EQ(OnController[0].AgentHandle, Driver.Handle());
  EXPECT_EQ(OnController[0].ControllerHandle, Controller.Handle());
  EXPECT_EQ(OnController[0].Attributes, EFI_OPEN_PROTOCOL_BY_DRIVER);
  EXPECT_EQ(OnController[1].AgentHandle, Driver.Handle());
  EXPECT_EQ(OnController[1].ControllerHandle, Output);
  EXPECT_EQ(OnController[1].Attributes, EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER);
  auto OnOutput = Opens(BS(), Output, CHILD_MARK);
  ASSERT_EQ(OnOutput.size(), 1u);
  EXPECT_EQ(OnOutput[0].ControllerHandle, Grandchild);
  EXPECT_EQ(OnOutput[0].Attributes, EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER);

  // The child's path is the controller's with the node before the end.
  VOID* Path = nullptr;
  ASSERT_EQ(BS()->HandleProtocol(Output, &EFI_DEVICE_PATH_PROTOCOL::Guid, &Path), EFI_SUCCESS);
  std::vector<uint8_t> Expected = AppendDevicePathNode(Controller.DevicePath(), AdrNode);
  EXPECT_EQ(Expected.size(), Controller.DevicePath().size() + AdrNode.size());
  EXPECT_EQ(std::vector<uint8_t>((UINT8*)Path, (UINT8*)Path + Expected.size()), Expected);
  ASSERT_NE(Driver.ChildPath(Output), nullptr);
  EXPECT_EQ(*Driver.ChildPath(Output), Expected);
  EXPECT_EQ(BS()->HandleProtocol(Grandchild, &EFI_DEVICE_PATH_PROTOCOL::Guid, &Path), EFI_UNSUPPORTED);

  // A connect with a remaining path reaches the driver's hooks.
  std::vector<uint8_t> Seen;
  Driver.OnSupported = [&](EFI_HANDLE C, EFI_DEVICE_PATH_PROTOCOL*) {
    return C == Controller.Handle() ? EFI_SUCCESS : EFI_UNSUPPORTED;
  };
  Driver.OnStart = [&](EFI_HANDLE, EFI_DEVICE_PATH_PROTOCOL* Remaining) {
    Seen.assign((UINT8*)Remaining, (UINT8*)Remaining + 8);
    return EFI_SUCCESS;
  };
  auto* Remaining = (EFI_DEVICE_PATH_PROTOCOL*)(Expected.data() + Controller.DevicePath().size() - 4);
  EXPECT_EQ(BS()->ConnectController(Controller.Handle(), nullptr, Remaining, true), EFI_SUCCESS);
  EXPECT_EQ(Seen, AdrNode);
  EXPECT_EQ(Driver.StartCalls, 1u);
}

TEST_F(DriverModelPeerTest, NamesAnswerOnlyInEachProtocolsOwnLanguages) {
  DriverPeer::Options O;
  O.ComponentName = true;
  O.Languages2 = "fr-FR;en-US";
  O.Languages = "fraeng";
  DriverPeer Driver(O);
  ASSERT_EQ(Driver.Install(BS()), EFI_SUCCESS);
  int Dummy = 0;
  EFI_HANDLE Controller = nullptr;
  ASSERT_EQ(BS()->InstallProtocolInterface(&Controller, &OTHER_PROTOCOL, EFI_NATIVE_INTERFACE, &Dummy), EFI_SUCCESS);
  Driver.SetDriverName("en-US", u"Display Driver");
  Driver.SetDriverName("eng", u"Display Driver (old)");
  Driver.SetControllerName(Controller, nullptr, "en-US", u"Adapter");

  VOID* Got = nullptr;
  ASSERT_EQ(BS()->HandleProtocol(Driver.Handle(), &EFI_COMPONENT_NAME2_PROTOCOL::Guid, &Got), EFI_SUCCESS);
  auto* Name2 = (EFI_COMPONENT_NAME2_PROTOCOL*)Got;
  EXPECT_STREQ((const char*)Name2->SupportedLanguages, "fr-FR;en-US");
  ASSERT_EQ(BS()->HandleProtocol(Driver.Handle(), &EFI_COMPONENT_NAME_PROTOCOL::Guid, &Got), EFI_SUCCESS);
  auto* Name1 = (EFI_COMPONENT_NAME_PROTOCOL*)Got;

  CHAR16* Name = nullptr;
  ASSERT_EQ(Name2->GetDriverName(Name2, (const CHAR8*)"en-US", &Name), EFI_SUCCESS);
  EXPECT_EQ(std::u16string((char16_t*)Name), u"Display Driver");
  // "en" is a prefix of a listed code, not a listed code; "eng" belongs to the older protocol.
  EXPECT_EQ(Name2->GetDriverName(Name2, (const CHAR8*)"en", &Name), EFI_UNSUPPORTED);
  EXPECT_EQ(Name2->GetDriverName(Name2, (const CHAR8*)"eng", &Name), EFI_UNSUPPORTED);
  ASSERT_EQ(Name1->GetDriverName(Name1, (const CHAR8*)"eng", &Name), EFI_SUCCESS);
  EXPECT_EQ(std::u16string((char16_t*)Name), u"Display Driver (old)");
  EXPECT_EQ(Name1->GetDriverName(Name1, (const CHAR8*)"en-US", &Name), EFI_UNSUPPORTED);
  // A listed language with no name in it, and a child never named.
  EXPECT_EQ(Name2->GetDriverName(Name2, (const CHAR8*)"fr-FR", &Name), EFI_UNSUPPORTED);
  ASSERT_EQ(Name2->GetControllerName(Name2, Controller, nullptr, (const CHAR8*)"en-US", &Name), EFI_SUCCESS);
  EXPECT_EQ(std::u16string((char16_t*)Name), u"Adapter");
  EXPECT_EQ(Name2->GetControllerName(Name2, Controller, Driver.Handle(), (const CHAR8*)"en-US", &Name),
            EFI_UNSUPPORTED);

  Driver.NameStatus = EFI_DEVICE_ERROR;
  EXPECT_EQ(Name2->GetControllerName(Name2, Controller, nullptr, (const CHAR8*)"en-US", &Name), EFI_DEVICE_ERROR);
  ASSERT_FALSE(Driver.NameCalls.empty());
  EXPECT_EQ(Driver.NameCalls.back(), std::make_pair(std::string("en-US"), false));
}

TEST_F(DriverModelPeerTest, LeftOutProtocolsAreAbsentFromTheDriversHandle) {
  DriverPeer::Options O;
  O.Binding = false;
  O.ComponentName2 = false;
  DriverPeer Driver(O);
  ASSERT_EQ(Driver.Install(BS()), EFI_SUCCESS);
  VOID* Got = nullptr;
  EXPECT_EQ(BS()->HandleProtocol(Driver.Handle(), &EFI_DRIVER_BINDING_PROTOCOL::Guid, &Got), EFI_UNSUPPORTED);
  EXPECT_EQ(BS()->HandleProtocol(Driver.Handle(), &EFI_COMPONENT_NAME2_PROTOCOL::Guid, &Got), EFI_UNSUPPORTED);
  EXPECT_EQ(BS()->HandleProtocol(Driver.Handle(), &EFI_COMPONENT_NAME_PROTOCOL::Guid, &Got), EFI_UNSUPPORTED);
  // Still an image in the database, so a walk over all handles finds it.
  EXPECT_TRUE(M().Handles().IsHandle(Driver.Handle()));
}

}  // namespace
}  // namespace sim
