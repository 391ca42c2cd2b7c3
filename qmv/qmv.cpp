// QMV.exe, the Quillmere application stub that the installer carries: one
// window showing the version and the exact command line the program got, so
// a test can read what the installer (or a shortcut) passed to it.
#include <windows.h>

#include "version.h"

namespace {

constexpr int kVersionLabelId = 100;
constexpr int kCommandLineLabelId = 101;

struct Labels {
  HWND version;
  HWND commandLine;
};

void Layout(HWND window, const Labels& labels) {
  RECT client;
  GetClientRect(window, &client);
  const int width = client.right - client.left - 24;
  MoveWindow(labels.version, 12, 12, width, 20, TRUE);
  MoveWindow(labels.commandLine, 12, 40, width, client.bottom - 52, TRUE);
}

HWND MakeLabel(HWND parent, int id, const wchar_t* text) {
  // SS_NOPREFIX: an "&" in a command line is shown, not taken as an access key.
  HWND label = CreateWindowExW(0, L"STATIC", text, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                               0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               nullptr, nullptr);
  SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  return label;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: {
      Labels labels{MakeLabel(window, kVersionLabelId, QMV_VERSION_TEXT),
                    MakeLabel(window, kCommandLineLabelId, GetCommandLineW())};
      Layout(window, labels);
      return 0;
    }
    case WM_SIZE:
      Layout(window, Labels{GetDlgItem(window, kVersionLabelId), GetDlgItem(window, kCommandLineLabelId)});
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = L"QuillmereMain";
  if (!RegisterClassExW(&windowClass)) return 1;

  HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"Quillmere", WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, 480, 200, nullptr, nullptr, instance,
                                nullptr);
  if (!window) return 1;
  ShowWindow(window, show);
  UpdateWindow(window);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}
