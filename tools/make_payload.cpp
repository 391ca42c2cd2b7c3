// Makes the installer's payload: Payload.zip, the application's files as one
// archive, and ReleaseNotes.txt, the release notes in GBK with CR LF line ends.
//
//   make_payload <release notes, UTF-8> <QMV.exe> <output folder>
//
// QMV.exe's folder also holds the application's other programs and libraries
// from the Windows build. Everything else in the archive is made here. The
// output depends only on the inputs: fixed times, fixed random seeds, and a
// fixed archive size that the generator reaches by choosing the size of the
// splash picture and the number of ink drops on the spatter picture.
#include <iconv.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "../qmv/app_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

constexpr std::uint64_t kArchiveSize = 5114250;
constexpr std::size_t kNotesSize = 14326;
constexpr std::size_t kNotesLines = 388;
constexpr int kDeflateLevel = 6;  // levels 1, 2, 8 and 9 would set flag bits

[[noreturn]] void Fail(const std::string& message) { throw std::runtime_error(message); }

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail("cannot read " + path.string());
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) Fail("cannot write " + path.string());
}

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// UTF-8 with LF or CR LF in, GBK with CR LF out. Fails on a character GBK lacks.
Bytes NotesToGbk(const Bytes& utf8) {
  std::string lf;
  for (std::uint8_t c : utf8)
    if (c != '\r') lf.push_back(static_cast<char>(c));
  if (lf.size() >= 3 && lf.compare(0, 3, "\xEF\xBB\xBF") == 0) lf.erase(0, 3);

  iconv_t cd = iconv_open("GBK", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) Fail("iconv has no GBK converter");
  std::string out(lf.size() * 2 + 16, '\0');
  char* in = lf.data();
  std::size_t inLeft = lf.size();
  char* outPtr = out.data();
  std::size_t outLeft = out.size();
  const std::size_t done = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  if (done == static_cast<std::size_t>(-1) || inLeft != 0)
    Fail("release notes: text at byte " + std::to_string(lf.size() - inLeft) + " has no GBK form");
  out.resize(out.size() - outLeft);

  Bytes gbk;
  for (char c : out) {
    if (c == '\n') gbk.push_back('\r');
    gbk.push_back(static_cast<std::uint8_t>(c));
  }
  if (std::find(gbk.begin(), gbk.end(), 0) != gbk.end()) Fail("release notes contain a NUL");
  if (gbk.size() < 2 || gbk[gbk.size() - 2] != '\r' || gbk.back() != '\n')
    Fail("release notes must end with a line break");
  const auto lines = static_cast<std::size_t>(std::count(gbk.begin(), gbk.end(), '\n'));
  if (gbk.size() != kNotesSize || lines != kNotesLines)
    Fail("release notes are " + std::to_string(gbk.size()) + " bytes in " + std::to_string(lines) +
         " lines; the installer expects " + std::to_string(kNotesSize) + " in " +
         std::to_string(kNotesLines));
  return gbk;
}

// Raw deflate, as minizip itself would write it at this level.
Bytes Deflate(const Bytes& data) {
  z_stream s{};
  if (deflateInit2(&s, kDeflateLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    Fail("deflateInit2");
  Bytes out(deflateBound(&s, static_cast<uLong>(data.size())));
  s.next_in = const_cast<Bytef*>(data.data());
  s.avail_in = static_cast<uInt>(data.size());
  s.next_out = out.data();
  s.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&s, Z_FINISH);
  out.resize(s.total_out);
  deflateEnd(&s);
  if (rc != Z_STREAM_END) Fail("deflate");
  return out;
}

// Small deterministic generator (xorshift32); the seeds are fixed per picture.
struct Random {
  std::uint32_t state;
  std::uint32_t Next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint32_t>(n)); }
};

struct Rgb {
  int r, g, b;
};

struct Image {
  int width, height;
  std::vector<std::uint8_t> pixels;  // RGB, top row first
  Image(int w, int h, Rgb fill) : width(w), height(h), pixels(static_cast<std::size_t>(w) * h * 3) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) Set(x, y, fill);
  }
  static std::uint8_t Clamp(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }
  void Set(int x, int y, Rgb c) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * width + x) * 3];
    p[0] = Clamp(c.r);
    p[1] = Clamp(c.g);
    p[2] = Clamp(c.b);
  }
  void Disc(int cx, int cy, int radius, Rgb c) {
    for (int y = cy - radius; y <= cy + radius; ++y)
      for (int x = cx - radius; x <= cx + radius; ++x)
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius) Set(x, y, c);
  }
  void Box(int left, int top, int right, int bottom, Rgb c) {
    for (int y = top; y < bottom; ++y)
      for (int x = left; x < right; ++x) Set(x, y, c);
  }
};

