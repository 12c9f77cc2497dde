// Form packages come with outside package lists: the IFR reader walks their
// opcodes with every length checked. Whatever it accepts must keep each
// stored question inside its store.
#include <cstddef>
#include <cstdint>

#include "sim/hii/ifr_forms.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::vector<sim::IfrFormSet> Sets;
  std::string Error;
  if (!sim::ReadFormPackage(Data, Size, Sets, Error)) {
    if (Error.empty()) __builtin_trap();
    return 0;
  }
  for (const sim::IfrFormSet& Set : Sets)
    for (const sim::IfrForm& Form : Set.Forms)
      for (const sim::IfrItem& Item : Form.Items) {
        // An action names a store but holds no value in it.
        if (!Item.IsQuestion() || Item.Kind == sim::IfrKind::Action || Item.StoreId == 0) continue;
        const sim::IfrStore* Store = Set.FindStore(Item.StoreId);
        if (Store == nullptr) __builtin_trap();
        std::vector<UINT8> Bytes(Store->Size, 0xA5);
        UINT64 Value = 0;
        if (!sim::QuestionValue(Item, Bytes, Value)) __builtin_trap();
      }
  return 0;
}
