// What a windowing backend must realise for the window model. The model keeps
// the rules (events, focus order, access keys, pages, destruction); a backend
// only creates, shows, moves and reads native windows and reports what the
// user and the system did, through the model's Native* calls.
#pragma once

#include <functional>

#include "runtime/core/geometry.h"
#include "runtime/services.h"

namespace qm {

struct LoadedWindow;

enum class ShowState { Hidden, Normal, Maximised };

class Backend {
 public:
  virtual ~Backend() = default;

  // Called once by InitRunTime on the thread that becomes the window thread.
  virtual void Init() = 0;

  // Creates the native window, hidden, with every visual control of its layout
  // (states and texts from the model's LoadedWindow). False on failure.
  virtual bool Create(LoadedWindow& window) = 0;
  // Destroys the native window and its controls. Reports nothing back.
  virtual void Destroy(LoadedWindow& window) = 0;
  // Shows (activating it) or hides the window. Maximised also places it on the
  // work area of its monitor.
  virtual void Show(LoadedWindow& window, ShowState state) = 0;
  virtual Rect WindowRect(const LoadedWindow& window) = 0;  // outer frame, screen
  virtual Size ClientSize(const LoadedWindow& window) = 0;
  virtual void MoveWindow(LoadedWindow& window, const Rect& outer) = 0;
  virtual void UpdateNow(LoadedWindow& window) = 0;  // bring painting up to date

  // Controls, by index in the window's layout. A rectangle is in the client
  // coordinates of the top-level window.
  virtual void PlaceControl(LoadedWindow& window, int control, const Rect& client) = 0;
  virtual void ShowControl(LoadedWindow& window, int control, bool shown) = 0;
  virtual void EnableControl(LoadedWindow& window, int control, bool enabled) = 0;
  virtual Text GetText(const LoadedWindow& window, int control) = 0;
  virtual void SetText(LoadedWindow& window, int control, const Text& text) = 0;
  virtual void AppendText(LoadedWindow& window, int control, const Text& text) = 0;
  virtual bool GetChecked(const LoadedWindow& window, int control) = 0;
  virtual void SetChecked(LoadedWindow& window, int control, bool checked) = 0;
  // control == -1 focuses the window itself, which then asks the model where
  // the focus goes (NativeWindowFocused).
  virtual void Focus(LoadedWindow& window, int control) = 0;
  virtual int FocusedControl(const LoadedWindow& window) = 0;  // -1: none of its controls

  virtual Size ScreenSize() = 0;
  virtual int MessageBox(const Text& text, int flags, const Text& title) = 0;

  // Threads and the loop.
  virtual bool OnWindowThread() = 0;
  // Runs the call on the window thread and waits for it; once the loop has
  // ended the call is dropped.
  virtual void RunOnWindowThread(const std::function<void()>& call) = 0;
  // Queues the call on the window thread, to run when it next takes messages.
  virtual void Post(std::function<void()> call) = 0;
  virtual void RunLoop() = 0;
  virtual void QuitLoop() = 0;
  // Reports a failure of the run time itself and ends the process with -1.
  [[noreturn]] virtual void Fatal(const Text& message) = 0;
};

}  // namespace qm
