#include "runtime/win32/fs_win32.h"

#include <windows.h>

#include <vector>

// The three shell GUIDs the platform uses, defined here so that the linker
// does not take libuuid's object for them: its whole table of GUIDs, 40 KB.
extern "C" const GUID CLSID_ShellLink = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
extern "C" const GUID IID_IShellLinkW = {0x000214F9, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
extern "C" const GUID IID_IPersistFile = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

namespace qm {
namespace {

constexpr UINT kGbk = 936;

HANDLE ToWin(FileSystem::Handle* h) { return reinterpret_cast<HANDLE>(h); }
FileSystem::Handle* FromWin(HANDLE h) {
  return h == INVALID_HANDLE_VALUE ? nullptr : reinterpret_cast<FileSystem::Handle*>(h);
}

}  // namespace

std::wstring GbkToWide(const Text& gbk) {
  if (gbk.empty()) return std::wstring();
  int n = MultiByteToWideChar(kGbk, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(kGbk, 0, gbk.data(), static_cast<int>(gbk.size()), wide.data(), n);
  return wide;
}

Text WideToGbk(const std::wstring& wide) {
  if (wide.empty()) return Text();
  BOOL lossy = FALSE;
  int n = WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                              nullptr, 0, nullptr, &lossy);
  if (n <= 0 || lossy) return Text();
  Text gbk(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                      gbk.data(), n, nullptr, nullptr);
  return gbk;
}

FileSystem::Handle* Win32FileSystem::OpenRead(const Text& path) {
  return FromWin(CreateFileW(GbkToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

std::size_t Win32FileSystem::Read(Handle* file, void* buffer, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    DWORD chunk = static_cast<DWORD>(count - done > 0x40000000 ? 0x40000000 : count - done);
    DWORD n = 0;
    if (!ReadFile(ToWin(file), static_cast<char*>(buffer) + done, chunk, &n, nullptr) || n == 0) {
      break;
    }
    done += n;
  }
  return done;
}

bool Win32FileSystem::Seek(Handle* file, std::int64_t offset, Origin origin) {
  LARGE_INTEGER to;
  to.QuadPart = offset;
  DWORD method = origin == Origin::kBegin     ? FILE_BEGIN
                 : origin == Origin::kCurrent ? FILE_CURRENT
                                              : FILE_END;
  return SetFilePointerEx(ToWin(file), to, nullptr, method) != 0;
}

std::int64_t Win32FileSystem::Tell(Handle* file) {
  LARGE_INTEGER zero{}, at{};
  if (!SetFilePointerEx(ToWin(file), zero, &at, FILE_CURRENT)) return -1;
  return at.QuadPart;
}

FileSystem::Kind Win32FileSystem::Probe(const Text& path) {
  DWORD attributes = GetFileAttributesW(GbkToWide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Kind::kMissing;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? Kind::kFolder : Kind::kFile;
}

bool Win32FileSystem::CreateFolder(const Text& path) {
  std::wstring wide = GbkToWide(path);
  if (CreateDirectoryW(wide.c_str(), nullptr)) return true;
  DWORD attributes = GetFileAttributesW(wide.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32FileSystem::ClearAttributes(const Text& path) {
  return SetFileAttributesW(GbkToWide(path).c_str(), FILE_ATTRIBUTE_NORMAL) != 0;
}

FileSystem::Handle* Win32FileSystem::CreateForWrite(const Text& path) {
  // No sharing: nobody sees the file half written.
  return FromWin(CreateFileW(GbkToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool Win32FileSystem::Write(Handle* file, const void* data, std::size_t count) {
  const char* p = static_cast<const char*>(data);
  while (count > 0) {
    DWORD chunk = static_cast<DWORD>(count > 0x40000000 ? 0x40000000 : count);
    DWORD n = 0;
    if (!WriteFile(ToWin(file), p, chunk, &n, nullptr) || n == 0) return false;
    p += n;
    count -= n;
  }
  return true;
}

bool Win32FileSystem::SetDosTime(Handle* file, std::uint32_t dosDateTime) {
  FILETIME local, utc;
  if (!DosDateTimeToFileTime(static_cast<WORD>(dosDateTime >> 16),
                             static_cast<WORD>(dosDateTime & 0xFFFF), &local) ||
      !LocalFileTimeToFileTime(&local, &utc)) {
    return false;
  }
  return SetFileTime(ToWin(file), &utc, nullptr, &utc) != 0;
}

bool Win32FileSystem::Close(Handle* file) { return CloseHandle(ToWin(file)) != 0; }

Text Win32FileSystem::FullPath(const Text& path) {
  std::wstring wide = GbkToWide(path);
  DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0) return Text();
  std::vector<wchar_t> buffer(n);
  DWORD got = GetFullPathNameW(wide.c_str(), n, buffer.data(), nullptr);
  if (got == 0 || got >= n) return Text();
  return WideToGbk(std::wstring(buffer.data(), got));
}

}  // namespace qm
