#include "runtime/files/extract.h"

#include <cstring>
#include <memory>
#include <vector>

#include "ioapi.h"
#include "unzip.h"
#include "runtime/files/win_path.h"
#include "runtime/files/write_queue.h"

namespace qm {
namespace {

// One buffer, reused for every entry: memory stays flat whatever the archive.
constexpr std::size_t kCopyBufferSize = 512 * 1024;
// With a writer thread: blocks in turn, one being inflated while the others
// wait for or undergo writing (1 MiB in all).
constexpr std::size_t kQueuedBlockSize = 256 * 1024;
constexpr std::size_t kQueuedBlocks = 4;
constexpr std::size_t kMaxNameSize = 0xFFFF;
constexpr unsigned long kDosDirectory = 0x10;
constexpr unsigned long kUnixDirectory = 0x40000000;
constexpr unsigned long kEncryptedFlag = 0x1;

bool CreateEntryFolder(FileSystem& fs, const Text& prefix, const Text& name);

// The archive as minizip reads it: field by field, often a byte at a time,
// alternating between the central directory and the entries' data. Two
// blocks cached in memory turn that into a few large reads: one block keeps
// the part of the directory being walked while the other streams the data.
class ArchiveStream {
 public:
  static constexpr std::size_t kBlockSize = 64 * 1024;

  ArchiveStream(FileSystem& fs, FileSystem::Handle* file) : fs_(fs), file_(file) {}
  ~ArchiveStream() {
    if (file_ != nullptr) fs_.Close(file_);
  }

  std::size_t Read(void* out, std::size_t count) {
    char* to = static_cast<char*>(out);
    std::size_t done = 0;
    while (done < count) {
      Block* block = Holding(pos_);
      if (block == nullptr) {
        // A read at least a block long gains nothing from a copy.
        if (count - done >= kBlockSize) {
          std::size_t n = ReadAt(pos_, to + done, count - done);
          done += n;
          pos_ += static_cast<std::int64_t>(n);
          break;
        }
        block = Fill(pos_);
        if (block == nullptr) break;
      }
      std::size_t offset = static_cast<std::size_t>(pos_ - block->start);
      std::size_t n = block->size - offset;
      if (n > count - done) n = count - done;
      std::memcpy(to + done, block->data.get() + offset, n);
      done += n;
      pos_ += static_cast<std::int64_t>(n);
      block->used = ++clock_;
    }
    return done;
  }

  bool Seek(std::int64_t offset, FileSystem::Origin origin) {
    std::int64_t base = 0;
    if (origin == FileSystem::Origin::kCurrent) {
      base = pos_;
    } else if (origin == FileSystem::Origin::kEnd) {
      if (size_ < 0) {
        if (!fs_.Seek(file_, 0, FileSystem::Origin::kEnd)) return false;
        size_ = fs_.Tell(file_);
        filePos_ = size_;
        if (size_ < 0) return false;
      }
      base = size_;
    }
    if (base + offset < 0) return false;
    pos_ = base + offset;
    return true;
  }

  std::int64_t Tell() const { return pos_; }

  bool Close() {
    bool ok = fs_.Close(file_);
    file_ = nullptr;
    return ok;
  }

 private:
  struct Block {
    std::unique_ptr<char[]> data;
    std::int64_t start = 0;
    std::size_t size = 0;
    unsigned long used = 0;
  };

  Block* Holding(std::int64_t at) {
    for (Block& b : blocks_) {
      if (b.size != 0 && at >= b.start && at - b.start < static_cast<std::int64_t>(b.size)) return &b;
    }
    return nullptr;
  }

  // Refills the block that ends where this read starts (a stream going on),
  // else the one used least recently.
  Block* Fill(std::int64_t at) {
    Block* victim = &blocks_[0];
    for (Block& b : blocks_) {
      if (b.size != 0 && b.start + static_cast<std::int64_t>(b.size) == at) {
        victim = &b;
        break;
      }
      if (b.used < victim->used) victim = &b;
    }
    if (!victim->data) victim->data.reset(new char[kBlockSize]);
    victim->size = 0;
    std::size_t n = ReadAt(at, victim->data.get(), kBlockSize);
    if (n == 0) return nullptr;
    victim->start = at;
    victim->size = n;
    return victim;
  }

