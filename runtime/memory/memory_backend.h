// An in-memory backend for native tests: windows are records, the screen is
// 1024 x 768 with a 30-pixel taskbar, and everything a person does (clicks,
// typing, keys, the close box, message-box answers) is scripted by the test.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "runtime/core/backend.h"
#include "runtime/core/run_time.h"

namespace qm {

struct FatalError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class MemoryBackend : public Backend {
 public:
  static constexpr int kFrameX = 8;   // left + right border
  static constexpr int kFrameY = 33;  // title bar + top and bottom border
  static constexpr Size kScreen{1024, 768};
  static constexpr Rect kWorkArea{0, 0, 1024, 738};

  struct NativeControl {
    Text text;
    bool checked = false;
    bool shown = false;
    bool enabled = true;
    Rect rect{};  // client coordinates of the top-level window
  };
  struct NativeWindow {
    Rect rect{};
    Rect restored{};
    bool visible = false;
    bool minimised = false;
    bool maximised = false;
    bool hiddenWithOwner = false;
    int focus = -1;  // a control index, -2: the window itself, -1: elsewhere
    std::vector<NativeControl> controls;
  };
  struct AskedBox {
    Text text;
    int flags;
    Text title;
  };

  MemoryBackend();
  ~MemoryBackend() override;

  // Script.
  std::deque<int> answers;              // message-box buttons, in order
  std::vector<AskedBox> asked;          // every message box shown
  std::function<void()> whileBoxOpen;   // runs while a message box is open
  std::function<bool()> onIdle;         // RunLoop's script; false: nothing left to do
  std::vector<std::string> failCreate;  // layouts whose windows cannot be created

  // What a person does, on the window thread.
  void Click(Ref control);
  void Type(Ref editBox, const Text& text);
  void PressKey(const char* window, Key key, char32_t ch = 0, bool alt = false, bool shift = false);
  void CloseBox(const char* window);
  void Minimise(const char* window);
  void Restore(const char* window);
  void Activate(const char* window);

  // Runs posted and carried-over calls until none is left.
  void Pump();
  // Pumps until done() holds; false when the deadline passes first.
  bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds deadline);

  // Observation.
  NativeWindow& Native(const char* window);
  const NativeControl& Control(Ref control);
  const char* ActiveWindow() const;
  const char* FocusedName(const char* window);
  bool LoopEnded() const { return loopEnded_; }
  // From now on calls carried over from other threads are dropped, as after
  // the end of the loop; the waiting ones are released.
  void Close();

  // Backend.
  void Init() override {}
  bool Create(LoadedWindow& window) override;
  void Destroy(LoadedWindow& window) override;
  void Show(LoadedWindow& window, ShowState state) override;
  Rect WindowRect(const LoadedWindow& window) override;
  Size ClientSize(const LoadedWindow& window) override;
  void MoveWindow(LoadedWindow& window, const Rect& outer) override;
  void UpdateNow(LoadedWindow& window) override;
  void PlaceControl(LoadedWindow& window, int control, const Rect& client) override;
  void ShowControl(LoadedWindow& window, int control, bool shown) override;
  void EnableControl(LoadedWindow& window, int control, bool enabled) override;
  Text GetText(const LoadedWindow& window, int control) override;
  void SetText(LoadedWindow& window, int control, const Text& text) override;
  void AppendText(LoadedWindow& window, int control, const Text& text) override;
  bool GetChecked(const LoadedWindow& window, int control) override;
  void SetChecked(LoadedWindow& window, int control, bool checked) override;
  void Focus(LoadedWindow& window, int control) override;
  int FocusedControl(const LoadedWindow& window) override;
  Size ScreenSize() override { return kScreen; }
  int MessageBox(const Text& text, int flags, const Text& title) override;
  bool OnWindowThread() override;
  void RunOnWindowThread(const std::function<void()>& call) override;
  void Post(std::function<void()> call) override;
  void RunLoop() override;
  void QuitLoop() override { quit_ = true; }
  [[noreturn]] void Fatal(const Text& message) override;

  std::vector<std::string> painted;  // windows whose painting was brought up to date
  int geometryReads = 0;             // window rectangles and client sizes read

 private:
  struct Carried {
    const std::function<void()>* call;
    bool done = false;
  };
  NativeWindow& N(const LoadedWindow& window) const;
  LoadedWindow& Loaded(const char* window);
  void SetActive(LoadedWindow* window);
  bool RunOne();

  std::map<const LoadedWindow*, std::unique_ptr<NativeWindow>> natives_;
  LoadedWindow* active_ = nullptr;
  std::thread::id windowThread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Carried*> carried_;
  std::deque<std::function<void()>> posted_;
  bool closed_ = false;  // the loop has ended: carried-over calls are dropped
  bool quit_ = false;
  bool loopEnded_ = false;
};

}  // namespace qm
