#include <cstdio>
#include <fstream>
#include <string>

#include "sim/board_profile.h"
#include "sim/machine_test.h"

namespace sim {
namespace {

std::string Error(const std::string& Json) {
  BoardProfile P;
  P.Name = "untouched";
  std::string E;
  EXPECT_FALSE(ParseBoardProfile(Json, "test.json", P, E)) << Json;
  EXPECT_EQ(P.Name, "untouched");  // a failed read leaves the profile alone
  return E;
}

const char* FIRMWARE = R"("firmware": {"vendor": "V", "revision": 1})";

std::string With(const std::string& Rest) { return std::string("{") + FIRMWARE + (Rest.empty() ? "" : ", " + Rest) + "}"; }

TEST(BoardProfile, ErrorsNameTheFileThePathAndTheReason) {
  EXPECT_EQ(Error(With(R"("colour": 1)")), "test.json: $.colour: unknown field");
  EXPECT_EQ(Error(R"({"name": "x"})"), "test.json: $.firmware: missing required field");
  EXPECT_EQ(Error(With(R"("pci": [{"bus": 0, "device": 32, "function": 0}])")),
            "test.json: $.pci[0].device: value 0x20 is out of range (0 to 0x1F)");
  EXPECT_EQ(Error(With(R"("pci": [{"bus": 0, "device": 1, "function": 0, "config": [{"offset": 4094, "dword": 1}]}])")),
            "test.json: $.pci[0].config[0]: ends at 0x1002, past the end of the space (0x1000)");
  EXPECT_EQ(Error(With(R"("pci": [{"bus": 0, "device": 1, "function": 0, "config": [{"offset": 0, "word": 1, "byte": 2}]}])")),
            "test.json: $.pci[0].config[0]: needs exactly one of byte, word, dword, qword, bytes");
  EXPECT_EQ(Error(With(R"("pci": {"bus": 0})")), "test.json: $.pci: expected an array");
  EXPECT_EQ(Error(With(R"("superio": {"globals": {"0x30": 1}})")),
            "test.json: $.superio.globals.0x30: register 0x30 is out of range (0x0 to 0x2F)");
  EXPECT_EQ(Error(With(R"("hwmon": {"banks": [{"bank": 0, "registers": {"0x20": "hot"}}]})")),
            "test.json: $.hwmon.banks[0].registers.0x20: expected an integer");
  EXPECT_EQ(Error(With(R"("processor": {"caches": [{"level": 1, "type": 0, "sizeKb": 32, "length": 4294967295}]})")),
            "test.json: $.processor.caches[0].length: value 0xFFFFFFFF is out of range (0 to 0x1000)");
  EXPECT_EQ(Error(With(R"("hwmon": {"bankMask": -1})")),
            "test.json: $.hwmon.bankMask: value -1 is out of range (0 to 0xFF)");
  EXPECT_EQ(Error(With(R"("variables": [{"name": "X", "guid": "nope", "attributes": 3, "data": "00"}])")),
            "test.json: $.variables[0].guid: expected a GUID like 8BE4DF61-93CA-11D2-AA0D-00E098032B8C");
  EXPECT_EQ(Error(With(R"("variables": [{"name": "X", "guid": "8BE4DF61-93CA-11D2-AA0D-00E098032B8C", "attributes": 4, "data": "00"}])")),
            "test.json: $.variables[0].attributes: runtime access needs boot-service access");
  EXPECT_EQ(Error(With(R"("variables": [{"name": "X", "guid": "8BE4DF61-93CA-11D2-AA0D-00E098032B8C", "attributes": 3, "data": "0"}])")),
            "test.json: $.variables[0].data: odd number of hexadecimal digits");
  EXPECT_EQ(Error(With(R"("update": {"modelName": "M", "serverReply": "", "nameTable": [{"name": "a"}]})")),
            "test.json: $.update.nameTable[0]: needs exactly one of alias, address");
  EXPECT_EQ(Error(With(R"("update": {"modelName": "M", "serverReply": "", "nameTable": [{"name": "a", "address": "1.2.3.256"}]})")),
            "test.json: $.update.nameTable[0].address: expected a dotted IPv4 address like 192.0.2.10");
  EXPECT_EQ(Error(With(R"("update": {"modelName": "M", "serverReply": "", "replyLengths": [1, 2]})")),
            "test.json: $.update.replyLengths: expected an array of three lengths [first, second, total]");
  EXPECT_EQ(Error("{\"firmware\": "), "test.json: $: not valid JSON (at byte 14)");
}

TEST(BoardProfile, ReadsEveryFormOfValue) {
  const std::string Json = With(R"(
    "msrs": {"0xCE": "0x0000080030012300", "410": 7},
    "cpu": {"cpuid": [{"leaf": 1, "eax": "0x306C3"}, {"leaf": 4, "subleaf": 1, "ebx": 5}]},
    "superio": {"present": false, "devices": [{"ldn": 11, "registers": {"0x60": "0x02"}}]},
    "legacyArea": [{"offset": "0xFFF5", "bytes": [49, 50]}, {"offset": 0, "qword": "0x0102030405060708"}],
    "hobs": [{"guid": "A1B2C3D4-1111-2222-0102-030405060708", "data": "DE AD be ef"}],
    "variables": [{"name": "Net", "guid": "8F132913-6907-4192-A227-6CBCD7A50E6C", "attributes": 7,
                   "data": {"size": 8, "fill": 255, "set": [{"offset": 5, "byte": 0}]}}],
    "update": {"modelName": "M", "serverReply": "R", "replyLengths": [1, 2, 3], "transportStatus": "0x8000000000000012",
               "nameTable": [{"name": "a.example", "alias": "b.example"}, {"name": "b.example", "address": "192.0.2.7"}]})");
  BoardProfile P;
  std::string E;
  ASSERT_TRUE(ParseBoardProfile(Json, "t.json", P, E)) << E;
  EXPECT_EQ(P.Msrs.at(0xCE), 0x0000080030012300ull);
  EXPECT_EQ(P.Msrs.at(410), 7u);
  ASSERT_EQ(P.Cpuid.size(), 2u);
  EXPECT_FALSE(P.Cpuid[0].Subleaf.has_value());
  EXPECT_EQ(P.Cpuid[1].Regs[1], 5u);
  EXPECT_FALSE(P.SuperIo.Present);
  EXPECT_EQ(P.SuperIo.Devices[0].Registers.at(0x60), 2);
  EXPECT_EQ(P.LegacyArea[1].Bytes, (std::vector<uint8_t>{8, 7, 6, 5, 4, 3, 2, 1}));
  EXPECT_EQ(P.Hobs[0].Data, (std::vector<uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));
  EXPECT_EQ(GuidText(P.Hobs[0].Guid), "A1B2C3D4-1111-2222-0102-030405060708");
  EXPECT_EQ(P.Variables[0].Data, (std::vector<uint8_t>{255, 255, 255, 255, 255, 0, 255, 255}));
  EXPECT_EQ(P.Update.ReplyLengths, (std::array<uint32_t, 3>{1, 2, 3}));
  EXPECT_EQ(P.Update.TransportStatus, EFI_TIMEOUT);
  EXPECT_EQ(P.Update.NameTable[0].Alias, "b.example");
  EXPECT_EQ(P.Update.NameTable[1].Address, (std::array<uint8_t, 4>{192, 0, 2, 7}));
}

TEST(BoardProfile, LoadsFromAFileAndNamesItInErrors) {
  std::string Path = ::testing::TempDir() + "board_profile_test.json";
  {
    std::ofstream Out(Path);
    Out << With(R"("mmio": [{"offset": "0x8000", "byte": 1}])");
  }
  BoardProfile P;
  std::string E;
  EXPECT_FALSE(LoadBoardProfile(Path, P, E));
  EXPECT_EQ(E, Path + ": $.mmio[0].offset: value 0x8000 is out of range (0 to 0x7FFF)");
  EXPECT_FALSE(LoadBoardProfile(Path + ".missing", P, E));
  EXPECT_EQ(E, Path + ".missing: cannot be read");
  std::remove(Path.c_str());
}

TEST(BoardProfile, HubAndSataDrivesAreCheckedAndDefaulted) {
  EXPECT_EQ(Error(With(R"("southBridge": {"version": [1, 2, 3]})")),
            "test.json: $.southBridge.version: expected an array of four version parts");
  EXPECT_EQ(Error(With(R"("southBridge": {"version": [1, 2, 3, 256]})")),
            "test.json: $.southBridge.version[3]: value 0x100 is out of range (0 to 0xFF)");
  EXPECT_EQ(Error(With(R"("sataDrives": [{"channel": 0}])")), "test.json: $.sataDrives[0].model: missing required field");
  EXPECT_EQ(Error(With(R"("sataDrives": [{"model": ")" + std::string(41, 'M') + R"("}])")),
            "test.json: $.sataDrives[0].model: model longer than 40 characters");
  EXPECT_EQ(Error(With(R"("sataDrives": [{"model": "M", "logicalSectorBytes": 4097}])")),
            "test.json: $.sataDrives[0].logicalSectorBytes: must be an even number of bytes above 0");
  EXPECT_EQ(Error(With(R"("sataDrives": [{"model": "M", "pciFunction": 8}])")),
            "test.json: $.sataDrives[0].pciFunction: value 0x8 is out of range (0 to 0x7)");

  BoardProfile P;
  std::string E;
  ASSERT_TRUE(ParseBoardProfile(With(R"("southBridge": {"platformData": ""}, "sataDrives": [{"model": "M"}])"), "t", P, E))
      << E;
  ASSERT_TRUE(P.SouthBridge.PlatformData.has_value());  // present and empty is not absent
  EXPECT_TRUE(P.SouthBridge.PlatformData->empty());
  EXPECT_FALSE(P.SouthBridge.Version.has_value());
  ASSERT_EQ(P.SataDrives.size(), 1u);
  const SataDriveProfile& D = P.SataDrives[0];
  EXPECT_EQ(D.LogicalSectorBytes, 512u);
  EXPECT_FALSE(D.Sectors48.has_value());
  EXPECT_EQ(D.PciDevice, 31);
  EXPECT_EQ(D.PciFunction, 2);
  EXPECT_FALSE(D.DevicePath.has_value());
}

TEST(BoardProfile, GraphicsOutputsAreCheckedAndDefaulted) {
  auto Outputs = [](const std::string& Output) {
    return With(R"("graphics": {"controllers": [{"pci": {"bus": 0, "device": 2, "function": 0}, "outputs": [)" +
                Output + "]}]}");
  };
  EXPECT_EQ(Error(Outputs(R"({"modes": [[640, 480]], "mode": 1})")),
            "test.json: $.graphics.controllers[0].outputs[0].mode: not one of the modes");
  EXPECT_EQ(Error(Outputs(R"({"modes": [[640, 480]], "startMode": 1})")),
            "test.json: $.graphics.controllers[0].outputs[0].startMode: not one of the modes");
  EXPECT_EQ(Error(Outputs(R"({"node": "02 03 08"})")),
            "test.json: $.graphics.controllers[0].outputs[0].node: a device path node is 4 to 65535 bytes");
  EXPECT_EQ(Error(Outputs(R"({"modes": [[640]]})")),
            "test.json: $.graphics.controllers[0].outputs[0].modes[0]: expected [horizontal, vertical]");
  EXPECT_EQ(Error(Outputs(R"({"via": 17})")),
            "test.json: $.graphics.controllers[0].outputs[0].via: value 0x11 is out of range (0 to 0x10)");
  EXPECT_EQ(Error(Outputs(R"({"level": {"maximum": 3}})")),
            "test.json: $.graphics.controllers[0].outputs[0].level.maximum: unknown field");
  EXPECT_EQ(Error(With(R"("graphics": {"controllers": [{"outputs": []}]})")),
            "test.json: $.graphics.controllers[0].pci: missing required field");
  EXPECT_EQ(Error(Outputs(R"({"name": "Out"})")),
            "test.json: $.graphics.controllers[0].outputs[0].name: expected an object");

  BoardProfile P;
  std::string E;
  ASSERT_TRUE(ParseBoardProfile(Outputs(R"({"name": {"names": {"en-US": "Out"}}, "level": {}, "switch": {"on": true}})"),
                                "t", P, E))
      << E;
  ASSERT_EQ(P.Graphics.Controllers.size(), 1u);
  const DisplayControllerProfile& C = P.Graphics.Controllers[0];
  EXPECT_EQ(C.Pci.Device, 2);
  EXPECT_TRUE(C.Managed && !C.Excluded);
  EXPECT_TRUE(C.Driver.Binding && C.Driver.ComponentName2 && !C.Driver.ComponentName);
  EXPECT_EQ(C.Driver.Languages2, "en-US");
  const GraphicsOutputProfile& O = C.Outputs.at(0);
  EXPECT_EQ(O.Name.Names.at("en-US"), u"Out");
  EXPECT_TRUE(O.Edid && O.GraphicsOutput);
  EXPECT_TRUE(O.Node.empty());
  ASSERT_TRUE(O.Level && O.Switch);
  EXPECT_EQ(O.Level->Supported, 1u);
  EXPECT_TRUE(O.Switch->On);
}

TEST(BoardProfile, DefaultBoardIsComplete) {
  const BoardProfile& P = DefaultBoardProfile();
  EXPECT_FALSE(P.Name.empty());
  // The variable both drivers read, with the download server choice at byte 105.
  const EFI_GUID Net = {0x8F132913, 0x6907, 0x4192, {0xA2, 0x27, 0x6C, 0xBC, 0xD7, 0xA5, 0x0E, 0x6C}};
  bool Found = false;
  for (auto& V : P.Variables)
    if (V.Name == u"NetConfigData" && V.Guid == Net) {
      Found = true;
      EXPECT_EQ(V.Data.size(), 490u);
      EXPECT_EQ(V.Data[105], 0);
      EXPECT_EQ(V.Attributes, 7u);
    }
  EXPECT_TRUE(Found);
  // The update reply is a whole HTTP message whose Content-Length is right.
  const std::string& Reply = P.Update.ServerReply;
  ASSERT_EQ(Reply.rfind("HTTP/1.1 200", 0), 0u);
  size_t Body = Reply.find("\r\n\r\n");
  ASSERT_NE(Body, std::string::npos);
  size_t Cl = Reply.find("Content-Length: ");
  ASSERT_LT(Cl, Body);
  EXPECT_EQ(std::stoul(Reply.substr(Cl + 16)), Reply.size() - Body - 4);
  for (const char* Tag : {"<Download>", "<URL1>http://", "<URL2>http://", "<URL3>http://", "<URL4>http://"})
    EXPECT_NE(Reply.find(Tag), std::string::npos) << Tag;
  // Every name in the table ends in an address (aliases resolve).
  for (auto& N : P.Update.NameTable) {
    std::string Name = N.Name;
    for (int Hops = 0; Hops < 5; ++Hops) {
      const UpdateProfile::Name* Row = nullptr;
      for (auto& R : P.Update.NameTable)
        if (R.Name == Name) Row = &R;
      ASSERT_NE(Row, nullptr) << Name;
      if (Row->Alias.empty()) break;
      Name = Row->Alias;
    }
  }
}

// The Super I/O driver's devices and the early phase, with what is absent.
TEST(BoardProfile, ReadsTheSuperIoDriverAndTheEarlyPhase) {
  BoardProfile P;
  std::string E;
  ASSERT_TRUE(ParseBoardProfile(With(R"("superIoDriver": {"devices": [
      {"type": 7, "ioBase": "0x378", "irq": 7, "dma": 3, "active": 0, "description": false},
      {"type": 6, "instance": 1}]},
    "earlyPhase": {"readOnlyVariable": false, "getVariableStatus": "0x8000000000000007"})"),
                                "test.json", P, E))
      << E;
  EXPECT_TRUE(P.SuperIoDriver.Present);
  ASSERT_EQ(P.SuperIoDriver.Devices.size(), 2u);
  const SuperIoDeviceProfile& D = P.SuperIoDriver.Devices[0];
  EXPECT_EQ(D.Type, 7u);
  EXPECT_EQ(D.IoBase, 0x378);
  EXPECT_EQ(D.Interrupt, 7);
  EXPECT_EQ(D.DmaChannel, 3);
  EXPECT_EQ(D.Active, 0);
  EXPECT_EQ(D.Enabled, 1);  // default
  EXPECT_FALSE(D.Description);
  EXPECT_EQ(P.SuperIoDriver.Devices[1].Instance, 1);
  EXPECT_TRUE(P.SuperIoDriver.Devices[1].Description);
  EXPECT_FALSE(P.EarlyPhase.ReadOnlyVariable);
  EXPECT_EQ(P.EarlyPhase.GetVariableStatus, EFI_DEVICE_ERROR);

