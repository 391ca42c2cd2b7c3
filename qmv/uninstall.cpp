// Uninstall.exe: removes the application's files from the folder it lies in,
// after asking. Only the files the installer put there are removed; anything
// else (documents, backups) stays, and so do folders that are not empty.
#include <windows.h>

#include <cstring>

#include "app_files.h"

namespace {

constexpr int kMaxPath = 32768;

// Appends a GBK name (with "/") to a folder path ending in "\".
bool JoinPath(wchar_t* out, int outCount, const wchar_t* folder, const char* name) {
  int used = lstrlenW(folder);
  if (used >= outCount) return false;
  lstrcpyW(out, folder);
  int added = MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, name, -1, out + used, outCount - used);
  if (added <= 0) return false;
  for (wchar_t* p = out + used; *p; ++p)
    if (*p == L'/') *p = L'\\';
  return true;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  static wchar_t self[kMaxPath];
  static wchar_t folder[kMaxPath];
  static wchar_t path[kMaxPath];
  DWORD length = GetModuleFileNameW(nullptr, self, kMaxPath);
  if (length == 0 || length >= kMaxPath) return 1;
  lstrcpyW(folder, self);
  wchar_t* slash = folder + lstrlenW(folder);
  while (slash > folder && slash[-1] != L'\\') --slash;
  *slash = 0;

  if (MessageBoxW(nullptr, L"确定要从此文件夹中卸载 Quillmere 吗？\r\n您的文稿和备份不会被删除。",
                  L"卸载 Quillmere", MB_YESNO | MB_ICONQUESTION) != IDYES)
    return 0;

  int failures = 0;
  // Files first, in reverse, so each folder is empty by the time it comes up.
  const int count = static_cast<int>(sizeof qmv::kAppFiles / sizeof qmv::kAppFiles[0]);
  for (int i = count - 1; i >= 0; --i) {
    const qmv::AppFile& file = qmv::kAppFiles[i];
    if (!JoinPath(path, kMaxPath, folder, file.name)) continue;
    const size_t nameLength = std::strlen(file.name);
    if (nameLength > 0 && file.name[nameLength - 1] == '/') {
      RemoveDirectoryW(path);  // kept when the user stored something in it
    } else if (lstrcmpiW(path, self) == 0) {
      MoveFileExW(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);  // a running program cannot delete itself
    } else {
      SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
      if (!DeleteFileW(path) && GetLastError() != ERROR_FILE_NOT_FOUND) ++failures;
    }
  }
  MessageBoxW(nullptr, failures ? L"部分文件正在使用，未能删除。请关闭 Quillmere 后再试一次。"
                                : L"Quillmere 已卸载。",
              L"卸载 Quillmere", MB_OK | (failures ? MB_ICONWARNING : MB_ICONINFORMATION));
  return failures ? 1 : 0;
}
