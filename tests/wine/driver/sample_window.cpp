// A small window that names its controls the way the installer does, for
// testing the driver on its own.
//   qmsample            the window "驱动样例"; exits 0 when it is closed
//   qmsample /exit N    exits at once with code N
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

namespace {

constexpr wchar_t kClass[] = L"QmSampleWindow";
constexpr COLORREF kBackground = RGB(95, 145, 255);
enum : int { kAsk = 101, kBrowse = 102, kEdit = 103, kLabel = 104 };

// Names a window as the installer does: a global atom in the "QmName" property.
void Name(HWND hwnd, const wchar_t* name) {
  SetPropW(hwnd, L"QmName", reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(GlobalAddAtomW(name))));
}

void Unname(HWND hwnd) {
  auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(RemovePropW(hwnd, L"QmName")));
  if (atom) GlobalDeleteAtom(atom);
}

bool AskToClose() {
  return MessageBoxW(nullptr, L"要关闭样例窗口吗？", L"样例提问",
                     MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2 | MB_TASKMODAL) == IDYES;
}

BOOL CALLBACK UnnameChild(HWND child, LPARAM) {
  Unname(child);
  return TRUE;
}

class PidlOwner {
 public:
  explicit PidlOwner(PIDLIST_ABSOLUTE p) : p_(p) {}
  PidlOwner(const PidlOwner&) = delete;
  PidlOwner& operator=(const PidlOwner&) = delete;
  ~PidlOwner() { CoTaskMemFree(p_); }
  PIDLIST_ABSOLUTE Get() const { return p_; }

 private:
  PIDLIST_ABSOLUTE p_;
};

void Browse(HWND window) {
  BROWSEINFOW bi{};
  bi.hwndOwner = window;
  bi.lpszTitle = L"请选择目录";
  bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX;
  PidlOwner pidl(SHBrowseForFolderW(&bi));
  wchar_t path[MAX_PATH] = L"";
  if (pidl.Get() && !SHGetPathFromIDListW(pidl.Get(), path)) path[0] = L'\0';
  SetDlgItemTextW(window, kEdit, pidl.Get() ? path : L"(cancelled)");
}

HWND Child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w,
           int h, int id, const wchar_t* name) {
  HWND hwnd = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  Name(hwnd, name);
  return hwnd;
}

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  static HBRUSH background = CreateSolidBrush(kBackground);
  switch (msg) {
    case WM_CREATE:
      Name(hwnd, L"SampleWindow");
      Child(hwnd, L"BUTTON", L"&Q.提问", WS_TABSTOP | BS_PUSHBUTTON, 10, 10, 90, 26, kAsk, L"按钮1");
      Child(hwnd, L"EDIT", L"", WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 10, 50, 250, 24, kEdit,
            L"编辑框1");
      Child(hwnd, L"BUTTON", L"&B.浏览", WS_TABSTOP | BS_PUSHBUTTON, 270, 50, 90, 26, kBrowse,
            L"按钮2");
      Child(hwnd, L"STATIC", L"样例标签", 0, 10, 90, 200, 20, kLabel, L"标签1");
      return 0;
    case WM_SETFOCUS:
      // As a dialog does: the window passes the focus to its first control.
      SetFocus(GetDlgItem(hwnd, kAsk));
      return 0;
    case WM_COMMAND:
      if (LOWORD(wp) == kAsk && AskToClose()) DestroyWindow(hwnd);
      if (LOWORD(wp) == kBrowse) Browse(hwnd);
      return 0;
    case WM_ERASEBKGND: {
      RECT r;
      GetClientRect(hwnd, &r);
      FillRect(reinterpret_cast<HDC>(wp), &r, background);
      return 1;
    }
    case WM_CLOSE:
      if (AskToClose()) DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      EnumChildWindows(hwnd, UnnameChild, 0);
      Unname(hwnd);
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc >= 3 && std::wcscmp(argv[1], L"/exit") == 0) {
    int code = _wtoi(argv[2]);
    LocalFree(argv);
    return code;
  }
  LocalFree(argv);

  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = Proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.lpszClassName = kClass;
  RegisterClassExW(&wc);
  HWND window = CreateWindowExW(0, kClass, L"驱动样例", WS_OVERLAPPEDWINDOW, 100, 100, 400, 300,
                                nullptr, nullptr, instance, nullptr);
  if (!window) return 3;
  ShowWindow(window, show);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    // Tab, Shift+Tab and Alt+letter as in a dialog.
    if (IsDialogMessageW(window, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  CoUninitialize();
  return 0;
}
