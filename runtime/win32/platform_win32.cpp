#include "runtime/win32/platform_win32.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <memory>
#include <utility>
#include <vector>

#include "runtime/files/extract.h"
#include "runtime/files/temp_name.h"

namespace qm {
namespace {

constexpr int kDesktopFolder = 3;
constexpr int kShellOpen = 4;

// shell32, and the DLLs it brings with it, load only when the shell is first
// needed: nothing before the install uses it, and under Wine it costs the
// start-up several milliseconds. Taken from the system folder alone.
template <typename Function>
Function ShellFunction(const char* name) {
  constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  static const HMODULE shell = LoadLibraryExW(L"shell32.dll", nullptr, kSearchSystem32);
  return shell ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(shell, name)))
               : nullptr;
}

class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE h = nullptr) : h_(h) {}
  ~ScopedHandle() {
    if (h_ != nullptr && h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  HANDLE release() { return std::exchange(h_, nullptr); }

 private:
  HANDLE h_;
};

// Initialises COM on this thread for the scope; balanced only when it succeeded
// (S_FALSE too). A thread already in another apartment keeps it.
class ScopedCom {
 public:
  ScopedCom() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ScopedCom() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  ScopedCom(const ScopedCom&) = delete;
  ScopedCom& operator=(const ScopedCom&) = delete;
  bool usable() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT hr_;
};

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (p_ != nullptr) p_->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  T* operator->() const { return p_; }
  T** out() { return &p_; }
  void** outVoid() { return reinterpret_cast<void**>(&p_); }

 private:
  T* p_ = nullptr;
};

struct CoTaskMemDeleter {
  void operator()(void* p) const { CoTaskMemFree(p); }
};

// Disables the thread's enabled top-level windows except the owner, and
// enables again exactly those on the way out.
class DisabledThreadWindows {
 public:
  explicit DisabledThreadWindows(HWND keep) : keep_(keep) {
    EnumThreadWindows(GetCurrentThreadId(), &DisabledThreadWindows::Visit,
                      reinterpret_cast<LPARAM>(this));
  }
  ~DisabledThreadWindows() {
    for (HWND w : disabled_) {
      if (IsWindow(w)) EnableWindow(w, TRUE);
    }
  }
  DisabledThreadWindows(const DisabledThreadWindows&) = delete;
  DisabledThreadWindows& operator=(const DisabledThreadWindows&) = delete;

 private:
  static BOOL CALLBACK Visit(HWND w, LPARAM self) {
    auto* me = reinterpret_cast<DisabledThreadWindows*>(self);
    if (w != me->keep_ && IsWindowEnabled(w)) {
      EnableWindow(w, FALSE);
      me->disabled_.push_back(w);
    }
    return TRUE;
  }
  HWND keep_;
  std::vector<HWND> disabled_;
};

// The executable named by a command line: the text in its leading quotes,
// else the whole text.
std::wstring ProgramPathOf(const std::wstring& commandLine) {
  if (!commandLine.empty() && commandLine[0] == L'"') {
    std::size_t close = commandLine.find(L'"', 1);
    return commandLine.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
  }
  return commandLine;
}

DWORD WINAPI ThreadStart(LPVOID routine) {
  reinterpret_cast<void (*)()>(routine)();
  return 0;
}

}  // namespace

Text Win32Platform::TempFolder() {
  wchar_t buffer[MAX_PATH + 2] = {};
  DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
  if (n == 0 || n > MAX_PATH + 1) return Text();
  return WideToGbk(std::wstring(buffer, n));
}

Text Win32Platform::TempFileName() {
  return MakeTempFileName(TempFolder(), GetTickCount(), tempCounter_, [this](const Text& path) {
    return fs_.Probe(path) != FileSystem::Kind::kMissing;
  });
}

bool Win32Platform::WriteBytesToFile(const Text& path, const std::uint8_t* bytes,
                                     std::size_t count) {
  ScopedHandle file(CreateFileW(GbkToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  DWORD written = 0;
  bool ok = WriteFile(file.get(), bytes, static_cast<DWORD>(count), &written, nullptr) &&
            written == count;
  // Closed by hand: a failed close can mean data that never reached the disk.
  return CloseHandle(file.release()) && ok;
}

int Win32Platform::ExtractArchive(const Text& archivePath, const Text& targetDir,
                                  const ExtractProgress& progress) {
  return qm::ExtractArchive(fs_, archivePath, targetDir, progress);
}

Text Win32Platform::SpecialFolderPath(int folder) {
  if (folder != kDesktopFolder) return Text();
  wchar_t buffer[MAX_PATH] = {};
  const auto getFolderPath = ShellFunction<decltype(&SHGetFolderPathW)>("SHGetFolderPathW");
  if (!getFolderPath ||
      FAILED(getFolderPath(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, buffer))) {
    return Text();
  }
  std::wstring path(buffer);
  if (path.empty()) return Text();
  if (path.back() != L'\\') path += L'\\';
  return WideToGbk(path);
}

bool Win32Platform::CreateShortcut(const Text& linkPath, const Text& targetPath) {
  ScopedCom com;
  if (!com.usable()) return false;
  ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              link.outVoid()))) {
    return false;
  }
  if (FAILED(link->SetPath(GbkToWide(targetPath).c_str())) || FAILED(link->SetShowCmd(SW_SHOW))) {
    return false;
  }
  ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.outVoid()))) return false;
  return SUCCEEDED(file->Save(GbkToWide(linkPath).c_str(), TRUE));
}

Text Win32Platform::BrowseForFolder(const Text& prompt, bool includeFiles) {
  ScopedCom com;
  HWND owner = GetActiveWindow();
  DisabledThreadWindows disabled(owner);
  std::wstring title = GbkToWide(prompt);
  wchar_t displayName[MAX_PATH] = {};
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.pidlRoot = nullptr;  // the desktop
  info.pszDisplayName = displayName;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | (includeFiles ? BIF_BROWSEINCLUDEFILES : 0);
  const auto browse = ShellFunction<decltype(&SHBrowseForFolderW)>("SHBrowseForFolderW");
  const auto pathOf = ShellFunction<decltype(&SHGetPathFromIDListW)>("SHGetPathFromIDListW");
  if (!browse || !pathOf) return Text();
  std::unique_ptr<ITEMIDLIST, CoTaskMemDeleter> picked(browse(&info));
  if (!picked) return Text();
  wchar_t path[MAX_PATH] = {};
  if (!pathOf(picked.get(), path)) return Text();
  return WideToGbk(path);
}

bool Win32Platform::RunProgram(const Text& commandLine, bool wait) {
  std::wstring line = GbkToWide(commandLine);
  std::wstring program = ProgramPathOf(line);
  std::vector<wchar_t> mutableLine(line.begin(), line.end());
  mutableLine.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program.c_str(), mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    return false;
  }
  ScopedHandle processHandle(process.hProcess);
  ScopedHandle threadHandle(process.hThread);
  if (wait) {
    WaitForSingleObject(process.hProcess, INFINITE);
  } else {
    WaitForInputIdle(process.hProcess, 1000);
  }
  return true;
}

void Win32Platform::ShellOpen(int operation, const Text& path) {
  if (operation != kShellOpen) return;
  if (const auto execute = ShellFunction<decltype(&ShellExecuteW)>("ShellExecuteW"))
    execute(nullptr, L"open", GbkToWide(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

bool Win32Platform::StartThread(void (*routine)()) {
  ScopedHandle thread(
      CreateThread(nullptr, 0, ThreadStart, reinterpret_cast<LPVOID>(routine), 0, nullptr));
  return thread.valid();
}

}  // namespace qm
