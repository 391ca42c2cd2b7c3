// ExtractArchive over the sandbox file system, with archives built per test.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <set>
#include <tuple>

#include "runtime/files/extract.h"
#include "runtime/memory/sandbox_platform.h"
#include "tests/native/zip_fixture.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::Folder;
using test::ReadAll;
using test::WriteAll;
using test::ZipEntry;

std::string Utf8(const char8_t* s) { return reinterpret_cast<const char*>(s); }

class ExtractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qm_extract_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    platform_ = std::make_unique<SandboxPlatform>(root_);
  }
  void TearDown() override {
    platform_.reset();
    std::error_code ec;
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(root_, ec);
  }

  fs::path Host(const Text& windowsPath) { return platform_->HostPath(windowsPath); }

  // Builds the archive at C:\Temp\a.zip and unpacks it into target.
  int Extract(const std::vector<ZipEntry>& entries, const Text& target = "D:\\Out") {
    EXPECT_TRUE(test::WriteZip(Host(kArchive), entries));
    return platform_->ExtractArchive(kArchive, target, nullptr);
  }

  // Every file and folder in the sandbox, as host paths.
  std::set<fs::path> Everything() {
    std::set<fs::path> all;
    for (const auto& e : fs::recursive_directory_iterator(root_)) all.insert(e.path());
    return all;
  }

  static constexpr const char* kArchive = "C:\\Temp\\a.zip";
  fs::path root_;
  std::unique_ptr<SandboxPlatform> platform_;
};

TEST_F(ExtractTest, UnpacksEveryEntryWithItsBytesIntoANewTarget) {
  const std::string big = test::NoisyBytes(1'300'000, 7);  // more than one copy buffer
  std::vector<ZipEntry> entries = {
      Folder("app/"),
      {"app/QMV.exe", big},
      {"app/readme.txt", "stored text\r\n", 0, true},
      {"empty.dat", ""},
      {"top.txt", std::string(5000, 'x')},
  };
  ASSERT_EQ(Extract(entries, "D:\\Brenmoor\\Vantrel2"), 1);
  fs::path out = Host("D:\\Brenmoor\\Vantrel2");
  EXPECT_EQ(ReadAll(out / "app/QMV.exe"), big);
  EXPECT_EQ(ReadAll(out / "app/readme.txt"), "stored text\r\n");
  EXPECT_TRUE(fs::is_regular_file(out / "empty.dat"));
  EXPECT_EQ(fs::file_size(out / "empty.dat"), 0u);
  EXPECT_EQ(ReadAll(out / "top.txt"), std::string(5000, 'x'));
}

TEST_F(ExtractTest, MissingArchiveIsMinusOneAndTouchesNothing) {
  fs::create_directories(Host("C:\\Temp\\folder.zip"));
  for (const Text& archive : {Text(), Text("C:\\Temp\\none.zip"), Text("C:\\Temp\\folder.zip")}) {
    SCOPED_TRACE(archive);
    EXPECT_EQ(platform_->ExtractArchive(archive, "D:\\Out", nullptr), -1);
    EXPECT_FALSE(fs::exists(Host("D:\\Out")));
  }
}

TEST_F(ExtractTest, NotAZipIsZeroAfterTheTargetWasCreated) {
  WriteAll(Host(kArchive), "this is plain text, not an archive");
  EXPECT_EQ(platform_->ExtractArchive(kArchive, "D:\\Out\\Sub", nullptr), 0);
  EXPECT_TRUE(fs::is_directory(Host("D:\\Out\\Sub")));
}

TEST_F(ExtractTest, ArchiveCutBeforeItsCentralDirectoryIsZero) {
  ASSERT_TRUE(test::WriteZip(Host(kArchive), {{"a.txt", std::string(4000, 'a')}}));
  std::string bytes = ReadAll(Host(kArchive));
  WriteAll(Host(kArchive), bytes.substr(0, bytes.size() / 2));
  EXPECT_EQ(platform_->ExtractArchive(kArchive, "D:\\Out", nullptr), 0);
}

