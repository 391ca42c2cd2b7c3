// The service functions the handlers call, over the current run time.
#include "runtime/services.h"

#include <cstdlib>
#include <cstring>

#include "runtime/core/run_time.h"

namespace qm {
namespace {
RunTime& Rt() { return RunTime::Current(); }
}  // namespace

int AsInt(const Value& v) {
  if (const int* i = std::get_if<int>(&v)) return *i;
  if (const bool* b = std::get_if<bool>(&v)) return *b ? 1 : 0;
  return std::atoi(std::get<Text>(v).c_str());
}

bool AsBool(const Value& v) {
  if (const bool* b = std::get_if<bool>(&v)) return *b;
  if (const int* i = std::get_if<int>(&v)) return *i != 0;
  return !std::get<Text>(v).empty();
}

Text AsText(const Value& v) {
  if (const Text* t = std::get_if<Text>(&v)) return *t;
  return std::to_string(AsInt(v));
}

void InitRunTime() { Rt().Init(); }

void LoadStartupWindow(const char* window) {
  if (!Rt().Load(window, nullptr)) Rt().backend().Fatal(Text("cannot load ") + window);
}

int RunMessageLoop() { return Rt().RunLoop(); }

bool LoadWindow(const char* window, const char* owner, bool /*modal*/) {
  return Rt().Load(window, owner);
}

bool WindowExists(const char* window) { return Rt().Exists(window); }
void DestroyWindow(const char* window) { Rt().RequestDestroy(window); }
void FocusWindow(const char* window) { Rt().FocusWindow(window); }
Value ReadProperty(Ref target, int number) { return Rt().Read(target, number); }
void WriteProperty(Ref target, int number, const Value& value) { Rt().Write(target, number, value); }
int ClientWidth(const char* window) { return Rt().ClientSize(window).width; }
int ClientHeight(const char* window) { return Rt().ClientSize(window).height; }
int ScreenWidth() { return Rt().backend().ScreenSize().width; }
int ScreenHeight() { return Rt().backend().ScreenSize().height; }

void MoveAndResize(Ref target, int left, int top, int width, int height) {
  Rt().MoveAndResize(target, Rect{left, top, width, height});
}

void AppendText(Ref editBox, const Text& text) { Rt().AppendText(editBox, text); }

// Message boxes and the folder picker belong to the window thread.
int ShowMessageBox(const Text& text, int flags, const Text& title) {
  return Rt().MessageBox(text, flags, title);
}

Text BrowseForFolder(const Text& prompt, bool includeFiles) {
  return Rt().platform().BrowseForFolder(prompt, includeFiles);
}

bool RunProgram(const Text& commandLine, bool wait) {
  return Rt().platform().RunProgram(commandLine, wait);
}

void ShellOpen(int operation, const Text& path) { Rt().platform().ShellOpen(operation, path); }
bool StartThread(void (*routine)()) { return Rt().platform().StartThread(routine); }
Text TempFileName() { return Rt().platform().TempFileName(); }

bool WriteBytesToFile(const Text& path, const std::uint8_t* bytes, std::size_t count) {
  return Rt().platform().WriteBytesToFile(path, bytes, count);
}

int ExtractArchive(Ref component, const Text& archivePath, const Text& targetDir) {
  return Rt().ExtractArchive(component, archivePath, targetDir);
}

Text SpecialFolderPath(int folder) { return Rt().platform().SpecialFolderPath(folder); }

bool CreateShortcut(const Text& linkPath, const Text& targetPath) {
  return Rt().platform().CreateShortcut(linkPath, targetPath);
}

// Only "%s" is a conversion ("%%" stands for "%"); GBK trail bytes are never
// taken for a "%".
Text FormatText(const Text& format, const Text& argument) {
  Text out;
  out.reserve(format.size() + argument.size());
  for (std::size_t i = 0; i < format.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(format[i]);
    if (c >= 0x81 && i + 1 < format.size()) {
      out += format[i];
      out += format[++i];
    } else if (c == '%' && i + 1 < format.size() && format[i + 1] == 's') {
      out += argument;
      ++i;
    } else if (c == '%' && i + 1 < format.size() && format[i + 1] == '%') {
      out += '%';
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}

Text BytesToText(const std::uint8_t* bytes, std::size_t count) {
  const void* nul = std::memchr(bytes, 0, count);
  const std::size_t n = nul ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - bytes) : count;
  return Text(reinterpret_cast<const char*>(bytes), n);
}

Text IntToText(int value) { return std::to_string(value); }

Text TextRight(const Text& text, int count) {
  if (count <= 0) return Text();
  const std::size_t n = static_cast<std::size_t>(count);
  return n >= text.size() ? text : text.substr(text.size() - n);
}

int IntDivide(double a, double b) {
  if (b == 0) return 0;  // no quotient: never an undefined conversion
  return static_cast<int>(a / b);
}

}  // namespace qm
