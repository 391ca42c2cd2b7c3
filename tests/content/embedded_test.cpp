// The embedded blocks are the payload files the build made, byte for byte,
// and each sits after its counted-block header.
#include "content/constants.h"
#include "content/embedded.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct BlockCase {
  const char* name;
  qm::ByteBlock (*block)();
  const char* file;
  std::size_t size;
};

const BlockCase kCases[] = {
    {"ReleaseNotesText", qm::ReleaseNotesText, QM_TEST_NOTES_FILE, 14326},
    {"PayloadArchive", qm::PayloadArchive, QM_TEST_PAYLOAD_FILE, 5114250},
};

class EmbeddedBlock : public testing::TestWithParam<BlockCase> {};

TEST_P(EmbeddedBlock, EqualsTheFileTheBuildMade) {
  const BlockCase& c = GetParam();
  const qm::ByteBlock block = c.block();
  const std::vector<std::uint8_t> file = ReadAll(c.file);
  ASSERT_EQ(file.size(), c.size) << c.file;
  ASSERT_EQ(block.size, c.size);
  ASSERT_NE(block.data, nullptr);
  EXPECT_EQ(0, std::memcmp(block.data, file.data(), file.size()));
}

TEST_P(EmbeddedBlock, FollowsItsCountedHeader) {
  const qm::ByteBlock block = GetParam().block();
  std::uint32_t header[2];
  std::memcpy(header, block.data - sizeof header, sizeof header);
  EXPECT_EQ(header[0], 1u);
  EXPECT_EQ(header[1], block.size);
}

INSTANTIATE_TEST_SUITE_P(Content, EmbeddedBlock, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<BlockCase>& info) { return std::string(info.param.name); });

TEST(EmbeddedContent, NotesAreTheArchiveCommentAndReadMe) {
  const qm::ByteBlock notes = qm::ReleaseNotesText();
  const qm::ByteBlock archive = qm::PayloadArchive();
  ASSERT_GT(archive.size, notes.size);
  // The end record's comment closes the archive.
  EXPECT_EQ(0, std::memcmp(archive.data + archive.size - notes.size, notes.data, notes.size));
  const std::uint8_t* end = archive.data + archive.size - notes.size - 22;
  EXPECT_EQ(0, std::memcmp(end, "PK\x05\x06", 4));
  EXPECT_EQ(0, std::memcmp(archive.data, "PK\x03\x04", 4));
}

// The default path ends in the folder name that Browse appends, and the
// backslashes are single characters, as the file system needs them.
TEST(InstallConstants, PathsJoinWithSingleSeparators) {
  const std::string dir = qm::DefaultInstallDir;
  EXPECT_EQ(dir.size(), 20u);
  EXPECT_EQ(dir.find("\\\\"), std::string::npos);
  EXPECT_EQ(dir.substr(dir.rfind('\\') + 1), qm::InstallFolderName);
  EXPECT_EQ(dir + qm::ExecutablePathSuffix, "D:\\Brenmoor\\Vantrel2\\QMV.exe");
  EXPECT_EQ(std::string(qm::ProductDisplayName) + ".lnk", qm::ShortcutFileName);
}

}  // namespace
