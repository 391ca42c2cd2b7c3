#include "runtime/core/run_time.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace qm {
namespace {

RunTime* g_current = nullptr;

bool Same(const char* a, const char* b) { return a && b && std::strcmp(a, b) == 0; }

bool TakesFocus(ControlKind kind) {
  return kind == ControlKind::Button || kind == ControlKind::EditBox ||
         kind == ControlKind::CheckBox;
}

char32_t FoldAscii(char32_t c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c; }

// The access key of a caption: the character after a single "&" ("&&" is a
// literal ampersand). GBK captions keep their keys in the ASCII range.
char32_t AccessKeyOf(const Text& caption) {
  for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(caption[i]);
    if (c >= 0x81) {  // GBK lead byte: skip the pair
      ++i;
      continue;
    }
    if (c == '&') {
      if (caption[i + 1] == '&') {
        ++i;
        continue;
      }
      return FoldAscii(static_cast<unsigned char>(caption[i + 1]));
    }
  }
  return 0;
}

const std::vector<Binding>& EventsOf(const LoadedWindow& w, int control) {
  return control < 0 ? w.layout->events : w.controls[control].layout->events;
}

}  // namespace

int LoadedWindow::Find(const char* control) const {
  for (std::size_t i = 0; i < controls.size(); ++i)
    if (Same(controls[i].layout->name, control)) return static_cast<int>(i);
  return -1;
}

Rect LoadedWindow::InitialRect(Size screen) const {
  Rect r{layout->left, layout->top, layout->width, layout->height};
  if (layout->centreOnScreen) {
    r.left = (screen.width - r.width) / 2;
    r.top = (screen.height - r.height) / 2;
  }
  return r;
}

RunTime::RunTime(Backend& backend, Platform& platform,
                 std::span<const WindowLayout* const> layouts,
                 std::span<const HandlerEntry> handlers)
    : backend_(backend),
      platform_(platform),
      layouts_(layouts.begin(), layouts.end()),
      handlers_(handlers.begin(), handlers.end()),
      previous_(g_current) {
  g_current = this;
}

RunTime::~RunTime() { g_current = previous_; }

RunTime& RunTime::Current() { return *g_current; }

// Every window operation runs on the window thread; a call from another thread
// is carried over synchronously and waits for its result.
template <typename F>
auto RunTime::OnWindowThread(F&& call) -> decltype(call()) {
  using Result = decltype(call());
  if (backend_.OnWindowThread()) return call();
  if constexpr (std::is_void_v<Result>) {
    backend_.RunOnWindowThread([&] {
      marshalled_ = true;
      call();
      marshalled_ = false;
    });
  } else {
    Result result{};
    backend_.RunOnWindowThread([&] {
      marshalled_ = true;
      result = call();
      marshalled_ = false;
    });
    return result;
  }
}

void RunTime::Fatal(const std::string& what) {
  marshalled_ = false;
  backend_.Fatal(what);
  std::abort();  // a backend's Fatal never returns
}

// A window or control that is not loaded is a fault of the program, except for
// a call carried over from the worker after its window went away: that one is
// dropped (the callers check for nullptr / -1).
LoadedWindow& RunTime::Loaded(const char* window) {
  if (LoadedWindow* w = Find(window)) return *w;
  Fatal(std::string("window not loaded: ") + (window ? window : "(none)"));
}

int RunTime::ControlIndex(LoadedWindow& window, const char* control) {
  if (!control) return -1;
  const int i = window.Find(control);
  if (i < 0) Fatal(std::string("no control ") + control + " on " + window.layout->name);
  return i;
}

LoadedWindow* RunTime::Find(const char* window) {
  for (LoadedWindow& w : windows_)
    if (Same(w.layout->name, window)) return &w;
  return nullptr;
}

