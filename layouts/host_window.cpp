#include "layouts/layouts.h"

namespace qm {

const WindowLayout& HostWindowLayout() {
  static const Rgb kBlue{95, 145, 255};
  static const WindowLayout layout{
      .name = kHostWindow,
      .caption = "程序安装",
      .left = 50, .top = 50, .width = 291, .height = 185,
      .minimiseBox = true,
      .maximiseBox = true,
      .startMaximised = true,
      .background = kBlue,
      .events = {{Event::SizeChanged, "OnHostSizeChanged"},
                 {Event::FirstActivated, "OnHostFirstActivated"},
                 {Event::CanClose, "OnHostCloseRequest"},
                 {Event::Destroying, "OnHostDestroying"}},
      .controls = {{
          .name = "标签1",
          .kind = ControlKind::Label,
          .left = 0, .top = 0, .width = 280, .height = 152,
          .text = "Brenmoor",
          .font = {"Verdana", 40, 700, true},
          .textColour = {0, 255, 255},
          .background = kBlue,
          .align = HAlign::Right,
          .vCentre = true,  // stored, but word wrap lays the text out from the top
          .wordWrap = true,
      }},
  };
  return layout;
}

}  // namespace qm
