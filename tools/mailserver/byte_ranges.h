#pragma once

// What a download route answers to a client that goes on with a file it has
// part of: validators in every reply (ETag, Last-Modified), a Range of the
// form "bytes=N-" (or "bytes=N-M") answered with 206 and Content-Range, 416
// past the end, and If-Range honoured: a validator that no longer matches
// gets the whole file. A Range the server cannot read is ignored (200).

#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "faults.h"
#include "http_request.h"

namespace mailserver {

struct FileVersion {
    std::string etag;          // strong: size and modification time
    std::string lastModified;  // HTTP date
};
FileVersion VersionOf(const struct stat& st);

// The part of a file of `size` bytes a reply carries.
struct ServedPart {
    enum Kind { Whole, Part, Unsatisfiable } kind = Whole;
    uint64_t from = 0;   // first byte
    uint64_t count = 0;  // bytes from there
    std::string head;    // header lines for it: validators, Content-Range
    std::string Status() const;
};

// The answer to request for a file of size bytes, with the faults that bend
// it (validators=0, range_reply).
ServedPart AnswerRange(const HttpRequest& request, uint64_t size, const FileVersion& version, const FaultSet& faults);

// The request asks for a range (it counts as a ranged request for faults).
bool AsksRange(const HttpRequest& request);

// The change fault: the file at path becomes another version of itself (its
// first bytes inverted, its modification time two seconds later), as when
// it is replaced on the server between two requests.
bool ChangeFile(const std::string& path);

}  // namespace mailserver
