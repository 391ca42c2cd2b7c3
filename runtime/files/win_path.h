// Windows path rules for GBK byte strings. A GBK lead byte (0x81-0xFE) takes
// the next byte with it, and that trail byte may be 0x5C ("\") or 0x7C ("|"),
// so every scan here walks characters, never plain bytes.
#pragma once

#include <cstddef>
#include <vector>

#include "runtime/services.h"

namespace qm {

inline bool IsGbkLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
inline bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

// Length of the root: "C:\" 3, "C:" 2, "\" 1, "\\server\share\" up to its
// last separator, 0 for a relative path.
std::size_t PathRootLength(const Text& path);

// True when the last character (not merely the last byte) is a separator.
bool EndsWithSeparator(const Text& path);

// Every folder from the top down to path itself, each without a trailing
// separator; the root is not listed.
std::vector<Text> FolderLevels(const Text& path);

// Lexically resolves "." and ".." and drops what Windows drops (empty parts,
// trailing dots and spaces) of an absolute path; separators become "\".
Text NormaliseAbsolutePath(const Text& absolutePath);

// True when the archive entry name stays inside the folder it is unpacked
// to and names nothing Windows treats specially. A single trailing separator
// (a folder entry) is allowed.
bool IsSafeEntryName(const Text& name);

}  // namespace qm
