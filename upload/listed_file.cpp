#include "listed_file.h"

#include "common/trace.h"

namespace parvex {
namespace {

bool Unchanged(File& file, FileSystem& files, const UploadEntry& entry, uint64_t lastWrite) {
    char probe;
    if (file.Read(&probe, 1) != 0) return false;  // grown, or unreadable at its end
    if (static_cast<double>(file.Size()) != entry.size || file.LastWrite() != lastWrite) return false;
    // Another file put in its place keeps the open one readable to the end.
    PathInfo now = files.Inspect(entry.localPath);
    return now.kind == PathKind::File && static_cast<double>(now.size) == entry.size && now.lastWrite == lastWrite;
}

}  // namespace

bool StillAsListed(File& file, FileSystem& files, const UploadEntry& entry, uint64_t lastWrite) {
    if (Unchanged(file, files, entry, lastWrite)) return true;
    TraceFailure(L"upload of", entry.localPath, 0, L"the file changed while it was sent: its request is left unfinished");
    return false;
}

}  // namespace parvex
