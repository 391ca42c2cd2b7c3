#include "runtime/files/temp_name.h"

#include "runtime/files/win_path.h"

namespace qm {

Text LowerHex(std::uint32_t value) {
  static const char kDigits[] = "0123456789abcdef";
  Text out;
  do {
    out.insert(out.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return out;
}

Text MakeTempFileName(const Text& tempFolder, std::uint32_t milliseconds, std::uint32_t& counter,
                      const std::function<bool(const Text&)>& isTaken) {
  Text folder = tempFolder;
  if (!folder.empty() && !EndsWithSeparator(folder)) folder += '\\';
  // Unsigned arithmetic: the tick count wraps after 49.7 days, and so may the name.
  std::uint32_t number = milliseconds + counter++;
  Text path = folder + LowerHex(number) + ".tmp";
  // Bounded so that a file system answering "taken" to everything cannot hang us.
  for (std::uint32_t tries = 0; isTaken(path) && tries < 0xFFFF; ++tries) {
    path = folder + LowerHex(++number) + ".tmp";
  }
  return path;
}

}  // namespace qm
