// The window model realised on Win32: native top-level windows and standard
// controls, labels and shapes painted here, one hidden message-only window for
// calls from other threads. Texts cross the API as UTF-16 converted from GBK
// (code page 936) at each call, whatever the system's ANSI code page.
#pragma once

#include <memory>

#include "runtime/core/backend.h"

namespace qm {

class Win32Backend final : public Backend {
 public:
  Win32Backend();
  ~Win32Backend() override;
  Win32Backend(const Win32Backend&) = delete;
  Win32Backend& operator=(const Win32Backend&) = delete;

  void Init() override;
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

  Size ScreenSize() override;
  int MessageBox(const Text& text, int flags, const Text& title) override;

  bool OnWindowThread() override;
  void RunOnWindowThread(const std::function<void()>& call) override;
  void Post(std::function<void()> call) override;
  void RunLoop() override;
  void QuitLoop() override;
  [[noreturn]] void Fatal(const Text& message) override;

  struct State;  // everything that holds Win32 types, in the .cpp

 private:
  std::unique_ptr<State> state_;
};

}  // namespace qm