// 24-bit Windows bitmap, bottom-up rows padded to four bytes.
Bytes Bmp(const Image& image) {
  const std::uint32_t stride = (static_cast<std::uint32_t>(image.width) * 3 + 3) & ~3u;
  const std::uint32_t dataSize = stride * static_cast<std::uint32_t>(image.height);
  Bytes out;
  auto put16 = [&](std::uint32_t v) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
  };
  auto put32 = [&](std::uint32_t v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  };
  out.push_back('B');
  out.push_back('M');
  put32(54 + dataSize);
  put32(0);
  put32(54);
  put32(40);
  put32(static_cast<std::uint32_t>(image.width));
  put32(static_cast<std::uint32_t>(image.height));
  put16(1);
  put16(24);
  put32(0);  // BI_RGB
  put32(dataSize);
  put32(2835);  // 72 dpi
  put32(2835);
  put32(0);
  put32(0);
  for (int y = image.height - 1; y >= 0; --y) {
    const std::uint8_t* row = &image.pixels[static_cast<std::size_t>(y) * image.width * 3];
    for (int x = 0; x < image.width; ++x) {
      out.push_back(row[x * 3 + 2]);  // BGR
      out.push_back(row[x * 3 + 1]);
      out.push_back(row[x * 3]);
    }
    for (std::uint32_t pad = static_cast<std::uint32_t>(image.width) * 3; pad < stride; ++pad) out.push_back(0);
  }
  return out;
}

// Paper texture behind the editor: a base tint, faint horizontal fibres and
// coloured per-pixel grain.
Bytes PaperTexture(int width, int height, Rgb base, std::uint32_t seed) {
  Image image(width, height, base);
  Random random{seed};
  for (int y = 0; y < height; ++y) {
    const int fibre = random.Below(7) - 3;
    for (int x = 0; x < width; ++x)
      image.Set(x, y, Rgb{base.r + fibre + random.Below(29) - 14, base.g + fibre + random.Below(29) - 14,
                          base.b + fibre + random.Below(29) - 14});
  }
  return Bmp(image);
}

// A banner: vertical gradient with light grain and a round emblem.
Bytes Banner(int width, int height, Rgb top, Rgb bottom, std::uint32_t seed) {
  Image image(width, height, top);
  Random random{seed};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int grain = random.Below(13) - 6;
      auto mix = [&](int a, int b) { return a + (b - a) * y / std::max(1, height - 1) + grain; };
      image.Set(x, y, Rgb{mix(top.r, bottom.r), mix(top.g, bottom.g), mix(top.b, bottom.b)});
    }
  const int radius = height / 4;
  image.Disc(height / 2, height / 2, radius, Rgb{245, 240, 225});
  image.Disc(height / 2, height / 2, radius - 6, Rgb{30, 45, 90});
  for (int i = 0; i < radius; ++i) image.Disc(height / 2 - radius / 2 + i, height / 2 + radius / 2 - i, 2, Rgb{245, 240, 225});
  return Bmp(image);
}

Bytes Logo() {
  Image image(128, 128, Rgb{255, 255, 255});
  image.Disc(64, 64, 60, Rgb{30, 45, 90});
  image.Disc(64, 64, 52, Rgb{245, 240, 225});
  for (int i = 0; i < 70; ++i) image.Disc(34 + i, 94 - i, 3 - i / 30, Rgb{30, 45, 90});  // the quill
  return Bmp(image);
}