void RunTime::Init() {
  for (const WindowLayout* layout : layouts_) {
    auto check = [&](const std::vector<Binding>& events) {
      for (const Binding& b : events) {
        const bool known = std::any_of(handlers_.begin(), handlers_.end(),
                                       [&](const HandlerEntry& h) { return Same(h.name, b.handler); });
        if (!known) Fatal(std::string("unknown handler ") + b.handler);
      }
    };
    check(layout->events);
    for (const ControlLayout& c : layout->controls) check(c.events);
  }
  backend_.Init();
}

int RunTime::RunLoop() {
  loopStarted_ = true;
  if (!windows_.empty()) backend_.RunLoop();
  ending_ = true;
  return 0;
}

bool RunTime::Raise(LoadedWindow& window, Event event, int control) {
  if (!window.live || ending_) return true;
  for (const Binding& b : EventsOf(window, control)) {
    if (b.event != event) continue;
    for (const HandlerEntry& h : handlers_) {
      if (!Same(h.name, b.handler)) continue;
      if (h.query) return h.query();
      if (h.action) h.action();
      return true;
    }
  }
  return true;
}

bool RunTime::Load(const char* name, const char* ownerName) {
  return OnWindowThread([&] {
    LoadedWindow* owner = nullptr;
    if (ownerName && !(owner = Find(ownerName))) return false;
    if (Find(name)) return false;  // one instance of a window at a time
    auto layout = std::find_if(layouts_.begin(), layouts_.end(),
                               [&](const WindowLayout* l) { return Same(l->name, name); });
    if (layout == layouts_.end()) return false;

    LoadedWindow& w = windows_.emplace_back();
    w.layout = *layout;
    w.owner = owner;
    w.serial = nextSerial_++;
    w.controls.reserve(w.layout->controls.size());
    for (const ControlLayout& c : w.layout->controls) {
      ControlState& s = w.controls.emplace_back();
      s.layout = &c;
      s.visible = c.visible;
      s.disabled = c.disabled;
      s.rect = {c.left, c.top, c.width, c.height};
    }
    for (ControlState& s : w.controls)
      if (s.layout->parent) s.parent = w.Find(s.layout->parent);
    for (std::size_t i = 0; i < w.controls.size(); ++i)
      w.controls[i].shown = IsShown(w, static_cast<int>(i));

    if (!backend_.Create(w)) {
      windows_.remove_if([&](const LoadedWindow& x) { return &x == &w; });
      return false;
    }
    w.live = true;
    const std::uint64_t serial = w.serial;
    auto stillThere = [&] {
      LoadedWindow* x = Find(name);
      return x && x->serial == serial && !x->destroying;
    };
    Raise(w, Event::Created);
    if (stillThere()) Raise(w, Event::PositionChanged);
    if (stillThere()) Raise(w, Event::SizeChanged);
    if (stillThere())
      backend_.Show(w, w.layout->startMaximised ? ShowState::Maximised : ShowState::Normal);
    return true;
  });
}

bool RunTime::Exists(const char* window) {
  return OnWindowThread([&] { return Find(window) != nullptr; });
}

void RunTime::RequestDestroy(const char* window) {
  OnWindowThread([&] {
    LoadedWindow* w = Find(window);
    if (!w) {
      if (!marshalled_) Fatal(std::string("window not loaded: ") + window);
      return;
    }
    w->destroyRequested = true;
    const std::uint64_t serial = w->serial;
    const char* name = w->layout->name;
    backend_.Post([this, name, serial] {
      LoadedWindow* x = Find(name);
      if (!x || x->serial != serial || !x->destroyRequested) return;
      x->destroyRequested = false;
      DestroyNow(*x);
    });
  });
}

// Owned windows go first; the window's controls still exist while its
// will-be-destroyed handler runs.
void RunTime::DestroyNow(LoadedWindow& window) {
  if (window.destroying) return;
  window.destroying = true;
  for (;;) {
    auto owned = std::find_if(windows_.begin(), windows_.end(), [&](const LoadedWindow& x) {
      return x.owner == &window && !x.destroying;
    });
    if (owned == windows_.end()) break;
    DestroyNow(*owned);
  }
  Raise(window, Event::Destroying);
  window.live = false;
  backend_.Destroy(window);
  windows_.remove_if([&](const LoadedWindow& x) { return &x == &window; });
  if (windows_.empty() && loopStarted_) backend_.QuitLoop();
}

