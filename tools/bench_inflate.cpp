// bench_inflate [--no-crc] <archive.zip>: the floor for extraction: every
// entry of the archive inflated with zlib into one reused buffer and its CRC
// checked, with nothing written. The archive is read as the extractor reads
// it, in large chunks. Exit code 1 when an entry does not check out.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

std::uint32_t Le32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t Le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

int main(int argc, char** argv) {
  bool crc = true;
  int arg = 1;
  if (arg < argc && std::strcmp(argv[arg], "--no-crc") == 0) {
    crc = false;
    ++arg;
  }
  if (arg >= argc) {
    std::fprintf(stderr, "usage: %s [--no-crc] <archive.zip>\n", argv[0]);
    return 2;
  }
  int fd = open(argv[arg], O_RDONLY);
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0 || st.st_size < 22) return 1;
  const std::size_t size = static_cast<std::size_t>(st.st_size);

  // End of central directory: the last signature within the comment's reach.
  std::vector<unsigned char> tail(size < 22 + 0xFFFF ? size : 22 + 0xFFFF);
  const std::size_t tailAt = size - tail.size();
  if (pread(fd, tail.data(), tail.size(), static_cast<off_t>(tailAt)) !=
      static_cast<ssize_t>(tail.size())) {
    return 1;
  }
  std::size_t eocd = tail.size() - 22;
  while (Le32(tail.data() + eocd) != 0x06054B50) {
    if (eocd == 0) return 1;
    --eocd;
  }
  const unsigned entries = Le16(tail.data() + eocd + 10);
  std::vector<unsigned char> dir(Le32(tail.data() + eocd + 12));
  if (pread(fd, dir.data(), dir.size(), static_cast<off_t>(Le32(tail.data() + eocd + 16))) !=
      static_cast<ssize_t>(dir.size())) {
    return 1;
  }
  std::size_t cd = 0;
  std::vector<unsigned char> in(256 * 1024);
  std::vector<unsigned char> out(512 * 1024);
  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return 1;
  std::uint64_t total = 0;
  for (unsigned i = 0; i < entries; ++i) {
    const unsigned char* h = dir.data() + cd;
    if (cd + 46 > dir.size() || Le32(h) != 0x02014B50) return 1;
    const unsigned method = Le16(h + 10);
    const std::uint32_t want = Le32(h + 16), packed = Le32(h + 20), unpacked = Le32(h + 24);
    const off_t local = Le32(h + 42);
    cd += 46 + Le16(h + 28) + Le16(h + 30) + Le16(h + 32);
    unsigned char l[30];
    if (pread(fd, l, 30, local) != 30) return 1;
    off_t at = local + 30 + Le16(l + 26) + Le16(l + 28);
    std::uint32_t left = packed, sum = 0;
    std::uint64_t got = 0;
    auto next = [&](uInt* chunk) {
      *chunk = left < in.size() ? left : static_cast<uInt>(in.size());
      if (pread(fd, in.data(), *chunk, at) != static_cast<ssize_t>(*chunk)) return false;
      at += *chunk;
      left -= *chunk;
      return true;
    };
    if (method == 0) {
      while (left > 0) {
        uInt chunk = 0;
        if (!next(&chunk)) return 1;
        if (crc) sum = static_cast<std::uint32_t>(crc32(sum, in.data(), chunk));
        got += chunk;
      }
    } else if (method == 8) {
      inflateReset(&z);
      z.avail_in = 0;
      int r = Z_OK;
      while (r != Z_STREAM_END) {
        if (z.avail_in == 0) {
          uInt chunk = 0;
          if (left == 0 || !next(&chunk)) return 1;
          z.next_in = in.data();
          z.avail_in = chunk;
        }
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        r = inflate(&z, Z_NO_FLUSH);
        if (r != Z_OK && r != Z_STREAM_END) return 1;
        std::size_t n = out.size() - z.avail_out;
        if (crc) sum = static_cast<std::uint32_t>(crc32(sum, out.data(), static_cast<uInt>(n)));
        got += n;
      }
    } else {
      return 1;
    }
    if (got != unpacked || (crc && sum != want)) {
      std::fprintf(stderr, "entry %u does not check out\n", i);
      return 1;
    }
    total += got;
  }
  inflateEnd(&z);
  std::printf("%u entries, %llu bytes\n", entries, static_cast<unsigned long long>(total));
  return 0;
}
