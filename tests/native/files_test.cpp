// Path rules, temporary names and the sandbox platform's services.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <set>

#include "runtime/files/temp_name.h"
#include "runtime/files/win_path.h"
#include "runtime/memory/sandbox_platform.h"
#include "tests/native/zip_fixture.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

TEST(WinPath, RootLengths) {
  const std::pair<const char*, std::size_t> kCases[] = {
      {"C:\\x", 3}, {"c:/x", 3}, {"C:x", 2}, {"C:", 2},          {"\\x", 1},
      {"/x", 1},    {"x\\y", 0}, {"", 0},    {"\\\\srv\\share\\x", 12}, {"\\\\srv\\share", 11},
  };
  for (const auto& [path, length] : kCases) EXPECT_EQ(PathRootLength(path), length) << path;
}

TEST(WinPath, NormalisesLikeGetFullPathName) {
  const std::pair<const char*, const char*> kCases[] = {
      {"C:\\a\\b\\..\\c", "C:\\a\\c"},   {"C:\\a\\.\\b\\", "C:\\a\\b"},
      {"C:\\..\\..\\a", "C:\\a"},        {"C:/a//b", "C:\\a\\b"},
      {"C:\\a\\b.. \\c", "C:\\a\\b\\c"}, {"C:\\", "C:\\"},
      {"\\\\srv\\share\\..\\x", "\\\\srv\\share\\x"},
      {"C:\\乗\\..\\x", "C:\\x"},  // the trail byte of 乗 is not a separator
  };
  for (const auto& [in, out] : kCases) EXPECT_EQ(NormaliseAbsolutePath(in), out) << in;
}

TEST(WinPath, FolderLevelsFromTheTop) {
  EXPECT_EQ(FolderLevels("D:\\Brenmoor\\Vantrel2\\"),
            (std::vector<Text>{"D:\\Brenmoor", "D:\\Brenmoor\\Vantrel2"}));
  EXPECT_EQ(FolderLevels("\\"), std::vector<Text>{});
  EXPECT_EQ(FolderLevels("a\\乗\\b"), (std::vector<Text>{"a", "a\\乗", "a\\乗\\b"}));
}

TEST(WinPath, EndsWithSeparatorCountsCharactersNotBytes) {
  EXPECT_TRUE(EndsWithSeparator("E:\\Apps\\"));
  EXPECT_TRUE(EndsWithSeparator("E:\\乗\\"));
  EXPECT_FALSE(EndsWithSeparator("E:\\乗"));
  EXPECT_FALSE(EndsWithSeparator(""));
}

TEST(TempName, HexFormatting) {
  const std::pair<std::uint32_t, const char*> kCases[] = {
      {0, "0"}, {9, "9"}, {10, "a"}, {0x1A2B, "1a2b"}, {0x10000, "10000"}, {0xFFFFFFFF, "ffffffff"}};
  for (const auto& [value, text] : kCases) EXPECT_EQ(LowerHex(value), text);
}

TEST(TempName, ClockPlusCounterInTheFolder) {
  std::uint32_t counter = 0;
  auto free = [](const Text&) { return false; };
  EXPECT_EQ(MakeTempFileName("C:\\Temp", 0x1000, counter, free), "C:\\Temp\\1000.tmp");
  EXPECT_EQ(MakeTempFileName("C:\\Temp\\", 0x1000, counter, free), "C:\\Temp\\1001.tmp");
  EXPECT_EQ(MakeTempFileName("C:\\乗", 0x1000, counter, free), "C:\\乗\\1002.tmp");
  EXPECT_EQ(MakeTempFileName("", 0x1000, counter, free), "1003.tmp");
  EXPECT_EQ(counter, 4u);
  std::uint32_t wrapped = 1;
  EXPECT_EQ(MakeTempFileName("T", 0xFFFFFFFF, wrapped, free), "T\\0.tmp");
}

TEST(TempName, TakenNamesAreSkippedOneByOne) {
  std::uint32_t counter = 0;
  std::set<Text> taken = {"T\\ff.tmp", "T\\100.tmp"};
  Text name = MakeTempFileName("T", 0xFF, counter, [&](const Text& p) { return taken.count(p) > 0; });
  EXPECT_EQ(name, "T\\101.tmp");
}

class SandboxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qm_sandbox_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    platform_ = std::make_unique<SandboxPlatform>(root_);
  }
  void TearDown() override {
    platform_.reset();
    fs::remove_all(root_);
  }
  fs::path root_;
  std::unique_ptr<SandboxPlatform> platform_;
};

