#include "runtime/memory/fs_posix.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ctime>

#include "runtime/files/win_path.h"

namespace qm {
namespace {

bool IsAscii(const std::string& s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

std::string Convert(const char* to, const char* from, const std::string& in) {
  if (IsAscii(in)) return in;
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return in;
  std::string out(in.size() * 4 + 4, '\0');
  char* src = const_cast<char*>(in.data());
  std::size_t srcLeft = in.size();
  char* dst = out.data();
  std::size_t dstLeft = out.size();
  std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  iconv_close(cd);
  if (r == static_cast<std::size_t>(-1)) return in;
  out.resize(out.size() - dstLeft);
  return out;
}

// Handles carry the descriptor plus one, so that no handle is null.
FileSystem::Handle* ToHandle(int fd) {
  return reinterpret_cast<FileSystem::Handle*>(static_cast<std::intptr_t>(fd) + 1);
}
int ToFd(FileSystem::Handle* h) { return static_cast<int>(reinterpret_cast<std::intptr_t>(h) - 1); }

}  // namespace

std::string GbkToUtf8(const Text& gbk) { return Convert("UTF-8", "GBK", gbk); }
Text Utf8ToGbk(const std::string& utf8) { return Convert("GBK", "UTF-8", utf8); }

FileSystem::Handle* PosixFileSystem::OpenRead(const Text& path) {
  int fd = ::open(HostPath(path).c_str(), O_RDONLY | O_CLOEXEC);
  return fd < 0 ? nullptr : ToHandle(fd);
}

std::size_t PosixFileSystem::Read(Handle* file, void* buffer, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    ssize_t n = ::read(ToFd(file), static_cast<char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

bool PosixFileSystem::Seek(Handle* file, std::int64_t offset, Origin origin) {
  int whence = origin == Origin::kBegin ? SEEK_SET : origin == Origin::kCurrent ? SEEK_CUR : SEEK_END;
  return ::lseek(ToFd(file), static_cast<off_t>(offset), whence) >= 0;
}

std::int64_t PosixFileSystem::Tell(Handle* file) {
  return static_cast<std::int64_t>(::lseek(ToFd(file), 0, SEEK_CUR));
}

FileSystem::Kind PosixFileSystem::Probe(const Text& path) {
  struct stat st {};
  if (::stat(HostPath(path).c_str(), &st) != 0) return Kind::kMissing;
  return S_ISDIR(st.st_mode) ? Kind::kFolder : Kind::kFile;
}

bool PosixFileSystem::CreateFolder(const Text& path) {
  std::string host = HostPath(path);
  if (::mkdir(host.c_str(), 0777) == 0) return true;
  struct stat st {};
  return errno == EEXIST && ::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PosixFileSystem::ClearAttributes(const Text& path) {
  std::string host = HostPath(path);
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0) return false;
  if ((st.st_mode & S_IWUSR) != 0) return true;
  return ::chmod(host.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
}

FileSystem::Handle* PosixFileSystem::CreateForWrite(const Text& path) {
  std::string host = HostPath(path);
  // The usual case, a new file, needs no further checks.
  int fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd >= 0) return ToHandle(fd);
  if (errno != EEXIST) return nullptr;
  fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  struct stat st {};
  // Read-only means read-only here, whoever runs the tests.
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & S_IWUSR) == 0 ||
      (st.st_size != 0 && ::ftruncate(fd, 0) != 0)) {
    ::close(fd);
    return nullptr;
  }
  return ToHandle(fd);
}

bool PosixFileSystem::Write(Handle* file, const void* data, std::size_t count) {
  const char* p = static_cast<const char*>(data);
  while (count > 0) {
    ssize_t n = ::write(ToFd(file), p, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

bool PosixFileSystem::SetDosTime(Handle* file, std::uint32_t dosDateTime) {
  std::uint32_t date = dosDateTime >> 16, time = dosDateTime & 0xFFFF;
  std::tm tm{};
  tm.tm_sec = static_cast<int>((time & 0x1F) * 2);
  tm.tm_min = static_cast<int>((time >> 5) & 0x3F);
  tm.tm_hour = static_cast<int>(time >> 11);
  tm.tm_mday = static_cast<int>(date & 0x1F);
  tm.tm_mon = static_cast<int>((date >> 5) & 0x0F) - 1;
  tm.tm_year = static_cast<int>(date >> 9) + 80;
  tm.tm_isdst = -1;
  // mktime looks at the zone files on every call; archives mostly repeat one
  // date, so the last answer is kept, for the same TZ setting only.
  thread_local std::uint32_t lastDos = 0;
  thread_local std::string lastZone;
  thread_local std::time_t lastTime = static_cast<std::time_t>(-1);
  const char* zoneEnv = std::getenv("TZ");
  std::string zone = zoneEnv == nullptr ? std::string(1, '\0') : std::string(zoneEnv);
  std::time_t t = lastTime;
  if (t == static_cast<std::time_t>(-1) || dosDateTime != lastDos || zone != lastZone) {
    t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1)) return false;
    lastDos = dosDateTime;
    lastZone = std::move(zone);
    lastTime = t;
  }
  struct timespec times[2] = {{0, UTIME_OMIT}, {t, 0}};
  return ::futimens(ToFd(file), times) == 0;
}

bool PosixFileSystem::Close(Handle* file) { return ::close(ToFd(file)) == 0; }

Text PlainFileSystem::FullPath(const Text& path) {
  if (!path.empty() && IsPathSeparator(path[0])) return NormaliseAbsolutePath(path);
  std::error_code ec;
  std::string cwd = std::filesystem::current_path(ec).string();
  if (ec) return Text();
  return NormaliseAbsolutePath(Utf8ToGbk(cwd) + "\\" + path);
}

std::string PlainFileSystem::HostPath(const Text& path) {
  std::string host = GbkToUtf8(path);
  for (char& c : host) {
    if (c == '\\') c = '/';  // UTF-8 has no "\" inside a character
  }
  return host;
}

SandboxFileSystem::SandboxFileSystem(std::filesystem::path root, Text currentDir)
    : root_(std::move(root)), currentDir_(std::move(currentDir)) {}

Text SandboxFileSystem::FullPath(const Text& path) {
  std::size_t root = PathRootLength(path);
  if (root == 3 || (root > 3 && IsPathSeparator(path[1]))) return NormaliseAbsolutePath(path);
  if (root == 2) return NormaliseAbsolutePath(path.substr(0, 2) + "\\" + path.substr(2));
  if (root == 1) return NormaliseAbsolutePath(currentDir_.substr(0, 2) + path);
  return NormaliseAbsolutePath(currentDir_ + "\\" + path);
}

std::string SandboxFileSystem::HostPath(const Text& path) {
  Text full = FullPath(path);
  std::string rest;
  if (full.size() >= 2 && full[1] == ':') {
    rest = std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(full[0])))) +
           full.substr(2);
  } else {
    rest = "UNC" + full.substr(1);  // "\\server\share\..." keeps one "\"
  }
  std::string host = GbkToUtf8(rest);
  for (char& c : host) {
    if (c == '\\') c = '/';
  }
  return root_.string() + "/" + host;
}

}  // namespace qm
