#include "listed_file.h"

namespace parvex {

bool StillAsListed(File& file, FileSystem& files, const UploadEntry& entry) {
    char probe;
    if (file.Read(&probe, 1) != 0) return false;  // grown, or unreadable at its end
    if (static_cast<double>(file.Size()) != entry.size) return false;
    uint64_t size = 0;
    // Another file put in its place keeps the open one readable to the end.
    return files.FileSize(entry.localPath, size) && static_cast<double>(size) == entry.size;
}

}  // namespace parvex
