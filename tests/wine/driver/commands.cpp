#include "commands.h"

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cwchar>
#include <functional>
#include <map>
#include <string_view>

#include "handles.h"
#include "input.h"
#include "json.h"
#include "window_query.h"

namespace qmdriver {
namespace {

using Args = std::vector<std::wstring>;

constexpr DWORD kFrontTimeoutMs = 3000;
constexpr UINT kSendTimeoutMs = 3000;

Answer Ok(std::string value = "null") { return {true, std::move(value), {}}; }
Answer Fail(std::wstring error) { return {false, {}, std::move(error)}; }

DWORD Millis(const std::wstring& text) { return std::wcstoul(text.c_str(), nullptr, 10); }

// Resolves the window argument, or says why not.
bool Window(const std::wstring& selector, HWND* top, Answer* failure) {
  *top = FindTopLevel(selector);
  if (*top) return true;
  *failure = Fail(L"no window: " + selector);
  return false;
}

bool Control(const Args& a, HWND* top, HWND* control, Answer* failure) {
  if (!Window(a[1], top, failure)) return false;
  *control = FindControl(*top, a[2]);
  if (*control) return true;
  *failure = Fail(L"no control " + a[2] + L" in " + a[1]);
  return false;
}

std::string ProcessExit(HANDLE process, DWORD timeout_ms, Answer* failure) {
  if (WaitForSingleObject(process, timeout_ms) != WAIT_OBJECT_0) {
    *failure = Fail(L"process still running");
    return {};
  }
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  return JsonObject().Int("exit_code", static_cast<long long>(code)).Str();
}

std::string MessageBoxJson(HWND box) {
  JsonArray buttons;
  std::wstring text;
  for (HWND child : ControlsOf(box)) {
    std::wstring cls = ClassOf(child);
    if (cls == L"Button") {
      buttons.Raw(JsonObject().Int("id", GetDlgCtrlID(child)).Text("text", ReadText(child)).Str());
    } else if (cls == L"Static" && GetDlgCtrlID(child) == 0xFFFF) {
      text = ReadText(child);  // the message itself, as message boxes number it
    }
  }
  return JsonObject()
      .Int("hwnd", static_cast<long long>(reinterpret_cast<UINT_PTR>(box)))
      .Text("title", ReadText(box))
      .Text("text", text)
      .Raw("buttons", buttons.Str())
      .Bool("enabled", IsWindowEnabled(box))
      .Str();
}

HWND PickerTree(Answer* failure) {
  HWND picker = FindPicker();
  HWND tree = picker ? FindChildByClass(picker, L"SysTreeView32") : nullptr;
  if (!tree) *failure = Fail(L"no folder picker");
  return tree;
}

HTREEITEM NextItem(HWND tree, HTREEITEM item, WPARAM how) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(tree, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item), SMTO_ABORTIFHUNG,
                      kSendTimeoutMs, &result);
  return reinterpret_cast<HTREEITEM>(result);
}

// First item of a level: the roots, or the children of item after expanding it.
HTREEITEM FirstOfLevel(HWND tree, HTREEITEM parent) {
  if (!parent) return NextItem(tree, nullptr, TVGN_ROOT);
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(parent),
                      SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored);
  return NextItem(tree, parent, TVGN_CHILD);
}

// Drives show as "<label> (D:)"; "D:" names one whatever its label.
bool ItemMatches(const std::wstring& text, const std::wstring& wanted) {
  if (_wcsicmp(text.c_str(), wanted.c_str()) == 0) return true;
  if (wanted.size() != 2 || wanted[1] != L':') return false;
  std::wstring tail = L"(" + wanted + L")";
  return text.size() >= tail.size() &&
         _wcsicmp(text.c_str() + text.size() - tail.size(), tail.c_str()) == 0;
}

// Walks the path of item texts (compared without case) from the roots.
bool WalkTree(HWND tree, const Args& path, HTREEITEM* found, Answer* failure) {
  HTREEITEM parent = nullptr;
  for (const std::wstring& wanted : path) {
    HTREEITEM match = nullptr;
    for (HTREEITEM item = FirstOfLevel(tree, parent); item && !match;
         item = NextItem(tree, item, TVGN_NEXT)) {
      std::wstring text;
      if (ReadTreeItemText(tree, item, &text) && ItemMatches(text, wanted))
        match = item;
    }
    if (!match) {
      *failure = Fail(L"no tree item: " + wanted);
      return false;
    }
    parent = match;
  }
  *found = parent;
  return true;
}