// Toolbar icon: a coloured shape on the toolbar's key colour (magenta).
Bytes Icon(int index) {
  Image image(32, 32, Rgb{255, 0, 255});
  const Rgb colour{40 + (index * 53) % 180, 60 + (index * 97) % 160, 90 + (index * 31) % 150};
  switch (index % 4) {
    case 0: image.Disc(16, 16, 12, colour); break;
    case 1: image.Box(5, 5, 27, 27, colour); break;
    case 2:
      for (int y = 4; y < 28; ++y) image.Box(16 - (y - 4) / 2, y, 17 + (y - 4) / 2, y + 1, colour);
      break;
    default:
      for (int y = 4; y < 28; ++y) {
        const int half = y < 16 ? y - 4 : 27 - y;
        image.Box(16 - half, y, 17 + half, y + 1, colour);
      }
  }
  image.Box(10, 14 + index % 5, 22, 16 + index % 5, Rgb{250, 250, 250});
  return Bmp(image);
}

// Ink drops on plain paper, shown in the About box. The number of drops is
// the generator's fine adjustment of the archive's size.
Bytes InkSpatter(int drops) {
  Image image(240, 160, Rgb{246, 241, 228});
  Random random{0x51A77E42u};
  for (int i = 0; i < drops; ++i) {
    const int x = random.Below(240), y = random.Below(160), radius = random.Below(2);
    const int shade = random.Below(30);
    image.Disc(x, y, radius, Rgb{20 + shade, 30 + shade, 70 + shade});
  }
  return Bmp(image);
}

struct HelpTopic {
  const char* title;
  std::vector<const char*> paragraphs;
};

const std::vector<HelpTopic>& HelpTopics() {
  static const std::vector<HelpTopic> topics = {
      {"快速入门",
       {"Quillmere 把一部作品的正文、大纲和资料放在同一个项目文稿（.qmx）中。",
        "新建项目：选择“文件 > 新建”，输入作品名称，程序会创建第一个章节。",
        "添加章节：在大纲面板中单击右键，选择“新建章节”；拖动章节可以调整顺序。",
        "保存：程序每五分钟自动保存一次，也可以随时按 Ctrl+S 手动保存。每次保存都会在 Backup 文件夹中保留最近五个版本的备份。",
        "资料库：把网页摘录、图片和笔记拖入资料库面板，即可与文稿一起保存。",
        "专注模式：按 F9 淡化当前段落以外的内容；按 F11 进入全屏写作。"}},
      {"常见问题",
       {"问：文稿打不开，提示文件已损坏，怎么办？",
        "答：程序会尝试恢复可读取的部分。也可以在 Backup 文件夹中找到最近的备份，用“文件 > 打开”打开。",
        "问：如何把设置带到另一台电脑？",
        "答：设置保存在 Config 文件夹中的 INI 文件里，复制这些文件即可。在程序目录中放置 Quillmere.ini 时程序以便携模式运行。",
        "问：拼写检查插件没有生效？",
        "答：请在“工具 > 插件管理”中确认拼写检查插件已启用，并在“选项 > 语言”中选择检查的语言。",
        "问：导出的 PDF 中文显示为方框？",
        "答：请在导出设置中勾选“嵌入字体”，或改用系统自带的中文字体。"}},
      {"快捷键一览",
       {"Ctrl+N  新建项目", "Ctrl+O  打开项目", "Ctrl+S  保存", "Ctrl+Shift+S  全部保存",
        "Ctrl+P  打印", "Ctrl+Z  撤销", "Ctrl+Y  重做", "Ctrl+F  查找", "Ctrl+H  替换",
        "Ctrl+Shift+V  粘贴为纯文本", "F9  专注模式", "F11  全屏写作", "Ctrl+Alt+O  显示或隐藏大纲",
        "Ctrl+Alt+L  显示或隐藏资料库", "Ctrl+Alt+K  保存版本快照"}},
  };
  return topics;
}

std::string HelpText(const HelpTopic& topic) {
  std::string text = std::string("Quillmere 帮助：") + topic.title + "\r\n\r\n";
  for (const char* p : topic.paragraphs) text += std::string(p) + "\r\n";
  return text;
}