  std::size_t ReadAt(std::int64_t at, char* to, std::size_t count) {
    if (filePos_ != at) {
      if (!fs_.Seek(file_, at, FileSystem::Origin::kBegin)) return 0;
    }
    std::size_t n = fs_.Read(file_, to, count);
    filePos_ = at + static_cast<std::int64_t>(n);
    return n;
  }

  FileSystem& fs_;
  FileSystem::Handle* file_;
  Block blocks_[2];
  std::int64_t pos_ = 0;
  std::int64_t filePos_ = 0;
  std::int64_t size_ = -1;
  unsigned long clock_ = 0;
};

// minizip's file callbacks; the opaque pointer is the FileSystem.
FileSystem& Fs(voidpf opaque) { return *static_cast<FileSystem*>(opaque); }
ArchiveStream* S(voidpf stream) { return static_cast<ArchiveStream*>(stream); }

voidpf ZCALLBACK IoOpen(voidpf opaque, const void* filename, int mode) {
  if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
  FileSystem::Handle* file = Fs(opaque).OpenRead(static_cast<const char*>(filename));
  if (file == nullptr) return nullptr;
  return new ArchiveStream(Fs(opaque), file);
}
uLong ZCALLBACK IoRead(voidpf, voidpf stream, void* buf, uLong size) {
  return static_cast<uLong>(S(stream)->Read(buf, size));
}
uLong ZCALLBACK IoWrite(voidpf, voidpf, const void*, uLong) { return 0; }
ZPOS64_T ZCALLBACK IoTell(voidpf, voidpf stream) {
  return static_cast<ZPOS64_T>(S(stream)->Tell());
}
long ZCALLBACK IoSeek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  FileSystem::Origin o = origin == ZLIB_FILEFUNC_SEEK_SET   ? FileSystem::Origin::kBegin
                         : origin == ZLIB_FILEFUNC_SEEK_CUR ? FileSystem::Origin::kCurrent
                                                            : FileSystem::Origin::kEnd;
  return S(stream)->Seek(static_cast<std::int64_t>(offset), o) ? 0 : -1;
}
int ZCALLBACK IoClose(voidpf, voidpf stream) {
  ArchiveStream* s = S(stream);
  bool ok = s->Close();
  delete s;
  return ok ? 0 : -1;
}
int ZCALLBACK IoError(voidpf, voidpf) { return 0; }

struct ZipCloser {
  void operator()(void* zip) const { unzClose(zip); }
};
using ZipFile = std::unique_ptr<void, ZipCloser>;

bool StartsWithLocalHeader(FileSystem& fs, const Text& path) {
  FileSystem::Handle* file = fs.OpenRead(path);
  if (file == nullptr) return false;
  unsigned char sig[4] = {};
  bool ok = fs.Read(file, sig, sizeof sig) == sizeof sig && sig[0] == 0x50 && sig[1] == 0x4B &&
            sig[2] == 0x03 && sig[3] == 0x04;
  fs.Close(file);
  return ok;
}

// The entry's output path must still lie below the target once made absolute.
bool LiesUnder(const Text& fullPath, const Text& fullTarget) {
  if (fullTarget.empty() || fullPath.size() <= fullTarget.size()) return false;
  if (fullPath.compare(0, fullTarget.size(), fullTarget) != 0) return false;
  return EndsWithSeparator(fullTarget) || fullPath[fullTarget.size()] == '\\';
}

// Streams the current entry into outputPath; false on any read, write or
// integrity failure.
bool WriteEntry(FileSystem& fs, unzFile zip, const unz_file_info64& info, const Text& outputPath,
                std::vector<char>& buffer) {
  if (unzOpenCurrentFile(zip) != UNZ_OK) return false;
  fs.ClearAttributes(outputPath);  // a missing file is fine; a read-only one becomes writable
  FileSystem::Handle* out = fs.CreateForWrite(outputPath);
  if (out == nullptr) {
    unzCloseCurrentFile(zip);
    return false;
  }
  bool ok = true;
  ZPOS64_T written = 0;
  for (;;) {
    int n = unzReadCurrentFile(zip, buffer.data(), static_cast<unsigned>(buffer.size()));
    if (n < 0) {
      ok = false;
      break;
    }
    if (n == 0) break;
    if (!fs.Write(out, buffer.data(), static_cast<std::size_t>(n))) {
      ok = false;
      break;
    }
    written += static_cast<ZPOS64_T>(n);
  }
  // Only a fully read entry has its CRC checked, hence the count as well.
  if (unzCloseCurrentFile(zip) != UNZ_OK) ok = false;
  if (written != info.uncompressed_size) ok = false;
  if (!fs.SetDosTime(out, static_cast<std::uint32_t>(info.dosDate))) ok = false;
  if (!fs.Close(out)) ok = false;
  fs.ClearAttributes(outputPath);
  return ok;
}

// The same with the writing on the queue's thread, in order: each inflated
// block goes there as one job, the first also creating the file and the last
// also closing it (a small file is one job), while this thread inflates on.
// After a failed job the queue's jobs only close what is open.
class QueuedWriter {
 public:
  QueuedWriter(FileSystem& fs, WriteQueue& queue) : fs_(fs), queue_(queue) {
    for (Block& block : blocks_) block.data.resize(kQueuedBlockSize);
  }

