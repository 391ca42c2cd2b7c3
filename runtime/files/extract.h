// Unpacks a ZIP archive into a folder through a FileSystem.
#pragma once

#include "runtime/core/platform.h"
#include "runtime/files/file_system.h"

namespace qm {

// 1 when every entry was written, 0 on any failure (the entries written
// before it stay), -1 when archivePath names no existing file.
int ExtractArchive(FileSystem& fs, const Text& archivePath, const Text& targetDir,
                   const ExtractProgress& progress);

// Creates path and every missing folder above it, from the top down.
bool CreateFolderTree(FileSystem& fs, const Text& path);

}  // namespace qm
