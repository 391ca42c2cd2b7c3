#include "tests/native/zip_fixture.h"

#include <fstream>
#include <iterator>

#include "zip.h"
#include "zlib.h"

namespace qm::test {

bool WriteZip(const std::filesystem::path& path, const std::vector<ZipEntry>& entries) {
  zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
  if (zip == nullptr) return false;
  bool ok = true;
  for (const ZipEntry& e : entries) {
    zip_fileinfo info{};
    info.dosDate = e.dosTime;
    info.external_fa = e.externalAttributes;
    ok = ok &&
         zipOpenNewFileInZip64(zip, e.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                               e.stored ? 0 : Z_DEFLATED, e.stored ? 0 : Z_DEFAULT_COMPRESSION,
                               0) == ZIP_OK &&
         (e.data.empty() ||
          zipWriteInFileInZip(zip, e.data.data(), static_cast<unsigned>(e.data.size())) == ZIP_OK) &&
         zipCloseFileInZip(zip) == ZIP_OK;
  }
  return zipClose(zip, nullptr) == ZIP_OK && ok;
}

std::string NoisyBytes(std::size_t size, std::uint32_t seed) {
  std::string out(size, '\0');
  std::uint32_t x = seed * 2654435761u + 1;
  for (std::size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    out[i] = static_cast<char>(i % 7 == 0 ? 'A' : (x & 0xFF));
  }
  return out;
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(),
                                                               static_cast<std::streamsize>(bytes.size()));
}

}  // namespace qm::test
