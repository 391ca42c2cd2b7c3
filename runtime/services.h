// The run-time services: everything the installer's handlers may call.
// Texts are GBK byte strings; an empty text and a missing one are alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

namespace qm {

using Text = std::string;

// A window is named by its layout; a control by its window and its layout name.
struct Ref {
  const char* window;
  const char* control = nullptr;  // nullptr: the window itself
};

// Property numbers. 0-7 are common to every window and control; from 8 on
// the number depends on the kind.
enum PropertyNumber : int {
  kPropLeft = 0,
  kPropTop = 1,
  kPropWidth = 2,
  kPropHeight = 3,
  kPropTag = 4,
  kPropVisible = 5,
  kPropDisabled = 6,
  kPropPointer = 7,
  kPropLabelCaption = 8,
  kPropEditText = 8,
  kPropButtonCaption = 10,
  kPropCurrentPage = 12,
  kPropChecked = 18,
};

using Value = std::variant<int, bool, Text>;
int AsInt(const Value& v);
bool AsBool(const Value& v);
Text AsText(const Value& v);

// Message box button codes and the flags the installer uses.
inline constexpr int kIdYes = 5;
inline constexpr int kIdNo = 6;

// Start-up.
void InitRunTime();
void LoadStartupWindow(const char* window);
int RunMessageLoop();  // returns the process exit code

// Windows and controls. The control services may be called from any thread.
bool LoadWindow(const char* window, const char* owner, bool modal);
bool WindowExists(const char* window);
void DestroyWindow(const char* window);
void FocusWindow(const char* window);
Value ReadProperty(Ref target, int number);
// A string literal becomes a Text, never a bool.
void WriteProperty(Ref target, int number, const Value& value);
int ClientWidth(const char* window);
int ClientHeight(const char* window);
int ScreenWidth();
int ScreenHeight();
void MoveAndResize(Ref target, int left, int top, int width, int height);
void AppendText(Ref editBox, const Text& text);

// Dialogs, processes and the shell.
int ShowMessageBox(const Text& text, int flags, const Text& title);
Text BrowseForFolder(const Text& prompt, bool includeFiles);
bool RunProgram(const Text& commandLine, bool wait);
void ShellOpen(int operation, const Text& path);
bool StartThread(void (*routine)());

// Files and archives.
Text TempFileName();
bool WriteBytesToFile(const Text& path, const std::uint8_t* bytes, std::size_t count);
int ExtractArchive(Ref component, const Text& archivePath, const Text& targetDir);
Text SpecialFolderPath(int folder);
bool CreateShortcut(const Text& linkPath, const Text& targetPath);

// Texts and numbers.
Text FormatText(const Text& format, const Text& argument);
Text BytesToText(const std::uint8_t* bytes, std::size_t count);
Text IntToText(int value);
Text TextRight(const Text& text, int count);
int IntDivide(double a, double b);

}  // namespace qm
