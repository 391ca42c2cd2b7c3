// extract_cli <archive> <target folder>: unpacks with the installer's own
// extractor over host paths and prints its result code (1, 0 or -1).
#include <cstdio>

#include "runtime/files/extract.h"
#include "runtime/memory/fs_posix.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <archive> <target folder>\n", argv[0]);
    return 2;
  }
  qm::PlainFileSystem fs;
  int result = qm::ExtractArchive(fs, qm::Utf8ToGbk(argv[1]), qm::Utf8ToGbk(argv[2]), nullptr);
  std::printf("%d\n", result);
  return result == 1 ? 0 : 1;
}
