// Starts QMV.exe with a command line, finds its window, reads back the command
// line it shows and closes it: QMV must show exactly what it received and end
// with exit code 0.
//   qmv_test <QMV.exe>
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

constexpr DWORD kDeadlineMs = 20000;

struct Handle {
  HANDLE h = nullptr;
  ~Handle() {
    if (h) CloseHandle(h);
  }
};

struct Search {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK FindQmvWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  wchar_t title[64] = {};
  GetWindowTextW(window, title, 64);
  if (pid == search->processId && lstrcmpW(title, L"Quillmere") == 0) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

std::wstring ControlText(HWND control) {
  wchar_t buffer[2048] = {};
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(control, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000,
                           &length))
    return L"<no answer>";
  return std::wstring(buffer, length);
}

int Fail(const char* what) {
  std::printf("FAIL: %s\n", what);
  return 1;
}

// One case: the command line given, which QMV must show unchanged.
int RunCase(const std::wstring& exe, const std::wstring& arguments) {
  std::wstring commandLine = L"\"" + exe + L"\"" + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info))
    return Fail("cannot start QMV.exe");
  Handle process{info.hProcess}, thread{info.hThread};
  WaitForInputIdle(process.h, kDeadlineMs);

  Search search{info.dwProcessId, nullptr};
  const DWORD start = GetTickCount();
  while (!search.found && GetTickCount() - start < kDeadlineMs) {
    EnumWindows(FindQmvWindow, reinterpret_cast<LPARAM>(&search));
    if (!search.found && WaitForSingleObject(process.h, 20) == WAIT_OBJECT_0) break;  // it ended early
  }
  if (!search.found) {
    TerminateProcess(process.h, 2);
    return Fail("no window titled Quillmere");
  }
  int failures = 0;
  const std::wstring shown = ControlText(GetDlgItem(search.found, 101));
  if (shown != commandLine) {
    std::printf("FAIL: QMV shows [%ls], was given [%ls]\n", shown.c_str(), commandLine.c_str());
    ++failures;
  }
  if (ControlText(GetDlgItem(search.found, 100)).find(L"3.4.2") == std::wstring::npos) failures += Fail("no version shown");

  PostMessageW(search.found, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process.h, kDeadlineMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.h, 2);
    return Fail("QMV did not close");
  }
  DWORD code = 1;
  GetExitCodeProcess(process.h, &code);
  if (code != 0) failures += Fail("QMV's exit code is not 0");
  return failures;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return Fail("usage: qmv_test <QMV.exe>");
  const std::wstring cases[] = {L"", L" --open \"D:\\文稿\\第一章.qmx\"", L" a&b  \"two  spaces\""};
  int failures = 0;
  for (const std::wstring& arguments : cases) failures += RunCase(argv[1], arguments);
  return failures ? 1 : 0;
}
