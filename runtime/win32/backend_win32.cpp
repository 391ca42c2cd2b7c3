#include "runtime/win32/backend_win32.h"

#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#undef MessageBox  // windows.h renames the backend's member otherwise

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "runtime/core/run_time.h"

namespace qm {
namespace {

constexpr UINT kRunCallMessage = WM_APP + 1;     // lParam: a waiting caller's call
constexpr UINT kPostedCallMessage = WM_APP + 2;  // lParam: a heap copy, deleted once taken
constexpr int kFirstControlId = 100;
constexpr UINT kGbk = 936;

constexpr wchar_t kWindowClass[] = L"QuillmereWindow";
constexpr wchar_t kLabelClass[] = L"QuillmereLabel";
constexpr wchar_t kShapeClass[] = L"QuillmereShape";
constexpr wchar_t kPagesClass[] = L"QuillmerePages";
constexpr wchar_t kCallsClass[] = L"QuillmereCalls";
constexpr wchar_t kNameProperty[] = L"QmName";

std::wstring Wide(const char* gbk, int count) {
  if (count <= 0) return {};
  const int n = MultiByteToWideChar(kGbk, 0, gbk, count, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(kGbk, 0, gbk, count, wide.data(), n);
  return wide;
}
std::wstring Wide(const Text& gbk) { return Wide(gbk.data(), static_cast<int>(gbk.size())); }
std::wstring Wide(const char* gbk) { return gbk ? Wide(gbk, static_cast<int>(std::strlen(gbk))) : std::wstring(); }

Text Gbk(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int count = static_cast<int>(wide.size());
  const int n = WideCharToMultiByte(kGbk, 0, wide.data(), count, nullptr, 0, nullptr, nullptr);
  Text gbk(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(kGbk, 0, wide.data(), count, gbk.data(), n, nullptr, nullptr);
  return gbk;
}

std::wstring WindowText(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

COLORREF ColourOf(Rgb c) { return RGB(c.r, c.g, c.b); }

struct GdiDeleter {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiDeleter>;
using UniqueBrush = std::unique_ptr<std::remove_pointer_t<HBRUSH>, GdiDeleter>;

struct WindowDestroyer {
  void operator()(HWND hwnd) const {
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
  }
};
using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer>;

class OleSession {
 public:
  OleSession() = default;
  OleSession(const OleSession&) = delete;
  OleSession& operator=(const OleSession&) = delete;
  ~OleSession() {
    if (started_) OleUninitialize();
  }
  void Start() { started_ = SUCCEEDED(OleInitialize(nullptr)); }

 private:
  bool started_ = false;
};

// The layout name of a window or control as a window property holding a
// global atom, so that a test driver in another process finds it by name.
class NameTag {
 public:
  NameTag() = default;
  NameTag(HWND hwnd, const char* name) : hwnd_(hwnd), atom_(GlobalAddAtomW(Wide(name).c_str())) {
    if (atom_ && !SetPropW(hwnd_, kNameProperty, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(atom_))))
      Reset();
  }
  NameTag(const NameTag&) = delete;
  NameTag& operator=(const NameTag&) = delete;
  NameTag& operator=(NameTag&& other) noexcept {
    Reset();
    hwnd_ = std::exchange(other.hwnd_, nullptr);
    atom_ = std::exchange(other.atom_, 0);
    return *this;
  }
  ~NameTag() { Reset(); }

  // Before the window goes: a destroyed window's properties can no longer be removed.
  void Reset() {
    if (!atom_) return;
    RemovePropW(hwnd_, kNameProperty);
    GlobalDeleteAtom(atom_);
    atom_ = 0;
    hwnd_ = nullptr;
  }

 private:
  HWND hwnd_ = nullptr;
  ATOM atom_ = 0;
};

// Every window class of ours has one window procedure; the object behind a
// window is bound at WM_NCCREATE from the creation parameter.
class WindowObject {
 public:
  virtual LRESULT Handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) = 0;

 protected:
  ~WindowObject() = default;
};

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* object = reinterpret_cast<WindowObject*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!object) return DefWindowProcW(hwnd, message, wParam, lParam);
  const LRESULT result = object->Handle(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  return result;
}

// A control of a loaded window. Labels, shapes and the page container are
// windows of ours and paint themselves here; the other kinds are standard
// controls whose colours their parent answers.
class NativeControl final : public WindowObject {
 public:
  explicit NativeControl(const ControlLayout& layout) : layout_(layout) {}

  const ControlLayout& layout() const { return layout_; }
  HWND hwnd() const { return hwnd_; }
  HBRUSH background() const { return background_; }
  COLORREF backgroundColour() const { return backgroundColour_; }

  void Attach(HWND hwnd, HFONT font, HBRUSH background, COLORREF backgroundColour) {
    hwnd_ = hwnd;
    font_ = font;
    background_ = background;
    backgroundColour_ = backgroundColour;
    name_ = NameTag(hwnd, layout_.name);
  }
  void Untag() { name_.Reset(); }

  // A multi-line edit box lays its whole text out again on every new text,
  // which for the release notes costs the start-up a good part of its time.
  // While the box is hidden its text is kept here, answered to anyone who
  // reads it, and handed to the box when it is first shown.
  bool DefersText() const { return layout_.kind == ControlKind::EditBox && layout_.multiLine; }
  bool Holds() const { return deferred_.has_value(); }
  const std::wstring& Held() const { return *deferred_; }
  void Hold(std::wstring text) { deferred_ = std::move(text); }
  void Release() {
    if (!deferred_) return;
    const std::wstring text = std::move(*deferred_);
    deferred_.reset();
    DefSubclassProc(hwnd_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  static LRESULT CALLBACK EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR, DWORD_PTR self) {
    auto* control = reinterpret_cast<NativeControl*>(self);
    if (control->Holds()) {
      const std::wstring& text = control->Held();
      switch (message) {
        case WM_GETTEXTLENGTH:
          return static_cast<LRESULT>(text.size());
        case WM_GETTEXT: {
          if (wParam == 0 || lParam == 0) return 0;
          const std::size_t n = std::min<std::size_t>(text.size(), wParam - 1);
          auto* out = reinterpret_cast<wchar_t*>(lParam);
          std::copy_n(text.data(), n, out);
          out[n] = L'\0';
          return static_cast<LRESULT>(n);
        }
        case WM_SETTEXT:
          control->Hold(lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"");
          return TRUE;
        default:
          control->Release();  // anything else sees the box as it really is
          break;
      }
    }
    if (message == WM_NCDESTROY) RemoveWindowSubclass(hwnd, EditProc, 0);
    return DefSubclassProc(hwnd, message, wParam, lParam);
  }

  LRESULT Handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case WM_ERASEBKGND:
        return 1;  // WM_PAINT fills the whole control
      case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        FillRect(dc, &rc, background_);
        if (layout_.kind == ControlKind::Label) PaintLabel(hwnd, dc, rc);
        if (layout_.kind == ControlKind::ShapeBox) PaintOutline(dc, rc);
        EndPaint(hwnd, &ps);
        return 0;
      }
      case WM_SETTEXT:
      case WM_ENABLE: {
        const LRESULT result = DefWindowProcW(hwnd, message, wParam, lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return result;
      }
      default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
  }

 private:
  // DrawTextW's default prefix handling draws "&N" as an underlined N.
  void PaintLabel(HWND hwnd, HDC dc, RECT rc) const {
    UINT format = 0;
    switch (layout_.align) {
      case HAlign::Left: format |= DT_LEFT; break;
      case HAlign::Centre: format |= DT_CENTER; break;
      case HAlign::Right: format |= DT_RIGHT; break;
    }
    // Wrapped text is laid out from the top: vertical centring only applies to one line.
    if (layout_.wordWrap)
      format |= DT_WORDBREAK | DT_TOP;
    else
      format |= DT_SINGLELINE | (layout_.vCentre ? DT_VCENTER : DT_TOP);
    const std::wstring text = WindowText(hwnd);
    HGDIOBJ oldFont = SelectObject(dc, font_);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, IsWindowEnabled(hwnd) ? ColourOf(layout_.textColour) : GetSysColor(COLOR_GRAYTEXT));
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rc, format);
    SelectObject(dc, oldFont);
  }

