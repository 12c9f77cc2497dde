// What the SATA port strings take from the SATA driver: texts of any length
// and content, with or without a terminator (a fixed field fills at least
// 64 bytes), devices on any lookup tuple, the byte-524 field, failing
// lookups and text calls, and repeated calls. A read past a text buffer, a
// text buffer not freed, or a model that does not show as it stands in its
// string and its port line is a finding.
//
// Input: flags (bit 0 lookups fail, bit 1 texts fail, bit 2 call every
// instance, bit 3 call twice), then devices to the end: a header (bits 0-2
// port, bit 3 second lookup, bit 4 unterminated, bit 5 text 3 hidden), then
// five texts, each its length and its bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/sata_port_strings.h"
#include "setupinfo/pages/devices/sata_port_strings.h"
#include "setupinfo_fuzz_machine.h"
#include "sim/peers/sata_peers.h"

namespace {

constexpr UINT16 ADVANCED = 0x4;
constexpr size_t MAX_DEVICES = 12;

// The model as the page must show it: to the first NUL or 64 bytes, a fixed
// field without its trailing blanks.
std::u16string Shown(const std::string& Text, bool Unterminated) {
  std::string Buffer = Text;
  if (Unterminated && Buffer.size() < SATA_DEVICE_TEXT_BYTES) Buffer.resize(SATA_DEVICE_TEXT_BYTES, ' ');
  size_t Length = 0;
  while (Length < Buffer.size() && Length < SATA_DEVICE_TEXT_BYTES && Buffer[Length] != 0) ++Length;
  // No terminator within the bound: a fixed field.
  if (Length == SATA_DEVICE_TEXT_BYTES)
    while (Length > 0 && Buffer[Length - 1] == ' ') --Length;
  std::u16string Out;
  for (size_t i = 0; i < Length; ++i) Out.push_back((UINT8)Buffer[i]);
  return Out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzReader In(Data, Size);
  const UINT8 Flags = In.U8();
  sim::SataPortDriverProfile Profile;
  if (Flags & 1) Profile.FindStatus = EFI_DEVICE_ERROR;
  if (Flags & 2) Profile.TextStatus = EFI_NOT_READY;
  while (!In.Done() && Profile.Devices.size() < MAX_DEVICES) {
    const UINT8 Header = In.U8();
    const size_t Port = (Header & 7) % SATA_PORT_STRING_PORTS;
    const UINT8* Tuple = SataPortRows[Port].Lookups[(Header >> 3) & 1];
    sim::SataPortDeviceProfile D;
    D.Bus = Tuple[0];
    D.Device = Tuple[1];
    D.Function = Tuple[2];
    D.ByteA = Tuple[3];
    D.ByteB = Tuple[4];
    D.Unterminated = Header & 0x10;
    D.Text3Hidden = (Header & 0x20) ? 1 : 0;
    for (std::string& Text : D.Texts) {
      const UINT8 Length = In.U8();
      for (size_t i = 0; i < Length && !In.Done(); ++i) Text.push_back((char)In.U8());
    }
    Profile.Devices.push_back(std::move(D));
  }

  SetupMachine S;
  if (EFI_ERROR(S.LoadSetupInfo())) return 0;
  sim::SataPortDriverPeer Peer(Profile);
  const size_t Calls = Peer.CallSetup(S.M().BootServices(), Flags & 4);
  if (Calls == 0) std::abort();
  if (Flags & 8) Peer.CallSetup(S.M().BootServices());

  const auto* FormSet = S.Forms().FindFormSet(ADVANCED);
  const sim::HiiPackageList* List = FormSet ? S.Database().Find(FormSet->HiiHandle) : nullptr;
  const sim::HiiStringPackage* English = List ? List->FindLanguage("en-US") : nullptr;
  if (English == nullptr) std::abort();
  auto Text = [&](UINT16 Id) {
    auto It = English->Strings.find(Id);
    return It == English->Strings.end() ? std::u16string(u"<none>") : It->second;
  };

  for (size_t Port = 0; Port < SATA_PORT_STRING_PORTS; ++Port) {
    // The device the driver answers for the port: first tuple, then second.
    const sim::SataPortDeviceProfile* Found = nullptr;
    for (int Lookup = 0; Lookup < 2 && Found == nullptr && !(Flags & 1); ++Lookup) {
      const UINT8* Tuple = SataPortRows[Port].Lookups[Lookup];
      for (const auto& D : Profile.Devices)
        if (D.Device == Tuple[1] && D.Function == Tuple[2] && D.ByteA == Tuple[3] && D.ByteB == Tuple[4]) {
          Found = &D;
          break;
        }
    }
    const std::u16string Name = std::u16string(SataPortRows[Port].Name, SataPortRows[Port].Name + 7) + u"\x1b{p110# : ";
    const std::u16string Line = Text(SataPortStringId(STR_SATA_PORT_LINE, Port));
    const std::u16string Copy = Text(SataPortStringId(STR_SATA_LINE_COPY, Port));
    if (Line != Copy) std::abort();
    if (Found == nullptr) {
      if (Text(SataPortStringId(STR_SATA_MODEL, Port)) != u" " || Line != Name + u"Not Present") std::abort();
      continue;
    }
    const std::u16string Model = (Flags & 2) ? std::u16string() : Shown(Found->Texts[0], Found->Unterminated);
    if (Text(SataPortStringId(STR_SATA_MODEL, Port)) != Model) std::abort();
    if (Line != Name + Model) std::abort();
  }
  return 0;
}