std::string HelpDocument() {
  std::string html =
      "<!DOCTYPE html>\r\n<html lang=\"zh-CN\">\r\n<head>\r\n"
      "<meta charset=\"gbk\">\r\n<title>Quillmere 帮助</title>\r\n"
      "<link rel=\"stylesheet\" href=\"Style.css\">\r\n</head>\r\n<body>\r\n"
      "<h1>Quillmere 帮助</h1>\r\n<ul class=\"toc\">\r\n";
  const auto& topics = HelpTopics();
  for (std::size_t i = 0; i < topics.size(); ++i)
    html += "<li><a href=\"#t" + std::to_string(i) + "\">" + topics[i].title + "</a></li>\r\n";
  html += "</ul>\r\n";
  for (std::size_t i = 0; i < topics.size(); ++i) {
    html += "<h2 id=\"t" + std::to_string(i) + "\">" + topics[i].title + "</h2>\r\n";
    for (const char* p : topics[i].paragraphs) html += std::string("<p>") + p + "</p>\r\n";
  }
  html += "<p class=\"foot\">版权所有 (C) 2021-2024 Brenmoor</p>\r\n</body>\r\n</html>\r\n";
  return html;
}

const char kStyleSheet[] =
    "body { font-family: \"Microsoft YaHei UI\", \"微软雅黑\", sans-serif; margin: 2em; color: #1e2d5a; "
    "background: #f6f1e4; }\r\n"
    "h1 { font-size: 150%; border-bottom: 2px solid #1e2d5a; }\r\n"
    "h2 { font-size: 120%; margin-top: 1.5em; }\r\n"
    "p { line-height: 1.6; }\r\n"
    ".toc li { margin: 0.2em 0; }\r\n"
    ".foot { margin-top: 3em; font-size: 80%; color: #666; }\r\n";

const char kLicense[] =
    "Quillmere 最终用户许可协议\r\n\r\n"
    "版权所有 (C) 2021-2024 Brenmoor。保留所有权利。\r\n\r\n"
    "1. 您可以在任意数量的个人计算机上安装和使用本软件。\r\n"
    "2. 您不得出售、出租本软件，也不得对其进行反向工程。\r\n"
    "3. 插件和运行库是本软件的组成部分，只能与本软件一起使用。\r\n"
    "4. 您用本软件创作的作品归您所有。\r\n"
    "5. 本软件按“现状”提供，不附带任何明示或暗示的担保。\r\n";

const char kLanguage[] =
    "; Quillmere 界面语言：简体中文\r\n"
    "[Language]\r\nName=简体中文\r\nCodePage=936\r\nVersion=3.4.2\r\n\r\n"
    "[Menu]\r\nFile=文件(&F)\r\nEdit=编辑(&E)\r\nView=视图(&V)\r\nInsert=插入(&I)\r\n"
    "Format=格式(&O)\r\nTools=工具(&T)\r\nHelp=帮助(&H)\r\n\r\n"
    "[File]\r\nNew=新建(&N)\r\nOpen=打开(&O)...\r\nSave=保存(&S)\r\nSaveAs=另存为(&A)...\r\n"
    "SaveAll=全部保存\r\nExport=导出(&E)...\r\nPrint=打印(&P)...\r\nPrintPreview=打印预览\r\n"
    "Recent=最近打开\r\nExit=退出(&X)\r\n\r\n"
    "[Edit]\r\nUndo=撤销(&U)\r\nRedo=重做(&R)\r\nCut=剪切(&T)\r\nCopy=复制(&C)\r\nPaste=粘贴(&P)\r\n"
    "PastePlain=粘贴为纯文本\r\nCopyPlain=复制为纯文本\r\nFind=查找(&F)...\r\nReplace=替换(&H)...\r\n"
    "SelectAll=全选(&A)\r\n\r\n"
    "[View]\r\nOutline=大纲\r\nLibrary=资料库\r\nCards=卡片视图\r\nSplit=分屏编辑\r\nFocus=专注模式\r\n"
    "FullScreen=全屏写作\r\nDarkTheme=深色主题\r\n\r\n"
    "[Tools]\r\nPlugins=插件管理...\r\nShortcuts=自定义快捷键...\r\nStatistics=写作统计\r\n"
    "Snapshot=保存版本快照\r\nCompare=对比快照...\r\nOptions=选项...\r\n\r\n"
    "[Status]\r\nWords=字数：%d\r\nCharacters=字符数：%d\r\nReadingTime=阅读时间约 %d 分钟\r\n"
    "Saved=已保存\r\nModified=已修改\r\nReadOnly=只读\r\nGoal=目标 %d 字，已完成 %d%%\r\n\r\n"
    "[Messages]\r\nSaveChanges=是否保存对“%s”的修改？\r\nFileDamaged=文件已损坏，程序将尝试恢复可读取的部分。\r\n"
    "DiskFull=磁盘空间不足，备份未能保存。\r\nPluginFailed=插件“%s”无法加载。\r\n"
    "RuntimeMissing=找不到运行库文件 QMRuntime.dll，请重新安装 Quillmere。\r\n";