  EXPECT_EQ(Error(With(R"("superIoDriver": {"devices": [{"ioBase": 1}]})")),
            "test.json: $.superIoDriver.devices[0].type: missing required field");
  EXPECT_EQ(Error(With(R"("superIoDriver": {"devices": [{"type": 1, "ioBase": 65536}]})")),
            "test.json: $.superIoDriver.devices[0].ioBase: value 0x10000 is out of range (0 to 0xFFFF)");
  EXPECT_EQ(Error(With(R"("earlyPhase": {"readOnlyVariable": 1})")),
            "test.json: $.earlyPhase.readOnlyVariable: expected true or false");
}


}  // namespace
}  // namespace sim

namespace sim {
namespace {

TEST(BoardProfile, SizesTheSimulatorActsOnAreBoundedWhenRead) {
  EXPECT_EQ(Error(R"({"firmware": {"vendor": "V", "revision": 1e400}})"),
            "test.json: $: number 1e400 is out of range (at byte 46)");
  const std::string Guid = R"("guid": "8BE4DF61-93CA-11D2-AA0D-00E098032B8C")";
  // Name "AB" is 6 bytes in UTF-16 with its terminator, the header 60: 128 - 66 = 62 data bytes fit.
  const std::string Store = R"("variableStore": {"maxVariableSize": 128, "nonVolatileSize": 256, "volatileSize": 128})";
  auto Var = [&](const std::string& Name, int Attributes, int Size) {
    return R"({"name": ")" + Name + "\", " + Guid + ", \"attributes\": " + std::to_string(Attributes) +
           R"(, "data": {"size": )" + std::to_string(Size) + "}}";
  };
  BoardProfile P;
  std::string E;
  EXPECT_TRUE(ParseBoardProfile(With(Store + R"(, "variables": [)" + Var("AB", 7, 62) + "," + Var("CD", 7, 62) + "]"),
                                "test.json", P, E))
      << E;
  EXPECT_EQ(Error(With(Store + R"(, "variables": [)" + Var("AB", 7, 63) + "]")),
            "test.json: $.variables[0].data: name, data and header take 129 bytes, more than the store's variable limit "
            "(variableStore.maxVariableSize 128)");
  // Non-volatile and volatile rooms are counted apart; a repeated variable is written once.
  EXPECT_TRUE(ParseBoardProfile(With(Store + R"(, "variables": [)" + Var("AB", 7, 62) + "," + Var("AB", 7, 62) + "," +
                                     Var("CD", 7, 62) + "," + Var("EF", 6, 62) + "]"),
                                "test.json", P, E))
      << E;
  EXPECT_EQ(Error(With(Store + R"(, "variables": [)" + Var("AB", 7, 62) + "," + Var("CD", 7, 62) + "," +
                       Var("EF", 7, 1) + "]")),
            "test.json: $.variables[2]: the non-volatile variables take 323 bytes with this one, more than the store "
            "holds (variableStore.nonVolatileSize 256)");
  EXPECT_EQ(Error(With(Store + R"(, "variables": [)" + Var("AB", 6, 62) + "," + Var("CD", 2, 1) + "]")),
            "test.json: $.variables[1]: the volatile variables take 195 bytes with this one, more than the store "
            "holds (variableStore.volatileSize 128)");
  // HOB data: 65480 bytes at most.
  const std::string Hob = R"("hobs": [{"guid": "0D9A1427-E02A-437D-926B-AA521FD722BA", "data": ")";
  EXPECT_TRUE(ParseBoardProfile(With(Hob + std::string(2 * 65480, '0') + "\"}]"), "test.json", P, E)) << E;
  EXPECT_EQ(Error(With(Hob + std::string(2 * 65481, '0') + "\"}]")),
            "test.json: $.hobs[0].data: too long for a HOB (at most 65480 bytes)");
}


}  // namespace
}  // namespace sim

