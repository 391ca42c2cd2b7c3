// Sizing a window by its client area and centring it over its owner.
#include <gtest/gtest.h>

#include "app/installer.h"
#include "runtime/memory/memory_backend.h"
#include "tests/native/null_platform.h"

namespace qm {
namespace {

const WindowLayout kOwner{.name = "Owner", .caption = "owner", .width = 10, .height = 40};
const WindowLayout kWindow{.name = "Window", .caption = "window", .width = 10, .height = 40};

struct Row {
  const char* what;
  bool ownerLoaded;
  Rect owner;
  Rect window;
  int clientWidth, clientHeight;
  Rect expected;
};

class CentringTest : public ::testing::TestWithParam<Row> {
 protected:
  void SetUp() override { rt.Init(); }
  const WindowLayout* layouts_[2] = {&kOwner, &kWindow};
  MemoryBackend ui;
  NullPlatform platform;
  RunTime rt{ui, platform, layouts_, {}};
};

TEST_P(CentringTest, SizesAndCentres) {
  const Row& row = GetParam();
  if (row.ownerLoaded) {
    LoadWindow("Owner", nullptr, false);
    MoveAndResize({"Owner"}, row.owner.left, row.owner.top, row.owner.width, row.owner.height);
  }
  LoadWindow("Window", nullptr, false);
  MoveAndResize({"Window"}, row.window.left, row.window.top, row.window.width, row.window.height);
  SizeAndCentreWindow("Window", row.clientWidth, row.clientHeight, "Owner");
  EXPECT_EQ(ui.Native("Window").rect, row.expected);
}

// The frame is 8 pixels wide and 33 high in the in-memory backend.
INSTANTIATE_TEST_SUITE_P(
    Cases, CentringTest,
    ::testing::Values(
        Row{"wider than its owner", true, {100, 50, 300, 200}, {0, 0, 320, 100}, 0, 0, {90, 100, 320, 100}},
        Row{"odd differences truncate toward zero", true, {0, 0, 307, 100}, {0, 0, 300, 107}, 0, 0, {3, -3, 300, 107}},
        Row{"client size asked for", true, {0, 0, 1024, 738}, {0, 0, 100, 100}, 320, 240, {348, 232, 328, 273}},
        Row{"only the width asked for", true, {0, 0, 1024, 738}, {0, 0, 100, 100}, 320, -1, {348, 319, 328, 100}},
        Row{"no owner: the whole screen", false, {}, {5, 5, 100, 50}, 0, 0, {462, 359, 100, 50}}));

TEST(CentringWithoutWindow, NothingIsReadOrMoved) {
  MemoryBackend ui;
  NullPlatform platform;
  const WindowLayout* layouts[] = {&kOwner, &kWindow};
  RunTime rt(ui, platform, layouts, {});
  rt.Init();
  LoadWindow("Owner", nullptr, false);
  const Rect before = ui.Native("Owner").rect;
  ui.geometryReads = 0;
  SizeAndCentreWindow("Window", 320, 240, "Owner");
  EXPECT_EQ(ui.geometryReads, 0);
  EXPECT_EQ(ui.Native("Owner").rect, before);
  EXPECT_FALSE(WindowExists("Window"));
}

}  // namespace
}  // namespace qm