struct IniFile {
  const char* name;
  const char* text;
};

const IniFile kSettings[] = {
    {"Config/Quillmere.ini",
     "[General]\r\nLanguage=简体中文\r\nTheme=Light\r\nFollowSystemTheme=1\r\nAutoSaveMinutes=5\r\n"
     "BackupCount=5\r\nRecentCount=20\r\nCheckUpdates=0\r\n\r\n[Editor]\r\nFont=微软雅黑\r\nFontSize=16\r\n"
     "LineSpacing=1.6\r\nFirstLineIndent=2\r\nTypewriterScrolling=0\r\nPaper=Cream\r\n\r\n"
     "[Window]\r\nMaximized=1\r\nOutlineVisible=1\r\nLibraryVisible=0\r\n"},
    {"Config/Toolbar.ini",
     "[Toolbar]\r\nButtons=New,Open,Save,SaveAll,|,Print,|,Undo,Redo,|,Cut,Copy,Paste,|,Find,Replace,|,"
     "Outline,Focus,Snapshot,Library\r\nIconSize=32\r\nShowText=0\r\nKeyColour=255,0,255\r\n"},
    {"Config/Shortcuts.ini",
     "[Shortcuts]\r\nNew=Ctrl+N\r\nOpen=Ctrl+O\r\nSave=Ctrl+S\r\nSaveAll=Ctrl+Shift+S\r\nPrint=Ctrl+P\r\n"
     "Undo=Ctrl+Z\r\nRedo=Ctrl+Y\r\nFind=Ctrl+F\r\nReplace=Ctrl+H\r\nPastePlain=Ctrl+Shift+V\r\n"
     "Focus=F9\r\nFullScreen=F11\r\nOutline=Ctrl+Alt+O\r\nLibrary=Ctrl+Alt+L\r\nSnapshot=Ctrl+Alt+K\r\n"},
    {"Config/Export.ini",
     "[Export]\r\nLastFormat=PDF\r\nEmbedFonts=1\r\nFootnotes=PageBottom\r\n\r\n[PlainText]\r\n"
     "LineBreak=CRLF\r\nEncoding=GBK\r\n\r\n[HTML]\r\nTemplate=Default\r\nStyleSheet=Help\\Style.css\r\n"},
    {"Config/Spell.ini",
     "[Spell]\r\nEnabled=1\r\nLanguages=zh-CN,en\r\nCheckWhileTyping=1\r\nIgnoreUppercase=1\r\n"
     "UserDictionary=UserWords.dic\r\n"},
    {"Config/Themes.ini",
     "[Light]\r\nText=30,45,90\r\nBackground=246,241,228\r\nSelection=180,200,235\r\n\r\n"
     "[Dark]\r\nText=225,225,220\r\nBackground=32,34,40\r\nSelection=70,90,130\r\n\r\n"
     "[Paper]\r\nCream=Images\\Paper-Cream.bmp\r\nGrey=Images\\Paper-Grey.bmp\r\n"
     "White=Images\\Paper-White.bmp\r\n"},
};

const char* const kIconNames[] = {"New",   "Open",  "Save",    "SaveAll", "Print",   "Undo",
                                  "Redo",  "Cut",   "Copy",    "Paste",   "Find",    "Replace",
                                  "Outline", "Focus", "Snapshot", "Library"};

struct Entry {
  std::string name;
  std::uint32_t attributes;
  bool directory;
  Bytes data;        // uncompressed
  Bytes compressed;  // raw deflate
};

std::uint64_t EntryCost(const std::string& name, std::size_t compressedSize) {
  return 30 + name.size() + compressedSize + 46 + name.size();  // local + central header
}

// The archive's size is fixed; the splash picture's size and the spatter's
// drop count absorb the rest (QMV.exe changes between builds).
struct Fit {
  int splashWidth, splashHeight, drops;
};

Bytes Splash(int width, int height) { return Banner(width, height, Rgb{30, 45, 90}, Rgb{40, 120, 130}, 0x5B1A5Bu); }

