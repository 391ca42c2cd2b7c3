// The installer's own logic over the in-memory windows and a sandbox disk:
// start-up, the wizard's pages, the install and the ways it ends.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "app/installer.h"
#include "content/constants.h"
#include "content/embedded.h"
#include "layouts/layouts.h"
#include "runtime/memory/memory_backend.h"
#include "runtime/memory/sandbox_platform.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kWizard = kWizardWindow;
constexpr const char* kHost = kHostWindow;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

fs::path FreshRoot() {
  std::random_device rd;
  fs::path root = fs::temp_directory_path() / ("qm-wizard-" + std::to_string(rd()));
  fs::create_directories(root);
  return root;
}

class InstallerTest : public ::testing::Test {
 protected:
  InstallerTest() {
    fs::create_directories(platform.HostPath("C:\\Temp"));
    fs::create_directories(platform.HostPath("C:\\Users\\user\\Desktop"));
    fs::create_directories(platform.HostPath("D:\\"));
    fs::create_directories(platform.HostPath("E:\\Apps"));
  }
  ~InstallerTest() override {
    ui.Close();  // a worker still running gets no window thread to wait for
    platform.JoinThreads();
    std::error_code ec;
    fs::remove_all(root, ec);
  }
  void SetUp() override {
    InitRunTime();
    LoadStartupWindow(kHost);
  }

  int Page() { return AsInt(ReadProperty({kWizard, "选择夹1"}, kPropCurrentPage)); }
  Text TextOf(const char* control) { return ui.Control({kWizard, control}).text; }
  bool Enabled(const char* control) { return ui.Control({kWizard, control}).enabled; }
  bool Shown(const char* control) { return ui.Control({kWizard, control}).shown; }
  void Next() { ui.Click({kWizard, "按钮1"}); }

  std::vector<std::string> FocusOrderNames() {
    std::vector<std::string> names;
    const LoadedWindow& w = *rt.Find(kWizard);
    for (int i : rt.FocusOrder(w)) names.push_back(w.controls[i].layout->name);
    return names;
  }

  // From Welcome to the end of the install, as a person clicks through it.
  void Install() {
    for (int i = 0; i < 4; ++i) Next();
    ASSERT_EQ(Page(), 4);
    ASSERT_TRUE(ui.PumpUntil([&] { return !Enabled("按钮3"); }, 30s)) << TextOf("编辑框4");
    platform.JoinThreads();
  }

  const fs::path root = FreshRoot();
  MemoryBackend ui;
  SandboxPlatform platform{root};
  const WindowLayout* layouts[2] = {&HostWindowLayout(), &WizardWindowLayout()};
  RunTime rt{ui, platform, layouts, InstallerHandlers()};
};

TEST_F(InstallerTest, StartUpShowsTheMaximisedHostAndTheWizardCentredOverIt) {
  const auto& host = ui.Native(kHost);
  EXPECT_TRUE(host.maximised);
  EXPECT_EQ(host.rect, MemoryBackend::kWorkArea);
  EXPECT_EQ(ui.Control({kHost, "标签1"}).rect,
            (Rect{0, 0, ClientWidth(kHost), ClientHeight(kHost)}));

  EXPECT_EQ(ClientWidth(kWizard), 320);
  EXPECT_EQ(ClientHeight(kWizard), 240);
  const Rect wizard = ui.Native(kWizard).rect;
  EXPECT_EQ(wizard.left, (1024 - wizard.width) / 2);
  EXPECT_EQ(wizard.top, (738 - wizard.height) / 2);
  EXPECT_STREQ(ui.ActiveWindow(), kWizard);
  EXPECT_STREQ(ui.FocusedName(kWizard), "按钮1");

  EXPECT_EQ(TextOf("标签1"), "欢迎安装应用程序《Quillmere》！");
  EXPECT_EQ(TextOf("编辑框2"), "D:\\Brenmoor\\Vantrel2");
  const ByteBlock notes = ReleaseNotesText();
  EXPECT_EQ(TextOf("编辑框1"), Text(reinterpret_cast<const char*>(notes.data), notes.size));
  EXPECT_EQ(Page(), 0);
  EXPECT_FALSE(Enabled("按钮2"));
  EXPECT_TRUE(Enabled("按钮1"));
  EXPECT_EQ(TextOf("按钮1"), "&N.下一步");
  EXPECT_TRUE(Shown("标签1"));
  EXPECT_FALSE(Shown("分组框1"));
}

