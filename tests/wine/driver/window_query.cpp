#include "window_query.h"

#include <cwchar>

#include "handles.h"
#include "json.h"

namespace qmdriver {
namespace {

// A hung target must not hang the driver.
constexpr UINT kSendTimeoutMs = 3000;

std::wstring CaptionOf(HWND hwnd) {
  // GetWindowTextW reads a top-level caption without sending a message.
  wchar_t buf[512];
  int n = GetWindowTextW(hwnd, buf, 512);
  return std::wstring(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

BOOL CALLBACK Collect(HWND h, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(h);
  return TRUE;
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> all;
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&all));
  return all;
}

bool ParseHwnd(std::wstring_view selector, HWND* out) {
  constexpr std::wstring_view kPrefix = L"hwnd:";
  if (selector.substr(0, kPrefix.size()) != kPrefix) return false;
  std::wstring digits(selector.substr(kPrefix.size()));
  *out = reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::wcstoul(digits.c_str(), nullptr, 0)));
  return true;
}

bool IsDialog(HWND h) { return ClassOf(h) == L"#32770"; }

}  // namespace

std::wstring ReadText(HWND hwnd) {
  DWORD_PTR len = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &len))
    return {};
  std::wstring text(len + 1, L'\0');
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, len + 1, reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, kSendTimeoutMs, &got))
    return {};
  text.resize(got <= len ? got : len);
  return text;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t buf[256];
  int n = GetClassNameW(hwnd, buf, 256);
  return std::wstring(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

std::wstring QmNameOf(HWND hwnd) {
  auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropW(hwnd, L"QmName")));
  if (atom == 0) return {};
  wchar_t buf[256];
  UINT n = GlobalGetAtomNameW(atom, buf, 256);
  return std::wstring(buf, n);
}

HWND FindTopLevel(std::wstring_view selector) {
  HWND direct = nullptr;
  if (ParseHwnd(selector, &direct)) return IsWindow(direct) ? direct : nullptr;
  HWND hidden = nullptr;
  for (HWND h : TopLevelWindows()) {
    if (CaptionOf(h) != selector) continue;
    if (IsWindowVisible(h)) return h;
    if (!hidden) hidden = h;
  }
  return hidden;
}

HWND WaitForTopLevel(std::wstring_view selector, DWORD timeout_ms) {
  HWND found = nullptr;
  WaitFor(timeout_ms, [&] { return (found = FindTopLevel(selector)) != nullptr; });
  return found;
}

bool WaitForTopLevelGone(std::wstring_view selector, DWORD timeout_ms) {
  return WaitFor(timeout_ms, [&] { return FindTopLevel(selector) == nullptr; });
}

int CountTopLevel(std::wstring_view caption, bool visible_only) {
  int count = 0;
  for (HWND h : TopLevelWindows())
    if (CaptionOf(h) == caption && (!visible_only || IsWindowVisible(h))) ++count;
  return count;
}

std::vector<HWND> ControlsOf(HWND top) {
  std::vector<HWND> all;
  EnumChildWindows(top, Collect, reinterpret_cast<LPARAM>(&all));
  return all;
}

HWND FindControl(HWND top, std::wstring_view name) {
  for (HWND h : ControlsOf(top))
    if (QmNameOf(h) == name) return h;
  return nullptr;
}

HWND FindChildByClass(HWND top, std::wstring_view class_name) {
  for (HWND h : ControlsOf(top))
    if (ClassOf(h) == class_name) return h;
  return nullptr;
}

HWND FindChildById(HWND top, int id) {
  for (HWND h : ControlsOf(top))
    if (GetDlgCtrlID(h) == id) return h;
  return nullptr;
}

RECT WorkAreaOf(HWND hwnd) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  HMONITOR monitor = MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST);
  if (monitor && GetMonitorInfoW(monitor, &info)) return info.rcWork;
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  return work;
}

std::vector<HWND> MessageBoxes() {
  std::vector<HWND> boxes;
  for (HWND h : TopLevelWindows())
    if (IsWindowVisible(h) && IsDialog(h) && !FindChildByClass(h, L"SysTreeView32"))
      boxes.push_back(h);
  return boxes;
}