namespace sim {
namespace {

TEST(BoardProfile, ReadsNvmeDriversControllersAndNamespaces) {
  BoardProfile P;
  std::string E;
  ASSERT_TRUE(ParseBoardProfile(With(R"("nvme": {
      "driver": {"languages2": "de-DE;en-US", "componentName": true, "names": {"en-US": "Drv"}, "nameStatus": "0x8000000000000007"},
      "controllers": [{"pci": {"bus": 3, "device": 0, "function": 1, "path": [[28, 0], [0, 1]], "locationStatus": 7},
                       "controllerProtocol": false,
                       "namespaces": [{"id": 2, "eui64": "0x1122", "name": {"names": {"en-US": "Disk \u00e9"}, "unterminated": true}},
                                      {"devicePath": "7F FF 04 00"}]}]})"),
                                "t", P, E))
      << E;
  ASSERT_TRUE(P.Nvme.has_value());
  EXPECT_EQ(P.Nvme->Driver.Languages2, "de-DE;en-US");
  EXPECT_TRUE(P.Nvme->Driver.ComponentName);
  EXPECT_EQ(P.Nvme->Driver.Names.at("en-US"), u"Drv");
  EXPECT_EQ(P.Nvme->Driver.NameStatus, 0x8000000000000007ull);
  ASSERT_EQ(P.Nvme->Controllers.size(), 1u);
  const NvmeControllerProfile& C = P.Nvme->Controllers[0];
  EXPECT_EQ(C.Pci.Bus, 3);
  EXPECT_EQ(C.Pci.Function, 1);
  EXPECT_EQ(C.Pci.Path, (std::vector<std::pair<uint8_t, uint8_t>>{{28, 0}, {0, 1}}));
  EXPECT_EQ(C.Pci.LocationStatus, 7u);
  EXPECT_FALSE(C.ControllerProtocol);
  ASSERT_EQ(C.Namespaces.size(), 2u);
  EXPECT_EQ(C.Namespaces[0].Id, 2u);
  EXPECT_EQ(C.Namespaces[0].Eui64, 0x1122u);
  EXPECT_EQ(C.Namespaces[0].Name.Names.at("en-US"), u"Disk \u00e9");
  EXPECT_TRUE(C.Namespaces[0].Name.Unterminated);
  EXPECT_EQ(*C.Namespaces[1].DevicePath, (std::vector<uint8_t>{0x7F, 0xFF, 4, 0}));

