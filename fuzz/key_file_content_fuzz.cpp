// Setting or appending a key from a file of any content and any claimed
// size, through the browser: the volume's directory may claim sizes near
// 4 GiB, where a header size added to the file's would wrap 32 bits, or
// sizes that differ from the bytes the file holds. Whatever is written must
// be the file's own bytes behind one of the two headers, and a file that
// claims more bytes than it gives writes nothing.
#include <cstdlib>
#include <cstring>

#include "fuzz/setupinfo_fuzz_machine.h"
#include "setupinfo/secureboot/secure_boot_keys.h"
#include "sim/peers/file_system_peers.h"
#include "sim/peers/message_box_peer.h"
#include "sim/peers/secure_boot_peers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzReader In(Data, Size);
  const uint8_t Control = In.U8();
  const uint8_t Claim = In.U8();
  const uint8_t Delta = In.U8();
  const uint8_t Key = In.U8() % 9;  // one of the nine set/append questions
  std::vector<uint8_t> File;
  while (!In.Done() && File.size() < 8192) File.push_back(In.U8());

  sim::BoardProfile Profile = sim::DefaultBoardProfile();
  sim::SecureBootProfile Keys;
  if (Control & 1) Keys = *Profile.SecureBoot;  // user mode with the board's keys; else setup mode
  Profile.SecureBoot = Keys;
  sim::FileVolumeProfile Volume;
  Volume.Label = "fuzz";
  Volume.Files.push_back(sim::FileNodeProfile{"K", false, File, {}});
  switch (Claim % 4) {
    case 1: Volume.ClaimedFileSize = 0xFFFFFFFFull - Delta; break;
    case 2: Volume.ClaimedFileSize = 0x100000000ull + Delta - 128; break;
    case 3: Volume.ClaimedFileSize = File.size() + (Delta % 9) - 4; break;
    default: break;
  }
  // A claim below the content is a shorter file as far as anyone can tell;
  // a claim above it is a file that cannot be read whole.
  const bool Honest = !Volume.ClaimedFileSize || *Volume.ClaimedFileSize <= File.size();
  std::vector<uint8_t> Seen = File;
  if (Honest && Volume.ClaimedFileSize) Seen.resize(*Volume.ClaimedFileSize);
  SetupMachine Machine(Profile);
  sim::SecureBootVariablePeer Rules(Machine.M().Variables(), Keys);
  Rules.EnrollProfileKeys();
  if (EFI_ERROR(Machine.LoadSetupInfo())) abort();
  sim::MessageBoxPeer Boxes;
  Boxes.Answers = {1, 0};  // not the default file; then yes
  Boxes.ListChoices = {0, 0, uint64_t((Control >> 1) & 1)};
  Boxes.EmptyAnswer = 1;
  if (EFI_ERROR(Boxes.Install(Machine.M().BootServices()))) abort();
  sim::FileSystemPeers Files({Volume});
  if (EFI_ERROR(Files.Install(Machine.M().BootServices()))) abort();
  if (EFI_ERROR(Machine.Browser().Open())) abort();
  static const uint16_t Questions[] = {0x50E, 0x510, 0x511, 0x513, 0x514, 0x516, 0x517, 0x519, 0x51A};
  Machine.M().Variables().ClearSetLog();
  EFI_IFR_TYPE_VALUE Value{};
  Machine.Browser().Callback(0x40, EFI_BROWSER_ACTION_CHANGING, Questions[Key], EFI_IFR_TYPE_NUM_SIZE_8, Value);
  if (Files.OpenHandles() != 0) abort();
  for (const auto& E : Machine.M().Variables().SetLog()) {
    if (E.Name == u"SecureVarPresent" || E.Data.empty()) continue;
    // Only the first write carries the file; a second one puts the old key
    // back after a refusal.
    // A key was written: only from a file read whole, and as its bytes
    // behind no header, the 40-byte one or the 84-byte one.
    if (!Honest || Seen.empty()) abort();
    const size_t Header = E.Data.size() - Seen.size();
    if (E.Data.size() < Seen.size() || (Header != 0 && Header != AUTHENTICATED_HEADER_SIZE &&
                                        Header != SIGNATURE_LIST_IMAGE_HEADER_SIZE))
      abort();
    if (std::memcmp(E.Data.data() + Header, Seen.data(), Seen.size()) != 0) abort();
    break;
  }
  return 0;
}
