// Small ZIP archives built on the spot for the extraction tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qm::test {

constexpr unsigned long kDosFolder = 0x10;
constexpr unsigned long kUnixFolder = 0x40000000 | (040755UL << 16);
constexpr std::uint32_t kSomeDosTime = (41u << 25) | (3u << 21) | (4u << 16) |  // 2021-03-04
                                       (5u << 11) | (6u << 5) | 4u;             // 05:06:08

struct ZipEntry {
  std::string name;  // GBK bytes, stored as they are
  std::string data;
  unsigned long externalAttributes = 0;
  bool stored = false;  // deflated otherwise
  std::uint32_t dosTime = kSomeDosTime;
};

inline ZipEntry Folder(std::string name, unsigned long attributes = kDosFolder) {
  return ZipEntry{std::move(name), "", attributes};
}

// Writes the archive; false when minizip refused.
bool WriteZip(const std::filesystem::path& path, const std::vector<ZipEntry>& entries);

// Data that deflate cannot shrink much, so it spans many read buffers.
std::string NoisyBytes(std::size_t size, std::uint32_t seed);

std::string ReadAll(const std::filesystem::path& path);
void WriteAll(const std::filesystem::path& path, const std::string& bytes);

}  // namespace qm::test
