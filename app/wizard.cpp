// The wizard's page logic. The current page lives in the page container, the
// install path in its edit box: nothing is kept anywhere else.
#include "app/installer.h"
#include "content/constants.h"
#include "content/embedded.h"
#include "layouts/layouts.h"

namespace qm {
namespace {

constexpr Ref kPages{kWizardWindow, "选择夹1"};
constexpr Ref kNext{kWizardWindow, "按钮1"};
constexpr Ref kBack{kWizardWindow, "按钮2"};
constexpr Ref kPath{kWizardWindow, "编辑框2"};
constexpr int kInstalling = 4;
constexpr int kFinished = 5;
constexpr int kShellOpen = 4;

int CurrentPage() { return AsInt(ReadProperty(kPages, kPropCurrentPage)); }
Text InstallPath() { return AsText(ReadProperty(kPath, kPropEditText)); }

}  // namespace

void OnWizardCreated() {
  const Ref welcome{kWizardWindow, "标签1"};
  WriteProperty(welcome, kPropLabelCaption,
                FormatText(AsText(ReadProperty(welcome, kPropLabelCaption)), ProductDisplayName));
  WriteProperty(kPath, kPropEditText, DefaultInstallDir);
  const ByteBlock notes = ReleaseNotesText();
  WriteProperty({kWizardWindow, "编辑框1"}, kPropEditText, BytesToText(notes.data, notes.size));
  SizeAndCentreWindow(kWizardWindow, 320, 240, kHostWindow);
}

void OnWizardFirstActivated() { FocusWindow(kWizardWindow); }

bool OnWizardCloseRequest() { return ConfirmExit(); }

void OnWizardDestroying() {
  if (WindowExists(kHostWindow)) DestroyWindow(kHostWindow);
}

void OnNextClicked() {
  const int page = CurrentPage();
  if (page < kFinished) {
    WriteProperty(kPages, kPropCurrentPage, page + 1);
    UpdateWizardPage();
    return;
  }
  WriteProperty({kWizardWindow}, kPropVisible, false);
  if (AsBool(ReadProperty({kWizardWindow, "选择框2"}, kPropChecked)))
    RunProgram(InstallPath() + ExecutablePathSuffix, false);
  if (AsBool(ReadProperty({kWizardWindow, "选择框3"}, kPropChecked)))
    ShellOpen(kShellOpen, InstallPath());
  DestroyWindow(kWizardWindow);
}

void OnBackClicked() {
  const int page = CurrentPage();
  if (page > 0) WriteProperty(kPages, kPropCurrentPage, page - 1);
  UpdateWizardPage();
}

void OnCancelClicked() {
  if (ConfirmExit()) DestroyWindow(kWizardWindow);
}

void OnBrowseClicked() {
  const Text picked = BrowseForFolder("请选择安装目录", false);
  if (picked.empty()) return;
  const Text separator = TextRight(picked, 1) == "\\" ? "" : "\\";
  WriteProperty(kPath, kPropEditText, picked + separator + InstallFolderName);
}

void UpdateWizardPage() {
  WriteProperty(kBack, kPropDisabled, CurrentPage() < 1 || CurrentPage() >= kInstalling);
  WriteProperty(kNext, kPropDisabled, CurrentPage() == kInstalling);
  WriteProperty({kWizardWindow, "编辑框3"}, kPropEditText,
                Text("安装信息\r\n安装路径：") + InstallPath() + "\r\n");
  if (CurrentPage() == kInstalling) StartThread(InstallWorker);
  WriteProperty(kNext, kPropButtonCaption, CurrentPage() >= kFinished ? "&N.完成" : "&N.下一步");
}

}  // namespace qm
