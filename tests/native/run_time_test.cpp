// The window model's rules, on small layouts of the tests' own.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "runtime/core/run_time.h"
#include "runtime/memory/memory_backend.h"
#include "tests/native/null_platform.h"

namespace qm {
namespace {

std::vector<std::string> g_log;
bool g_allowClose = true;
const char* g_destroyFromHandler = nullptr;

void Note(const std::string& what) { g_log.push_back(what); }

// Recorders, one per event, for the window "Main" and its owned "Child".
void MainCreated() { Note("Main created"); }
void MainMoved() { Note("Main moved"); }
void MainSized() { Note("Main sized"); }
void MainShown() { Note("Main shown"); }
void MainFirstActivated() { Note("Main first activated"); }
void MainActivated() { Note("Main activated"); }
void MainDeactivated() { Note("Main deactivated"); }
bool MainCanClose() {
  Note("Main can close");
  return g_allowClose;
}
void MainDestroying() {
  Note("Main destroying");
  if (g_destroyFromHandler) DestroyWindow(g_destroyFromHandler);
}
void ChildCreated() { Note("Child created"); }
void ChildFirstActivated() { Note("Child first activated"); }
void ChildDestroying() { Note("Child destroying"); }
void ButtonClicked() {
  Note("clicked");
  if (g_destroyFromHandler) {
    DestroyWindow(g_destroyFromHandler);
    Note(WindowExists(g_destroyFromHandler) ? "still there" : "gone");
  }
}

const HandlerEntry kHandlers[] = {
    {"MainCreated", MainCreated},     {"MainMoved", MainMoved},
    {"MainSized", MainSized},         {"MainShown", MainShown},
    {"MainFirstActivated", MainFirstActivated},
    {"MainActivated", MainActivated}, {"MainDeactivated", MainDeactivated},
    {"MainCanClose", nullptr, MainCanClose},
    {"MainDestroying", MainDestroying},
    {"ChildCreated", ChildCreated},   {"ChildFirstActivated", ChildFirstActivated},
    {"ChildDestroying", ChildDestroying},
    {"ButtonClicked", ButtonClicked},
};

const WindowLayout kMain{
    .name = "Main",
    .caption = "main",
    .left = 10, .top = 20, .width = 200, .height = 150,
    .events = {{Event::Created, "MainCreated"},
               {Event::PositionChanged, "MainMoved"},
               {Event::SizeChanged, "MainSized"},
               {Event::Shown, "MainShown"},
               {Event::FirstActivated, "MainFirstActivated"},
               {Event::Activated, "MainActivated"},
               {Event::Deactivated, "MainDeactivated"},
               {Event::CanClose, "MainCanClose"},
               {Event::Destroying, "MainDestroying"}},
    .controls = {{.name = "Edit", .kind = ControlKind::EditBox, .left = 0, .top = 0,
                  .width = 50, .height = 20, .tabStop = true},
                 {.name = "Button", .kind = ControlKind::Button, .left = 0, .top = 30,
                  .width = 50, .height = 20, .tabOrder = 1, .tabStop = true, .text = "&Go",
                  .events = {{Event::Clicked, "ButtonClicked"}}}},
};

const WindowLayout kChild{
    .name = "Child",
    .caption = "child",
    .left = 0, .top = 0, .width = 100, .height = 80,
    .events = {{Event::Created, "ChildCreated"},
               {Event::FirstActivated, "ChildFirstActivated"},
               {Event::Destroying, "ChildDestroying"}},
    .controls = {{.name = "Label", .kind = ControlKind::Label, .left = 1, .top = 2, .width = 30,
                  .height = 10, .text = "x"},
                 {.name = "Box", .kind = ControlKind::EditBox, .left = 1, .top = 20,
                  .width = 30, .height = 10, .multiLine = true}},
};

const WindowLayout kBroken{
    .name = "Broken",
    .events = {{Event::Created, "NoSuchHandler"}},
};

class RunTimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_log.clear();
    g_allowClose = true;
    g_destroyFromHandler = nullptr;
    rt.Init();
  }
  const WindowLayout* layouts_[2] = {&kMain, &kChild};
  MemoryBackend ui;
  NullPlatform platform;
  RunTime rt{ui, platform, layouts_, kHandlers};
};

TEST_F(RunTimeTest, LoadRaisesCreatedMovedSizedBeforeShownThenActivation) {
  ASSERT_TRUE(LoadWindow("Main", nullptr, false));
  const std::vector<std::string> expected = {"Main created", "Main moved",
                                             "Main sized",   "Main shown",
                                             "Main first activated", "Main activated"};
  EXPECT_EQ(g_log, expected);
  // Painting was brought up to date before the first-activated handler ran.
  ASSERT_EQ(ui.painted, std::vector<std::string>{"Main"});
  EXPECT_EQ(ui.ActiveWindow(), std::string("Main"));
}

