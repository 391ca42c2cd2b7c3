// Names of temporary files: lowercase hexadecimal of a clock reading plus a
// per-process counter, with ".tmp", raised by one while the name is taken.
#pragma once

#include <cstdint>
#include <functional>

#include "runtime/services.h"

namespace qm {

Text LowerHex(std::uint32_t value);

// tempFolder empty: the bare name (it then lies in the current directory).
// counter is the per-process call counter, advanced by one per call.
Text MakeTempFileName(const Text& tempFolder, std::uint32_t milliseconds, std::uint32_t& counter,
                      const std::function<bool(const Text&)>& isTaken);

}  // namespace qm
