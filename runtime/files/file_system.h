// The few file operations extraction needs, so one extractor serves the
// Win32 build and the native sandbox alike. Paths are GBK Windows paths.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/services.h"

namespace qm {

class FileSystem {
 public:
  struct Handle;  // never defined: each file system casts its own pointers
  enum class Kind { kMissing, kFile, kFolder };
  enum class Origin { kBegin, kCurrent, kEnd };

  virtual ~FileSystem() = default;

  // Reading, with seeking: the archive.
  virtual Handle* OpenRead(const Text& path) = 0;
  virtual std::size_t Read(Handle* file, void* buffer, std::size_t count) = 0;
  virtual bool Seek(Handle* file, std::int64_t offset, Origin origin) = 0;
  virtual std::int64_t Tell(Handle* file) = 0;  // -1 on failure

  virtual Kind Probe(const Text& path) = 0;
  // Creates one folder level; true when the folder exists afterwards.
  virtual bool CreateFolder(const Text& path) = 0;
  // Makes an existing file writable again; false when that failed or the
  // file does not exist.
  virtual bool ClearAttributes(const Text& path) = 0;

  // Writing: create or truncate, never creating the folder around it.
  virtual Handle* CreateForWrite(const Text& path) = 0;
  virtual bool Write(Handle* file, const void* data, std::size_t count) = 0;
  // Modification time from an MS-DOS date (high 16 bits) and time (low 16), local time.
  virtual bool SetDosTime(Handle* file, std::uint32_t dosDateTime) = 0;

  // Closes a handle from OpenRead or CreateForWrite; false when the last
  // writes could not be completed.
  virtual bool Close(Handle* file) = 0;

  // The absolute, normalised form of path, with "\" separators; empty on failure.
  virtual Text FullPath(const Text& path) = 0;

  // True when ClearAttributes, CreateForWrite, Write, SetDosTime and Close
  // may run on a second thread while the others run on the first: extraction
  // then writes on a thread of its own.
  virtual bool AllowsWriterThread() const { return false; }
};

}  // namespace qm
