// Input as a person gives it: keys and mouse clicks through SendInput to the
// window in front, after bringing the target there.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace qmdriver {

// Brings a top-level window to the front; false if it did not get there.
bool BringToFront(HWND top, DWORD timeout_ms);

// A chord such as "tab", "shift+tab", "enter", "esc", "alt+n", "space",
// "alt+f4". Returns false for a name it does not know.
bool PressKeys(std::wstring_view chord, std::wstring* error);

// Types the characters as Unicode key strokes into the focused control.
bool TypeText(std::wstring_view text);

// Left click at a point in screen coordinates.
bool ClickAt(POINT screen);

}  // namespace qmdriver
