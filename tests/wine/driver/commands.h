// The driver's command table: each command takes its arguments as texts and
// answers with a JSON value or an error.
#pragma once

#include <string>
#include <vector>

namespace qmdriver {

struct Answer {
  bool ok = false;
  std::string value;  // JSON, when ok
  std::wstring error;
};

Answer RunCommand(const std::vector<std::wstring>& words);

// One line of JSON: {"ok":true,"value":...} or {"ok":false,"error":"..."}.
std::string AnswerLine(const Answer& answer);

}  // namespace qmdriver