  bool WriteEntry(unzFile zip, const unz_file_info64& info, const Text& outputPath) {
    if (unzOpenCurrentFile(zip) != UNZ_OK) return false;
    bool ok = true;
    bool created = false;
    Block* pending = nullptr;  // read, not yet queued: it may be the last
    std::size_t pendingSize = 0;
    ZPOS64_T written = 0;
    for (;;) {
      Block& block = blocks_[next_];
      if (!queue_.WaitFor(block.job)) {
        ok = false;
        break;
      }
      int n = unzReadCurrentFile(zip, block.data.data(), static_cast<unsigned>(block.data.size()));
      if (n <= 0) {
        ok = n == 0;
        break;
      }
      if (pending != nullptr) {
        const Text* create = created ? nullptr : &outputPath;
        pending->job = Queue(create, pending->data.data(), pendingSize, 0, false);
        created = true;
      }
      pending = &block;
      pendingSize = static_cast<std::size_t>(n);
      next_ = (next_ + 1) % kQueuedBlocks;
      written += static_cast<ZPOS64_T>(n);
    }
    // Only a fully read entry has its CRC checked, hence the count as well.
    if (unzCloseCurrentFile(zip) != UNZ_OK) ok = false;
    if (written != info.uncompressed_size) ok = false;
    const char* data = pending != nullptr ? pending->data.data() : nullptr;
    std::uint64_t last = Queue(created ? nullptr : &outputPath, data, pending ? pendingSize : 0,
                               static_cast<std::uint32_t>(info.dosDate), true);
    if (pending != nullptr) pending->job = last;
    return ok;
  }

 private:
  struct Block {
    std::vector<char> data;
    std::uint64_t job = 0;  // the write still reading it
  };

  std::uint64_t Queue(const Text* create, const char* data, std::size_t size, std::uint32_t time,
                      bool close) {
    Text path = create != nullptr ? *create : Text();
    return queue_.Post([this, path = std::move(path), create = create != nullptr, data, size, time,
                        close](bool failed) {
      bool ok = true;
      if (!failed) {
        if (create) {
          fs_.ClearAttributes(path);  // a missing file is fine; a read-only one becomes writable
          out_ = fs_.CreateForWrite(path);
          if (out_ == nullptr) return false;
          outPath_ = path;
        }
        if (size != 0 && !fs_.Write(out_, data, size)) ok = false;
      }
      if (close && out_ != nullptr) {
        if (!fs_.SetDosTime(out_, time)) ok = false;
        if (!fs_.Close(out_)) ok = false;
        out_ = nullptr;
        fs_.ClearAttributes(outPath_);
      }
      return ok;
    });
  }

  FileSystem& fs_;
  WriteQueue& queue_;
  Block blocks_[kQueuedBlocks];
  std::size_t next_ = 0;
  // The queue's thread's alone: the file being written and its path.
  FileSystem::Handle* out_ = nullptr;
  Text outPath_;
};

// Creates prefix + name; when its parents are missing too, each level below
// the target from the top down (the target itself exists by now).
bool CreateEntryFolder(FileSystem& fs, const Text& prefix, const Text& name) {
  if (fs.CreateFolder(prefix + name)) return true;
  for (const Text& level : FolderLevels(name)) {
    if (!fs.CreateFolder(prefix + level)) return false;
  }
  return true;
}

}  // namespace

