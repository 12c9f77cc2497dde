// The live check: which strings the drivers fill still read as packaged,
// and whether the board says why each may.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/boardsim/page_capture.h"
#include "tools/boardsim/run_report.h"

namespace boardsim {

// One string the drivers fill, and what fills it.
struct DriverString {
  uint16_t Id = 0;
  std::string SetBy;
};

// Every string the drivers fill, per form-set class, as the pages define
// them; a string of "every form set" is listed under each class whose
// package carries it.
std::map<uint16_t, std::vector<DriverString>> DriverStrings(const std::vector<PackagedFormSet>& FormSets);

// The strings a board leaves as packaged on purpose: (class, id) -> reason.
struct LiveAllowances {
  std::map<std::pair<uint16_t, uint16_t>, std::string> MayStay;
};

// Reads an allowance document:
//   {"mayStay": [{"formSet": "0x04", "ids": ["0x00DB", "0x0A92-0x0A94"],
//                 "reason": "..."}]}
// A form set is named as for --formset. Error set (with a JSON path) on
// anything else, including an ID no driver fills there.
std::optional<LiveAllowances> ParseLiveAllowances(const std::string& Text, const std::string& Origin,
                                                  const std::vector<PackagedFormSet>& FormSets, std::string& Error);

struct LiveEntry {
  uint16_t Id = 0;
  std::string SetBy;
  std::string PackageText;  // in the checked language
  std::optional<std::string> Reason;  // none: not allowed to stay
};

struct LiveFormSet {
  uint16_t Class = 0;
  std::string Name;
  bool Published = false;
  size_t DriverSet = 0;  // strings the drivers fill on this form set
  std::vector<LiveEntry> AtPackageText;
  std::vector<uint16_t> StaleAllowances;  // allowed to stay, yet filled
};

struct LiveReport {
  std::string BoardName;
  std::string BoardFile;
  std::string Language;
  std::string AllowanceFile;
  std::vector<LiveFormSet> FormSets;
  size_t Unexpected = 0;
  size_t Allowed = 0;
  size_t Stale = 0;
};

LiveReport CheckLive(const std::vector<FormSetPage>& Pages, const std::vector<PackagedFormSet>& FormSets,
                     const LiveAllowances& Allowances, const std::string& Language);

std::string RenderLiveText(const LiveReport& Report);
std::string RenderLiveJson(const LiveReport& Report, int ExitCode);

}  // namespace boardsim
