// A board profile is a user's file: the reader must refuse what the
// simulator cannot act on. The input is the profile's text; an accepted
// profile powers a machine on, and its update peers build the identity and
// hand over the scripted reply, all within the bounds the reader promises.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "platform/board_identity.h"
#include "sim/board_profile.h"
#include "sim/machine.h"
#include "sim/peers/update_peers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string Text((const char*)Data, Size);
  sim::BoardProfile Profile;
  Profile.Name = "untouched";
  std::string Error;
  try {
    if (!sim::ParseBoardProfile(Text, "fuzz.json", Profile, Error)) {
      // A refusal names the file and leaves the profile as it was.
      if (Error.rfind("fuzz.json: ", 0) != 0 || Profile.Name != "untouched") std::abort();
      return 0;
    }
    if (Profile.Update.ModelName.size() > 1023) std::abort();
    if (Profile.Update.ReplyLengths && (*Profile.Update.ReplyLengths)[2] > (16u << 20)) std::abort();
    for (const sim::GuidHobProfile& H : Profile.Hobs)
      if (H.Data.size() > 65480) std::abort();

    sim::Machine M(Profile);
    for (const sim::VariableProfile& V : Profile.Variables)
      if (M.Variables().Find(V.Name, V.Guid) == nullptr) std::abort();  // every one fits the store
    sim::UpdatePeers Peers(Profile.Update, M.BootServices());
    VOID* Reply = nullptr;
    REPLY_LENGTHS Lengths{};
    Peers.Transport()->Send(1, 2, "GET / HTTP/1.1\r\n\r\n", &Reply, &Lengths, 0);
    if (Reply != nullptr) M.BootServices()->FreePool(Reply);
    if (!M.Misuse().empty() || !M.LeakReport().empty()) std::abort();
  } catch (const std::exception& E) {
    std::fprintf(stderr, "exception: %s\n", E.what());
    std::abort();
  }
  return 0;
}