Answer PressDialogButton(HWND dialog, int id) {
  HWND button = FindChildById(dialog, id);
  if (!button) return Fail(L"no button with id " + std::to_wstring(id));
  // Posted: the press may open or end a modal loop in the target.
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  return Ok();
}

Answer Post(const Args& a, UINT msg, WPARAM wp) {
  HWND top = nullptr;
  Answer failure;
  if (!Window(a[1], &top, &failure)) return failure;
  PostMessageW(top, msg, wp, 0);
  return Ok();
}

std::wstring ImagePathOf(DWORD pid) {
  UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return {};
  wchar_t buf[MAX_PATH * 2];
  DWORD size = MAX_PATH * 2;
  if (!QueryFullProcessImageNameW(process.Get(), 0, buf, &size)) return {};
  return std::wstring(buf, size);
}

// Files the driver keeps open without sharing, as another program holding a
// file would; closed by "release" or when the driver ends.
std::map<std::wstring, UniqueHandle>& HeldFiles() {
  static std::map<std::wstring, UniqueHandle> held;
  return held;
}

struct Command {
  const wchar_t* name;
  size_t min_args;
  const char* usage;
  std::function<Answer(const Args&)> run;
};

const std::vector<Command>& Commands() {
  static const std::vector<Command> kCommands = {
      {L"wait_window", 2, "wait_window CAPTION MS",
       [](const Args& a) {
         HWND top = WaitForTopLevel(a[1], Millis(a[2]));
         return top ? Ok(WindowJson(top)) : Fail(L"no window: " + a[1]);
       }},
      {L"wait_gone", 2, "wait_gone CAPTION MS",
       [](const Args& a) {
         return WaitForTopLevelGone(a[1], Millis(a[2])) ? Ok() : Fail(L"still there: " + a[1]);
       }},
      {L"window", 1, "window CAPTION",
       [](const Args& a) {
         HWND top = nullptr;
         Answer failure;
         return Window(a[1], &top, &failure) ? Ok(WindowJson(top)) : failure;
       }},
      {L"count_windows", 1, "count_windows CAPTION",
       [](const Args& a) {
         return Ok(JsonObject()
                       .Int("all", CountTopLevel(a[1], false))
                       .Int("visible", CountTopLevel(a[1], true))
                       .Str());
       }},
      {L"controls", 1, "controls CAPTION",
       [](const Args& a) {
         HWND top = nullptr;
         Answer failure;
         if (!Window(a[1], &top, &failure)) return failure;
         JsonArray list;
         for (HWND c : ControlsOf(top)) list.Raw(ControlJson(top, c));
         return Ok(list.Str());
       }},
      {L"control", 2, "control CAPTION NAME",
       [](const Args& a) {
         HWND top = nullptr, control = nullptr;
         Answer failure;
         return Control(a, &top, &control, &failure) ? Ok(ControlJson(top, control)) : failure;
       }},
      {L"focus", 1, "focus CAPTION",
       [](const Args& a) {
         HWND top = nullptr;
         Answer failure;
         if (!Window(a[1], &top, &failure)) return failure;
         GUITHREADINFO info{};
         info.cbSize = sizeof info;
         if (!GetGUIThreadInfo(GetWindowThreadProcessId(top, nullptr), &info))
           return Fail(L"GetGUIThreadInfo failed");
         JsonObject json;
         json.Text("active", info.hwndActive ? ReadText(info.hwndActive) : L"");
         if (info.hwndFocus) {
           HWND root = GetAncestor(info.hwndFocus, GA_ROOT);
           json.Text("name", QmNameOf(info.hwndFocus))
               .Text("class", ClassOf(info.hwndFocus))
               .Text("window", root ? ReadText(root) : L"")
               .Int("hwnd", static_cast<long long>(reinterpret_cast<UINT_PTR>(info.hwndFocus)));
         } else {
           json.Raw("name", "null");
         }
         return Ok(json.Str());
       }},
      {L"foreground", 0, "foreground",
       [](const Args&) {
         HWND fg = GetForegroundWindow();
         return fg ? Ok(WindowJson(fg)) : Ok();
       }},
      {L"click", 2, "click CAPTION NAME",
       [](const Args& a) {
         HWND top = nullptr, control = nullptr;
         Answer failure;
         if (!Control(a, &top, &control, &failure)) return failure;
         PostMessageW(control, BM_CLICK, 0, 0);
         return Ok();
       }},
      {L"checked", 2, "checked CAPTION NAME (a check box's state)",
       [](const Args& a) {
         HWND top = nullptr, control = nullptr;
         Answer failure;
         if (!Control(a, &top, &control, &failure)) return failure;
         DWORD_PTR state = 0;
         if (!SendMessageTimeoutW(control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                                  &state))
           return Fail(L"BM_GETCHECK timed out");
         return Ok(state == BST_CHECKED ? "true" : "false");
       }},
      {L"mouse_click", 2, "mouse_click CAPTION NAME",
       [](const Args& a) {
         HWND top = nullptr, control = nullptr;
         Answer failure;
         if (!Control(a, &top, &control, &failure)) return failure;
         if (!BringToFront(top, kFrontTimeoutMs)) return Fail(L"window not in front: " + a[1]);
         RECT r{};
         GetWindowRect(control, &r);
         POINT centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
         return ClickAt(centre) ? Ok() : Fail(L"SendInput failed");
       }},
      {L"set_text", 3, "set_text CAPTION NAME TEXT",
       [](const Args& a) {
         HWND top = nullptr, control = nullptr;
         Answer failure;
         if (!Control(a, &top, &control, &failure)) return failure;
         DWORD_PTR ignored = 0;
         if (!SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(a[3].c_str()),
                                  SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored))
           return Fail(L"WM_SETTEXT timed out");
         return Ok();
       }},
      {L"type", 2, "type CAPTION TEXT",
       [](const Args& a) {
         HWND top = nullptr;
         Answer failure;
         if (!Window(a[1], &top, &failure)) return failure;
         if (!BringToFront(top, kFrontTimeoutMs)) return Fail(L"window not in front: " + a[1]);
         return TypeText(a[2]) ? Ok() : Fail(L"SendInput failed");
       }},
      {L"key", 2, "key CAPTION CHORD (tab, shift+tab, enter, esc, alt+n, ...)",
       [](const Args& a) {
         HWND top = nullptr;
         Answer failure;
         if (!Window(a[1], &top, &failure)) return failure;
         if (!BringToFront(top, kFrontTimeoutMs)) return Fail(L"window not in front: " + a[1]);
         std::wstring error;
         return PressKeys(a[2], &error) ? Ok() : Fail(error);
       }},
      {L"close", 1, "close CAPTION", [](const Args& a) { return Post(a, WM_CLOSE, 0); }},
      {L"minimize", 1, "minimize CAPTION",
       [](const Args& a) { return Post(a, WM_SYSCOMMAND, SC_MINIMIZE); }},
      {L"restore", 1, "restore CAPTION",
       [](const Args& a) { return Post(a, WM_SYSCOMMAND, SC_RESTORE); }},
      {L"maximize", 1, "maximize CAPTION",
       [](const Args& a) { return Post(a, WM_SYSCOMMAND, SC_MAXIMIZE); }},
      {L"wait_text", 5, "wait_text CAPTION NAME eq|contains VALUE MS",
       [](const Args& a) {
         HWND top = nullptr, control = nullptr;
         Answer failure;
         if (!Control(a, &top, &control, &failure)) return failure;
         bool contains = a[3] == L"contains";
         if (!contains && a[3] != L"eq") return Fail(L"mode must be eq or contains");
         std::wstring last;
         bool met = WaitFor(Millis(a[5]), [&] {
           last = ReadText(control);
           return contains ? last.find(a[4]) != std::wstring::npos : last == a[4];
         });
         return met ? Ok(JsonText(last)) : Fail(L"text is: " + last);
       }},
      {L"msgbox_count", 0, "msgbox_count",
       [](const Args&) { return Ok(std::to_string(MessageBoxes().size())); }},
      {L"wait_msgbox", 1, "wait_msgbox MS",
       [](const Args& a) {
         HWND box = nullptr;
         WaitFor(Millis(a[1]), [&] {
           auto boxes = MessageBoxes();
           box = boxes.empty() ? nullptr : boxes.front();
           return box != nullptr;
         });
         if (!box) return Fail(L"no message box");
         return Ok(JsonObject()
                       .Int("count", static_cast<long long>(MessageBoxes().size()))
                       .Raw("box", MessageBoxJson(box))
                       .Str());
       }},
      {L"msgbox_press", 1, "msgbox_press BUTTON_ID",
       [](const Args& a) {
         auto boxes = MessageBoxes();
         if (boxes.empty()) return Fail(L"no message box");
         if (boxes.size() > 1) return Fail(L"more than one message box");
         return PressDialogButton(boxes.front(), static_cast<int>(Millis(a[1])));
       }},
      {L"pixel", 2, "pixel X Y",
       [](const Args& a) {
         ScreenDc dc;
         COLORREF c = GetPixel(dc.Get(), _wtoi(a[1].c_str()), _wtoi(a[2].c_str()));
         if (c == CLR_INVALID) return Fail(L"no pixel there");
         return Ok(JsonArray().Int(GetRValue(c)).Int(GetGValue(c)).Int(GetBValue(c)).Str());
       }},
      {L"acp", 0, "acp (this process's ANSI code page)",
       [](const Args&) { return Ok(std::to_string(GetACP())); }},
      {L"sys_color", 1, "sys_color INDEX (GetSysColor, e.g. 15 for COLOR_BTNFACE)",
       [](const Args& a) {
         COLORREF c = GetSysColor(_wtoi(a[1].c_str()));
         return Ok(JsonArray().Int(GetRValue(c)).Int(GetGValue(c)).Int(GetBValue(c)).Str());
       }},
      {L"screen", 0, "screen",
       [](const Args&) {
         RECT work{};
         SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
         return Ok(JsonObject()
                       .Int("width", GetSystemMetrics(SM_CXSCREEN))
                       .Int("height", GetSystemMetrics(SM_CYSCREEN))
                       .Raw("work_area", RectJson(work))
                       .Str());
       }},
      {L"wait_picker", 1, "wait_picker MS",
       [](const Args& a) {
         HWND picker = nullptr;
         WaitFor(Millis(a[1]), [&] { return (picker = FindPicker()) != nullptr; });
         return picker ? Ok(WindowJson(picker)) : Fail(L"no folder picker");
       }},
      {L"picker_items", 0, "picker_items [ITEM...] (children of that path)",
       [](const Args& a) {
         Answer failure;
         HWND tree = PickerTree(&failure);
         if (!tree) return failure;
         HTREEITEM parent = nullptr;
         if (a.size() > 1 && !WalkTree(tree, Args(a.begin() + 1, a.end()), &parent, &failure))
           return failure;
         JsonArray list;
         for (HTREEITEM item = FirstOfLevel(tree, parent); item;
              item = NextItem(tree, item, TVGN_NEXT)) {
           std::wstring text;
           ReadTreeItemText(tree, item, &text);
           list.Text(text);
         }
         return Ok(list.Str());
       }},
      {L"picker_select", 1, "picker_select ITEM... (item texts from the root; \"D:\" names a drive)",
       [](const Args& a) {
         Answer failure;
         HWND tree = PickerTree(&failure);
         if (!tree) return failure;
         HTREEITEM item = nullptr;
         if (!WalkTree(tree, Args(a.begin() + 1, a.end()), &item, &failure)) return failure;
         DWORD_PTR ok = 0;
         SendMessageTimeoutW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item),
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &ok);
         if (!ok) return Fail(L"TVM_SELECTITEM failed");
         std::wstring text;
         ReadTreeItemText(tree, NextItem(tree, nullptr, TVGN_CARET), &text);
         return Ok(JsonText(text));
       }},
      {L"picker_ok", 0, "picker_ok",
       [](const Args&) {
         HWND picker = FindPicker();
         return picker ? PressDialogButton(picker, IDOK) : Fail(L"no folder picker");
       }},
      {L"picker_cancel", 0, "picker_cancel",
       [](const Args&) {
         HWND picker = FindPicker();
         return picker ? PressDialogButton(picker, IDCANCEL) : Fail(L"no folder picker");
       }},
      {L"folder_path", 1, "folder_path CSIDL (decimal, e.g. 16 the user's desktop)",
       [](const Args& a) {
         wchar_t buf[MAX_PATH] = {};
         if (FAILED(SHGetFolderPathW(nullptr, static_cast<int>(Millis(a[1])), nullptr,
                                     SHGFP_TYPE_CURRENT, buf)))
           return Fail(L"SHGetFolderPathW failed");
         return Ok(JsonText(buf));
       }},
      {L"temp_path", 0, "temp_path",
       [](const Args&) {
         wchar_t buf[MAX_PATH + 1] = {};
         DWORD n = GetTempPathW(MAX_PATH + 1, buf);
         return n ? Ok(JsonText(std::wstring(buf, n))) : Fail(L"GetTempPathW failed");
       }},
      {L"full_path", 1, "full_path PATH (GetFullPathNameW: the path as the system resolves it)",
       [](const Args& a) {
         DWORD n = GetFullPathNameW(a[1].c_str(), 0, nullptr, nullptr);
         if (n == 0) return Fail(L"GetFullPathNameW failed: " + std::to_wstring(GetLastError()));
         std::wstring buf(n, L'\0');
         n = GetFullPathNameW(a[1].c_str(), n, buf.data(), nullptr);
         if (n == 0 || n >= buf.size()) return Fail(L"GetFullPathNameW failed");
         buf.resize(n);
         return Ok(JsonText(buf));
       }},
      {L"processes", 0, "processes (pid, image path of every process)",
       [](const Args&) {
         UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
         if (!snapshot) return Fail(L"CreateToolhelp32Snapshot failed");
         PROCESSENTRY32W entry{};
         entry.dwSize = sizeof entry;
         JsonArray list;
         for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
              more = Process32NextW(snapshot.Get(), &entry)) {
           list.Raw(JsonObject()
                        .Int("pid", entry.th32ProcessID)
                        .Text("exe", entry.szExeFile)
                        .Text("path", ImagePathOf(entry.th32ProcessID))
                        .Str());
         }
         return Ok(list.Str());
       }},
      {L"run", 2, "run MS COMMAND_LINE",
       [](const Args& a) {
         STARTUPINFOW si{};
         si.cb = sizeof si;
         PROCESS_INFORMATION pi{};
         std::wstring line = a[2];
         if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &si, &pi))
           return Fail(L"CreateProcessW failed: " + std::to_wstring(GetLastError()));
         UniqueHandle process(pi.hProcess);
         UniqueHandle thread(pi.hThread);
         Answer failure;
         std::string exit = ProcessExit(process.Get(), Millis(a[1]), &failure);
         return exit.empty() ? failure : Ok(exit);
       }},
      {L"hold", 1, "hold PATH (opens an existing file with no sharing until release)",
       [](const Args& a) {
         UniqueHandle file(CreateFileW(a[1].c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
         if (!file) return Fail(L"CreateFileW failed: " + std::to_wstring(GetLastError()));
         HeldFiles()[a[1]] = std::move(file);
         return Ok();
       }},
      {L"release", 1, "release PATH",
       [](const Args& a) { return HeldFiles().erase(a[1]) ? Ok() : Fail(L"not held: " + a[1]); }},
      {L"wait_exit", 2, "wait_exit PID MS",
       [](const Args& a) {
         UniqueHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                          Millis(a[1])));
         if (!process) return Fail(L"no process " + a[1]);
         Answer failure;
         std::string exit = ProcessExit(process.Get(), Millis(a[2]), &failure);
         return exit.empty() ? failure : Ok(exit);
       }},
  };
  return kCommands;
}

}  // namespace

Answer RunCommand(const Args& words) {
  if (words.empty()) return Fail(L"empty command");
  for (const Command& c : Commands()) {
    if (words[0] != c.name) continue;
    if (words.size() - 1 < c.min_args) return Fail(L"usage: " + FromUtf8(c.usage));
    return c.run(words);
  }
  return Fail(L"unknown command: " + words[0]);
}

std::string AnswerLine(const Answer& answer) {
  if (answer.ok) return "{\"ok\":true,\"value\":" + answer.value + "}";
  return "{\"ok\":false,\"error\":" + JsonText(answer.error) + "}";
}

}  // namespace qmdriver
