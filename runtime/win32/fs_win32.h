// FileSystem on the wide Win32 file functions. Texts are GBK and converted
// with code page 936 explicitly, whatever the system's ANSI code page.
#pragma once

#include <string>

#include "runtime/files/file_system.h"

namespace qm {

std::wstring GbkToWide(const Text& gbk);
// Empty when a character has no GBK form: a "?" would name another file.
Text WideToGbk(const std::wstring& wide);

class Win32FileSystem : public FileSystem {
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
  Text FullPath(const Text& path) override;
};

}  // namespace qm
