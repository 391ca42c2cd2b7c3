// Files, processes and the shell, as each backend realises them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "runtime/services.h"

namespace qm {

// Raised after each entry (index from 0, entry count, output path) and once
// more at the end (index == count, empty path).
using ExtractProgress = std::function<void(int index, int count, const Text& outputPath)>;

class Platform {
 public:
  virtual ~Platform() = default;
  virtual Text TempFileName() = 0;
  virtual bool WriteBytesToFile(const Text& path, const std::uint8_t* bytes, std::size_t count) = 0;
  virtual int ExtractArchive(const Text& archivePath, const Text& targetDir,
                             const ExtractProgress& progress) = 0;
  virtual Text SpecialFolderPath(int folder) = 0;
  virtual bool CreateShortcut(const Text& linkPath, const Text& targetPath) = 0;
  virtual Text BrowseForFolder(const Text& prompt, bool includeFiles) = 0;
  virtual bool RunProgram(const Text& commandLine, bool wait) = 0;
  virtual void ShellOpen(int operation, const Text& path) = 0;
  virtual bool StartThread(void (*routine)()) = 0;
};

}  // namespace qm