HWND FindPicker() {
  for (HWND h : TopLevelWindows())
    if (IsWindowVisible(h) && IsDialog(h) && FindChildByClass(h, L"SysTreeView32")) return h;
  return nullptr;
}

std::string RectJson(const RECT& r) {
  return JsonObject()
      .Int("left", r.left)
      .Int("top", r.top)
      .Int("width", r.right - r.left)
      .Int("height", r.bottom - r.top)
      .Str();
}

std::string WindowJson(HWND top) {
  RECT window{};
  GetWindowRect(top, &window);
  RECT client{};
  GetClientRect(top, &client);
  POINT origin{0, 0};
  ClientToScreen(top, &origin);
  OffsetRect(&client, origin.x, origin.y);
  DWORD pid = 0;
  GetWindowThreadProcessId(top, &pid);
  HWND owner = GetWindow(top, GW_OWNER);
  JsonObject json;
  json.Int("hwnd", static_cast<long long>(reinterpret_cast<UINT_PTR>(top)))
      .Text("caption", CaptionOf(top))
      .Text("class", ClassOf(top))
      .Text("name", QmNameOf(top))
      .Int("pid", pid)
      .Raw("rect", RectJson(window))
      .Raw("client", RectJson(client))
      .Raw("work_area", RectJson(WorkAreaOf(top)))
      .Bool("zoomed", IsZoomed(top))
      .Bool("iconic", IsIconic(top))
      .Bool("visible", IsWindowVisible(top))
      .Bool("enabled", IsWindowEnabled(top))
      .Bool("foreground", GetForegroundWindow() == top)
      .Int("style", static_cast<long long>(static_cast<DWORD>(GetWindowLongW(top, GWL_STYLE))))
      .Int("ex_style", static_cast<long long>(static_cast<DWORD>(GetWindowLongW(top, GWL_EXSTYLE))))
      .Int("owner_hwnd", static_cast<long long>(reinterpret_cast<UINT_PTR>(owner)));
  if (owner) json.Text("owner", CaptionOf(owner));
  else json.Raw("owner", "null");
  return json.Str();
}

std::string ControlJson(HWND top, HWND control) {
  RECT screen{};
  GetWindowRect(control, &screen);
  RECT relative = screen;
  MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&relative), 2);
  return JsonObject()
      .Int("hwnd", static_cast<long long>(reinterpret_cast<UINT_PTR>(control)))
      .Text("name", QmNameOf(control))
      .Text("class", ClassOf(control))
      .Int("id", GetDlgCtrlID(control))
      .Raw("screen", RectJson(screen))
      .Raw("rect", RectJson(relative))
      .Bool("visible", IsWindowVisible(control))
      .Bool("enabled", IsWindowEnabled(control))
      .Text("text", ReadText(control))
      .Str();
}

bool ReadTreeItemText(HWND tree, HTREEITEM item, std::wstring* text) {
  DWORD pid = 0;
  GetWindowThreadProcessId(tree, &pid);
  UniqueHandle process(OpenProcess(
      PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION, FALSE,
      pid));
  if (!process) return false;
  constexpr int kChars = 520;
  RemoteBlock block(process.Get(), sizeof(TVITEMW) + kChars * sizeof(wchar_t));
  if (!block) return false;
  auto* remote_text = static_cast<wchar_t*>(block.Address()) + sizeof(TVITEMW) / sizeof(wchar_t);
  TVITEMW tv{};
  tv.mask = TVIF_TEXT | TVIF_HANDLE;
  tv.hItem = item;
  tv.pszText = remote_text;
  tv.cchTextMax = kChars;
  if (!WriteProcessMemory(process.Get(), block.Address(), &tv, sizeof tv, nullptr)) return false;
  DWORD_PTR ok = 0;
  if (!SendMessageTimeoutW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(block.Address()),
                           SMTO_ABORTIFHUNG, kSendTimeoutMs, &ok) ||
      !ok)
    return false;
  // The control may point pszText at its own buffer instead of ours.
  TVITEMW back{};
  if (!ReadProcessMemory(process.Get(), block.Address(), &back, sizeof back, nullptr)) return false;
  wchar_t buf[kChars] = {};
  if (!ReadProcessMemory(process.Get(), back.pszText, buf, sizeof buf - sizeof(wchar_t), nullptr))
    return false;
  *text = buf;
  return true;
}

}  // namespace qmdriver
