// The application's files in the order the installer's archive lists them.
// The archive generator writes exactly these entries; the uninstaller removes
// them again. Names use "/" and are GBK; a name ending in "/" is a folder.
#pragma once

#include <cstdint>

namespace qmv {

// MS-DOS attributes as the packing tool records them.
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrArchive = 0x20;
inline constexpr std::uint32_t kAttrNormal = 0x80;
inline constexpr std::uint32_t kAttrCompressed = 0x800;

struct AppFile {
  const char* name;
  std::uint32_t attributes;
};

inline constexpr AppFile kAppFiles[] = {
    {"QMV.exe", kAttrArchive},
    {"QMRuntime.dll", kAttrArchive},
    {"Plugins/", kAttrDirectory},
    {"Plugins/Spell.dll", kAttrArchive},
    {"Plugins/Export.dll", kAttrArchive},
    {"Images/", kAttrDirectory},
    {"Images/Splash.bmp", kAttrArchive},
    {"Images/About.bmp", kAttrArchive},
    {"Images/Logo.bmp", kAttrArchive},
    {"Images/Paper-Cream.bmp", kAttrArchive | kAttrCompressed},
    {"Images/Paper-Grey.bmp", kAttrArchive | kAttrCompressed},
    {"Images/Paper-White.bmp", kAttrArchive | kAttrCompressed},
    {"Help/", kAttrDirectory | kAttrCompressed},
    {"Help/Quillmere.htm", kAttrArchive | kAttrCompressed},
    {"Help/Style.css", kAttrArchive | kAttrCompressed},
    {"Help/快速入门.txt", kAttrArchive | kAttrCompressed},
    {"Help/常见问题.txt", kAttrArchive | kAttrCompressed},
    {"Help/快捷键一览.txt", kAttrArchive | kAttrCompressed},
    {"Plugins/Outline.dll", kAttrArchive},
    {"Lang/", kAttrDirectory},
    {"Lang/简体中文.lng", kAttrArchive},
    {"Config/", kAttrDirectory},
    {"Config/Quillmere.ini", kAttrNormal},
    {"Config/Toolbar.ini", kAttrNormal},
    {"Config/Shortcuts.ini", kAttrNormal},
    {"Config/Export.ini", kAttrNormal},
    {"Config/Spell.ini", kAttrNormal},
    {"Config/Themes.ini", kAttrNormal},
    {"Images/InkSpatter.bmp", kAttrArchive},
    {"Images/New.bmp", kAttrArchive},
    {"Images/Open.bmp", kAttrArchive},
    {"Images/Save.bmp", kAttrArchive},
    {"Images/SaveAll.bmp", kAttrArchive},
    {"Images/Print.bmp", kAttrArchive},
    {"Images/Undo.bmp", kAttrArchive},
    {"Images/Redo.bmp", kAttrArchive},
    {"Images/Cut.bmp", kAttrArchive},
    {"Images/Copy.bmp", kAttrArchive},
    {"Images/Paste.bmp", kAttrArchive},
    {"Images/Find.bmp", kAttrArchive},
    {"Images/Replace.bmp", kAttrArchive},
    {"Images/Outline.bmp", kAttrArchive},
    {"Images/Focus.bmp", kAttrArchive},
    {"Images/Snapshot.bmp", kAttrArchive},
    {"Images/Library.bmp", kAttrArchive},
    {"Backup/", kAttrDirectory},
    {"ReadMe.txt", kAttrArchive},
    {"License.txt", kAttrArchive},
    {"Uninstall.exe", kAttrArchive},
};

}  // namespace qmv
