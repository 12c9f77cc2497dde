// The form sets' strings are read back from the HII database and used as
// format templates, in every language the package list reports. The input
// rewrites the compiled package lists before the driver loads them: the
// language fields (and so the language list), extra languages, and string
// texts rich in format directives. Then the driver loads them, the processor
// protocols arrive (the processor page is rebuilt from its templates) and
// the hardware monitor is refreshed.
//
// Input: [language edits: count, each [package][length][bytes ...]]
//        [extra language: length][bytes ...]
//        then string edits: [form set][package][id u16][length u16][characters ...]
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "forms/form_packages.h"
#include "fuzz/setupinfo_fuzz_machine.h"
#include "sim/hii/hii_database.h"
#include "sim/peers/processor_peers.h"

namespace {

constexpr size_t MAX_EDITS = 64;
constexpr size_t MAX_TEXT = 1100;  // past the driver's 1024-character work size
constexpr char16_t FormatAlphabet[] = u"%sSdDxXcCuUaAgG%%-0123456789.*,lLr\\n ";

// Two bytes a character: ASCII, a format character, or any UTF-16 unit.
char16_t Character(uint8_t B, uint8_t C) {
  if (!(B & 0x80)) return (char16_t)(B < 0x20 ? 0x20 + B : B);
  if (!(B & 0x40)) return FormatAlphabet[C % (sizeof FormatAlphabet / sizeof(char16_t) - 1)];
  return (char16_t)(C | (B & 0x3F) << 8);
}

std::string Ascii(FuzzReader& In, size_t Length) {
  std::string Text;
  for (size_t I = 0; I < Length; ++I) {
    const uint8_t B = In.U8();
    Text += (char)(B == 0 ? '-' : B);
  }
  return Text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzReader In(Data, Size);
  std::vector<sim::HiiPackageList> Lists(gFormPackageCount);
  for (UINTN I = 0; I < gFormPackageCount; ++I)
    if (sim::ParsePackageList(gFormPackages[I].Data, gFormPackages[I].Size, Lists[I]) != EFI_SUCCESS) std::abort();

  const size_t LanguageEdits = In.U8() % 4;
  for (size_t E = 0; E < LanguageEdits; ++E) {
    sim::HiiPackageList& List = Lists[In.U8() % Lists.size()];
    const uint8_t Which = In.U8();
    const std::string Language = Ascii(In, In.U8() % 24);
    if (List.StringPackages.empty()) continue;
    sim::HiiStringPackage& Package = List.StringPackages[Which % List.StringPackages.size()];
    Package.Language = Language;
    Package.Primary = Language.substr(0, Language.find(';'));
  }
  if (const size_t Length = In.U8() % 16) {
    // One more language in the first list: a copy of its first package.
    const std::string Language = Ascii(In, Length);
    sim::HiiPackageList& List = Lists[0];
    if (!List.StringPackages.empty()) {
      sim::HiiStringPackage Copy = List.StringPackages[0];
      Copy.Language = Language;
      Copy.Primary = Language.substr(0, Language.find(';'));
      List.StringPackages.push_back(Copy);
      sim::HiiPackage Entry;
      Entry.Type = EFI_HII_PACKAGE_STRINGS;
      Entry.StringIndex = List.StringPackages.size() - 1;
      List.Packages.push_back(Entry);
    }
  }
  for (size_t E = 0; E < MAX_EDITS && !In.Done(); ++E) {
    sim::HiiPackageList& List = Lists[In.U8() % Lists.size()];
    const uint8_t Which = In.U8();
    const EFI_STRING_ID Id = In.U16();
    const size_t Length = In.U16() % MAX_TEXT;
    std::u16string Text;
    for (size_t I = 0; I < Length && !In.Done(); ++I) {
      const uint8_t B = In.U8();
      Text += Character(B, In.U8());
    }
    if (List.StringPackages.empty()) continue;
    sim::HiiStringPackage& Package = List.StringPackages[Which % List.StringPackages.size()];
    // Mostly a string the package has, so that the edit meets a template in use.
    EFI_STRING_ID Target = Id;
    if (!(Id & 0x8000) && !Package.Strings.empty()) {
      auto It = Package.Strings.begin();
      std::advance(It, Id % Package.Strings.size());
      Target = It->first;
    }
    if (Target != 0) Package.Strings[Target] = Text;
  }

  // The peers outlive the machine, whose handles point at them.
  std::unique_ptr<sim::ProcessorPeers> Peers;
  SetupMachine S;
  for (UINTN I = 0; I < gFormPackageCount; ++I) S.Forms().AddResource(*gFormPackages[I].Guid, sim::BuildPackageList(Lists[I]));
  S.LoadSetupInfo();
  Peers = std::make_unique<sim::ProcessorPeers>(S.M().Profile().Processor);
  Peers->InstallInformation(S.M().BootServices());
  Peers->InstallTopology(S.M().BootServices());
  if (S.Browser().Open() == EFI_SUCCESS) {
    EFI_IFR_TYPE_VALUE Value{};
    S.Browser().Callback(0x10, EFI_BROWSER_ACTION_RETRIEVE, 0x48D, EFI_IFR_TYPE_NUM_SIZE_8, Value);
  }
  return 0;
}
