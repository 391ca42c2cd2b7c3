#include "runtime/files/win_path.h"

#include <cctype>
#include <cstring>

namespace qm {
namespace {

// Index of the character after the one starting at i.
std::size_t NextChar(const Text& s, std::size_t i) {
  if (IsGbkLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) return i + 2;
  return i + 1;
}

std::size_t SkipComponent(const Text& s, std::size_t i) {
  while (i < s.size() && !IsPathSeparator(s[i])) i = NextChar(s, i);
  return i;
}

bool EqualsNoCase(const Text& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != b[i]) return false;
  }
  return true;
}

bool IsReservedDeviceName(const Text& part) {
  Text base = part.substr(0, part.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static const char* const kNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* n : kNames) {
    if (EqualsNoCase(base, n)) return true;
  }
  if (base.size() == 4 && base[3] >= '1' && base[3] <= '9') {
    Text stem = base.substr(0, 3);
    if (EqualsNoCase(stem, "COM") || EqualsNoCase(stem, "LPT")) return true;
  }
  return false;
}

// part: one name between separators; lastIsSingleByte tells whether its final
// character is a single byte (a GBK trail byte is never "." or " ").
bool IsSafePart(const Text& part, bool lastIsSingleByte) {
  if (part.empty() || part == "." || part == "..") return false;
  if (lastIsSingleByte && (part.back() == '.' || part.back() == ' ')) return false;
  return !IsReservedDeviceName(part);
}

}  // namespace

std::size_t PathRootLength(const Text& p) {
  if (p.size() >= 2 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':') {
    return (p.size() >= 3 && IsPathSeparator(p[2])) ? 3 : 2;
  }
  if (!p.empty() && IsPathSeparator(p[0])) {
    if (p.size() >= 2 && IsPathSeparator(p[1])) {
      std::size_t i = SkipComponent(p, 2);  // server
      if (i < p.size()) i = SkipComponent(p, i + 1);  // share
      return i < p.size() ? i + 1 : i;
    }
    return 1;
  }
  return 0;
}

bool EndsWithSeparator(const Text& path) {
  bool last = false;
  for (std::size_t i = 0; i < path.size(); i = NextChar(path, i)) {
    last = IsPathSeparator(path[i]);
  }
  return last;
}

std::vector<Text> FolderLevels(const Text& path) {
  std::vector<Text> levels;
  std::size_t i = PathRootLength(path);
  while (i < path.size()) {
    if (IsPathSeparator(path[i])) {
      ++i;
      continue;
    }
    i = SkipComponent(path, i);
    levels.push_back(path.substr(0, i));
  }
  return levels;
}

Text NormaliseAbsolutePath(const Text& path) {
  std::size_t rootLength = PathRootLength(path);
  Text root = path.substr(0, rootLength);
  for (char& c : root) {
    if (c == '/') c = '\\';
  }
  std::vector<Text> parts;
  std::size_t i = rootLength;
  while (i < path.size()) {
    if (IsPathSeparator(path[i])) {
      ++i;
      continue;
    }
    std::size_t end = SkipComponent(path, i);
    Text part = path.substr(i, end - i);
    i = end;
    if (part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    // Windows drops trailing dots and spaces; neither can be a trail byte.
    while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
    if (!part.empty()) parts.push_back(std::move(part));
  }
  Text out = root;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    if (k > 0 || (!out.empty() && !IsPathSeparator(out.back()))) out += '\\';
    out += parts[k];
  }
  return out;
}

bool IsSafeEntryName(const Text& name) {
  if (name.empty()) return false;
  std::size_t partStart = 0;
  bool lastIsSingleByte = true;
  std::size_t i = 0;
  while (i < name.size()) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (IsGbkLeadByte(c)) {
      if (i + 1 >= name.size()) return false;  // a lead byte without its trail
      lastIsSingleByte = false;
      i += 2;
      continue;
    }
    if (c < 0x20 || std::strchr("*?\"<>|:", c) != nullptr) return false;
    if (IsPathSeparator(static_cast<char>(c))) {
      if (!IsSafePart(name.substr(partStart, i - partStart), lastIsSingleByte)) return false;
      partStart = i + 1;
    }
    lastIsSingleByte = true;
    ++i;
  }
  if (partStart == name.size()) return true;  // one trailing separator: a folder
  return IsSafePart(name.substr(partStart), lastIsSingleByte);
}

}  // namespace qm
