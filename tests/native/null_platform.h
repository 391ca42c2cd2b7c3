// A platform for tests of the window model alone: nothing on disk, no shell.
#pragma once

#include "runtime/core/platform.h"

namespace qm {

class NullPlatform : public Platform {
 public:
  Text TempFileName() override { return {}; }
  bool WriteBytesToFile(const Text&, const std::uint8_t*, std::size_t) override { return false; }
  int ExtractArchive(const Text&, const Text&, const ExtractProgress&) override { return -1; }
  Text SpecialFolderPath(int) override { return {}; }
  bool CreateShortcut(const Text&, const Text&) override { return false; }
  Text BrowseForFolder(const Text&, bool) override { return {}; }
  bool RunProgram(const Text&, bool) override { return false; }
  void ShellOpen(int, const Text&) override {}
  bool StartThread(void (*)()) override { return false; }
};

}  // namespace qm