TEST_F(RunTimeTest, SecondActivationIsNotFirstAndDeactivationIsReported) {
  LoadWindow("Main", nullptr, false);
  LoadWindow("Child", "Main", false);
  g_log.clear();
  ui.Activate("Main");
  EXPECT_EQ(g_log, std::vector<std::string>{"Main activated"});
  ui.Activate("Child");
  EXPECT_EQ(g_log.back(), "Main deactivated");
}

TEST_F(RunTimeTest, LoadFailsForAMissingOwnerOrAWindowThatCannotBeCreated) {
  EXPECT_FALSE(LoadWindow("Child", "Main", false));
  EXPECT_FALSE(WindowExists("Child"));
  ui.failCreate = {"Main"};
  EXPECT_FALSE(LoadWindow("Main", nullptr, false));
  EXPECT_FALSE(WindowExists("Main"));
  EXPECT_TRUE(g_log.empty());
}

TEST_F(RunTimeTest, AWindowIsLoadedOnceAtATime) {
  ASSERT_TRUE(LoadWindow("Main", nullptr, false));
  g_log.clear();
  EXPECT_FALSE(LoadWindow("Main", nullptr, false));
  EXPECT_TRUE(g_log.empty());
}

TEST_F(RunTimeTest, DestroyIsCarriedOutAfterTheHandlerReturnsWithoutACloseRequest) {
  LoadWindow("Main", nullptr, false);
  g_destroyFromHandler = "Main";
  g_log.clear();
  ui.Click({"Main", "Button"});
  EXPECT_EQ(g_log, (std::vector<std::string>{"clicked", "still there"}));
  g_destroyFromHandler = nullptr;
  ui.Pump();
  EXPECT_EQ(g_log.back(), "Main destroying");
  EXPECT_FALSE(WindowExists("Main"));
  EXPECT_EQ(std::count(g_log.begin(), g_log.end(), "Main can close"), 0);
}

TEST_F(RunTimeTest, ARequestForAWindowDestroyedMeanwhileDoesNothing) {
  LoadWindow("Main", nullptr, false);
  DestroyWindow("Main");
  ui.CloseBox("Main");  // destroyed at once, before the queued request is taken
  ASSERT_FALSE(WindowExists("Main"));
  ASSERT_TRUE(LoadWindow("Main", nullptr, false));  // a new load is not hit by the old request
  g_log.clear();
  ui.Pump();
  EXPECT_TRUE(WindowExists("Main"));
  EXPECT_TRUE(g_log.empty());
}

TEST_F(RunTimeTest, CloseRequestAnsweredFalseIsDroppedTrueDestroysAtOnce) {
  LoadWindow("Main", nullptr, false);
  g_allowClose = false;
  ui.CloseBox("Main");
  EXPECT_TRUE(WindowExists("Main"));
  g_allowClose = true;
  ui.CloseBox("Main");
  EXPECT_FALSE(WindowExists("Main"));
  EXPECT_EQ(g_log.back(), "Main destroying");
}

TEST_F(RunTimeTest, AWindowWithoutCloseHandlerClosesAtOnce) {
  LoadWindow("Main", nullptr, false);
  LoadWindow("Child", "Main", false);
  ui.CloseBox("Child");
  EXPECT_FALSE(WindowExists("Child"));
  EXPECT_TRUE(WindowExists("Main"));
}

TEST_F(RunTimeTest, OwnedWindowIsDestroyedBeforeItsOwner) {
  LoadWindow("Main", nullptr, false);
  LoadWindow("Child", "Main", false);
  g_log.clear();
  ui.CloseBox("Main");
  const std::vector<std::string> expected = {"Main can close", "Child destroying",
                                             "Main destroying"};
  EXPECT_EQ(g_log, expected);
  EXPECT_FALSE(WindowExists("Child"));
}

TEST_F(RunTimeTest, ExistsInsideItsOwnDestroyingHandlerAndARequestThenIsStale) {
  LoadWindow("Main", nullptr, false);
  g_destroyFromHandler = "Main";  // MainDestroying asks for its own destruction again
  ui.CloseBox("Main");
  EXPECT_FALSE(WindowExists("Main"));
  ASSERT_NO_THROW(ui.Pump());
}

TEST_F(RunTimeTest, LoopEndsWithExitCodeZeroAfterTheLastWindow) {
  LoadWindow("Main", nullptr, false);
  LoadWindow("Child", "Main", false);
  int step = 0;
  ui.onIdle = [&] {
    if (step++ == 0) {
      DestroyWindow("Child");
      return true;
    }
    if (WindowExists("Main")) {
      ui.CloseBox("Main");
      return true;
    }
    return false;
  };
  EXPECT_EQ(RunMessageLoop(), 0);
  EXPECT_TRUE(ui.LoopEnded());
  EXPECT_TRUE(rt.windows().empty());
}