// A damaged entry fails the whole extraction; the entries before it stay.
TEST_F(ExtractTest, CorruptEntriesAreFailuresNotSuccess) {
  enum Damage { kFlipStoredByte, kDeclareLonger };
  for (Damage damage : {kFlipStoredByte, kDeclareLonger}) {
    SCOPED_TRACE(damage);
    const std::string payload = "0123456789abcdefPAYLOAD-MARK" + std::string(3000, 'q');
    ASSERT_TRUE(test::WriteZip(Host(kArchive), {{"first.txt", "first"},
                                                {"second.txt", payload, 0, damage == kFlipStoredByte},
                                                {"third.txt", "third"}}));
    std::string bytes = ReadAll(Host(kArchive));
    if (damage == kFlipStoredByte) {
      std::size_t at = bytes.find("PAYLOAD-MARK");
      ASSERT_NE(at, std::string::npos);
      bytes[at] ^= 0x01;
    } else {
      // Uncompressed size + 1 in the local header (offset 22) and the
      // central header (offset 24) of the second entry.
      std::size_t local = bytes.find("PK\x03\x04", bytes.find("second.txt") - 40);
      std::size_t central = bytes.find("PK\x01\x02", bytes.find("PK\x01\x02") + 4);
      ASSERT_NE(local, std::string::npos);
      ASSERT_NE(central, std::string::npos);
      ++bytes[local + 22];
      ++bytes[central + 24];
    }
    WriteAll(Host(kArchive), bytes);
    EXPECT_EQ(platform_->ExtractArchive(kArchive, "D:\\Out", nullptr), 0);
    EXPECT_EQ(ReadAll(Host("D:\\Out\\first.txt")), "first");
    EXPECT_FALSE(fs::exists(Host("D:\\Out\\third.txt")));
    fs::remove_all(Host("D:\\Out"));
  }
}

TEST_F(ExtractTest, NamesThatEscapeOrThatWindowsReservesAreRefusedUnwritten) {
  const char* const kNames[] = {
      "", "/abs.txt", "\\abs.txt", "C:evil.txt", "D:/evil.txt", "a:b.txt", "../evil.txt",
      "sub/../../evil.txt", "sub/../x.txt", "sub\\..\\..\\evil.txt", ".", "..", "./x.txt",
      "dot./x.txt", "x.txt.", "x.txt ", "space /x.txt", "a//b.txt", "a\\\\b.txt", "a/\\b.txt",
      "CON", "con.txt", "Lpt1.log", "COM9", "nul/x.txt", "aux .txt", "prn.a.b", "a*b", "a?b",
      "a\"b", "a<b", "a>b", "a|b", "tab\tname", "line\nname", "\x81",
  };
  fs::create_directories(Host("D:\\Out"));
  const std::set<fs::path> before = Everything();
  for (const char* name : kNames) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Extract({{name, "evil"}}), 0);
    EXPECT_EQ(Everything().size(), before.size() + 1);  // only the archive is new
    fs::remove(Host(kArchive));
  }
}

TEST_F(ExtractTest, GbkNamesArriveAsTheirCharacters) {
  // 乗 is 0x81 0x5C and 亅 is 0x81 0x7C: the trail bytes are "\" and "|".
  std::vector<ZipEntry> entries = {Folder("中文/"), {"中文/乗亅.txt", "kanji"},
                                   {"com10.txt", "ok"}, {".hidden", "ok"}, {"a.b.c", "ok"},
                                   {"CONSOLE.txt", "ok"}};
  ASSERT_EQ(Extract(entries), 1);
  EXPECT_EQ(ReadAll(Host("D:\\Out") / Utf8(u8"中文") / Utf8(u8"乗亅.txt")), "kanji");
  for (const char* plain : {"com10.txt", ".hidden", "a.b.c", "CONSOLE.txt"}) {
    EXPECT_EQ(ReadAll(Host("D:\\Out") / plain), "ok") << plain;
  }
}

TEST_F(ExtractTest, TargetEndingInAGbkCharacterWithABackslashTrailGetsASeparator) {
  ASSERT_EQ(Extract({{"x.txt", "x"}}, "D:\\乗"), 1);
  EXPECT_EQ(ReadAll(Host("D:\\Out").parent_path() / Utf8(u8"乗") / "x.txt"), "x");
}

