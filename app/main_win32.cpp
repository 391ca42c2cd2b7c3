// The installer's entry point on Windows.
#include <windows.h>

#include "app/installer.h"
#include "layouts/layouts.h"
#include "runtime/win32/backend_win32.h"
#include "runtime/win32/platform_win32.h"

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace {

// DLLs come from System32 only, never from the installer's own folder (often
// a downloads folder, where a planted copy of a system DLL may lie). Looked up
// at run time: older systems lack these functions.
void RestrictDllSearch() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (!kernel) return;
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  using SetDllDirectoryFn = BOOL(WINAPI*)(LPCWSTR);
  if (auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
          reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories"))))
    setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (auto setDirectory = reinterpret_cast<SetDllDirectoryFn>(
          reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryW"))))
    setDirectory(L"");
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  RestrictDllSearch();
  qm::Win32Backend backend;
  qm::Win32Platform platform;
  const qm::WindowLayout* const layouts[] = {&qm::HostWindowLayout(), &qm::WizardWindowLayout()};
  qm::RunTime runtime(backend, platform, layouts, qm::InstallerHandlers());
  // Ends with everything still alive: the install worker may be inside a
  // service call, and the end of the process does not wait for it.
  ExitProcess(static_cast<UINT>(qm::RunInstaller()));
}
