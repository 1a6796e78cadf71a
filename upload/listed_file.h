// Whether the file whose bytes were just sent is still the one that was
// listed. One that grew, shrank or was replaced meanwhile went out cut or
// mixed: its request must not be finished, or a server would store it as a
// whole file.
#pragma once
#include "common/file_system.h"
#include "uploadlist/upload_entry.h"

namespace parvex {

// After entry.size bytes were read from file: the open file ends there and
// has that size, and its path still names a file of that size.
bool StillAsListed(File& file, FileSystem& files, const UploadEntry& entry);

}  // namespace parvex
