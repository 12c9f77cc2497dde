// The JSON form of a run (docs/boardsim.md describes every field). Keys
// keep the order written here, so the output is stable for scripts.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "tools/boardsim/run_report.h"

namespace boardsim {

using Json = nlohmann::ordered_json;

constexpr const char* JSON_FORMAT_NAME = "boardsim/1";

Json PageJson(const FormSetPage& Page);
Json ReportJson(const RunReport& Report);
// The document printed when a run stops on an error.
Json ErrorJson(const std::string& Kind, const std::string& Message, int ExitCode);

}  // namespace boardsim
