// The readable form of a run: pages, boots, actions, the update lookup.
#pragma once

#include <string>

#include "tools/boardsim/run_report.h"

namespace boardsim {

std::string RenderPage(const FormSetPage& Page, const std::string& Language, bool AllStrings);
// A page as the browser shows it: its form's subtitles, texts and questions
// with their current values, string IDs and keys beside them.
std::string RenderFormPage(const FormSetPage& Page, const std::string& Language);
std::string RenderText(const RunReport& Report);

}  // namespace boardsim
