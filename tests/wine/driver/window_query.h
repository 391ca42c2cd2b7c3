// Finding the installer's windows from another process and reading them.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <string_view>
#include <vector>

namespace qmdriver {

// A window is named by its caption, or by "hwnd:<number>" as an earlier
// answer gave it.
HWND FindTopLevel(std::wstring_view selector);
HWND WaitForTopLevel(std::wstring_view selector, DWORD timeout_ms);
bool WaitForTopLevelGone(std::wstring_view selector, DWORD timeout_ms);
int CountTopLevel(std::wstring_view caption, bool visible_only);

// Every child window of a top-level window, at any depth.
std::vector<HWND> ControlsOf(HWND top);
HWND FindControl(HWND top, std::wstring_view name);
HWND FindChildByClass(HWND top, std::wstring_view class_name);
HWND FindChildById(HWND top, int id);

std::wstring ReadText(HWND hwnd);
std::wstring ClassOf(HWND hwnd);
std::wstring QmNameOf(HWND hwnd);
RECT WorkAreaOf(HWND hwnd);

// Message boxes: visible top-level dialogs that are not the folder picker.
std::vector<HWND> MessageBoxes();
// The folder picker: a visible top-level dialog holding a tree view.
HWND FindPicker();

std::string WindowJson(HWND top);
std::string ControlJson(HWND top, HWND control);
std::string RectJson(const RECT& r);

// Text of a tree item in another process's tree view.
bool ReadTreeItemText(HWND tree, HTREEITEM item, std::wstring* text);

// Polls cond every few milliseconds until it holds or the deadline passes.
template <typename Cond>
bool WaitFor(DWORD timeout_ms, Cond cond) {
  ULONGLONG deadline = GetTickCount64() + timeout_ms;
  for (;;) {
    if (cond()) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(15);
  }
}

}  // namespace qmdriver
