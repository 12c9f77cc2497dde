// Setup pages as data: the texts the form packages ship with, and the texts
// the HII database holds now, side by side.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <functional>

#include "sim/hii/hii_database.h"
#include "sim/hii/ifr_forms.h"
#include "tools/boardsim/run_report.h"

namespace boardsim {

// One form set as compiled into the firmware: name, class and its strings
// per language, before any driver touched them.
struct PackagedFormSet {
  uint16_t Class = 0;
  std::string Name;
  EFI_GUID Guid{};
  std::vector<std::string> Languages;
  std::map<std::string, std::map<uint16_t, std::u16string>> Strings;  // language -> id -> text
  // The form's own prompt strings: kept out of Strings and of the page's
  // string list, which show what the drivers know.
  uint16_t FormStringsFirst = 0;
  uint16_t FormStringsLast = 0;
  bool IsFormString(uint16_t Id) const { return FormStringsFirst != 0 && Id >= FormStringsFirst && Id <= FormStringsLast; }
  std::vector<sim::IfrFormSet> Forms;  // the list's form packages, read back
};

// The nine compiled package lists, parsed once. Empty with Error set when
// one of them does not parse.
struct PackagedFormSets {
  std::vector<PackagedFormSet> FormSets;
  std::string Error;
};
const PackagedFormSets& CompiledFormSets();

// Every language any form set carries, in first-seen order.
std::vector<std::string> PackagedLanguages(const std::vector<PackagedFormSet>& FormSets);

// A page from the packaged texts and the live (or last seen) package list;
// Live null means the form set was never published.
FormSetPage CapturePage(const PackagedFormSet& Packaged, const sim::HiiPackageList* Live, bool Kept);

// Fills Page.Items and Page.ItemTexts from the packaged forms, with the
// texts of List (the live or last seen package list) and question values
// from the store bytes StoreBytes gives (null: the browser holds no such store).
using StoreLookup = std::function<const std::vector<UINT8>*(const sim::IfrStore&)>;
void CaptureFormItems(FormSetPage& Page, const PackagedFormSet& Packaged, const sim::HiiPackageList& List,
                      const StoreLookup& StoreBytes);

// (class, language, id) -> text, for telling what an action changed.
using StringSnapshot = std::map<std::tuple<uint16_t, std::string, uint16_t>, std::string>;
void AddToSnapshot(StringSnapshot& Snapshot, const FormSetPage& Page);
std::vector<StringChange> DiffStrings(const StringSnapshot& Before, const StringSnapshot& After);

// Resolves a form set named by class ("0x10", "16") or by name
// ("hardware-monitor", "Hardware Monitor"); null when nothing matches.
const PackagedFormSet* FindFormSet(const std::vector<PackagedFormSet>& FormSets, const std::string& Selector);
// "main (0x1), advanced (0x2), ..." for error messages.
std::string FormSetChoices(const std::vector<PackagedFormSet>& FormSets);

}  // namespace boardsim