  // A section left out is no driver at all.
  BoardProfile Q;
  ASSERT_TRUE(ParseBoardProfile(With(""), "t", Q, E)) << E;
  EXPECT_FALSE(Q.Nvme.has_value());

  EXPECT_EQ(Error(With(R"("nvme": {"driver": {"languages": "engl"}})")),
            "test.json: $.nvme.driver.languages: expected three-letter codes run together");
  EXPECT_EQ(Error(With(R"("nvme": {"controllers": [{"pci": {"bus": 1, "device": 0, "function": 0, "path": [[32, 0]]}}]})")),
            "test.json: $.nvme.controllers[0].pci.path[0][0]: value 0x20 is out of range (0 to 0x1F)");
  // Raw paths must end inside their bytes: a node running past them, or no end node at all.
  for (const char* Path : {"01 01 08 00 00 00", "01 01 06 00 00 1C", "03 17"})
    EXPECT_EQ(Error(With(std::string(R"("nvme": {"controllers": [{"pci": {"bus": 1, "device": 0, "function": 0}, "namespaces": [{"devicePath": ")") +
                         Path + R"("}]}]})")),
              "test.json: $.nvme.controllers[0].namespaces[0].devicePath: the path runs past its bytes before it ends")
        << Path;
  // A node Length below the header ends the walk inside the bytes.
  ASSERT_TRUE(ParseBoardProfile(
      With(R"("nvme": {"controllers": [{"pci": {"bus": 1, "device": 0, "function": 0}, "namespaces": [{"devicePath": "01 01 02 00"}]}]})"),
      "t", P, E))
      << E;
}


}  // namespace
}  // namespace sim

