// The two byte blocks compiled into the installer: the release notes (GBK
// text) and the payload archive (ZIP). Both live in read-only data, each as a
// counted block: 32-bit 1, 32-bit byte count, then the bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm {

struct ByteBlock {
  const std::uint8_t* data;
  std::size_t size;
};

ByteBlock ReleaseNotesText();
ByteBlock PayloadArchive();

}  // namespace qm
