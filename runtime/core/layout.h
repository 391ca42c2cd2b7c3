// Window layouts as data: every window and control the installer shows is
// described by these records and created from them by the run time.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace qm {

enum class ControlKind { Label, EditBox, Button, CheckBox, GroupBox, ShapeBox, Tab, Zip };

enum class Event {
  Created,
  PositionChanged,
  SizeChanged,
  Shown,
  Hidden,
  FirstActivated,
  Activated,
  Deactivated,
  CanClose,    // the only event whose handler answers (true lets the window close)
  Destroying,
  Clicked,
};

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// face == nullptr means the system's default user-interface font.
struct Font {
  const char* face = nullptr;
  int height = 0;  // character (em) height in pixels
  int weight = 400;
  bool italic = false;
};

enum class HAlign { Left, Centre, Right };

struct Binding {
  Event event;
  const char* handler;  // resolved by name when the run time starts
};

struct ControlLayout {
  const char* name = "";
  ControlKind kind = ControlKind::Label;
  const char* parent = nullptr;  // nullptr: the window itself
  int page = -1;                 // page of the Tab for a control placed directly on one
  int left = 0, top = 0, width = 0, height = 0;
  bool visible = true;
  bool disabled = false;
  int tabOrder = 0;      // also orders labels for their access keys
  bool tabStop = false;  // takes the focus with Tab
  const char* text = "";
  Font font{};
  Rgb textColour{};
  std::optional<Rgb> background{};  // nullopt: the system's dialog face colour

  // Kind settings.
  HAlign align = HAlign::Left;
  bool vCentre = false;
  bool wordWrap = false;
  bool sunkenBorder = false;  // EditBox
  bool multiLine = false;     // EditBox
  bool vScroll = false;       // EditBox
  bool readOnly = false;      // EditBox
  bool checked = false;       // CheckBox
  int outlineWidth = 0;       // ShapeBox: 0 draws no outline
  Rgb outlineColour{};        // ShapeBox
  int pageCount = 0;          // Tab

  std::vector<Binding> events{};
};

struct WindowLayout {
  const char* name = "";
  const char* caption = "";
  int left = 0, top = 0, width = 0, height = 0;  // outer frame
  bool minimiseBox = true;
  bool maximiseBox = true;
  bool startMaximised = false;
  bool centreOnScreen = false;  // created centred on the whole primary screen
  std::optional<Rgb> background{};
  std::vector<Binding> events{};
  std::vector<ControlLayout> controls{};  // among siblings an earlier record lies above a later one
};

}  // namespace qm