  // The outline lies inside the rectangle: a one-pixel-high box is a rule.
  void PaintOutline(HDC dc, const RECT& rc) const {
    const int w = layout_.outlineWidth;
    if (w <= 0) return;
    UniqueBrush pen(CreateSolidBrush(ColourOf(layout_.outlineColour)));
    const RECT bands[] = {{rc.left, rc.top, rc.right, rc.top + w},
                          {rc.left, rc.bottom - w, rc.right, rc.bottom},
                          {rc.left, rc.top, rc.left + w, rc.bottom},
                          {rc.right - w, rc.top, rc.right, rc.bottom}};
    for (const RECT& band : bands) FillRect(dc, &band, pen.get());
  }

  const ControlLayout& layout_;
  HWND hwnd_ = nullptr;
  HFONT font_ = nullptr;          // owned by the window
  HBRUSH background_ = nullptr;  // owned by the window or the system
  COLORREF backgroundColour_ = 0;
  NameTag name_;
  std::optional<std::wstring> deferred_;
};

}  // namespace

struct Win32Backend::State final : public WindowObject {
  LRESULT Handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;
  bool TakeKey(const MSG& msg);

  HINSTANCE instance = GetModuleHandleW(nullptr);
  DWORD windowThread = 0;
  std::atomic<bool> ended{false};      // the loop is over: calls are dropped
  std::atomic<HWND> calls{nullptr};    // the hidden window, read by other threads
  ATOM windowClass = 0;
  OleSession ole;
  UniqueWindow callsWindow;
};