TEST_F(RunTimeTest, LoopReturnsAtOnceWithNoWindow) {
  EXPECT_EQ(RunMessageLoop(), 0);
}

TEST_F(RunTimeTest, ServicesOnAWindowThatIsNotLoadedAreFatal) {
  EXPECT_THROW(DestroyWindow("Main"), FatalError);
  EXPECT_THROW(ReadProperty({"Main"}, kPropLeft), FatalError);
  LoadWindow("Main", nullptr, false);
  EXPECT_THROW(WriteProperty({"Main", "Nope"}, kPropVisible, false), FatalError);
  EXPECT_THROW(LoadStartupWindow("Nowhere"), FatalError);
}

TEST(RunTimeInit, AnUnknownHandlerNameIsFatal) {
  MemoryBackend ui;
  NullPlatform platform;
  const WindowLayout* layouts[] = {&kBroken};
  RunTime rt(ui, platform, layouts, kHandlers);
  EXPECT_THROW(InitRunTime(), FatalError);
}

TEST_F(RunTimeTest, CrossThreadWritesLandInCallOrderAndAreDroppedAfterDestruction) {
  LoadWindow("Main", nullptr, false);
  LoadWindow("Child", "Main", false);
  std::atomic<bool> finished{false};  // set by the worker, read by the pump
  std::thread worker([&] {
    for (int i = 0; i < 50; ++i) AppendText({"Child", "Box"}, std::to_string(i) + ";");
    WriteProperty({"Child", "Label"}, kPropLabelCaption, "done");
    // The window goes away; later calls have no effect and do not fail.
    while (WindowExists("Child")) std::this_thread::yield();
    AppendText({"Child", "Box"}, "late");
    WriteProperty({"Child", "Label"}, kPropVisible, false);
    EXPECT_FALSE(AsBool(ReadProperty({"Child", "Label"}, kPropVisible)));
    finished = true;
  });
  ASSERT_TRUE(ui.PumpUntil([&] { return ui.Control({"Child", "Label"}).text == "done"; },
                           std::chrono::seconds(10)));
  std::string expected;
  for (int i = 0; i < 50; ++i) expected += std::to_string(i) + ";";
  EXPECT_EQ(ui.Control({"Child", "Box"}).text, expected);
  DestroyWindow("Child");
  ASSERT_TRUE(ui.PumpUntil([&] { return finished.load(); }, std::chrono::seconds(10)));
  worker.join();
  EXPECT_TRUE(finished);
}

TEST_F(RunTimeTest, TabWalksTheFocusOrderBothWaysAndSkipsDisabledControls) {
  LoadWindow("Main", nullptr, false);
  FocusWindow("Main");
  EXPECT_STREQ(ui.FocusedName("Main"), "Edit");
  ui.PressKey("Main", Key::Tab);
  EXPECT_STREQ(ui.FocusedName("Main"), "Button");
  ui.PressKey("Main", Key::Tab);
  EXPECT_STREQ(ui.FocusedName("Main"), "Edit");
  ui.PressKey("Main", Key::Tab, 0, false, true);
  EXPECT_STREQ(ui.FocusedName("Main"), "Button");
  WriteProperty({"Main", "Button"}, kPropDisabled, true);
  ui.PressKey("Main", Key::Tab);
  EXPECT_STREQ(ui.FocusedName("Main"), "Edit");
  ui.PressKey("Main", Key::Tab);
  EXPECT_STREQ(ui.FocusedName("Main"), "Edit");
}

TEST_F(RunTimeTest, ReactivationReturnsTheFocusToTheControlThatHadIt) {
  LoadWindow("Main", nullptr, false);
  FocusWindow("Main");
  ui.PressKey("Main", Key::Tab);
  ASSERT_STREQ(ui.FocusedName("Main"), "Button");
  LoadWindow("Child", "Main", false);
  ui.Activate("Main");
  EXPECT_STREQ(ui.FocusedName("Main"), "Button");
}

TEST_F(RunTimeTest, AccessKeyPressesTheButtonEnterPressesNothing) {
  LoadWindow("Main", nullptr, false);
  g_log.clear();
  ui.PressKey("Main", Key::Enter);
  EXPECT_TRUE(g_log.empty());
  ui.PressKey("Main", Key::Char, 'g', true);
  EXPECT_EQ(g_log, std::vector<std::string>{"clicked"});
  ui.PressKey("Main", Key::Char, 'G', false);  // without Alt it is typing
  EXPECT_EQ(g_log.size(), 1u);
}

}  // namespace
}  // namespace qm
