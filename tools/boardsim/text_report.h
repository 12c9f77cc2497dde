// The readable form of a run: pages, boots, actions, the update lookup.
#pragma once

#include <string>

#include "tools/boardsim/run_report.h"

namespace boardsim {

std::string RenderPage(const FormSetPage& Page, const std::string& Language, bool AllStrings);
std::string RenderText(const RunReport& Report);

}  // namespace boardsim