Fit FitSize(std::uint64_t fixedCost, const std::string& splashName, const std::string& spatterName) {
  constexpr int kMaxDrops = 1500;
  std::map<std::uint64_t, int> spatterCost;  // cost -> fewest drops giving it
  for (int drops = 0; drops <= kMaxDrops; ++drops)
    spatterCost.emplace(EntryCost(spatterName, Deflate(InkSpatter(drops)).size()), drops);
  const std::uint64_t minSpatter = spatterCost.begin()->first;
  const std::uint64_t maxSpatter = spatterCost.rbegin()->first;
  if (fixedCost + minSpatter >= kArchiveSize)
    Fail("payload content is too large for the archive size: " + std::to_string(fixedCost) + " bytes");

  auto splashCost = [&](int width, int height) { return EntryCost(splashName, Deflate(Splash(width, height)).size()); };
  constexpr int kMinHeight = 200, kMaxHeight = 480;
  for (int step = 0; step <= 40; ++step) {
    const int width = 480 + (step % 2 ? -(step + 1) / 2 : step / 2);  // 480, 479, 481, ...
    if (fixedCost + splashCost(width, kMinHeight) + minSpatter > kArchiveSize) continue;
    // Tallest splash that leaves room for the plainest spatter, then shorter ones.
    int low = kMinHeight, high = kMaxHeight;
    while (low < high) {
      const int mid = (low + high + 1) / 2;
      if (fixedCost + splashCost(width, mid) + minSpatter <= kArchiveSize) low = mid;
      else high = mid - 1;
    }
    for (int height = low; height >= kMinHeight; --height) {
      const std::uint64_t splash = splashCost(width, height);
      if (fixedCost + splash + minSpatter > kArchiveSize) continue;
      const std::uint64_t rest = kArchiveSize - fixedCost - splash;
      if (rest > maxSpatter) break;  // shorter ones leave even more
      if (auto it = spatterCost.find(rest); it != spatterCost.end()) return Fit{width, height, it->second};
    }
  }
  Fail("no splash size and drop count give the archive size: the other entries take " +
       std::to_string(fixedCost) + " bytes, the spatter " + std::to_string(minSpatter) + " to " +
       std::to_string(maxSpatter) + ", the splash " + std::to_string(splashCost(480, kMinHeight)) + " to " +
       std::to_string(splashCost(480, kMaxHeight)));
}

void CheckZip(int rc, const std::string& what) {
  if (rc != ZIP_OK) Fail("minizip failed: " + what + " (" + std::to_string(rc) + ")");
}

void WriteArchive(const fs::path& path, const std::vector<Entry>& entries, const Bytes& comment) {
  zipFile zip = zipOpen64(path.string().c_str(), APPEND_STATUS_CREATE);
  if (!zip) Fail("cannot create " + path.string());
  for (const Entry& entry : entries) {
    zip_fileinfo info{};
    info.tmz_date = tm_zip{0, 0, 10, 18, 8, 2024};  // 2024-09-18 10:00:00, the release date
    info.external_fa = entry.attributes;
    const int method = entry.directory ? 0 : Z_DEFLATED;
    const int level = entry.directory ? 0 : kDeflateLevel;
    CheckZip(zipOpenNewFileInZip2(zip, entry.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, method,
                                  level, entry.directory ? 0 : 1),
             entry.name);
    if (!entry.directory) {
      CheckZip(zipWriteInFileInZip(zip, entry.compressed.data(), static_cast<unsigned>(entry.compressed.size())),
               entry.name);
      const uLong crc = crc32(0L, entry.data.data(), static_cast<uInt>(entry.data.size()));
      CheckZip(zipCloseFileInZipRaw(zip, static_cast<uLong>(entry.data.size()), crc), entry.name);
    } else {
      CheckZip(zipCloseFileInZip(zip), entry.name);
    }
  }
  const std::string commentText(comment.begin(), comment.end());
  CheckZip(zipClose(zip, commentText.c_str()), "close");
}