namespace sim {
namespace {

TEST(BoardProfile, ReadsTheNetworkDriversEachAbsentLateOrFailing) {
  BoardProfile P;
  std::string E;
  EXPECT_FALSE(P.Network.Configuration.Present);  // no section, no protocols
  ASSERT_TRUE(ParseBoardProfile(With(R"("network": {"configuration": {"late": true},
      "refreshAfterConfigure": false, "action52A": {"status": "0x8000000000000007"},
      "action52D": {"present": false}})"),
                                "test.json", P, E))
      << E;
  EXPECT_TRUE(P.Network.Configuration.Present);
  EXPECT_TRUE(P.Network.Configuration.Late);
  EXPECT_FALSE(P.Network.RefreshAfterConfigure);
  EXPECT_TRUE(P.Network.Action52A.Present);
  EXPECT_FALSE(P.Network.Action52A.Late);
  EXPECT_EQ(P.Network.Action52A.Status, EFI_DEVICE_ERROR);
  EXPECT_FALSE(P.Network.Action52D.Present);
  EXPECT_FALSE(P.Network.Action52E.Present);

  const BoardProfile& Default = DefaultBoardProfile();
  for (const NetworkProtocolProfile* N : {&Default.Network.Configuration, &Default.Network.Action52A,
                                          &Default.Network.Action52D, &Default.Network.Action52E}) {
    EXPECT_TRUE(N->Present);
    EXPECT_FALSE(N->Late);
    EXPECT_EQ(N->Status, EFI_SUCCESS);
  }

