// What the USB page takes from the USB driver: device counts of any value,
// mass-storage name answers of any length and content, with or without a
// terminator, and answers that point anywhere. The driver loads on the
// default board with that USB driver; a read past the name buffer, a row
// showing other than the device's own bytes, a line past 79 characters,
// pool damage or a leak is a finding.
//
// Input: flags (bit 0 counts fail, bit 1 names fail, bit 2 no UsbMassDevNum,
// bit 3 no protocol), the six counts, then devices to the end: a header
// (bit 7 unterminated, bit 6 an answer byte follows), the name's length and
// its bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/usb_support.h"
#include "setupinfo/pages/devices/usb_devices.h"
#include "setupinfo_fuzz_machine.h"
#include "sim/peers/usb_peers.h"

namespace {

constexpr UINT16 ADVANCED = 0x4;
constexpr size_t MAX_DEVICES = 24;

std::u16string Shown(const std::string& Name) {
  std::u16string Out;
  for (size_t i = 0; i < Name.size() && i < USB_MASS_NAME_BYTES && Name[i] != 0; ++i)
    Out.push_back((UINT8)Name[i]);
  return Out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzReader In(Data, Size);
  sim::BoardProfile Profile = sim::DefaultBoardProfile();
  sim::UsbProfile Usb = *Profile.Usb;
  const UINT8 Flags = In.U8();
  Usb.CountsFail = Flags & 1;
  Usb.NamesFail = Flags & 2;
  if (Flags & 4) Usb.MassDevNum.reset();
  for (uint8_t& Count : Usb.Counts) Count = In.U8();
  Usb.MassDevices.clear();
  while (!In.Done() && Usb.MassDevices.size() < MAX_DEVICES) {
    sim::UsbMassDeviceProfile D;
    const UINT8 Header = In.U8();
    D.Unterminated = Header & 0x80;
    if (Header & 0x40) D.Answer = In.U8();
    const UINT8 Length = In.U8();
    for (size_t i = 0; i < Length && !In.Done(); ++i) D.Name.push_back((char)In.U8());
    Usb.MassDevices.push_back(std::move(D));
  }

  SetupMachine S(Profile);
  sim::UsbSupportPeer Peer(Usb);
  Peer.WriteMassDevNum(S.M().RuntimeServices());
  if (!(Flags & 8)) Peer.Install(S.M().BootServices());
  S.LoadSetupInfo();

  const auto* FormSet = S.Forms().FindFormSet(ADVANCED);
  if (FormSet == nullptr) return 0;
  const sim::HiiPackageList* List = S.Database().Find(FormSet->HiiHandle);
  const sim::HiiStringPackage* English = List ? List->FindLanguage("en-US") : nullptr;
  if (English == nullptr) return 0;
  auto Text = [&](UINT16 Id) {
    auto It = English->Strings.find(Id);
    return It == English->Strings.end() ? std::u16string() : It->second;
  };

  if (Text(STR_USB_DEVICE_SUMMARY).size() > USB_SUMMARY_CHARS - 1) std::abort();
  if (Peer.NameCalls.size() > USB_MASS_DEVICE_ROWS) std::abort();
  // Each call's row shows that device's bytes up to 48 or its first NUL.
  for (size_t n = 0; n < Peer.NameCalls.size(); ++n) {
    const UINT8 Index = Peer.NameCalls[n].Index;
    if (Usb.NamesFail || Index >= Usb.MassDevices.size()) break;
    const sim::UsbMassDeviceProfile& D = Usb.MassDevices[Index];
    if (D.Answer == USB_NO_DEVICE) break;
    if (Text((UINT16)(STR_USB_MASS_DEVICE_FIRST + n)) != Shown(D.Name)) std::abort();
  }
  return 0;
}
