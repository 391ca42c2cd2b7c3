#include "runtime/memory/memory_backend.h"

#include <algorithm>
#include <thread>

namespace qm {
namespace {

RunTime& Rt() { return RunTime::Current(); }

bool Moved(const Rect& a, const Rect& b) { return a.left != b.left || a.top != b.top; }
bool Resized(const Rect& a, const Rect& b) { return a.width != b.width || a.height != b.height; }

}  // namespace

MemoryBackend::MemoryBackend() : windowThread_(std::this_thread::get_id()) {}

MemoryBackend::~MemoryBackend() { Close(); }

void MemoryBackend::Close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  for (Carried* c : carried_) c->done = true;
  carried_.clear();
  wake_.notify_all();
}

MemoryBackend::NativeWindow& MemoryBackend::N(const LoadedWindow& window) const {
  return *natives_.at(&window);
}

LoadedWindow& MemoryBackend::Loaded(const char* window) {
  LoadedWindow* w = Rt().Find(window);
  if (!w) throw std::logic_error(std::string("no window ") + window);
  return *w;
}

MemoryBackend::NativeWindow& MemoryBackend::Native(const char* window) { return N(Loaded(window)); }

const MemoryBackend::NativeControl& MemoryBackend::Control(Ref control) {
  LoadedWindow& w = Loaded(control.window);
  const int i = w.Find(control.control);
  if (i < 0) throw std::logic_error(std::string("no control ") + control.control);
  return N(w).controls[i];
}

const char* MemoryBackend::ActiveWindow() const { return active_ ? active_->layout->name : nullptr; }

const char* MemoryBackend::FocusedName(const char* window) {
  const int i = N(Loaded(window)).focus;
  return i >= 0 ? Loaded(window).controls[i].layout->name : nullptr;
}

bool MemoryBackend::Create(LoadedWindow& window) {
  if (std::find(failCreate.begin(), failCreate.end(), window.layout->name) != failCreate.end())
    return false;
  auto native = std::make_unique<NativeWindow>();
  native->rect = window.InitialRect(kScreen);
  for (std::size_t i = 0; i < window.controls.size(); ++i) {
    const ControlState& c = window.controls[i];
    NativeControl& n = native->controls.emplace_back();
    n.text = c.layout->text;
    n.checked = c.layout->checked;
    n.shown = c.shown;
    n.enabled = !c.disabled;
    n.rect = Rt().ClientRectOf(window, static_cast<int>(i));
  }
  natives_[&window] = std::move(native);
  return true;
}

void MemoryBackend::Destroy(LoadedWindow& window) {
  natives_.erase(&window);
  if (active_ != &window) return;
  active_ = nullptr;
  // As on the desktop, the owner takes over the activation.
  if (window.owner && window.owner->live && !window.owner->destroying) SetActive(window.owner);
}

void MemoryBackend::SetActive(LoadedWindow* window) {
  if (active_ == window) return;
  LoadedWindow* previous = active_;
  active_ = window;
  if (previous) Rt().NativeActivated(*previous, false);
  if (window) {
    N(*window).focus = -2;
    Rt().NativeActivated(*window, true);
    // Activating a window gives it the focus, which it passes on.
    if (active_ == window && natives_.count(window) && N(*window).focus == -2)
      Rt().NativeWindowFocused(*window);
  }
}

void MemoryBackend::Show(LoadedWindow& window, ShowState state) {
  NativeWindow& n = N(window);
  if (state == ShowState::Hidden) {
    if (!n.visible) return;
    n.visible = false;
    Rt().NativeShown(window, false);
    if (active_ == &window) SetActive(window.owner && natives_.count(window.owner) ? window.owner : nullptr);
    return;
  }
  const Rect before = n.rect;
  if (state == ShowState::Maximised) {
    n.restored = n.rect;
    n.rect = kWorkArea;
    n.maximised = true;
  }
  n.minimised = false;
  if (!n.visible) {
    n.visible = true;
    Rt().NativeShown(window, true);
  }
  SetActive(&window);
  if (!natives_.count(&window)) return;
  if (Moved(before, N(window).rect)) Rt().NativeMoved(window);
  if (natives_.count(&window) && Resized(before, N(window).rect)) Rt().NativeSized(window);
}

Rect MemoryBackend::WindowRect(const LoadedWindow& window) {
  ++geometryReads;
  return N(window).rect;
}

Size MemoryBackend::ClientSize(const LoadedWindow& window) {
  ++geometryReads;
  const NativeWindow& n = N(window);
  if (n.minimised) return {0, 0};
  return {std::max(0, n.rect.width - kFrameX), std::max(0, n.rect.height - kFrameY)};
}

void MemoryBackend::MoveWindow(LoadedWindow& window, const Rect& outer) {
  const Rect before = N(window).rect;
  N(window).rect = outer;
  if (Moved(before, outer)) Rt().NativeMoved(window);
  if (natives_.count(&window) && Resized(before, outer)) Rt().NativeSized(window);
}

void MemoryBackend::UpdateNow(LoadedWindow& window) { painted.push_back(window.layout->name); }

void MemoryBackend::PlaceControl(LoadedWindow& window, int control, const Rect& client) {
  N(window).controls[control].rect = client;
}

void MemoryBackend::ShowControl(LoadedWindow& window, int control, bool shown) {
  N(window).controls[control].shown = shown;
}

void MemoryBackend::EnableControl(LoadedWindow& window, int control, bool enabled) {
  N(window).controls[control].enabled = enabled;
}

Text MemoryBackend::GetText(const LoadedWindow& window, int control) {
  return N(window).controls[control].text;
}