void RunTime::FocusWindow(const char* window) {
  OnWindowThread([&] {
    LoadedWindow* w = marshalled_ ? Find(window) : &Loaded(window);
    if (w) backend_.Focus(*w, -1);
  });
}

Size RunTime::ClientSize(const char* window) {
  return OnWindowThread([&] {
    LoadedWindow* w = marshalled_ ? Find(window) : &Loaded(window);
    return w ? backend_.ClientSize(*w) : Size{};
  });
}

Value RunTime::Read(Ref target, int number) {
  return OnWindowThread([&]() -> Value {
    LoadedWindow* w = marshalled_ ? Find(target.window) : &Loaded(target.window);
    if (!w) return Value{Text{}};  // reads as 0, false and an empty text alike
    const int i = ControlIndex(*w, target.control);
    if (i < 0) {
      const Rect r = backend_.WindowRect(*w);
      switch (number) {
        case kPropLeft: return r.left;
        case kPropTop: return r.top;
        case kPropWidth: return r.width;
        case kPropHeight: return r.height;
        default: break;
      }
      Fatal("window property " + std::to_string(number) + " is not readable");
    }
    const ControlState& c = w->controls[i];
    const ControlKind kind = c.layout->kind;
    switch (number) {
      case kPropLeft: return c.rect.left;
      case kPropTop: return c.rect.top;
      case kPropWidth: return c.rect.width;
      case kPropHeight: return c.rect.height;
      case kPropVisible: return c.visible;
      case kPropDisabled: return c.disabled;
      default: break;
    }
    if ((number == kPropLabelCaption && (kind == ControlKind::Label || kind == ControlKind::EditBox)) ||
        (number == kPropButtonCaption && kind == ControlKind::Button))
      return backend_.GetText(*w, i);
    if (number == kPropCurrentPage && kind == ControlKind::Tab) return c.page;
    if (number == kPropChecked && kind == ControlKind::CheckBox) return backend_.GetChecked(*w, i);
    Fatal("property " + std::to_string(number) + " is not readable on " + c.layout->name);
  });
}

void RunTime::Write(Ref target, int number, const Value& value) {
  OnWindowThread([&] {
    LoadedWindow* w = marshalled_ ? Find(target.window) : &Loaded(target.window);
    if (!w) return;
    const int i = ControlIndex(*w, target.control);
    if (i < 0) {
      if (number != kPropVisible) Fatal("window property " + std::to_string(number) + " is not writable");
      backend_.Show(*w, AsBool(value) ? ShowState::Normal : ShowState::Hidden);
      return;
    }
    ControlState& c = w->controls[i];
    const ControlKind kind = c.layout->kind;
    if (number == kPropVisible) {
      c.visible = AsBool(value);
      SyncVisibility(*w);
    } else if (number == kPropDisabled) {
      c.disabled = AsBool(value);
      backend_.EnableControl(*w, i, !c.disabled);
    } else if ((number == kPropLabelCaption && (kind == ControlKind::Label || kind == ControlKind::EditBox)) ||
               (number == kPropButtonCaption && kind == ControlKind::Button)) {
      backend_.SetText(*w, i, AsText(value));
    } else if (number == kPropCurrentPage && kind == ControlKind::Tab) {
      SetPage(*w, i, AsInt(value));
    } else if (number == kPropChecked && kind == ControlKind::CheckBox) {
      backend_.SetChecked(*w, i, AsBool(value));
    } else {
      Fatal("property " + std::to_string(number) + " is not writable on " + c.layout->name);
    }
  });
}

void RunTime::SetPage(LoadedWindow& window, int control, int page) {
  const int last = std::max(0, window.controls[control].layout->pageCount - 1);
  window.controls[control].page = std::clamp(page, 0, last);
  SyncVisibility(window);  // the focus stays where it is
}

