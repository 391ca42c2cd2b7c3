// The install, on its own thread. Every control change goes through the
// services, which carry it over to the window thread and wait for it.
#include "app/installer.h"
#include "content/constants.h"
#include "content/embedded.h"
#include "layouts/layouts.h"

namespace qm {
namespace {

constexpr int kDesktopFolder = 3;

void Log(const Text& line) { AppendText({kWizardWindow, "编辑框4"}, line); }
Text InstallPath() { return AsText(ReadProperty({kWizardWindow, "编辑框2"}, kPropEditText)); }

}  // namespace

void InstallWorker() {
  Log("正在初始化 ..\r\n");
  const Text archiveCopy = TempFileName();
  Log("正在释放压缩包 ..\r\n");
  const ByteBlock payload = PayloadArchive();
  WriteBytesToFile(archiveCopy, payload.data, payload.size);
  Log("正在解压 ..\r\n");
  const int result = ExtractArchive({kWizardWindow, "ZIP压缩1"}, archiveCopy, InstallPath());
  if (result == 1) {
    Log("正在创建快捷方式 ..\r\n");
    const Text link = SpecialFolderPath(kDesktopFolder) + ShortcutFileName;
    const Text target = InstallPath() + ExecutablePathSuffix;
    if (!CreateShortcut(link, target)) Log("快捷方式创建失败。\r\n");
    Log("安装完成。\r\n");
    WriteProperty({kWizardWindow, "标签6"}, kPropLabelCaption, "安装完成。");
  } else {
    Log("安装失败。错误代码：" + IntToText(result) + "\r\n");
    WriteProperty({kWizardWindow, "标签7"}, kPropLabelCaption,
                  "安装失败。错误代码：" + IntToText(result) + "（" +
                      (result == -1 ? "参数错误" : "失败") + "）");
    WriteProperty({kWizardWindow, "标签6"}, kPropLabelCaption, "安装失败。");
  }
  WriteProperty({kWizardWindow, "外形框2"}, kPropVisible, result == 1);
  WriteProperty({kWizardWindow, "选择夹1"}, kPropCurrentPage, 5);
  UpdateWizardPage();
  WriteProperty({kWizardWindow, "按钮3"}, kPropDisabled, true);
}

}  // namespace qm
