#include "layouts/layouts.h"

namespace qm {
namespace {

constexpr Font kYaHei{"Microsoft YaHei UI", 12, 400, false};
constexpr Rgb kWhite{255, 255, 255};

ControlLayout CheckBox(const char* name, const char* parent, int page, int left, int top, int width,
                       const char* text) {
  return {.name = name, .kind = ControlKind::CheckBox, .parent = parent, .page = page,
          .left = left, .top = top, .width = width, .height = 24, .tabStop = true,
          .text = text, .font = kYaHei, .vCentre = true, .wordWrap = true};
}

ControlLayout Label(const char* name, const char* parent, int page, int left, int top, int width,
                    int height, const char* text, HAlign align) {
  return {.name = name, .kind = ControlKind::Label, .parent = parent, .page = page,
          .left = left, .top = top, .width = width, .height = height, .text = text,
          .font = kYaHei, .align = align, .vCentre = true};
}

ControlLayout Group(const char* name, int page, int height, const char* text) {
  return {.name = name, .kind = ControlKind::GroupBox, .parent = "选择夹1", .page = page,
          .left = 0, .top = 0, .width = 320, .height = height, .text = text, .font = kYaHei};
}

ControlLayout Button(const char* name, const char* parent, int page, int left, int top, int width,
                     int tabOrder, const char* text, const char* onClick) {
  return {.name = name, .kind = ControlKind::Button, .parent = parent, .page = page,
          .left = left, .top = top, .width = width, .height = 24, .tabOrder = tabOrder,
          .tabStop = true, .text = text, .font = kYaHei, .align = HAlign::Centre, .vCentre = true,
          .events = {{Event::Clicked, onClick}}};
}

// A read-only box of several word-wrapped lines with a vertical scroll bar.
ControlLayout TextArea(const char* name, const char* parent, int page, int height, int top) {
  return {.name = name, .kind = ControlKind::EditBox, .parent = parent, .page = page,
          .left = 8, .top = top, .width = 304, .height = height, .font = kYaHei,
          .wordWrap = true, .sunkenBorder = true, .multiLine = true, .vScroll = true,
          .readOnly = true};
}

}  // namespace

const WindowLayout& WizardWindowLayout() {
  static const WindowLayout layout = [] {
    WindowLayout w{
        .name = kWizardWindow,
        .caption = "程序安装向导",
        .left = 50, .top = 50, .width = 328, .height = 273,
        .minimiseBox = true,
        .maximiseBox = false,
        .centreOnScreen = true,
        .events = {{Event::Created, "OnWizardCreated"},
                   {Event::FirstActivated, "OnWizardFirstActivated"},
                   {Event::CanClose, "OnWizardCloseRequest"},
                   {Event::Destroying, "OnWizardDestroying"}},
    };
    auto& c = w.controls;
    // Finished
    c.push_back(CheckBox("选择框3", "外形框2", 5, 8, 32, 288, "打开程序目录"));
    c.push_back(CheckBox("选择框2", "外形框2", 5, 8, 8, 288, "启动程序"));
    c.push_back({.name = "标签6", .kind = ControlKind::Label, .parent = "分组框5", .page = 5,
                 .left = 8, .top = 16, .width = 304, .height = 24, .text = "",
                 .font = {}, .textColour = {144, 0, 255}, .align = HAlign::Centre,
                 .vCentre = true});
    c.push_back(Label("标签7", "分组框5", 5, 0, 168, 320, 24, "单击“完成”结束安装。", HAlign::Centre));
    c.push_back({.name = "外形框2", .kind = ControlKind::ShapeBox, .parent = "分组框5", .page = 5,
                 .left = 8, .top = 40, .width = 304, .height = 128});
    c.push_back(Group("分组框5", 5, 192, "安装结束。"));
    // Installing
    c.push_back({.name = "ZIP压缩1", .kind = ControlKind::Zip, .parent = "分组框4", .page = 4,
                 .left = 288, .top = 16, .width = 26, .height = 26, .visible = false});
    c.push_back(TextArea("编辑框4", "分组框4", 4, 144, 40));
    c.push_back(Label("标签5", "分组框4", 4, 8, 16, 304, 24, "程序安装中，请稍后 ..", HAlign::Left));
    c.push_back(Group("分组框4", 4, 192, "正在安装"));
    // Ready
    ControlLayout summary = TextArea("编辑框3", "分组框3", 3, 144, 16);
    summary.sunkenBorder = false;
    summary.background = kWhite;
    c.push_back(summary);
    c.push_back(Group("分组框3", 3, 168, "安装即将开始"));
    c.push_back(Label("标签4", "选择夹1", 3, 0, 168, 320, 24,
                      "单击“下一步”开始安装；单击“上一步”返回安装设置。", HAlign::Centre));
    // Options
    ControlLayout shortcut = CheckBox("选择框1", "分组框2", 2, 8, 48, 152, "&D.创建桌面快捷方式");
    shortcut.visible = false;  // never shown: the shortcut is made on every successful install
    shortcut.tabOrder = 2;
    shortcut.checked = true;
    c.push_back(shortcut);
    c.push_back(Button("按钮4", "分组框2", 2, 280, 16, 32, 1, "浏览", "OnBrowseClicked"));
    c.push_back({.name = "编辑框2", .kind = ControlKind::EditBox, .parent = "分组框2", .page = 2,
                 .left = 80, .top = 16, .width = 200, .height = 24, .tabOrder = 0,
                 .tabStop = true, .font = kYaHei, .background = kWhite, .sunkenBorder = true});
    c.push_back(Label("标签3", "分组框2", 2, 8, 16, 72, 24, "&L.安装位置：", HAlign::Right));
    c.push_back(Group("分组框2", 2, 192, "安装选项"));
    // ReleaseNotes
    ControlLayout notes = TextArea("编辑框1", "分组框1", 1, 168, 16);
    notes.tabStop = true;
    c.push_back(notes);
    c.push_back(Group("分组框1", 1, 192, "版本信息："));
    // Always part of the window
    c.push_back({.name = "外形框1", .kind = ControlKind::ShapeBox, .left = 8, .top = 192,
                 .width = 304, .height = 1, .outlineWidth = 1, .outlineColour = {0, 0, 0}});
    c.push_back(Button("按钮3", nullptr, -1, 24, 200, 80, 52, "&C.取消", "OnCancelClicked"));
    ControlLayout back = Button("按钮2", nullptr, -1, 120, 200, 80, 51, "&R.上一步", "OnBackClicked");
    back.disabled = true;
    c.push_back(back);
    c.push_back(Button("按钮1", nullptr, -1, 216, 200, 80, 50, "&N.下一步", "OnNextClicked"));
    // Welcome
    c.push_back(Label("标签2", "选择夹1", 0, 0, 168, 320, 24,
                      "单击“下一步”进入安装设置；单击“取消”退出安装。", HAlign::Centre));
    ControlLayout welcome = Label("标签1", "选择夹1", 0, 0, 64, 320, 48, "欢迎安装应用程序《%s》！",
                                  HAlign::Centre);
    welcome.font = {"微软雅黑", 16, 700, false};
    welcome.textColour = {88, 48, 224};
    c.push_back(welcome);
    c.push_back({.name = "选择夹1", .kind = ControlKind::Tab, .left = 0, .top = 0, .width = 320,
                 .height = 240, .pageCount = 6});
    return w;
  }();
  return layout;
}

}  // namespace qm
