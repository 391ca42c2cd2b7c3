// libFuzzer target for ExtractArchive on the POSIX sandbox file system.
// Each input is written as C:\a.zip into a fresh sandbox and unpacked to
// D:\t. After every run the harness checks what must hold whatever the input:
//   - the result is 1, 0 or -1;
//   - nothing exists in the sandbox outside D:\t but the archive and the two
//     drive folders, no symbolic link anywhere, and the archive is unchanged;
//   - a result of 1 means every entry, read again by minizip straight from
//     the host file (not through the extractor's I/O), is on disk with exactly
//     its bytes (a later entry of the same name wins), and no file under D:\t
//     is one the archive does not name.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>

#include "runtime/files/extract.h"
#include "runtime/memory/fs_posix.h"
#include "unzip.h"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "fuzz_extract: %s\n", why.c_str());
  std::abort();
}

const fs::path& Base() {
  static const fs::path base = [] {
    const char* shm = "/dev/shm";
    std::string tmpl = std::string(access(shm, W_OK) == 0 ? shm : "/tmp") + "/qm-fuzz-XXXXXX";
    if (mkdtemp(tmpl.data()) == nullptr) Fail("mkdtemp");
    std::atexit([] { std::error_code ec; fs::remove_all(Base(), ec); });
    return fs::path(tmpl);
  }();
  return base;
}

std::string ReadHostFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// What the archive says D:\t must hold after a full extraction: host path ->
// bytes, or nullopt for a folder. Empty map when minizip cannot read it all.
using Expected = std::map<std::string, std::optional<std::string>>;

bool ReadExpected(const fs::path& archive, qm::SandboxFileSystem& sandbox, Expected& out) {
  unzFile zip = unzOpen64(archive.c_str());
  if (zip == nullptr) return false;
  // The end record's count rules: unzGoToFirstFile alone would read records
  // past a declared count of 0.
  unz_global_info64 global{};
  bool ok = unzGetGlobalInfo64(zip, &global) == UNZ_OK;
  std::string name(0x10000, '\0');
  for (int s = global.number_entry == 0 ? UNZ_END_OF_LIST_OF_FILE : unzGoToFirstFile(zip); ok && s == UNZ_OK; s = unzGoToNextFile(zip)) {
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(zip, &info, name.data(), name.size(), nullptr, 0, nullptr, 0) !=
        UNZ_OK) {
      ok = false;
      break;
    }
    std::string entry(name.data(), info.size_filename);
    for (char& c : entry) {
      if (c == '/') c = '\\';
    }
    std::string host = sandbox.HostPath("D:\\t\\" + entry);
    if (info.external_fa & (0x10 | 0x40000000)) {
      out[host] = std::nullopt;
      continue;
    }
    std::string data;
    if (unzOpenCurrentFile(zip) != UNZ_OK) {
      ok = false;
      break;
    }
    char buf[65536];
    int n;
    while ((n = unzReadCurrentFile(zip, buf, sizeof buf)) > 0) data.append(buf, n);
    if (unzCloseCurrentFile(zip) != UNZ_OK || n < 0) ok = false;
    out[host] = std::move(data);
  }
  unzClose(zip);
  return ok;
}

bool IsUnder(const fs::path& p, const fs::path& dir) {
  auto [d, q] = std::mismatch(dir.begin(), dir.end(), p.begin(), p.end());
  return d == dir.end() && q != p.end();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path work = Base() / "w";
  std::error_code ec;
  fs::remove_all(work, ec);
  const fs::path root = work / "root", driveC = root / "C", driveD = root / "D";
  const fs::path archive = driveC / "a.zip", target = driveD / "t";
  fs::create_directories(driveC);
  fs::create_directories(driveD);
  const std::string input(reinterpret_cast<const char*>(data), size);
  {
    std::ofstream out(archive, std::ios::binary);
    out.write(input.data(), static_cast<std::streamsize>(input.size()));
    if (!out) Fail("cannot write the input");
  }

  qm::SandboxFileSystem sandbox(root);
  const int result = qm::ExtractArchive(sandbox, "C:\\a.zip", "D:\\t", {});
  if (result != 1 && result != 0 && result != -1) Fail("result " + std::to_string(result));

  // The whole work folder, the sandbox's parent included: an escape lands somewhere here.
  for (auto it = fs::recursive_directory_iterator(work); it != fs::recursive_directory_iterator();
       ++it) {
    const fs::path& p = it->path();
    if (it->is_symlink()) Fail("symbolic link " + p.string());
    if (p == root || p == driveC || p == driveD || p == archive || p == target) continue;
    if (!IsUnder(p, target)) Fail("written outside the target: " + p.string());
  }
  if (ReadHostFile(archive) != input) Fail("the archive was changed");

  if (result == 1) {
    if (!fs::is_directory(target)) Fail("result 1 without the target folder");
    Expected expected;
    if (!ReadExpected(archive, sandbox, expected)) Fail("result 1 but minizip cannot read it all");
    for (const auto& [host, bytes] : expected) {
      struct stat st {};
      if (lstat(host.c_str(), &st) != 0) Fail("missing after result 1: " + host);
      if (!bytes) {
        if (!S_ISDIR(st.st_mode)) Fail("not a folder: " + host);
      } else if (!S_ISREG(st.st_mode) || ReadHostFile(host) != *bytes) {
        Fail("wrong bytes: " + host);
      }
    }
    for (auto it = fs::recursive_directory_iterator(target);
         it != fs::recursive_directory_iterator(); ++it) {
      if (it->is_regular_file() && expected.count(it->path().string()) == 0)
        Fail("a file the archive does not name: " + it->path().string());
    }
  }
  return 0;
}