TEST_F(InstallerTest, MinimisingShrinksTheBannerAndRestoringStretchesItBack) {
  const Rect wizard = ui.Native(kWizard).rect;
  ui.Minimise(kHost);
  EXPECT_EQ(ui.Control({kHost, "标签1"}).rect, (Rect{0, 0, 0, 0}));
  EXPECT_FALSE(ui.Native(kWizard).visible);
  ui.Restore(kHost);
  EXPECT_EQ(ui.Control({kHost, "标签1"}).rect,
            (Rect{0, 0, ClientWidth(kHost), ClientHeight(kHost)}));
  EXPECT_TRUE(ui.Native(kWizard).visible);
  EXPECT_EQ(ui.Native(kWizard).rect, wizard);
}

TEST_F(InstallerTest, ConfirmExitAsksOnceAndIsTrueOnlyForYes) {
  for (const auto& [answer, expected] : {std::pair{kIdYes, true}, std::pair{kIdNo, false}}) {
    ui.asked.clear();
    ui.answers = {answer};
    EXPECT_EQ(ConfirmExit(), expected);
    ASSERT_EQ(ui.asked.size(), 1u);
    EXPECT_EQ(ui.asked[0].text, "确定退出此软件的安装吗？");
    EXPECT_EQ(ui.asked[0].flags, 292);
    EXPECT_EQ(ui.asked[0].title, "退出安装");
  }
}

TEST_F(InstallerTest, CloseRequestAnsweredNoChangesNothing) {
  Next();
  for (const char* window : {kHost, kWizard}) {
    ui.answers = {kIdNo};
    ui.CloseBox(window);
    ui.Pump();
    EXPECT_TRUE(WindowExists(kHost));
    EXPECT_TRUE(WindowExists(kWizard));
    EXPECT_EQ(Page(), 1);
  }
  EXPECT_EQ(ui.asked.size(), 2u);
}

// Close requests that arrive while the question is open (posted WM_CLOSE
// still reaches disabled windows) are dropped: one question, and its answer counts.
TEST_F(InstallerTest, CloseRequestsWhileTheQuestionIsOpenAskNothingMore) {
  Next();
  for (int answer : {kIdNo, kIdYes}) {
    ui.asked.clear();
    ui.answers = {answer, kIdNo, kIdNo, kIdNo, kIdNo};
    ui.whileBoxOpen = [&] {
      ui.whileBoxOpen = nullptr;
      for (const char* window : {kHost, kWizard, kHost, kWizard}) ui.CloseBox(window);
    };
    ui.CloseBox(kWizard);
    ui.Pump();
    EXPECT_EQ(ui.asked.size(), 1u);
    EXPECT_EQ(WindowExists(kWizard), answer == kIdNo);
  }
}

class CloseYesTest : public InstallerTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CloseYesTest, CloseRequestAnsweredYesEndsBothWindowsWithOneQuestion) {
  ui.answers = {kIdYes};
  bool asked = false;
  ui.onIdle = [&] {
    if (asked) return false;
    asked = true;
    ui.CloseBox(GetParam());
    return true;
  };
  EXPECT_EQ(RunMessageLoop(), 0);
  EXPECT_FALSE(WindowExists(kWizard));
  EXPECT_FALSE(WindowExists(kHost));
  EXPECT_EQ(ui.asked.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(BothWindows, CloseYesTest, ::testing::Values(kHostWindow, kWizardWindow));

struct PageRow {
  int page;
  bool backEnabled;
  bool nextEnabled;
  const char* caption;
};

TEST_F(InstallerTest, NextAndBackSetTheButtonsCaptionAndSummaryOnEveryPage) {
  const PageRow rows[] = {{1, true, true, "&N.下一步"},
                          {2, true, true, "&N.下一步"},
                          {3, true, true, "&N.下一步"}};
  for (const PageRow& row : rows) {
    Next();
    SCOPED_TRACE(row.page);
    EXPECT_EQ(Page(), row.page);
    EXPECT_EQ(Enabled("按钮2"), row.backEnabled);
    EXPECT_EQ(Enabled("按钮1"), row.nextEnabled);
    EXPECT_EQ(TextOf("按钮1"), row.caption);
    EXPECT_EQ(TextOf("编辑框3"), "安装信息\r\n安装路径：D:\\Brenmoor\\Vantrel2\r\n");
  }
  for (int expected : {2, 1, 0}) {
    ui.Click({kWizard, "按钮2"});
    EXPECT_EQ(Page(), expected);
  }
  EXPECT_FALSE(Enabled("按钮2"));
  EXPECT_TRUE(Enabled("按钮1"));
}

TEST_F(InstallerTest, TheSummaryFollowsThePathEditedOnTheOptionsPage) {
  Next();
  Next();
  ui.Type({kWizard, "编辑框2"}, "E:\\Apps\\");
  Next();
  EXPECT_EQ(TextOf("编辑框3"), "安装信息\r\n安装路径：E:\\Apps\\\r\n");
}

TEST_F(InstallerTest, BackOnTheWelcomePageStaysThereAndStillUpdatesThePage) {
  WriteProperty({kWizard, "编辑框3"}, kPropEditText, "");
  OnBackClicked();
  EXPECT_EQ(Page(), 0);
  EXPECT_FALSE(Enabled("按钮2"));
  EXPECT_EQ(TextOf("编辑框3"), "安装信息\r\n安装路径：D:\\Brenmoor\\Vantrel2\r\n");
}

TEST_F(InstallerTest, BrowseAppendsTheProductFolderToThePickedFolder) {
  const struct {
    const char* picked;
    const char* expected;
  } rows[] = {
      {"", "D:\\Brenmoor\\Vantrel2"},  // cancelled
      {"E:\\Apps", "E:\\Apps\\Vantrel2"},
      {"E:\\", "E:\\Vantrel2"},
  };
  Next();
  Next();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.picked);
    WriteProperty({kWizard, "编辑框2"}, kPropEditText, DefaultInstallDir);
    platform.QueueBrowseAnswer(row.picked);
    ui.Click({kWizard, "按钮4"});
    EXPECT_EQ(TextOf("编辑框2"), row.expected);
  }
  EXPECT_EQ(platform.BrowsePrompts(), std::vector<Text>(3, "请选择安装目录"));
}

