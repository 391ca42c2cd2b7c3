// bench_extract <archive> [runs]: times the installer's extractor on host
// paths, each run into a fresh folder, and prints median, min and max.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include "runtime/files/extract.h"
#include "runtime/memory/fs_posix.h"

namespace {

double NowMs() {
  struct timespec ts {};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <archive> [runs]\n", argv[0]);
    return 2;
  }
  int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 15;
  namespace fs = std::filesystem;
  fs::path work = fs::temp_directory_path() / ("bench_extract." + std::to_string(::getpid()));
  qm::PlainFileSystem files;
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    fs::path target = work / std::to_string(i);
    double start = NowMs();
    int result = qm::ExtractArchive(files, qm::Utf8ToGbk(argv[1]), target.string(), nullptr);
    double end = NowMs();
    if (result != 1) {
      std::fprintf(stderr, "extraction failed: %d\n", result);
      fs::remove_all(work);
      return 1;
    }
    ms.push_back(end - start);
    fs::remove_all(target);
  }
  fs::remove_all(work);
  std::sort(ms.begin(), ms.end());
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("runs %d  median %.2f ms  min %.2f ms  max %.2f ms  peak rss %ld KiB\n", runs,
              ms[ms.size() / 2], ms.front(), ms.back(), usage.ru_maxrss);
  return 0;
}
