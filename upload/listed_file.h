// Whether the file whose bytes were just sent is still the one that was
// listed. One that grew, shrank, was rewritten in place (an editor's save
// empties a file and writes it again, often at the same size) or was
// replaced meanwhile went out cut or mixed: its request must not be
// finished, or a server would store it as a whole file.
#pragma once
#include <cstdint>

#include "common/file_system.h"
#include "uploadlist/upload_entry.h"

namespace parvex {

// After entry.size bytes were read from file, whose last-write time was
// lastWrite when its request started: the open file ends there and has that
// size and time still, and its path still names a file with both. Traces
// why not.
bool StillAsListed(File& file, FileSystem& files, const UploadEntry& entry, uint64_t lastWrite);

}  // namespace parvex