bool CreateFolderTree(FileSystem& fs, const Text& path) {
  for (const Text& level : FolderLevels(path)) {
    if (!fs.CreateFolder(level)) return false;
  }
  return true;
}

int ExtractArchive(FileSystem& fs, const Text& archivePath, const Text& targetDirIn,
                   const ExtractProgress& progress) {
  if (archivePath.empty() || fs.Probe(archivePath) != FileSystem::Kind::kFile) return -1;

  // An empty target is the root of the current drive.
  const Text targetDir = targetDirIn.empty() ? Text("\\") : targetDirIn;
  if (!CreateFolderTree(fs, targetDir)) return 0;
  if (!StartsWithLocalHeader(fs, archivePath)) return 0;

  zlib_filefunc64_def io{};
  io.zopen64_file = IoOpen;
  io.zread_file = IoRead;
  io.zwrite_file = IoWrite;
  io.ztell64_file = IoTell;
  io.zseek64_file = IoSeek;
  io.zclose_file = IoClose;
  io.zerror_file = IoError;
  io.opaque = &fs;
  ZipFile zip(unzOpen2_64(archivePath.c_str(), &io));
  if (!zip) return 0;
  unz_global_info64 global{};
  if (unzGetGlobalInfo64(zip.get(), &global) != UNZ_OK) return 0;

  const Text fullTarget = fs.FullPath(targetDir);
  if (fullTarget.empty()) return 0;
  const Text prefix = EndsWithSeparator(targetDir) ? targetDir : targetDir + "\\";
  const int count = static_cast<int>(global.number_entry);

  // Declared before the queue: its jobs use them until it has stopped.
  std::vector<char> buffer;
  std::unique_ptr<QueuedWriter> writer;
  std::unique_ptr<WriteQueue> queue;
  if (fs.AllowsWriterThread()) queue = std::make_unique<WriteQueue>();
  if (queue && queue->Running()) {
    writer = std::make_unique<QueuedWriter>(fs, *queue);
  } else {
    queue.reset();
    buffer.resize(kCopyBufferSize);
  }
  Text name(kMaxNameSize + 1, '\0');
  Text outputPath;
  int status = global.number_entry == 0 ? UNZ_END_OF_LIST_OF_FILE : unzGoToFirstFile(zip.get());
  int index = 0;
  for (; status == UNZ_OK; status = unzGoToNextFile(zip.get()), ++index) {
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(zip.get(), &info, name.data(), name.size(), nullptr, 0, nullptr,
                                0) != UNZ_OK) {
      return 0;
    }
    // A NUL inside the stored name would cut it short silently.
    Text entryName(name.data(), info.size_filename);
    if (entryName.find('\0') != Text::npos || !IsSafeEntryName(entryName)) return 0;
    for (char& c : entryName) {
      if (c == '/') c = '\\';  // never a GBK trail byte
    }
    outputPath = prefix + entryName;
    if (!LiesUnder(fs.FullPath(outputPath), fullTarget)) return 0;

    bool isFolder = (info.external_fa & (kDosDirectory | kUnixDirectory)) != 0;
    if (isFolder) {
      // Only after the files before it: a failure among them stops here.
      if (queue && !queue->WaitForAll()) return 0;
      if (!CreateEntryFolder(fs, prefix, entryName)) return 0;
    } else {
      if ((info.flag & kEncryptedFlag) != 0) return 0;
      bool ok = writer ? writer->WriteEntry(zip.get(), info, outputPath)
                       : WriteEntry(fs, zip.get(), info, outputPath, buffer);
      if (!ok) return 0;
    }
    if (progress) progress(index, count, outputPath);
  }
  if (status != UNZ_END_OF_LIST_OF_FILE) return 0;
  if (queue && !queue->WaitForAll()) return 0;
  if (progress) progress(count, count, Text());
  return 1;
}

}  // namespace qm