  EXPECT_EQ(Error(With(R"("network": {"action52B": {}})")), "test.json: $.network.action52B: unknown field");
  EXPECT_EQ(Error(With(R"("network": {"configuration": {"late": 1}})")),
            "test.json: $.network.configuration.late: expected true or false");
}

TEST(BoardProfile, ReadsTheProfileStorageWithItsStoresAndTextAnswers) {
  BoardProfile P;
  std::string E;
  ASSERT_TRUE(ParseBoardProfile(With(R"("profileStorage": {"late": true, "commitStatus": "0x8000000000000007",
      "replaceOnCommit": true, "textAnswers": ["Fast", null, ""],
      "stores": [{"name": "ORVQSBSetup", "guid": "C811FA38-42C8-4579-A9BB-60E94EDDFB34", "bytes": "01 02"}]})"),
                                "test.json", P, E))
      << E;
  ASSERT_TRUE(P.ProfileStorage);
  EXPECT_TRUE(P.ProfileStorage->Late);
  EXPECT_EQ(P.ProfileStorage->CommitStatus, EFI_DEVICE_ERROR);
  EXPECT_EQ(P.ProfileStorage->GetStoreStatus, EFI_SUCCESS);
  EXPECT_TRUE(P.ProfileStorage->ReplaceOnCommit);
  ASSERT_EQ(P.ProfileStorage->TextAnswers.size(), 3u);
  EXPECT_EQ(P.ProfileStorage->TextAnswers[0], std::optional<std::string>("Fast"));
  EXPECT_FALSE(P.ProfileStorage->TextAnswers[1]);
  EXPECT_EQ(P.ProfileStorage->TextAnswers[2], std::optional<std::string>(""));
  ASSERT_EQ(P.ProfileStorage->Stores.size(), 1u);
  EXPECT_EQ(P.ProfileStorage->Stores[0].Name, u"ORVQSBSetup");
  EXPECT_EQ(P.ProfileStorage->Stores[0].Bytes, (std::vector<uint8_t>{1, 2}));
  EXPECT_FALSE(BoardProfile{}.ProfileStorage);  // no section, no protocol
  ASSERT_TRUE(DefaultBoardProfile().ProfileStorage);
  EXPECT_EQ(DefaultBoardProfile().ProfileStorage->Stores.size(), 5u);