namespace {

// A loaded window: its top-level HWND, its controls (by layout index; none
// for a component) and the fonts and brushes they share.
class NativeWindow final : public WindowObject {
 public:
  explicit NativeWindow(LoadedWindow& window) : window_(window) {}
  NativeWindow(const NativeWindow&) = delete;
  NativeWindow& operator=(const NativeWindow&) = delete;
  ~NativeWindow() {
    for (auto& control : controls_)
      if (control) control->Untag();
    name_.Reset();
    hwnd_.reset();  // its controls go with it, before the fonts and brushes they use
  }

  static NativeWindow& Of(const LoadedWindow& window) { return *static_cast<NativeWindow*>(window.native); }
  static HWND ControlHwnd(const LoadedWindow& window, int control) {
    const auto* c = static_cast<const NativeControl*>(window.controls[control].native);
    return c ? c->hwnd() : nullptr;
  }

  HWND hwnd() const { return hwnd_.get(); }
  LoadedWindow& window() { return window_; }

  bool Create(Win32Backend::State& state, Size screen) {
    const WindowLayout& layout = *window_.layout;
    background_ = BrushFor(layout.background);
    DWORD style = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    if (layout.minimiseBox) style |= WS_MINIMIZEBOX;
    if (layout.maximiseBox) style |= WS_MAXIMIZEBOX;
    HWND owner = nullptr;
    if (window_.owner && window_.owner->native) {
      owner = Of(*window_.owner).hwnd();
      style |= WS_POPUP;  // owned: in front of its owner, no taskbar button
    }
    const Rect r = window_.InitialRect(screen);
    hwnd_.reset(CreateWindowExW(0, kWindowClass, Wide(layout.caption).c_str(), style, r.left, r.top,
                                r.width, r.height, owner, nullptr, state.instance, this));
    if (!hwnd_) return false;
    name_ = NameTag(hwnd_.get(), layout.name);
    controls_.resize(window_.controls.size());
    for (std::size_t i = 0; i < window_.controls.size(); ++i)
      if (!CreateControl(state, static_cast<int>(i))) return false;
    // Access keys stay underlined, not only after Alt has been pressed.
    SendMessageW(hwnd_.get(), WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEACCEL), 0);
    return true;
  }

