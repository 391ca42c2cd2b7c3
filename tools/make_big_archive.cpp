// make_big_archive <output.zip> [entries]: writes a deterministic ZIP archive
// of mixed content for the extraction benchmark: prose-like text, structured
// binary data and incompressible data (half of it stored, as packers do), in
// files of a few hundred bytes to a few megabytes under a tree of folders.
// The same arguments always give the same bytes.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zip.h"

namespace {

// xorshift64*: fast, and the same sequence on every platform.
struct Rng {
  std::uint64_t s;
  std::uint64_t Next() {
    s ^= s >> 12;
    s ^= s << 25;
    s ^= s >> 27;
    return s * 0x2545F4914F6CDD1DULL;
  }
  double Unit() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }
  std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }
};

std::vector<std::string> MakeWords(Rng& rng) {
  static const char* kSyllables[] = {"qu", "il", "mer", "an", "to", "ven", "trel", "bren", "moor",
                                     "sa", "li", "ko", "ra", "ne", "th", "or", "ed", "ing", "es",
                                     "al", "ri", "mo", "ta", "de", "lu", "pi", "ca", "os", "un"};
  std::vector<std::string> words;
  for (int i = 0; i < 3000; ++i) {
    std::string w;
    int n = 1 + static_cast<int>(rng.Below(4));
    for (int k = 0; k < n; ++k) w += kSyllables[rng.Below(sizeof kSyllables / sizeof *kSyllables)];
    words.push_back(w);
  }
  return words;
}

// Words drawn with a skew towards the common ones, as in prose.
void FillText(Rng& rng, const std::vector<std::string>& words, std::vector<unsigned char>& out,
              std::size_t size) {
  out.clear();
  std::size_t line = 0;
  while (out.size() < size) {
    double u = rng.Unit();
    const std::string& w = words[static_cast<std::size_t>(u * u * u * words.size())];
    out.insert(out.end(), w.begin(), w.end());
    line += w.size() + 1;
    if (line > 60 + rng.Below(20)) {
      out.push_back('\r');
      out.push_back('\n');
      line = 0;
    } else {
      out.push_back(rng.Below(12) == 0 ? ',' : ' ');
    }
  }
  out.resize(size);
}

// Tables of little-endian records with slowly changing fields and noisy low
// bytes: compresses about as well as program code or bitmaps.
void FillBinary(Rng& rng, std::vector<unsigned char>& out, std::size_t size) {
  out.resize(size);
  std::uint32_t a = static_cast<std::uint32_t>(rng.Next()), b = 0;
  for (std::size_t i = 0; i < size; i += 16) {
    a += static_cast<std::uint32_t>(rng.Below(64));
    b = rng.Below(8) == 0 ? static_cast<std::uint32_t>(rng.Next()) : b;
    std::uint64_t noise = rng.Next();
    unsigned char rec[16];
    std::memcpy(rec, &a, 4);
    std::memcpy(rec + 4, &b, 4);
    rec[8] = static_cast<unsigned char>(noise);
    rec[9] = static_cast<unsigned char>(noise >> 8);
    rec[10] = static_cast<unsigned char>(noise >> 16) & 0x0F;
    rec[11] = 0;
    rec[12] = static_cast<unsigned char>(i >> 4);
    rec[13] = static_cast<unsigned char>(i >> 12);
    rec[14] = rec[15] = 0;
    std::memcpy(out.data() + i, rec, size - i < 16 ? size - i : 16);
  }
}

void FillRandom(Rng& rng, std::vector<unsigned char>& out, std::size_t size) {
  out.resize(size);
  for (std::size_t i = 0; i < size; i += 8) {
    std::uint64_t v = rng.Next();
    std::memcpy(out.data() + i, &v, size - i < 8 ? size - i : 8);
  }
}

bool Add(zipFile zip, const std::string& name, const std::vector<unsigned char>& data, int method) {
  zip_fileinfo info{};
  info.tmz_date.tm_year = 2024;
  info.tmz_date.tm_mon = 8;  // September, counted from 0
  info.tmz_date.tm_mday = 18;
  info.tmz_date.tm_hour = 10;
  bool folder = !name.empty() && name.back() == '/';
  info.external_fa = folder ? 0x10 : 0x20;
  if (zipOpenNewFileInZip64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                            folder ? 0 : method, method == 0 ? 0 : 6, 0) != ZIP_OK) {
    return false;
  }
  if (!data.empty() &&
      zipWriteInFileInZip(zip, data.data(), static_cast<unsigned>(data.size())) != ZIP_OK) {
    return false;
  }
  return zipCloseFileInZip(zip) == ZIP_OK;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <output.zip> [entries]\n", argv[0]);
    return 2;
  }
  const int entries = argc > 2 ? std::atoi(argv[2]) : 10000;
  const int folders = entries / 100;
  Rng rng{0x5157494C4C4D4552ULL};
  std::vector<std::string> words = MakeWords(rng);
  zipFile zip = zipOpen64(argv[1], APPEND_STATUS_CREATE);
  if (zip == nullptr) {
    std::fprintf(stderr, "cannot create %s\n", argv[1]);
    return 1;
  }
  std::vector<unsigned char> data;
  std::uint64_t total = 0;
  int files = 0;
  for (int f = 0; f < folders && files + f < entries; ++f) {
    char folder[64];
    std::snprintf(folder, sizeof folder, "set%02d/part%03d/", f % 10, f);
    if (f < 10) {
      std::string top(folder, 6);
      if (!Add(zip, top, {}, 0)) return 1;
    }
    if (!Add(zip, folder, {}, 0)) return 1;
    int perFolder = (entries - folders - 10) / folders;
    if (f == folders - 1) perFolder = entries - folders - 10 - files;
    for (int i = 0; i < perFolder; ++i, ++files) {
      // Sizes spread evenly on a log scale from 256 B to 128 KiB, with one
      // file in a hundred of 0.5 to 3 MiB.
      std::size_t size = rng.Below(100) == 0
                             ? (512u << 10) + rng.Below(5u << 19)
                             : static_cast<std::size_t>(256.0 * std::exp2(9.0 * rng.Unit()));
      std::size_t kind = rng.Below(100);
      std::string name = std::string(folder) + "item" + std::to_string(files);
      int method = 8;
      if (kind < 45) {
        FillText(rng, words, data, size);
        name += ".txt";
      } else if (kind < 80) {
        FillBinary(rng, data, size);
        name += ".bin";
      } else {
        FillRandom(rng, data, size);
        name += ".dat";
        method = kind < 90 ? 0 : 8;
      }
      if (!Add(zip, name, data, method)) {
        std::fprintf(stderr, "writing %s failed\n", name.c_str());
        return 1;
      }
      total += size;
    }
  }
  if (zipClose(zip, nullptr) != ZIP_OK) return 1;
  std::printf("%d entries, %llu bytes of file data\n", files + folders + 10,
              static_cast<unsigned long long>(total));
  return 0;
}
