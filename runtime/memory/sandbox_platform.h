// A Platform that installs for real under a sandbox folder, for native tests.
// Drives C:, D: and E: are folders under the root; the shell side (picker,
// programs, folder windows) is scripted and recorded.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "runtime/core/platform.h"
#include "runtime/memory/fs_posix.h"

namespace qm {

class SandboxPlatform : public Platform {
 public:
  struct Shortcut {
    bool found = false;
    Text target;
    int showCommand = 0;
  };

  explicit SandboxPlatform(std::filesystem::path root);
  ~SandboxPlatform() override;

  Text TempFileName() override;
  bool WriteBytesToFile(const Text& path, const std::uint8_t* bytes, std::size_t count) override;
  int ExtractArchive(const Text& archivePath, const Text& targetDir,
                     const ExtractProgress& progress) override;
  Text SpecialFolderPath(int folder) override;
  bool CreateShortcut(const Text& linkPath, const Text& targetPath) override;
  Text BrowseForFolder(const Text& prompt, bool includeFiles) override;
  bool RunProgram(const Text& commandLine, bool wait) override;
  void ShellOpen(int operation, const Text& path) override;
  bool StartThread(void (*routine)()) override;

  // Where a Windows path lands on the host.
  std::filesystem::path HostPath(const Text& windowsPath);
  SandboxFileSystem& files() { return fs_; }

  // "none" simulates a temporary folder that cannot be determined.
  void SetTempFolder(const Text& windowsPath);
  void SetClock(std::function<std::uint32_t()> milliseconds);
  void SetDesktop(const Text& windowsPath);  // empty: undeterminable
  void SetShortcutsFail(bool fail);
  void QueueBrowseAnswer(const Text& answer);  // an empty answer is a cancel

  Shortcut ReadShortcut(const Text& linkPath);
  std::vector<Text> BrowsePrompts();
  std::vector<Text> ProgramsRun();
  std::vector<std::pair<int, Text>> ShellOpens();
  void JoinThreads();

 private:
  SandboxFileSystem fs_;
  std::mutex mutex_;
  Text tempFolder_ = "C:\\Temp";
  Text desktop_ = "C:\\Users\\user\\Desktop\\";
  std::function<std::uint32_t()> clock_;
  std::uint32_t tempCounter_ = 0;
  bool shortcutsFail_ = false;
  std::deque<Text> browseAnswers_;
  std::vector<Text> browsePrompts_;
  std::vector<Text> programsRun_;
  std::vector<std::pair<int, Text>> shellOpens_;
  std::vector<std::thread> threads_;
};

}  // namespace qm