TEST_F(InstallerTest, FocusOrderOfEveryPage) {
  const struct {
    int page;
    bool backDisabled, nextDisabled, panelShown;
    std::vector<std::string> order;
  } rows[] = {
      {0, true, false, true, {"按钮1", "按钮3"}},
      {1, false, false, true, {"编辑框1", "按钮1", "按钮2", "按钮3"}},
      {2, false, false, true, {"编辑框2", "按钮4", "按钮1", "按钮2", "按钮3"}},
      {3, false, false, true, {"按钮1", "按钮2", "按钮3"}},
      {4, true, true, true, {"按钮3"}},
      {5, true, false, true, {"选择框2", "选择框3", "按钮1", "按钮3"}},
      {5, true, false, false, {"按钮1", "按钮3"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.page);
    WriteProperty({kWizard, "选择夹1"}, kPropCurrentPage, row.page);
    WriteProperty({kWizard, "按钮2"}, kPropDisabled, row.backDisabled);
    WriteProperty({kWizard, "按钮1"}, kPropDisabled, row.nextDisabled);
    WriteProperty({kWizard, "外形框2"}, kPropVisible, row.panelShown);
    EXPECT_EQ(FocusOrderNames(), row.order);
  }
  // Tab walks the order and wraps.
  WriteProperty({kWizard, "选择夹1"}, kPropCurrentPage, 0);
  WriteProperty({kWizard, "按钮1"}, kPropDisabled, false);
  FocusWindow(kWizard);
  ui.PressKey(kWizard, Key::Tab);
  EXPECT_STREQ(ui.FocusedName(kWizard), "按钮3");
  ui.PressKey(kWizard, Key::Tab);
  EXPECT_STREQ(ui.FocusedName(kWizard), "按钮1");
}

TEST_F(InstallerTest, AccessKeys) {
  ui.PressKey(kWizard, Key::Char, 'r', true);  // Back is disabled on Welcome
  EXPECT_EQ(Page(), 0);
  ui.PressKey(kWizard, Key::Char, 'n', true);
  EXPECT_EQ(Page(), 1);
  ui.PressKey(kWizard, Key::Char, 'R', true);
  EXPECT_EQ(Page(), 0);
  ui.PressKey(kWizard, Key::Char, 'N', true);
  ui.PressKey(kWizard, Key::Char, 'N', true);
  ASSERT_EQ(Page(), 2);
  ui.PressKey(kWizard, Key::Char, 'L', true);
  EXPECT_STREQ(ui.FocusedName(kWizard), "编辑框2");
  ui.PressKey(kWizard, Key::Char, 'D', true);  // the shortcut box is never shown
  EXPECT_FALSE(Shown("选择框1"));
  EXPECT_TRUE(AsBool(ReadProperty({kWizard, "选择框1"}, kPropChecked)));
  ui.answers = {kIdNo};
  ui.PressKey(kWizard, Key::Char, 'c', true);
  EXPECT_EQ(ui.asked.size(), 1u);
  ui.PressKey(kWizard, Key::Enter);
  EXPECT_EQ(Page(), 2);
}

TEST_F(InstallerTest, PageWritesAreClampedAndShowOnlyThatPage) {
  const struct {
    int written, read;
    const char* shown;
    const char* hidden;
  } rows[] = {{7, 5, "分组框5", "分组框4"}, {-3, 0, "标签2", "分组框5"}, {0, 0, "标签1", "分组框1"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.written);
    WriteProperty({kWizard, "选择夹1"}, kPropCurrentPage, row.written);
    EXPECT_EQ(Page(), row.read);
    EXPECT_TRUE(Shown(row.shown));
    EXPECT_FALSE(Shown(row.hidden));
  }
}

TEST_F(InstallerTest, APanelShownOnAnotherPageComesOnlyWithItsPage) {
  WriteProperty({kWizard, "选择夹1"}, kPropCurrentPage, 4);
  WriteProperty({kWizard, "外形框2"}, kPropVisible, false);
  WriteProperty({kWizard, "外形框2"}, kPropVisible, true);
  EXPECT_FALSE(Shown("外形框2"));
  EXPECT_FALSE(Shown("选择框2"));
  WriteProperty({kWizard, "选择夹1"}, kPropCurrentPage, 5);
  EXPECT_TRUE(Shown("选择框2"));
  WriteProperty({kWizard, "外形框2"}, kPropVisible, false);
  EXPECT_FALSE(Shown("选择框2"));
  EXPECT_FALSE(Shown("选择框3"));
}

struct Outcome {
  const char* name;
  std::function<void(InstallerTest&, SandboxPlatform&)> arrange;
  std::vector<std::string> log;
  const char* headline;
  const char* detail;
  bool panel;
};

class InstallOutcomeTest : public InstallerTest, public ::testing::WithParamInterface<int> {};

const char* const kDone = "单击“完成”结束安装。";

std::vector<Outcome> Outcomes() {
  return {
      {"success", [](InstallerTest&, SandboxPlatform&) {},
       {"正在初始化 ..", "正在释放压缩包 ..", "正在解压 ..", "正在创建快捷方式 ..", "安装完成。"},
       "安装完成。", kDone, true},
      {"shortcut fails", [](InstallerTest&, SandboxPlatform& p) { p.SetShortcutsFail(true); },
       {"正在初始化 ..", "正在释放压缩包 ..", "正在解压 ..", "正在创建快捷方式 ..",
        "快捷方式创建失败。", "安装完成。"},
       "安装完成。", kDone, true},
      {"no archive copy", [](InstallerTest&, SandboxPlatform& p) { p.SetTempFolder("C:\\NoSuchFolder"); },
       {"正在初始化 ..", "正在释放压缩包 ..", "正在解压 ..", "安装失败。错误代码：-1"},
       "安装失败。", "安装失败。错误代码：-1（参数错误）", false},
      {"target cannot be made",
       [](InstallerTest&, SandboxPlatform& p) {
         std::ofstream(p.HostPath("D:\\Brenmoor")) << "a file in the way";
       },
       {"正在初始化 ..", "正在释放压缩包 ..", "正在解压 ..", "安装失败。错误代码：0"},
       "安装失败。", "安装失败。错误代码：0（失败）", false},
  };
}

TEST_P(InstallOutcomeTest, TheWorkerReportsEachOutcome) {
  const Outcome outcome = Outcomes()[GetParam()];
  SCOPED_TRACE(outcome.name);
  outcome.arrange(*this, platform);
  Install();

  Text expectedLog;
  for (const std::string& line : outcome.log) expectedLog += line + "\r\n";
  EXPECT_EQ(TextOf("编辑框4"), expectedLog);
  EXPECT_EQ(TextOf("标签6"), outcome.headline);
  EXPECT_EQ(TextOf("标签7"), outcome.detail);
  EXPECT_EQ(AsBool(ReadProperty({kWizard, "外形框2"}, kPropVisible)), outcome.panel);
  EXPECT_EQ(Page(), 5);
  EXPECT_FALSE(Enabled("按钮2"));
  EXPECT_TRUE(Enabled("按钮1"));
  EXPECT_FALSE(Enabled("按钮3"));
  EXPECT_EQ(TextOf("按钮1"), "&N.完成");
  EXPECT_EQ(Shown("选择框2"), outcome.panel);
}

INSTANTIATE_TEST_SUITE_P(Outcomes, InstallOutcomeTest, ::testing::Range(0, 4));

TEST_F(InstallerTest, ASuccessfulInstallLeavesTheFilesTheCopyAndTheShortcut) {
  Install();
  ASSERT_EQ(TextOf("标签6"), "安装完成。");
  const ByteBlock notes = ReleaseNotesText();
  EXPECT_EQ(ReadFile(platform.HostPath("D:\\Brenmoor\\Vantrel2\\ReadMe.txt")),
            std::string(reinterpret_cast<const char*>(notes.data), notes.size));
  EXPECT_TRUE(fs::exists(platform.HostPath("D:\\Brenmoor\\Vantrel2\\QMV.exe")));

  std::vector<fs::path> copies;
  for (const auto& entry : fs::directory_iterator(platform.HostPath("C:\\Temp")))
    copies.push_back(entry.path());
  ASSERT_EQ(copies.size(), 1u);
  const ByteBlock payload = PayloadArchive();
  EXPECT_EQ(ReadFile(copies[0]), std::string(reinterpret_cast<const char*>(payload.data), payload.size));
  EXPECT_EQ(copies[0].extension(), ".tmp");

  const auto link = platform.ReadShortcut("C:\\Users\\user\\Desktop\\Quillmere.lnk");
  ASSERT_TRUE(link.found);
  EXPECT_EQ(link.target, "D:\\Brenmoor\\Vantrel2\\QMV.exe");
  EXPECT_EQ(link.showCommand, 5);
}

TEST_F(InstallerTest, FinishRunsTheTickedActionsAndEndsBothWindows) {
  Install();
  ui.Click({kWizard, "选择框2"});
  ui.Click({kWizard, "选择框3"});
  ui.onIdle = [&] {
    if (!WindowExists(kWizard) || !ui.Native(kWizard).visible) return false;
    Next();
    EXPECT_FALSE(ui.Native(kWizard).visible);
    EXPECT_TRUE(WindowExists(kWizard));  // destroyed once the handler has returned
    return true;
  };
  EXPECT_EQ(RunMessageLoop(), 0);
  EXPECT_FALSE(WindowExists(kHost));
  EXPECT_EQ(platform.ProgramsRun(), std::vector<Text>{"D:\\Brenmoor\\Vantrel2\\QMV.exe"});
  ASSERT_EQ(platform.ShellOpens().size(), 1u);
  EXPECT_EQ(platform.ShellOpens()[0], (std::pair<int, Text>{4, "D:\\Brenmoor\\Vantrel2"}));
  EXPECT_TRUE(ui.asked.empty());
}

TEST_F(InstallerTest, FinishAfterAFailedInstallStartsNothing) {
  std::ofstream(platform.HostPath("D:\\Brenmoor")) << "a file in the way";
  Install();
  ui.Click({kWizard, "选择框2"});  // hidden with its panel: nothing to click
  Next();
  ui.Pump();
  EXPECT_FALSE(WindowExists(kWizard));
  EXPECT_FALSE(WindowExists(kHost));
  EXPECT_TRUE(platform.ProgramsRun().empty());
  EXPECT_TRUE(platform.ShellOpens().empty());
}

TEST_F(InstallerTest, CancelAnsweredNoOnEveryPageChangesNothing) {
  for (int page = 0; page < 4; ++page) {
    SCOPED_TRACE(page);
    ui.answers = {kIdNo};
    ui.Click({kWizard, "按钮3"});
    ui.Pump();
    EXPECT_EQ(Page(), page);
    EXPECT_TRUE(WindowExists(kWizard));
    if (page < 3) Next();
  }
  EXPECT_EQ(ui.asked.size(), 4u);
}

TEST_F(InstallerTest, CancelAnsweredYesDuringTheInstallEndsTheWindowsAndTheWorkerIsIgnored) {
  for (int i = 0; i < 4; ++i) Next();
  ui.answers = {kIdYes};
  ui.Click({kWizard, "按钮3"});
  ui.Pump();
  EXPECT_FALSE(WindowExists(kWizard));
  EXPECT_FALSE(WindowExists(kHost));
  // The worker runs on; its window operations now have no effect and do not fail.
  ASSERT_TRUE(ui.PumpUntil([&] { return fs::exists(platform.HostPath("C:\\Users\\user\\Desktop\\Quillmere.lnk")) ||
                                         fs::exists(platform.HostPath("D:\\Brenmoor\\Vantrel2\\QMV.exe")); },
                           30s));
  ui.Close();
  platform.JoinThreads();
}

}  // namespace
}  // namespace qm