void RunTime::MoveAndResize(Ref target, const Rect& rect) {
  OnWindowThread([&] {
    LoadedWindow* w = marshalled_ ? Find(target.window) : &Loaded(target.window);
    if (!w) return;
    const int i = ControlIndex(*w, target.control);
    if (i < 0) {
      if (backend_.WindowRect(*w) != rect) backend_.MoveWindow(*w, rect);
      return;
    }
    if (w->controls[i].rect == rect) return;
    w->controls[i].rect = rect;
    PlaceWithChildren(*w, i);
  });
}

void RunTime::PlaceWithChildren(LoadedWindow& window, int control) {
  backend_.PlaceControl(window, control, ClientRectOf(window, control));
  for (std::size_t i = 0; i < window.controls.size(); ++i)
    if (window.controls[i].parent == control) PlaceWithChildren(window, static_cast<int>(i));
}

void RunTime::AppendText(Ref target, const Text& text) {
  OnWindowThread([&] {
    LoadedWindow* w = marshalled_ ? Find(target.window) : &Loaded(target.window);
    if (!w) return;
    const int i = ControlIndex(*w, target.control);
    if (i < 0 || w->controls[i].layout->kind != ControlKind::EditBox)
      Fatal("text can be appended only to an edit box");
    backend_.AppendText(*w, i, text);
  });
}

// The extraction runs on the caller's thread; only the check that the
// component is loaded goes to the window thread (a component gone with its
// window does not stop it). Nothing is bound to its progress events.
int RunTime::ExtractArchive(Ref component, const Text& archivePath, const Text& targetDir) {
  OnWindowThread([&] {
    if (LoadedWindow* w = marshalled_ ? Find(component.window) : &Loaded(component.window))
      ControlIndex(*w, component.control);
  });
  return platform_.ExtractArchive(archivePath, targetDir, ExtractProgress{});
}

bool RunTime::IsShown(const LoadedWindow& window, int control) const {
  const ControlState& c = window.controls[control];
  if (!c.visible || c.layout->kind == ControlKind::Zip) return false;
  if (c.parent < 0) return true;
  const ControlState& parent = window.controls[c.parent];
  if (parent.layout->kind == ControlKind::Tab && parent.page != c.layout->page) return false;
  return IsShown(window, c.parent);
}

Rect RunTime::ClientRectOf(const LoadedWindow& window, int control) const {
  Rect r = window.controls[control].rect;
  for (int p = window.controls[control].parent; p >= 0; p = window.controls[p].parent) {
    r.left += window.controls[p].rect.left;
    r.top += window.controls[p].rect.top;
  }
  return r;
}

void RunTime::SyncVisibility(LoadedWindow& window) {
  for (std::size_t i = 0; i < window.controls.size(); ++i) {
    const bool shown = IsShown(window, static_cast<int>(i));
    if (shown == window.controls[i].shown) continue;
    window.controls[i].shown = shown;
    backend_.ShowControl(window, static_cast<int>(i), shown);
  }
}

// Ascending tab-order numbers; among equal numbers the later layout record first.
std::vector<int> RunTime::FocusOrder(const LoadedWindow& window) const {
  std::vector<int> order;
  for (int i = static_cast<int>(window.controls.size()) - 1; i >= 0; --i) {
    const ControlState& c = window.controls[i];
    if (c.layout->tabStop && TakesFocus(c.layout->kind) && !c.disabled && IsShown(window, i))
      order.push_back(i);
  }
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return window.controls[a].layout->tabOrder < window.controls[b].layout->tabOrder;
  });
  return order;
}

void RunTime::NativeActivated(LoadedWindow& window, bool active) {
  if (!window.live) return;
  if (!active) {
    const int focused = backend_.FocusedControl(window);
    if (focused >= 0) window.lastFocus = focused;
    Raise(window, Event::Deactivated);
    return;
  }
  const std::uint64_t serial = window.serial;
  const char* name = window.layout->name;
  if (!window.firstActivated) {
    window.firstActivated = true;
    backend_.UpdateNow(window);
    Raise(window, Event::FirstActivated);
    LoadedWindow* again = Find(name);
    if (!again || again->serial != serial || again->destroying) return;
  }
  Raise(window, Event::Activated);
}