  LRESULT Handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override {
    // Reports run handlers, which may end this window: after one, only hwnd is used.
    RunTime& runtime = RunTime::Current();
    switch (message) {
      case WM_ERASEBKGND: {
        RECT rc;
        GetClientRect(hwnd, &rc);
        FillRect(reinterpret_cast<HDC>(wParam), &rc, background_);
        return 1;
      }
      case WM_ACTIVATE: {
        const bool active = LOWORD(wParam) != WA_INACTIVE;
        if (window_.live) runtime.NativeActivated(window_, active);
        // DefWindowProc focuses the window; not when the handler has activated
        // another one meanwhile (the wizard opened by the host's first activation).
        if (!IsWindow(hwnd) || (active && GetActiveWindow() != hwnd)) return 0;
        break;
      }
      case WM_SETFOCUS:
        if (window_.live) runtime.NativeWindowFocused(window_);
        return 0;
      case WM_MOVE:
        if (window_.live) runtime.NativeMoved(window_);
        return 0;
      case WM_SIZE:
        if (window_.live) runtime.NativeSized(window_);
        return 0;
      case WM_SHOWWINDOW:
        if (window_.live) runtime.NativeShown(window_, wParam != 0);
        if (!IsWindow(hwnd)) return 0;
        break;
      case WM_CLOSE:
        // The model decides, and destroys through the backend.
        if (window_.live) runtime.NativeCloseRequest(window_);
        return 0;
      case WM_QUERYENDSESSION:
        return TRUE;
      case WM_COMMAND: {
        const int control = ControlAt(reinterpret_cast<HWND>(lParam));
        // Check boxes toggle by themselves and have no handlers.
        if (control >= 0 && HIWORD(wParam) == BN_CLICKED &&
            window_.controls[control].layout->kind == ControlKind::Button && window_.live)
          runtime.NativeClicked(window_, control);
        return 0;
      }
      case WM_CTLCOLOREDIT:
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLORBTN: {
        const int control = ControlAt(reinterpret_cast<HWND>(lParam));
        if (control < 0) break;
        const NativeControl& c = *controls_[control];
        HDC dc = reinterpret_cast<HDC>(wParam);
        if (c.layout().kind == ControlKind::GroupBox) {
          // A group box asks for its brush before drawing its frame but never
          // fills its inside; a control hidden over it (a page change) would
          // leave its picture behind. Its paint DC spares the controls above it.
          RECT inside;
          GetClientRect(c.hwnd(), &inside);
          FillRect(dc, &inside, c.background());
        }
        SetTextColor(dc, ColourOf(c.layout().textColour));
        SetBkColor(dc, c.backgroundColour());
        return reinterpret_cast<LRESULT>(c.background());
      }
      default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }

 private:
  struct CachedFont {
    Font font;
    UniqueFont handle;
  };
  struct CachedBrush {
    COLORREF colour;
    UniqueBrush handle;
  };

  int ControlAt(HWND child) const {
    if (!child) return -1;
    const int i = GetDlgCtrlID(child) - kFirstControlId;
    if (i < 0 || i >= static_cast<int>(controls_.size()) || !controls_[i] || controls_[i]->hwnd() != child)
      return -1;
    return i;
  }

  HFONT FontFor(const Font& font) {
    if (!font.face) return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    for (const CachedFont& f : fonts_)
      if (std::strcmp(f.font.face, font.face) == 0 && f.font.height == font.height &&
          f.font.weight == font.weight && f.font.italic == font.italic)
        return f.handle.get();
    UniqueFont handle(CreateFontW(-font.height, 0, 0, 0, font.weight, font.italic, FALSE, FALSE,
                                  DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                  PROOF_QUALITY, DEFAULT_PITCH | FF_DONTCARE, Wide(font.face).c_str()));
    if (!handle) return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    fonts_.push_back({font, std::move(handle)});
    return fonts_.back().handle.get();
  }

  // No colour: the system's dialog face colour.
  HBRUSH BrushFor(const std::optional<Rgb>& colour) {
    if (!colour) return GetSysColorBrush(COLOR_BTNFACE);
    const COLORREF c = ColourOf(*colour);
    for (const CachedBrush& b : brushes_)
      if (b.colour == c) return b.handle.get();
    UniqueBrush handle(CreateSolidBrush(c));
    if (!handle) return GetSysColorBrush(COLOR_BTNFACE);
    brushes_.push_back({c, std::move(handle)});
    return brushes_.back().handle.get();
  }

  bool CreateControl(Win32Backend::State& state, int i) {
    ControlState& s = window_.controls[i];
    const ControlLayout& layout = *s.layout;
    if (layout.kind == ControlKind::Zip) return true;  // not a window at all

    auto control = std::make_unique<NativeControl>(layout);
    // Flattened: every control is a direct child of the window, placed in its
    // client coordinates; WS_CLIPSIBLINGS keeps containers under their contents.
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    if (s.shown) style |= WS_VISIBLE;
    if (s.disabled) style |= WS_DISABLED;
    const wchar_t* windowClass = nullptr;
    bool ours = false;
    switch (layout.kind) {
      case ControlKind::Label:
        windowClass = kLabelClass;
        ours = true;
        break;
      case ControlKind::ShapeBox:
        windowClass = kShapeClass;
        ours = true;
        break;
      case ControlKind::Tab:
        windowClass = kPagesClass;  // headerless and frameless: a plain face-coloured child
        ours = true;
        break;
      case ControlKind::EditBox:
        windowClass = WC_EDITW;
        style |= ES_LEFT;
        if (layout.multiLine) {
          style |= ES_MULTILINE | ES_AUTOVSCROLL;
          if (!layout.wordWrap) style |= ES_AUTOHSCROLL;
        } else {
          style |= ES_AUTOHSCROLL;
        }
        if (layout.vScroll) style |= WS_VSCROLL;
        if (layout.readOnly) style |= ES_READONLY;
        if (layout.sunkenBorder) exStyle |= WS_EX_CLIENTEDGE;
        break;
      case ControlKind::Button:
        windowClass = WC_BUTTONW;
        style |= BS_PUSHBUTTON;  // never a default button: Enter presses none
        break;
      case ControlKind::CheckBox:
        windowClass = WC_BUTTONW;
        style |= BS_AUTOCHECKBOX | BS_VCENTER;
        if (layout.wordWrap) style |= BS_MULTILINE;
        break;
      case ControlKind::GroupBox:
        windowClass = WC_BUTTONW;
        style |= BS_GROUPBOX;
        break;
      case ControlKind::Zip:
        return true;
    }
    const Rect r = RunTime::Current().ClientRectOf(window_, i);
    HWND hwnd = CreateWindowExW(exStyle, windowClass, Wide(layout.text).c_str(), style, r.left, r.top,
                                r.width, r.height, hwnd_.get(),
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + i)),
                                state.instance, ours ? control.get() : nullptr);
    if (!hwnd) return false;
    // An earlier record lies above a later one: each new control goes to the bottom.
    SetWindowPos(hwnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    const HFONT font = FontFor(layout.font);
    control->Attach(hwnd, font, BrushFor(layout.background),
                    layout.background ? ColourOf(*layout.background) : GetSysColor(COLOR_BTNFACE));
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (layout.kind == ControlKind::CheckBox)
      SendMessageW(hwnd, BM_SETCHECK, layout.checked ? BST_CHECKED : BST_UNCHECKED, 0);
    if (layout.kind == ControlKind::EditBox) SendMessageW(hwnd, EM_SETLIMITTEXT, 0, 0);  // no limit
    if (control->DefersText())
      SetWindowSubclass(hwnd, NativeControl::EditProc, 0, reinterpret_cast<DWORD_PTR>(control.get()));
    s.native = control.get();
    controls_[i] = std::move(control);
    return true;
  }

