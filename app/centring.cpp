#include "app/installer.h"

namespace qm {

void SizeAndCentreWindow(const char* window, int clientWidth, int clientHeight, const char* owner) {
  if (!WindowExists(window)) return;
  int w = AsInt(ReadProperty({window}, kPropWidth));
  int h = AsInt(ReadProperty({window}, kPropHeight));
  if (clientWidth > 0) w = static_cast<int>(double(w) - ClientWidth(window) + clientWidth);
  if (clientHeight > 0) h = static_cast<int>(double(h) - ClientHeight(window) + clientHeight);
  int x, y;
  if (WindowExists(owner)) {
    x = static_cast<int>(AsInt(ReadProperty({owner}, kPropLeft)) +
                         double(IntDivide(AsInt(ReadProperty({owner}, kPropWidth)) - w, 2)));
    y = static_cast<int>(AsInt(ReadProperty({owner}, kPropTop)) +
                         double(IntDivide(AsInt(ReadProperty({owner}, kPropHeight)) - h, 2)));
  } else {
    x = IntDivide(ScreenWidth() - w, 2);
    y = IntDivide(ScreenHeight() - h, 2);
  }
  MoveAndResize({window}, x, y, w, h);
}

}  // namespace qm
