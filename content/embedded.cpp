// Access to the counted blocks that blocks.S places in read-only data.
#include "content/embedded.h"

#include <cstring>

extern "C" const std::uint8_t kReleaseNotesBlock[] asm("qm_release_notes_block");
extern "C" const std::uint8_t kPayloadArchiveBlock[] asm("qm_payload_archive_block");

namespace qm {
namespace {

ByteBlock FromCountedBlock(const std::uint8_t* block) {
  std::uint8_t count[4];
  std::memcpy(count, block + 4, sizeof count);
  const std::size_t size = count[0] | (count[1] << 8) | (std::size_t{count[2]} << 16) |
                           (std::size_t{count[3]} << 24);
  return ByteBlock{block + 8, size};
}

}  // namespace

ByteBlock ReleaseNotesText() { return FromCountedBlock(kReleaseNotesBlock); }
ByteBlock PayloadArchive() { return FromCountedBlock(kPayloadArchiveBlock); }

}  // namespace qm