  EXPECT_EQ(Error(With(R"("profileStorage": {"textAnswers": [1]})")),
            "test.json: $.profileStorage.textAnswers[0]: expected a string");
  EXPECT_EQ(Error(With(R"("profileStorage": {"stores": [{"name": "", "guid": "C811FA38-42C8-4579-A9BB-60E94EDDFB34", "bytes": ""}]})")),
            "test.json: $.profileStorage.stores[0].name: empty store name");
  EXPECT_EQ(Error(With(R"("profileStorage": {"stores": [{"name": "X", "bytes": ""}]})")),
            "test.json: $.profileStorage.stores[0].guid: missing required field");
}

TEST(BoardProfile, SecureBootKeysBecomeSignatureListsAndAuthenticatedFiles) {
  EXPECT_EQ(Error(With(R"("secureBoot": {"keys": {"db2": []}})")),
            "test.json: $.secureBoot.keys.db2: not a key variable (PK, KEK, db, dbt, dbx)");
  EXPECT_EQ(Error(With(R"("secureBoot": {"keys": {"db": [{"type": "md5", "size": 4}]}})")),
            "test.json: $.secureBoot.keys.db[0].type: expected x509, sha256, rsa2048 or a GUID");
  EXPECT_EQ(Error(With(R"("secureBoot": {"keys": {"db": [{"type": "sha256", "size": 4, "data": "00"}]}})")),
            "test.json: $.secureBoot.keys.db[0]: expected either data or size");
  EXPECT_EQ(Error(With(R"("secureBoot": {"trustedSigners": [{"marker": "", "authority": "PK"}]})")),
            "test.json: $.secureBoot.trustedSigners[0].marker: an empty marker would trust every certificate");
  EXPECT_EQ(Error(With(R"("secureBoot": {"trustedSigners": [{"marker": "M", "authority": "db"}]})")),
            "test.json: $.secureBoot.trustedSigners[0].authority: expected PK or KEK");
  EXPECT_EQ(Error(With(R"("secureBoot": {"defaultKeyFiles": {"PK": {"raw": "00", "signatures": []}}})")),
            "test.json: $.secureBoot.defaultKeyFiles.PK: expected either signatures or raw");

  BoardProfile P;
  std::string E;
  ASSERT_TRUE(ParseBoardProfile(With(R"("secureBoot": {
      "keys": {"dbx": [{"type": "sha256", "data": "0102"}, {"type": "x509", "size": 3, "seed": 250}]},
      "defaultKeyFiles": {"db": {"signer": "S", "year": 2020, "signatures": [{"type": "sha256", "data": "AA"}]},
                          "PK": {"raw": "DEAD"}},
      "firmwareVolume": false})"),
                                "t", P, E))
      << E;
  ASSERT_TRUE(P.SecureBoot.has_value());
  const std::vector<uint8_t>& Dbx = P.SecureBoot->Keys.at("dbx");
  ASSERT_EQ(Dbx.size(), (28u + 16 + 2) + (28u + 16 + 3));
  EXPECT_EQ(Dbx[0], 0x26);  // SHA-256 type GUID, little-endian
  EXPECT_EQ(Dbx[16], 46);   // list size
  EXPECT_EQ(Dbx[24], 18);   // signature size
  EXPECT_EQ(Dbx[44], 1);
  EXPECT_EQ(std::vector<uint8_t>(Dbx.end() - 3, Dbx.end()), (std::vector<uint8_t>{250, 251, 252}));
  const std::vector<uint8_t>& Db = P.SecureBoot->DefaultKeyFiles.at("db");
  ASSERT_EQ(Db.size(), 40u + 1 + 45);
  EXPECT_EQ(Db[0] | Db[1] << 8, 2020);
  EXPECT_EQ(Db[16], 25);  // certificate header and the signer's one byte
  EXPECT_EQ(Db[40], 'S');
  EXPECT_EQ(P.SecureBoot->DefaultKeyFiles.at("PK"), (std::vector<uint8_t>{0xDE, 0xAD}));
  EXPECT_FALSE(P.SecureBoot->FirmwareVolumePresent);
  EXPECT_TRUE(P.SecureBoot->SecureBootEnabled);

  // The default board starts in user mode with its default files on hand.
  const auto& Default = DefaultBoardProfile().SecureBoot;
  ASSERT_TRUE(Default.has_value());
  EXPECT_TRUE(Default->Keys.count("PK") && Default->Keys.count("KEK") && Default->Keys.count("db"));
  EXPECT_EQ(Default->DefaultKeyFiles.size(), 5u);
}