int Run(const fs::path& notesPath, const fs::path& qmvPath, const fs::path& outDir) {
  const Bytes notes = NotesToGbk(ReadFile(notesPath));
  const fs::path binDir = qmvPath.parent_path();

  std::map<std::string, std::function<Bytes()>> makers = {
      {"QMV.exe", [&] { return ReadFile(qmvPath); }},
      {"QMRuntime.dll", [&] { return ReadFile(binDir / "QMRuntime.dll"); }},
      {"Plugins/Spell.dll", [&] { return ReadFile(binDir / "Spell.dll"); }},
      {"Plugins/Export.dll", [&] { return ReadFile(binDir / "Export.dll"); }},
      {"Plugins/Outline.dll", [&] { return ReadFile(binDir / "Outline.dll"); }},
      {"Uninstall.exe", [&] { return ReadFile(binDir / "Uninstall.exe"); }},
      {"ReadMe.txt", [&] { return notes; }},
      {"License.txt", [] { return ToBytes(kLicense); }},
      {"Images/Paper-White.bmp", [] { return PaperTexture(1200, 784, Rgb{250, 250, 247}, 0x3A11E7u); }},
      {"Images/About.bmp", [] { return Banner(320, 200, Rgb{60, 50, 90}, Rgb{30, 45, 90}, 0xAB0A7u); }},
      {"Images/Logo.bmp", [] { return Logo(); }},
      {"Images/Paper-Cream.bmp", [] { return PaperTexture(1024, 768, Rgb{246, 238, 218}, 0xC4EA11u); }},
      {"Images/Paper-Grey.bmp", [] { return PaperTexture(1024, 768, Rgb{214, 214, 210}, 0x64E7u); }},
      {"Help/Quillmere.htm", [] { return ToBytes(HelpDocument()); }},
      {"Help/Style.css", [] { return ToBytes(kStyleSheet); }},
      {"Lang/简体中文.lng", [] { return ToBytes(kLanguage); }},
  };
  for (const HelpTopic& topic : HelpTopics())
    makers.emplace(std::string("Help/") + topic.title + ".txt", [&topic] { return ToBytes(HelpText(topic)); });
  for (const IniFile& ini : kSettings) makers.emplace(ini.name, [&ini] { return ToBytes(ini.text); });
  for (std::size_t i = 0; i < std::size(kIconNames); ++i)
    makers.emplace(std::string("Images/") + kIconNames[i] + ".bmp", [i] { return Icon(static_cast<int>(i)); });

  const std::string splashName = "Images/Splash.bmp";
  const std::string spatterName = "Images/InkSpatter.bmp";
  std::vector<Entry> entries;
  std::uint64_t fixedCost = 22 + notes.size();  // end record with its comment
  for (const qmv::AppFile& file : qmv::kAppFiles) {
    Entry entry{file.name, file.attributes, (file.attributes & qmv::kAttrDirectory) != 0, {}, {}};
    if (!entry.directory && entry.name != splashName && entry.name != spatterName) {
      auto maker = makers.find(entry.name);
      if (maker == makers.end()) Fail("nothing makes " + entry.name);
      entry.data = maker->second();
      entry.compressed = Deflate(entry.data);
      makers.erase(maker);
    }
    if (entry.name != splashName && entry.name != spatterName) fixedCost += EntryCost(entry.name, entry.compressed.size());
    entries.push_back(std::move(entry));
  }
  if (!makers.empty()) Fail(makers.begin()->first + " is made but not listed");

  Fit fit = FitSize(fixedCost, splashName, spatterName);
  for (Entry& entry : entries) {
    if (entry.name == splashName) entry.data = Splash(fit.splashWidth, fit.splashHeight);
    if (entry.name == spatterName) entry.data = InkSpatter(fit.drops);
    if (entry.name == splashName || entry.name == spatterName) entry.compressed = Deflate(entry.data);
  }

  fs::create_directories(outDir);
  const fs::path archivePath = outDir / "Payload.zip";
  WriteArchive(archivePath, entries, notes);
  const std::uint64_t size = fs::file_size(archivePath);
  if (size != kArchiveSize)
    Fail("Payload.zip is " + std::to_string(size) + " bytes, not " + std::to_string(kArchiveSize));
  WriteFile(outDir / "ReleaseNotes.txt", notes);
  std::printf("Payload.zip: %zu entries, %llu bytes (splash %dx%d, %d ink drops)\n", entries.size(),
              static_cast<unsigned long long>(size), fit.splashWidth, fit.splashHeight, fit.drops);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: make_payload <release notes, UTF-8> <QMV.exe> <output folder>\n");
    return 2;
  }
  try {
    return Run(argv[1], argv[2], argv[3]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_payload: %s\n", e.what());
    return 1;
  }
}