void MemoryBackend::SetText(LoadedWindow& window, int control, const Text& text) {
  N(window).controls[control].text = text;
}

void MemoryBackend::AppendText(LoadedWindow& window, int control, const Text& text) {
  N(window).controls[control].text += text;
}

bool MemoryBackend::GetChecked(const LoadedWindow& window, int control) {
  return N(window).controls[control].checked;
}

void MemoryBackend::SetChecked(LoadedWindow& window, int control, bool checked) {
  N(window).controls[control].checked = checked;
}

void MemoryBackend::Focus(LoadedWindow& window, int control) {
  N(window).focus = control < 0 ? -2 : control;
  if (control < 0) Rt().NativeWindowFocused(window);
}

int MemoryBackend::FocusedControl(const LoadedWindow& window) {
  const int focus = N(window).focus;
  return focus >= 0 ? focus : -1;
}

int MemoryBackend::MessageBox(const Text& text, int flags, const Text& title) {
  asked.push_back({text, flags, title});
  if (whileBoxOpen) whileBoxOpen();
  if (answers.empty()) throw std::logic_error("a message box nobody answers: " + text);
  const int answer = answers.front();
  answers.pop_front();
  return answer;
}

bool MemoryBackend::OnWindowThread() { return std::this_thread::get_id() == windowThread_; }

void MemoryBackend::RunOnWindowThread(const std::function<void()>& call) {
  Carried item{&call};
  std::unique_lock lock(mutex_);
  if (closed_) return;
  carried_.push_back(&item);
  wake_.notify_all();
  wake_.wait(lock, [&] { return item.done; });
}

void MemoryBackend::Post(std::function<void()> call) {
  std::lock_guard lock(mutex_);
  posted_.push_back(std::move(call));
  wake_.notify_all();
}

// Carried-over calls first, as a window thread answers sent messages before
// it takes posted ones.
bool MemoryBackend::RunOne() {
  std::unique_lock lock(mutex_);
  if (!carried_.empty()) {
    Carried* item = carried_.front();
    carried_.pop_front();
    lock.unlock();
    (*item->call)();
    lock.lock();
    item->done = true;
    wake_.notify_all();
    return true;
  }
  if (!posted_.empty()) {
    std::function<void()> call = std::move(posted_.front());
    posted_.pop_front();
    lock.unlock();
    call();
    return true;
  }
  return false;
}

void MemoryBackend::Pump() {
  while (RunOne()) {
  }
}

bool MemoryBackend::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds deadline) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  for (;;) {
    Pump();
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    // done() may turn on another thread's plain write: look again every few ms.
    std::unique_lock lock(mutex_);
    wake_.wait_until(lock, std::min(end, std::chrono::steady_clock::now() + std::chrono::milliseconds(5)),
                     [&] { return !carried_.empty() || !posted_.empty(); });
  }
}

void MemoryBackend::RunLoop() {
  quit_ = false;
  while (!quit_) {
    if (RunOne()) continue;
    if (onIdle && onIdle()) continue;
    std::unique_lock lock(mutex_);
    if (!wake_.wait_for(lock, std::chrono::seconds(20),
                        [&] { return !carried_.empty() || !posted_.empty(); }))
      throw std::logic_error("the message loop waits for something that never comes");
  }
  loopEnded_ = true;
  Close();
}

void MemoryBackend::Fatal(const Text& message) { throw FatalError(message); }

// --- What a person does ----------------------------------------------------

void MemoryBackend::Click(Ref control) {
  LoadedWindow& w = Loaded(control.window);
  const int i = w.Find(control.control);
  NativeControl& n = N(w).controls.at(i);
  if (!N(w).visible || !n.shown || !n.enabled) return;  // nothing there to click
  N(w).focus = i;
  if (w.controls[i].layout->kind == ControlKind::CheckBox)
    n.checked = !n.checked;
  else
    Rt().NativeClicked(w, i);
}

void MemoryBackend::Type(Ref editBox, const Text& text) {
  LoadedWindow& w = Loaded(editBox.window);
  const int i = w.Find(editBox.control);
  NativeControl& n = N(w).controls.at(i);
  if (!n.shown || !n.enabled || w.controls[i].layout->readOnly) return;
  N(w).focus = i;
  n.text = text;
}

void MemoryBackend::PressKey(const char* window, Key key, char32_t ch, bool alt, bool shift) {
  LoadedWindow& w = Loaded(window);
  if (active_ != &w) return;  // keys go to the active window
  Rt().NativeKey(w, key, ch, alt, false, shift);
}

void MemoryBackend::CloseBox(const char* window) { Rt().NativeCloseRequest(Loaded(window)); }

void MemoryBackend::Minimise(const char* window) {
  LoadedWindow& w = Loaded(window);
  NativeWindow& n = N(w);
  if (n.minimised) return;
  n.minimised = true;
  for (auto& [owned, native] : natives_) {
    if (owned->owner == &w && native->visible) {
      native->visible = false;
      native->hiddenWithOwner = true;
    }
  }
  if (active_ == &w || (active_ && active_->owner == &w)) SetActive(nullptr);
  Rt().NativeSized(w);
}

void MemoryBackend::Restore(const char* window) {
  LoadedWindow& w = Loaded(window);
  NativeWindow& n = N(w);
  if (!n.minimised) return;
  n.minimised = false;
  for (auto& [owned, native] : natives_) {
    if (owned->owner == &w && native->hiddenWithOwner) {
      native->visible = true;
      native->hiddenWithOwner = false;
    }
  }
  Rt().NativeSized(w);
  SetActive(&w);
}

void MemoryBackend::Activate(const char* window) { SetActive(&Loaded(window)); }

}  // namespace qm