TEST(BoardProfile, FileVolumesHoldATreeWithBoundedNamesAndSizes) {
  BoardProfile P;
  std::string E;
  ASSERT_TRUE(ParseBoardProfile(With(R"("fileVolumes": [
      {"label": "stick", "devicePath": {"usbPciDevice": 20, "usbPort": 3}, "fault": "unterminatedName",
       "files": [{"name": "A.CER", "hex": "30 82"}, {"name": "EFI", "files": [{"name": "t", "text": "hi"}]}]},
      {"readOnly": true, "writeStatus": "0x800000000000000B", "claimedFileSize": 4294967295}])"),
                                "test.json", P, E))
      << E;
  ASSERT_EQ(P.FileVolumes.size(), 2u);
  const FileVolumeProfile& Stick = P.FileVolumes[0];
  EXPECT_EQ(Stick.DevicePath, UsbStickDevicePathBytes(20, 3));
  EXPECT_EQ(Stick.Fault, DirectoryFault::UnterminatedName);
  ASSERT_EQ(Stick.Files.size(), 2u);
  EXPECT_EQ(Stick.Files[0].Data, (std::vector<uint8_t>{0x30, 0x82}));
  EXPECT_TRUE(Stick.Files[1].Directory);
  EXPECT_EQ(Stick.Files[1].Children.at(0).Data, (std::vector<uint8_t>{'h', 'i'}));
  EXPECT_FALSE(P.FileVolumes[1].DevicePath.has_value());
  EXPECT_EQ(*P.FileVolumes[1].WriteFailure, EFI_VOLUME_FULL);
  EXPECT_EQ(*P.FileVolumes[1].ClaimedFileSize, 0xFFFFFFFFull);

  EXPECT_EQ(Error(With(R"("fileVolumes": [{"files": [{"name": "a\\b"}]}])")),
            "test.json: $.fileVolumes[0].files[0].name: expected one path component of 1 to 1024 bytes");
  EXPECT_EQ(Error(With(R"("fileVolumes": [{"files": [{"name": "a", "hex": "00", "text": "x"}]}])")),
            "test.json: $.fileVolumes[0].files[0].text: give either hex or text");
  EXPECT_EQ(Error(With(R"("fileVolumes": [{"files": [{"name": "d", "directory": true, "hex": "00"}]}])")),
            "test.json: $.fileVolumes[0].files[0]: a directory holds no bytes");
  EXPECT_EQ(Error(With(R"("fileVolumes": [{"devicePath": "01 01 06 00 00 14"}])")),
            "test.json: $.fileVolumes[0].devicePath: the device path has no end node inside its bytes");
  EXPECT_NE(Error(With(R"("fileVolumes": [{"fault": "sometimes"}])")).find("expected none, recordBelowHeader"),
            std::string::npos);
  std::string Deep = R"({"name": "d"})";
  for (int I = 0; I < 40; ++I) Deep = R"({"name": "d", "files": [)" + Deep + "]}";
  EXPECT_NE(Error(With(R"("fileVolumes": [{"files": [)" + Deep + "]}]")).find("nest deeper than 32"),
            std::string::npos);
}

}  // namespace
}  // namespace sim
