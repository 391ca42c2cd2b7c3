// The values that identify the application and its install. Texts are GBK.
#pragma once

namespace qm {

inline constexpr const char* ProductDisplayName = "Quillmere";
inline constexpr const char* DefaultInstallDir = "D:\\Brenmoor\\Vantrel2";
inline constexpr const char* InstallFolderName = "Vantrel2";
inline constexpr const char* ExecutablePathSuffix = "\\QMV.exe";
inline constexpr const char* ShortcutFileName = "Quillmere.lnk";

}  // namespace qm
