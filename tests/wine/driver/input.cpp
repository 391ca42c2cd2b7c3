#include "input.h"

#include <cwctype>
#include <vector>

#include "window_query.h"

namespace qmdriver {
namespace {

INPUT Key(WORD vk, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return in;
}

bool Send(std::vector<INPUT>& inputs) {
  UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  return sent == inputs.size();
}

bool VirtualKeyOf(std::wstring_view name, WORD* vk) {
  struct Named {
    const wchar_t* name;
    WORD vk;
  };
  static const Named kKeys[] = {
      {L"tab", VK_TAB},     {L"enter", VK_RETURN}, {L"esc", VK_ESCAPE},  {L"space", VK_SPACE},
      {L"back", VK_BACK},   {L"delete", VK_DELETE}, {L"home", VK_HOME},   {L"end", VK_END},
      {L"left", VK_LEFT},   {L"right", VK_RIGHT},  {L"up", VK_UP},       {L"down", VK_DOWN},
      {L"f1", VK_F1},       {L"f4", VK_F4},        {L"shift", VK_SHIFT}, {L"ctrl", VK_CONTROL},
      {L"alt", VK_MENU},
  };
  for (const Named& k : kKeys)
    if (name == k.name) { *vk = k.vk; return true; }
  if (name.size() == 1 && std::iswalnum(name[0]) && name[0] < 0x80) {
    *vk = static_cast<WORD>(std::towupper(name[0]));
    return true;
  }
  return false;
}

}  // namespace

bool BringToFront(HWND top, DWORD timeout_ms) {
  if (GetForegroundWindow() == top) return true;
  SetForegroundWindow(top);
  return WaitFor(timeout_ms, [&] { return GetForegroundWindow() == top; });
}

bool PressKeys(std::wstring_view chord, std::wstring* error) {
  std::vector<WORD> keys;
  size_t start = 0;
  for (;;) {
    size_t plus = chord.find(L'+', start);
    std::wstring part(chord.substr(start, plus == std::wstring_view::npos ? plus : plus - start));
    for (wchar_t& c : part) c = static_cast<wchar_t>(std::towlower(c));
    WORD vk = 0;
    if (!VirtualKeyOf(part, &vk)) {
      *error = L"unknown key: " + part;
      return false;
    }
    keys.push_back(vk);
    if (plus == std::wstring_view::npos) break;
    start = plus + 1;
  }
  // Press in order, release in reverse: modifiers wrap the last key.
  std::vector<INPUT> inputs;
  for (WORD vk : keys) inputs.push_back(Key(vk, false));
  for (auto it = keys.rbegin(); it != keys.rend(); ++it) inputs.push_back(Key(*it, true));
  if (!Send(inputs)) {
    *error = L"SendInput failed";
    return false;
  }
  return true;
}

bool TypeText(std::wstring_view text) {
  std::vector<INPUT> inputs;
  for (wchar_t c : text) {
    for (bool up : {false, true}) {
      INPUT in{};
      in.type = INPUT_KEYBOARD;
      in.ki.wScan = c;
      in.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
      inputs.push_back(in);
    }
  }
  return inputs.empty() || Send(inputs);
}

bool ClickAt(POINT screen) {
  // Absolute mouse coordinates run from 0 to 65535 across the primary screen.
  int cx = GetSystemMetrics(SM_CXSCREEN);
  int cy = GetSystemMetrics(SM_CYSCREEN);
  if (cx <= 1 || cy <= 1) return false;
  std::vector<INPUT> inputs(3);
  for (INPUT& in : inputs) {
    in.type = INPUT_MOUSE;
    in.mi.dx = MulDiv(screen.x, 65535, cx - 1);
    in.mi.dy = MulDiv(screen.y, 65535, cy - 1);
  }
  inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
  inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
  return Send(inputs);
}

}  // namespace qmdriver
