// qmdriver: works another program's windows the way a person would.
//   qmdriver COMMAND ARG...   one command; exit code 0 when it succeeded
//   qmdriver batch            commands on stdin, one a line, words separated
//                             by tabs (\t \n \r \\ escaped); one answer a line
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "commands.h"
#include "json.h"

namespace {

std::vector<std::wstring> SplitBatchLine(const std::wstring& line) {
  std::vector<std::wstring> words(1);
  for (size_t i = 0; i < line.size(); ++i) {
    wchar_t c = line[i];
    if (c == L'\t') {
      words.emplace_back();
    } else if (c == L'\\' && i + 1 < line.size()) {
      wchar_t e = line[++i];
      words.back() += e == L't' ? L'\t' : e == L'n' ? L'\n' : e == L'r' ? L'\r' : e;
    } else {
      words.back() += c;
    }
  }
  return words;
}

void Answer(const qmdriver::Answer& answer) {
  std::string line = qmdriver::AnswerLine(answer) + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

int RunBatch() {
  std::string raw;
  while (std::getline(std::cin, raw)) {
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    if (raw.empty()) continue;
    std::vector<std::wstring> words = SplitBatchLine(qmdriver::FromUtf8(raw));
    if (words[0] == L"quit") break;
    Answer(qmdriver::RunCommand(words));
  }
  return 0;
}

}  // namespace

int main() {
  // Answers are UTF-8 lines; no CR LF translation on the pipes.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::wstring> words;
  for (int i = 1; i < argc; ++i) words.emplace_back(argv[i]);
  LocalFree(argv);
  if (words.empty() || words[0] == L"batch") return RunBatch();
  qmdriver::Answer answer = qmdriver::RunCommand(words);
  Answer(answer);
  return answer.ok ? 0 : 1;
}
