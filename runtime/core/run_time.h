// The platform-neutral window model: loaded windows, their events, property
// numbers, pages, focus order, access keys, deferred destruction and the
// cross-thread path. Backends realise it; the services of services.h reach it
// through RunTime::Current().
#pragma once

#include <cstdint>
#include <list>
#include <span>
#include <string>
#include <vector>

#include "runtime/core/backend.h"
#include "runtime/core/geometry.h"
#include "runtime/core/layout.h"
#include "runtime/core/platform.h"
#include "runtime/services.h"

namespace qm {

// A handler bound by name in a layout: an action, or (for can be closed) a query.
struct HandlerEntry {
  const char* name;
  void (*action)() = nullptr;
  bool (*query)() = nullptr;
};

struct ControlState {
  const ControlLayout* layout = nullptr;
  int parent = -1;        // index of the parent control; -1: the window
  bool visible = true;    // its own flag
  bool disabled = false;  // its own flag
  Rect rect{};            // relative to the parent's client area
  int page = 0;           // Tab: the current page
  bool shown = false;     // on screen now (as last handed to the backend)
  void* native = nullptr; // the backend's own
};

struct LoadedWindow {
  const WindowLayout* layout = nullptr;
  LoadedWindow* owner = nullptr;
  std::uint64_t serial = 0;  // tells one load of a layout from a later one
  bool live = false;         // created: events may be raised
  bool firstActivated = false;
  bool destroyRequested = false;
  bool destroying = false;
  int lastFocus = -1;        // control that had the focus when last deactivated
  std::vector<ControlState> controls;
  void* native = nullptr;    // the backend's own

  int Find(const char* control) const;  // -1 when there is none
  Rect InitialRect(Size screen) const;
};

enum class Key { Tab, Enter, Escape, F1, Char };

class RunTime {
 public:
  RunTime(Backend& backend, Platform& platform, std::span<const WindowLayout* const> layouts,
          std::span<const HandlerEntry> handlers);
  ~RunTime();
  RunTime(const RunTime&) = delete;
  RunTime& operator=(const RunTime&) = delete;

  static RunTime& Current();

  Backend& backend() { return backend_; }
  Platform& platform() { return platform_; }

  // Services (see services.h).
  void Init();
  int RunLoop();
  bool Load(const char* window, const char* owner);
  bool Exists(const char* window);
  void RequestDestroy(const char* window);
  void FocusWindow(const char* window);
  Value Read(Ref target, int number);
  void Write(Ref target, int number, const Value& value);
  Size ClientSize(const char* window);
  void MoveAndResize(Ref target, const Rect& rect);
  void AppendText(Ref target, const Text& text);
  int ExtractArchive(Ref component, const Text& archivePath, const Text& targetDir);
  int MessageBox(const Text& text, int flags, const Text& title);

  // What the backend reports, on the window thread.
  void NativeActivated(LoadedWindow& window, bool active);
  void NativeMoved(LoadedWindow& window);
  void NativeSized(LoadedWindow& window);
  void NativeShown(LoadedWindow& window, bool shown);
  void NativeCloseRequest(LoadedWindow& window);
  void NativeClicked(LoadedWindow& window, int control);
  void NativeWindowFocused(LoadedWindow& window);
  // True when the key was the model's to handle (the backend then drops it).
  bool NativeKey(LoadedWindow& window, Key key, char32_t ch, bool alt, bool ctrl, bool shift);

  // Rules, exposed for backends and tests.
  bool IsShown(const LoadedWindow& window, int control) const;
  Rect ClientRectOf(const LoadedWindow& window, int control) const;
  std::vector<int> FocusOrder(const LoadedWindow& window) const;
  LoadedWindow* Find(const char* window);
  const std::list<LoadedWindow>& windows() const { return windows_; }

 private:
  template <typename F>
  auto OnWindowThread(F&& call) -> decltype(call());
  LoadedWindow& Loaded(const char* window);
  int ControlIndex(LoadedWindow& window, const char* control);
  [[noreturn]] void Fatal(const std::string& what);
  bool Raise(LoadedWindow& window, Event event, int control = -1);
  void DestroyNow(LoadedWindow& window);
  void SyncVisibility(LoadedWindow& window);
  void PlaceWithChildren(LoadedWindow& window, int control);
  void SetPage(LoadedWindow& window, int control, int page);
  void PressAccessKey(LoadedWindow& window, char32_t ch);

  Backend& backend_;
  Platform& platform_;
  std::vector<const WindowLayout*> layouts_;
  std::vector<HandlerEntry> handlers_;
  std::list<LoadedWindow> windows_;
  std::uint64_t nextSerial_ = 1;
  bool loopStarted_ = false;
  bool ending_ = false;
  bool marshalled_ = false;  // inside a call carried over from another thread
  int openMessageBoxes_ = 0;
  RunTime* previous_ = nullptr;
};

}  // namespace qm