void RunTime::NativeMoved(LoadedWindow& window) { Raise(window, Event::PositionChanged); }
void RunTime::NativeSized(LoadedWindow& window) { Raise(window, Event::SizeChanged); }

void RunTime::NativeShown(LoadedWindow& window, bool shown) {
  Raise(window, shown ? Event::Shown : Event::Hidden);
}

// A message box disables every window of the thread, yet a posted WM_CLOSE
// still reaches them: dropped, or each would ask its own question over it.
int RunTime::MessageBox(const Text& text, int flags, const Text& title) {
  ++openMessageBoxes_;
  const int answer = backend_.MessageBox(text, flags, title);
  --openMessageBoxes_;
  return answer;
}

void RunTime::NativeCloseRequest(LoadedWindow& window) {
  if (!window.live || window.destroying || openMessageBoxes_ > 0) return;
  if (Raise(window, Event::CanClose)) DestroyNow(window);
}

void RunTime::NativeClicked(LoadedWindow& window, int control) {
  if (control < 0 || window.controls[control].disabled || !IsShown(window, control)) return;
  Raise(window, Event::Clicked, control);
}

// The window passes its focus on: to the control that had it when the window
// was last deactivated, else to the first of the focus order.
void RunTime::NativeWindowFocused(LoadedWindow& window) {
  const int last = window.lastFocus;
  if (last >= 0 && last < static_cast<int>(window.controls.size())) {
    backend_.Focus(window, last);
    return;
  }
  const std::vector<int> order = FocusOrder(window);
  if (!order.empty()) backend_.Focus(window, order.front());
}

bool RunTime::NativeKey(LoadedWindow& window, Key key, char32_t ch, bool alt, bool ctrl, bool shift) {
  switch (key) {
    case Key::Enter:
    case Key::Escape:
    case Key::F1:
      return !alt;  // no default button, no cancel key, no help
    case Key::Tab: {
      if (alt || ctrl) return false;
      const std::vector<int> order = FocusOrder(window);
      if (order.empty()) return true;
      const int focused = backend_.FocusedControl(window);
      auto at = std::find(order.begin(), order.end(), focused);
      int next;
      if (at == order.end()) {
        next = shift ? order.back() : order.front();
      } else {
        const int n = static_cast<int>(order.size());
        const int pos = static_cast<int>(at - order.begin());
        next = order[(pos + (shift ? n - 1 : 1)) % n];
      }
      backend_.Focus(window, next);
      return true;
    }
    case Key::Char:
      if (!alt || ctrl || shift) return false;
      if (!((ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z')))
        return false;
      PressAccessKey(window, FoldAscii(ch));
      return true;
  }
  return false;
}

void RunTime::PressAccessKey(LoadedWindow& window, char32_t ch) {
  for (std::size_t n = 0; n < window.controls.size(); ++n) {
    const int i = static_cast<int>(n);
    const ControlState& c = window.controls[i];
    const ControlKind kind = c.layout->kind;
    if (kind != ControlKind::Button && kind != ControlKind::CheckBox && kind != ControlKind::Label)
      continue;
    if (c.disabled || !IsShown(window, i) || AccessKeyOf(backend_.GetText(window, i)) != ch) continue;
    if (kind == ControlKind::Button) {
      Raise(window, Event::Clicked, i);
    } else if (kind == ControlKind::CheckBox) {
      backend_.SetChecked(window, i, !backend_.GetChecked(window, i));
    } else {
      for (int target : FocusOrder(window)) {
        if (window.controls[target].layout->tabOrder >= c.layout->tabOrder) {
          backend_.Focus(window, target);
          break;
        }
      }
    }
    return;
  }
}

}  // namespace qm
