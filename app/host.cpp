#include "app/installer.h"
#include "layouts/layouts.h"

namespace qm {

void OnHostSizeChanged() {
  const int w = ClientWidth(kHostWindow);
  const int h = ClientHeight(kHostWindow);
  MoveAndResize({kHostWindow, "标签1"}, 0, 0, w, h);
}

void OnHostFirstActivated() { LoadWindow(kWizardWindow, kHostWindow, false); }

bool OnHostCloseRequest() { return ConfirmExit(); }

void OnHostDestroying() {
  if (WindowExists(kWizardWindow)) DestroyWindow(kWizardWindow);
}

bool ConfirmExit() {
  constexpr int kYesNoQuestionDefaultNo = 292;  // MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2
  return ShowMessageBox("确定退出此软件的安装吗？", kYesNoQuestionDefaultNo, "退出安装") == kIdYes;
}

}  // namespace qm
