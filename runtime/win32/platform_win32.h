// Files, processes and the shell on Win32 (wide functions, GBK texts
// converted with code page 936).
#pragma once

#include <cstdint>

#include "runtime/core/platform.h"
#include "runtime/win32/fs_win32.h"

namespace qm {

class Win32Platform : public Platform {
 public:
  Text TempFileName() override;
  bool WriteBytesToFile(const Text& path, const std::uint8_t* bytes, std::size_t count) override;
  int ExtractArchive(const Text& archivePath, const Text& targetDir,
                     const ExtractProgress& progress) override;
  Text SpecialFolderPath(int folder) override;
  // Works on any thread: COM is initialised for the call when needed.
  bool CreateShortcut(const Text& linkPath, const Text& targetPath) override;
  // Modal over the calling thread's active window; the thread's other
  // enabled top-level windows are disabled meanwhile.
  Text BrowseForFolder(const Text& prompt, bool includeFiles) override;
  // The command line is the program's path (or starts with it in quotes); it
  // names the executable exactly, so "C:\Program Files\X.exe" never starts
  // "C:\Program.exe".
  bool RunProgram(const Text& commandLine, bool wait) override;
  void ShellOpen(int operation, const Text& path) override;
  bool StartThread(void (*routine)()) override;

  // The user's temporary folder ending in "\", empty when undeterminable.
  static Text TempFolder();
  Win32FileSystem& files() { return fs_; }

 private:
  Win32FileSystem fs_;
  std::uint32_t tempCounter_ = 0;  // only the install worker asks for names
};

}  // namespace qm