  LoadedWindow& window_;
  std::vector<CachedFont> fonts_;
  std::vector<CachedBrush> brushes_;
  HBRUSH background_ = nullptr;
  std::vector<std::unique_ptr<NativeControl>> controls_;
  UniqueWindow hwnd_;
  NameTag name_;
};

std::wstring ExecutableFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::size_t slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// The executable's first icon group, for the title bar and the taskbar.
struct IconName {
  bool found = false;
  std::wstring text;
  WORD id = 0;
};

BOOL CALLBACK TakeFirstIconName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
  auto& icon = *reinterpret_cast<IconName*>(param);
  icon.found = true;
  if (IS_INTRESOURCE(name))
    icon.id = static_cast<WORD>(reinterpret_cast<UINT_PTR>(name));
  else
    icon.text = name;
  return FALSE;
}

HICON ProgramIcon(HINSTANCE instance, int size) {
  IconName icon;
  EnumResourceNamesW(instance, RT_GROUP_ICON, TakeFirstIconName, reinterpret_cast<LONG_PTR>(&icon));
  if (!icon.found) return nullptr;
  const wchar_t* name = icon.text.empty() ? MAKEINTRESOURCEW(icon.id) : icon.text.c_str();
  return static_cast<HICON>(LoadImageW(instance, name, IMAGE_ICON, size, size, LR_SHARED));
}

