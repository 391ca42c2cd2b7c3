// FileSystem on POSIX calls, for the native build. Windows paths (GBK) are
// mapped onto host paths (UTF-8); a file without its owner's write bit counts
// as read-only and is refused for writing, as Windows would, even for root.
#pragma once

#include <filesystem>
#include <string>

#include "runtime/files/file_system.h"

namespace qm {

std::string GbkToUtf8(const Text& gbk);   // bytes that are not GBK are kept as they are
Text Utf8ToGbk(const std::string& utf8);  // likewise

class PosixFileSystem : public FileSystem {
 public:
  Handle* OpenRead(const Text& path) override;
  std::size_t Read(Handle* file, void* buffer, std::size_t count) override;
  bool Seek(Handle* file, std::int64_t offset, Origin origin) override;
  std::int64_t Tell(Handle* file) override;
  Kind Probe(const Text& path) override;
  bool CreateFolder(const Text& path) override;
  bool ClearAttributes(const Text& path) override;
  Handle* CreateForWrite(const Text& path) override;
  bool Write(Handle* file, const void* data, std::size_t count) override;
  bool SetDosTime(Handle* file, std::uint32_t dosDateTime) override;
  bool Close(Handle* file) override;
  bool AllowsWriterThread() const override { return true; }

  // The host path a Windows path lands on.
  virtual std::string HostPath(const Text& path) = 0;
};

// Paths are the host's own ("\" and "/" both separate), relative to the
// process's working folder.
class PlainFileSystem : public PosixFileSystem {
 public:
  Text FullPath(const Text& path) override;
  std::string HostPath(const Text& path) override;
};

// Drives are folders under a root: "D:\Brenmoor" is <root>/D/Brenmoor; a
// path without a drive is taken relative to the current folder.
class SandboxFileSystem : public PosixFileSystem {
 public:
  explicit SandboxFileSystem(std::filesystem::path root, Text currentDir = "C:\\");
  Text FullPath(const Text& path) override;
  std::string HostPath(const Text& path) override;
  const std::filesystem::path& root() const { return root_; }

 private:
  std::filesystem::path root_;
  Text currentDir_;
};

}  // namespace qm
