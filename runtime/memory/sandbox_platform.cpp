#include "runtime/memory/sandbox_platform.h"

#include <time.h>

#include <fstream>
#include <sstream>

#include "runtime/files/extract.h"
#include "runtime/files/temp_name.h"

namespace qm {
namespace {

constexpr int kDesktopFolder = 3;
constexpr int kShowNormalNoActivate = 5;

std::uint32_t MillisecondsSinceStart() {
  // CLOCK_MONOTONIC counts from boot, like GetTickCount; <chrono> does not
  // compile under a GBK execution character set.
  struct timespec ts {};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint32_t>(ts.tv_sec * 1000 + ts.tv_nsec / 1000000);
}

}  // namespace

SandboxPlatform::SandboxPlatform(std::filesystem::path root)
    : fs_(std::move(root)), clock_(MillisecondsSinceStart) {
  for (const char* drive : {"C", "D", "E"}) std::filesystem::create_directories(fs_.root() / drive);
  std::filesystem::create_directories(HostPath(tempFolder_));
  std::filesystem::create_directories(HostPath(desktop_));
}

SandboxPlatform::~SandboxPlatform() { JoinThreads(); }

std::filesystem::path SandboxPlatform::HostPath(const Text& windowsPath) {
  return std::filesystem::path(fs_.HostPath(windowsPath));
}

Text SandboxPlatform::TempFileName() {
  std::lock_guard<std::mutex> lock(mutex_);
  Text folder = tempFolder_ == "none" ? Text() : tempFolder_;
  return MakeTempFileName(folder, clock_(), tempCounter_, [this](const Text& path) {
    return fs_.Probe(path) != FileSystem::Kind::kMissing;
  });
}

bool SandboxPlatform::WriteBytesToFile(const Text& path, const std::uint8_t* bytes,
                                       std::size_t count) {
  FileSystem::Handle* file = fs_.CreateForWrite(path);
  if (file == nullptr) return false;
  bool ok = fs_.Write(file, bytes, count);
  return fs_.Close(file) && ok;
}

int SandboxPlatform::ExtractArchive(const Text& archivePath, const Text& targetDir,
                                    const ExtractProgress& progress) {
  return qm::ExtractArchive(fs_, archivePath, targetDir, progress);
}

Text SandboxPlatform::SpecialFolderPath(int folder) {
  std::lock_guard<std::mutex> lock(mutex_);
  return folder == kDesktopFolder ? desktop_ : Text();
}

bool SandboxPlatform::CreateShortcut(const Text& linkPath, const Text& targetPath) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shortcutsFail_) return false;
  }
  std::ostringstream record;
  record << "Target=" << targetPath << "\nShowCommand=" << kShowNormalNoActivate << "\n";
  std::string bytes = record.str();
  return WriteBytesToFile(linkPath, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                          bytes.size());
}

Text SandboxPlatform::BrowseForFolder(const Text& prompt, bool) {
  std::lock_guard<std::mutex> lock(mutex_);
  browsePrompts_.push_back(prompt);
  if (browseAnswers_.empty()) return Text();
  Text answer = browseAnswers_.front();
  browseAnswers_.pop_front();
  return answer;
}

bool SandboxPlatform::RunProgram(const Text& commandLine, bool) {
  std::lock_guard<std::mutex> lock(mutex_);
  programsRun_.push_back(commandLine);
  return true;
}

void SandboxPlatform::ShellOpen(int operation, const Text& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  shellOpens_.emplace_back(operation, path);
}

bool SandboxPlatform::StartThread(void (*routine)()) {
  std::lock_guard<std::mutex> lock(mutex_);
  threads_.emplace_back(routine);
  return true;
}

void SandboxPlatform::SetTempFolder(const Text& windowsPath) {
  std::lock_guard<std::mutex> lock(mutex_);
  tempFolder_ = windowsPath;
}

void SandboxPlatform::SetClock(std::function<std::uint32_t()> milliseconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  clock_ = std::move(milliseconds);
}

void SandboxPlatform::SetDesktop(const Text& windowsPath) {
  std::lock_guard<std::mutex> lock(mutex_);
  desktop_ = windowsPath;
}

void SandboxPlatform::SetShortcutsFail(bool fail) {
  std::lock_guard<std::mutex> lock(mutex_);
  shortcutsFail_ = fail;
}

void SandboxPlatform::QueueBrowseAnswer(const Text& answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  browseAnswers_.push_back(answer);
}

SandboxPlatform::Shortcut SandboxPlatform::ReadShortcut(const Text& linkPath) {
  Shortcut shortcut;
  std::ifstream in(HostPath(linkPath), std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    shortcut.found = true;
    if (line.rfind("Target=", 0) == 0) shortcut.target = line.substr(7);
    if (line.rfind("ShowCommand=", 0) == 0) shortcut.showCommand = std::stoi(line.substr(12));
  }
  return shortcut;
}

std::vector<Text> SandboxPlatform::BrowsePrompts() {
  std::lock_guard<std::mutex> lock(mutex_);
  return browsePrompts_;
}

std::vector<Text> SandboxPlatform::ProgramsRun() {
  std::lock_guard<std::mutex> lock(mutex_);
  return programsRun_;
}

std::vector<std::pair<int, Text>> SandboxPlatform::ShellOpens() {
  std::lock_guard<std::mutex> lock(mutex_);
  return shellOpens_;
}

void SandboxPlatform::JoinThreads() {
  std::vector<std::thread> threads;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    threads.swap(threads_);
  }
  for (std::thread& t : threads) t.join();
}

}  // namespace qm