TEST_F(SandboxTest, WindowsPathsMapUnderTheRoot) {
  EXPECT_EQ(platform_->HostPath("D:\\Brenmoor\\Vantrel2"), root_ / "D/Brenmoor/Vantrel2");
  EXPECT_EQ(platform_->HostPath("d:\\x\\..\\y"), root_ / "D/y");
  EXPECT_EQ(platform_->HostPath("\\QMV.exe"), root_ / "C/QMV.exe");
  EXPECT_EQ(platform_->HostPath("rel\\a.txt"), root_ / "C/rel/a.txt");
  EXPECT_EQ(platform_->HostPath("C:\\中文"), root_ / "C" / reinterpret_cast<const char*>(u8"中文"));
}

TEST_F(SandboxTest, TempFileNamesAreFreshInTheTempFolder) {
  platform_->SetClock([] { return 0xABCu; });
  fs::create_directories(platform_->HostPath("C:\\Temp\\abc.tmp"));  // a folder takes the name too
  EXPECT_EQ(platform_->TempFileName(), "C:\\Temp\\abd.tmp");
  // The name is not created, so the next call (counter 1) may return it again.
  EXPECT_EQ(platform_->TempFileName(), "C:\\Temp\\abd.tmp");
  platform_->SetTempFolder("none");
  EXPECT_EQ(platform_->TempFileName(), "abe.tmp");
}

TEST_F(SandboxTest, WriteBytesCreatesOrTruncatesButNotReadOnly) {
  const std::uint8_t bytes[] = {'a', 'b', 0, 'c'};
  ASSERT_TRUE(platform_->WriteBytesToFile("C:\\Temp\\w.bin", bytes, sizeof bytes));
  ASSERT_TRUE(platform_->WriteBytesToFile("C:\\Temp\\w.bin", bytes, 2));
  EXPECT_EQ(test::ReadAll(platform_->HostPath("C:\\Temp\\w.bin")), "ab");
  fs::permissions(platform_->HostPath("C:\\Temp\\w.bin"), fs::perms::owner_read);
  EXPECT_FALSE(platform_->WriteBytesToFile("C:\\Temp\\w.bin", bytes, 1));
  EXPECT_FALSE(platform_->WriteBytesToFile("C:\\NoSuchFolder\\w.bin", bytes, 1));
}

TEST_F(SandboxTest, ShortcutsAreRecordedAtTheLinkPath) {
  Text link = platform_->SpecialFolderPath(3) + "Quillmere.lnk";
  EXPECT_EQ(link, "C:\\Users\\user\\Desktop\\Quillmere.lnk");
  ASSERT_TRUE(platform_->CreateShortcut(link, "E:\\Apps\\\\QMV.exe"));
  SandboxPlatform::Shortcut s = platform_->ReadShortcut(link);
  EXPECT_TRUE(s.found);
  EXPECT_EQ(s.target, "E:\\Apps\\\\QMV.exe");
  EXPECT_EQ(s.showCommand, 5);
  EXPECT_FALSE(platform_->CreateShortcut("C:\\Missing\\x.lnk", "t"));
  platform_->SetShortcutsFail(true);
  EXPECT_FALSE(platform_->CreateShortcut(link, "t"));
  platform_->SetDesktop("");
  EXPECT_EQ(platform_->SpecialFolderPath(3), "");
}

TEST_F(SandboxTest, ShellSideIsScriptedAndRecorded) {
  platform_->QueueBrowseAnswer("E:\\Apps");
  EXPECT_EQ(platform_->BrowseForFolder("请选择安装目录", false), "E:\\Apps");
  EXPECT_EQ(platform_->BrowseForFolder("again", false), "");
  EXPECT_EQ(platform_->BrowsePrompts(), (std::vector<Text>{"请选择安装目录", "again"}));
  EXPECT_TRUE(platform_->RunProgram("C:\\Program Files\\Vantrel2\\QMV.exe", false));
  platform_->ShellOpen(4, "D:\\Brenmoor\\Vantrel2");
  EXPECT_EQ(platform_->ProgramsRun(), std::vector<Text>{"C:\\Program Files\\Vantrel2\\QMV.exe"});
  EXPECT_EQ(platform_->ShellOpens(),
            (std::vector<std::pair<int, Text>>{{4, "D:\\Brenmoor\\Vantrel2"}}));
}

std::atomic<int> g_threadRuns{0};

TEST_F(SandboxTest, StartedThreadsCanBeJoined) {
  g_threadRuns = 0;
  ASSERT_TRUE(platform_->StartThread([] { g_threadRuns += 1; }));
  ASSERT_TRUE(platform_->StartThread([] { g_threadRuns += 10; }));
  platform_->JoinThreads();
  EXPECT_EQ(g_threadRuns.load(), 11);
}

}  // namespace
}  // namespace qm