ATOM RegisterOurClass(HINSTANCE instance, const wchar_t* name, UINT style, HICON icon, HICON smallIcon) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = style;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hIcon = icon;
  wc.hIconSm = smallIcon;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = name;
  return RegisterClassExW(&wc);
}

NativeControl* ControlOf(const LoadedWindow& window, int control) {
  return static_cast<NativeControl*>(window.controls[control].native);
}

}  // namespace

LRESULT Win32Backend::State::Handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRunCallMessage) {
    if (!ended) (*reinterpret_cast<const std::function<void()>*>(lParam))();
    return 0;
  }
  if (message == kPostedCallMessage) {
    std::unique_ptr<std::function<void()>> call(reinterpret_cast<std::function<void()>*>(lParam));
    if (!ended) (*call)();
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

// The model's keys, taken before the controls see them (no dialog manager).
bool Win32Backend::State::TakeKey(const MSG& msg) {
  if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
  HWND root = GetAncestor(msg.hwnd, GA_ROOT);
  if (!root || static_cast<ATOM>(GetClassLongW(root, GCW_ATOM)) != windowClass) return false;
  auto* window = reinterpret_cast<NativeWindow*>(GetWindowLongPtrW(root, GWLP_USERDATA));
  if (!window || !window->window().live) return false;

  Key key;
  char32_t ch = 0;
  switch (msg.wParam) {
    case VK_TAB: key = Key::Tab; break;
    case VK_RETURN: key = Key::Enter; break;
    case VK_ESCAPE: key = Key::Escape; break;
    case VK_F1: key = Key::F1; break;
    default: {
      const WPARAM vk = msg.wParam;
      const bool letterOrDigit = (vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9');
      if (msg.message != WM_SYSKEYDOWN || !letterOrDigit) return false;
      key = Key::Char;
      ch = static_cast<char32_t>(vk);
      break;
    }
  }
  const bool alt = (msg.lParam & (1 << 29)) != 0;
  const bool ctrl = GetKeyState(VK_CONTROL) < 0;
  const bool shift = GetKeyState(VK_SHIFT) < 0;
  return RunTime::Current().NativeKey(window->window(), key, ch, alt, ctrl, shift);
}

Win32Backend::Win32Backend() : state_(std::make_unique<State>()) {}

Win32Backend::~Win32Backend() {
  if (HWND calls = state_->calls.exchange(nullptr)) {
    MSG msg;
    while (PeekMessageW(&msg, calls, kPostedCallMessage, kPostedCallMessage, PM_REMOVE))
      delete reinterpret_cast<std::function<void()>*>(msg.lParam);
  }
}

void Win32Backend::Init() {
  State& s = *state_;
  s.windowThread = GetCurrentThreadId();
  s.ole.Start();  // single-threaded apartment; without it only the shortcut fails, and says so
  const std::wstring folder = ExecutableFolder();
  if (!folder.empty()) SetCurrentDirectoryW(folder.c_str());

  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  HICON icon = ProgramIcon(s.instance, GetSystemMetrics(SM_CXICON));
  HICON smallIcon = ProgramIcon(s.instance, GetSystemMetrics(SM_CXSMICON));
  s.windowClass = RegisterOurClass(s.instance, kWindowClass, 0, icon, smallIcon);
  const bool registered = s.windowClass &&
                          RegisterOurClass(s.instance, kLabelClass, CS_HREDRAW | CS_VREDRAW, nullptr, nullptr) &&
                          RegisterOurClass(s.instance, kShapeClass, CS_HREDRAW | CS_VREDRAW, nullptr, nullptr) &&
                          RegisterOurClass(s.instance, kPagesClass, CS_HREDRAW | CS_VREDRAW, nullptr, nullptr) &&
                          RegisterOurClass(s.instance, kCallsClass, 0, nullptr, nullptr);
  if (!registered) Fatal("cannot register the window classes");

  s.callsWindow.reset(CreateWindowExW(0, kCallsClass, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      s.instance, &s));
  if (!s.callsWindow) Fatal("cannot create the message window");
  s.calls = s.callsWindow.get();
}

bool Win32Backend::Create(LoadedWindow& window) {
  auto native = std::make_unique<NativeWindow>(window);
  window.native = native.get();
  if (!native->Create(*state_, ScreenSize())) {
    for (ControlState& c : window.controls) c.native = nullptr;
    window.native = nullptr;
    return false;
  }
  native.release();  // owned through window.native until Destroy
  return true;
}

void Win32Backend::Destroy(LoadedWindow& window) {
  delete static_cast<NativeWindow*>(window.native);
  window.native = nullptr;
  for (ControlState& c : window.controls) c.native = nullptr;
}

void Win32Backend::Show(LoadedWindow& window, ShowState state) {
  HWND hwnd = NativeWindow::Of(window).hwnd();
  switch (state) {
    case ShowState::Hidden:
      ShowWindow(hwnd, SW_HIDE);
      return;
    case ShowState::Normal:
      ShowWindow(hwnd, SW_SHOWNORMAL);
      return;
    case ShowState::Maximised:
      break;
  }
  if (IsIconic(hwnd) || IsZoomed(hwnd)) ShowWindow(hwnd, SW_RESTORE);
  ShowWindow(hwnd, SW_SHOWMAXIMIZED);
  if (!IsWindow(hwnd)) return;  // its handlers may have ended it
  RECT work{};
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &monitor))
    work = monitor.rcWork;
  else
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  SetWindowPos(hwnd, nullptr, work.left, work.top, work.right - work.left, work.bottom - work.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

Rect Win32Backend::WindowRect(const LoadedWindow& window) {
  RECT r{};
  GetWindowRect(NativeWindow::Of(window).hwnd(), &r);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

Size Win32Backend::ClientSize(const LoadedWindow& window) {
  HWND hwnd = NativeWindow::Of(window).hwnd();
  if (IsIconic(hwnd)) return {};
  RECT r{};
  GetClientRect(hwnd, &r);
  return {r.right - r.left, r.bottom - r.top};
}

void Win32Backend::MoveWindow(LoadedWindow& window, const Rect& outer) {
  ::MoveWindow(NativeWindow::Of(window).hwnd(), outer.left, outer.top, outer.width, outer.height, TRUE);
}

void Win32Backend::UpdateNow(LoadedWindow& window) {
  RedrawWindow(NativeWindow::Of(window).hwnd(), nullptr, nullptr,
               RDW_UPDATENOW | RDW_ERASENOW | RDW_ALLCHILDREN);
}

void Win32Backend::PlaceControl(LoadedWindow& window, int control, const Rect& client) {
  if (HWND hwnd = NativeWindow::ControlHwnd(window, control))
    ::MoveWindow(hwnd, client.left, client.top, client.width, client.height, TRUE);
}

void Win32Backend::ShowControl(LoadedWindow& window, int control, bool shown) {
  auto* native = static_cast<NativeControl*>(window.controls[control].native);
  if (!native) return;
  if (shown) native->Release();
  ShowWindow(native->hwnd(), shown ? SW_SHOWNA : SW_HIDE);
}

void Win32Backend::EnableControl(LoadedWindow& window, int control, bool enabled) {
  if (HWND hwnd = NativeWindow::ControlHwnd(window, control)) EnableWindow(hwnd, enabled);
}

Text Win32Backend::GetText(const LoadedWindow& window, int control) {
  HWND hwnd = NativeWindow::ControlHwnd(window, control);
  return hwnd ? Gbk(WindowText(hwnd)) : Text();
}

void Win32Backend::SetText(LoadedWindow& window, int control, const Text& text) {
  HWND hwnd = NativeWindow::ControlHwnd(window, control);
  if (!hwnd) return;
  const std::wstring wide = Wide(text);
  if (WindowText(hwnd) == wide) return;  // an edit box keeps its caret and scroll position
  auto* native = static_cast<NativeControl*>(window.controls[control].native);
  if (native->DefersText() && !(GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE)) {
    native->Hold(wide);
    return;
  }
  SetWindowTextW(hwnd, wide.c_str());
}

void Win32Backend::AppendText(LoadedWindow& window, int control, const Text& text) {
  HWND hwnd = NativeWindow::ControlHwnd(window, control);
  if (!hwnd) return;
  const int end = GetWindowTextLengthW(hwnd);
  SendMessageW(hwnd, EM_SETSEL, end, end);
  SendMessageW(hwnd, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(Wide(text).c_str()));
  SendMessageW(hwnd, EM_SCROLLCARET, 0, 0);
}

bool Win32Backend::GetChecked(const LoadedWindow& window, int control) {
  HWND hwnd = NativeWindow::ControlHwnd(window, control);
  return hwnd && SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32Backend::SetChecked(LoadedWindow& window, int control, bool checked) {
  if (HWND hwnd = NativeWindow::ControlHwnd(window, control))
    SendMessageW(hwnd, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Win32Backend::Focus(LoadedWindow& window, int control) {
  HWND hwnd = control < 0 ? NativeWindow::Of(window).hwnd() : NativeWindow::ControlHwnd(window, control);
  if (!hwnd) return;
  // Focusing a window that already has the focus sends no WM_SETFOCUS, yet it
  // must still pass the focus on.
  if (control < 0 && GetFocus() == hwnd) {
    if (window.live) RunTime::Current().NativeWindowFocused(window);
    return;
  }
  SetFocus(hwnd);
}

int Win32Backend::FocusedControl(const LoadedWindow& window) {
  HWND focus = GetFocus();
  if (!focus) return -1;
  for (std::size_t i = 0; i < window.controls.size(); ++i) {
    const NativeControl* c = ControlOf(window, static_cast<int>(i));
    if (c && c->hwnd() == focus) return static_cast<int>(i);
  }
  return -1;
}

Size Win32Backend::ScreenSize() { return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

// No owner, task-modal: every window of this thread is disabled while it is
// open. The service numbers the buttons from 0 (OK), one below Win32's IDs.
int Win32Backend::MessageBox(const Text& text, int flags, const Text& title) {
  const int id = MessageBoxW(nullptr, Wide(text).c_str(), Wide(title).c_str(),
                             static_cast<UINT>(flags) | MB_TASKMODAL);
  return id - 1;
}

bool Win32Backend::OnWindowThread() { return GetCurrentThreadId() == state_->windowThread; }

// Carried out whenever the window thread takes messages: its loop, a message
// box, a nested load. Once the loop is over the call is dropped.
void Win32Backend::RunOnWindowThread(const std::function<void()>& call) {
  if (state_->ended) return;
  if (HWND calls = state_->calls) SendMessageW(calls, kRunCallMessage, 0, reinterpret_cast<LPARAM>(&call));
}

void Win32Backend::Post(std::function<void()> call) {
  auto copy = std::make_unique<std::function<void()>>(std::move(call));
  HWND calls = state_->calls;
  if (calls && PostMessageW(calls, kPostedCallMessage, 0, reinterpret_cast<LPARAM>(copy.get())))
    copy.release();  // deleted by the hidden window once taken
}

void Win32Backend::RunLoop() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (state_->TakeKey(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void Win32Backend::QuitLoop() {
  state_->ended = true;
  PostQuitMessage(0);
}

void Win32Backend::Fatal(const Text& message) {
  MessageBoxW(nullptr, Wide(message).c_str(), nullptr, MB_ICONERROR | MB_TASKMODAL);
  ExitProcess(static_cast<UINT>(-1));
}

}  // namespace qm
