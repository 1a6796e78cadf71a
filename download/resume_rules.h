// How a broken download goes on: which validator of the first reply a later
// request names, what it asks for, and whether the server's answer to a
// range may be appended to the bytes already kept. The final file is always
// the bytes of one version of the served file: anything that does not prove
// it continues the kept bytes starts the file over.
#pragma once
#include <cstdint>
#include <string>

#include "common/http_reply.h"

namespace parvex {

// What the reply that began a file offers to resume by.
struct ResumeBasis {
    std::string validator;  // a strong ETag as sent, else the Last-Modified date; empty: none
    uint64_t length = 0;    // the whole file's length as that reply announced it
    bool Usable() const { return !validator.empty(); }
};

// The basis of a 200 reply whose body is length bytes long. A weak ETag
// ("W/...") cannot prove byte equality and is passed over.
ResumeBasis ResumeBasisOf(const ReplyHead& head, uint64_t length);

// The header lines that ask for the bytes from offset on, provided the file
// is still the one basis describes.
std::string RangeRequestLines(const ResumeBasis& basis, uint64_t offset);

// What to do with the answer to a ranged request.
enum class RangeVerdict {
    Append,     // 206 with exactly the rest of the same file
    Whole,      // 200: the whole file, written from byte 0
    FromZero,   // a range not asked for, another length, 416: ask again for the whole file
    NotRanged,  // any other status: judged as every reply is
};
RangeVerdict JudgeRangeReply(const ReplyHead& head, uint64_t offset, const ResumeBasis& basis);

// Retries after a transfer broke once its reply head was accepted.
struct ResumePolicy {
    bool resume = true;          // false: every retry and every run starts from byte 0
    int retries = 3;             // tries after the first
    uint32_t firstWaitMs = 1000; // before the first retry; doubled before each later one
    uint32_t WaitBefore(int retry) const { return firstWaitMs << (retry - 1); }
};

// Where one file stands across its tries: the partial file's length and
// what it was begun from.
struct ResumeProgress {
    ResumeBasis basis;
    uint64_t kept = 0;       // bytes in the partial file
    bool wholeNext = false;  // the server refused a range: the next request asks for everything
    bool AsksRange(const ResumePolicy& policy) const {
        return policy.resume && kept > 0 && basis.Usable() && !wholeNext;
    }
};

}  // namespace parvex