TEST_F(ExtractTest, ReadOnlyFileIsReplacedAndLeftWritable) {
  fs::create_directories(Host("D:\\Out"));
  fs::path old = Host("D:\\Out\\ro.txt");
  WriteAll(old, "old contents, longer than the new");
  fs::permissions(old, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  ASSERT_EQ(Extract({{"ro.txt", "new"}}), 1);
  EXPECT_EQ(ReadAll(old), "new");
  EXPECT_NE(fs::status(old).permissions() & fs::perms::owner_write, fs::perms::none);
}

TEST_F(ExtractTest, FileEntryDoesNotCreateItsFolder) {
  EXPECT_EQ(Extract({{"first.txt", "1"}, {"nodir/x.txt", "x"}}), 0);
  EXPECT_EQ(ReadAll(Host("D:\\Out\\first.txt")), "1");
  EXPECT_FALSE(fs::exists(Host("D:\\Out\\nodir")));
}

TEST_F(ExtractTest, FolderEntriesByEitherBitCreateTheirMissingParents) {
  ASSERT_EQ(Extract({Folder("dos/deep/er/"), Folder("unix/only/", test::kUnixFolder),
                     {"unix/only/f.txt", "f"}}),
            1);
  EXPECT_TRUE(fs::is_directory(Host("D:\\Out\\dos\\deep\\er")));
  EXPECT_EQ(ReadAll(Host("D:\\Out\\unix\\only\\f.txt")), "f");
}

TEST_F(ExtractTest, TargetWithATrailingBackslashGetsNoSecondSeparator) {
  std::vector<Text> paths;
  ASSERT_TRUE(test::WriteZip(Host(kArchive), {{"x.txt", "x"}}));
  ASSERT_EQ(platform_->ExtractArchive(kArchive, "E:\\Apps\\",
                                      [&](int, int, const Text& path) { paths.push_back(path); }),
            1);
  EXPECT_EQ(ReadAll(Host("E:\\Apps\\x.txt")), "x");
  EXPECT_EQ(paths, (std::vector<Text>{"E:\\Apps\\x.txt", ""}));
}

TEST_F(ExtractTest, EmptyTargetIsTheCurrentDriveRoot) {
  ASSERT_EQ(Extract({{"rooted.txt", "r"}}, ""), 1);
  EXPECT_EQ(ReadAll(root_ / "C" / "rooted.txt"), "r");
}

TEST_F(ExtractTest, TargetIsCreatedLevelByLevelUnlessAFileIsInTheWay) {
  ASSERT_EQ(Extract({{"x.txt", "x"}}, "D:\\A\\B\\C"), 1);
  EXPECT_EQ(ReadAll(Host("D:\\A\\B\\C\\x.txt")), "x");
  WriteAll(Host("D:\\Blocked"), "a file, not a folder");
  EXPECT_EQ(platform_->ExtractArchive(kArchive, "D:\\Blocked\\Sub", nullptr), 0);
}

TEST_F(ExtractTest, FileTimesComeFromTheEntry) {
  ASSERT_EQ(Extract({{"t.txt", "t"}}), 1);
  struct stat st {};
  ASSERT_EQ(stat(Host("D:\\Out\\t.txt").c_str(), &st), 0);
  std::tm tm{};
  localtime_r(&st.st_mtime, &tm);
  EXPECT_EQ(std::make_tuple(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                            tm.tm_sec),
            std::make_tuple(2021, 3, 4, 5, 6, 8));
}

TEST_F(ExtractTest, ProgressFollowsTheCentralDirectoryThenEndsOnce) {
  ASSERT_TRUE(test::WriteZip(Host(kArchive), {Folder("z/"), {"z/b.txt", "b"}, {"a.txt", "a"}}));
  std::vector<std::tuple<int, int, Text>> events;
  ASSERT_EQ(platform_->ExtractArchive(kArchive, "D:\\Out", [&](int i, int n, const Text& path) {
    events.emplace_back(i, n, path);
  }),
            1);
  EXPECT_EQ(events, (std::vector<std::tuple<int, int, Text>>{{0, 3, "D:\\Out\\z\\"},
                                                             {1, 3, "D:\\Out\\z\\b.txt"},
                                                             {2, 3, "D:\\Out\\a.txt"},
                                                             {3, 3, ""}}));
}

}  // namespace
}  // namespace qm
