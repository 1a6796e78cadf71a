#pragma once

// Fault switches that make the server misbehave on purpose, so that clients
// can be tested against broken, slow or hostile servers.
//
// Setting: command-line options (--status TEXT, --chunked 1, ...) or at run
// time GET /__fault?name=value&name=value (answers 200 "ok"); GET /__reset
// clears every fault (command-line ones included) and the counters.
// Query values are URL-decoded ("+" is a space, %2B a plus); command-line
// values only have their %XX escapes decoded.
//
// Each fault applies to the request kinds named by target=, a comma list of
// upload, exists, download or all. Without target= a fault applies to its
// default kinds:
//   upload    status, body, chunked, nolength, split, continue,
//             continue_status, continue_split, continue_then, interim,
//             close_after, cut_after, stall, stop_reading, hold, rawreply,
//             bighead
//   exists    exists
//   download  length
//   upload,download  rate
// count=N limits the faults of that /__fault call to the next N requests of
// their kinds; each such request uses up one count whether or not the fault
// changed anything, and then the fault is gone. Without count= a fault stays
// until /__reset. When several settings of the same fault apply, the latest
// one wins (so chunked=0 switches off an earlier chunked=1).
//
//   status=TEXT           status line text ("500 Internal Server Error"); a
//                         text starting with "HTTP/" is the whole status line
//   body=TEXT             reply body in place of the normal one (for a
//                         download: in place of the file)
//   chunked=1             body sent as one chunk plus the final 0 chunk
//   nolength=1            no Content-Length and no chunking: body, then close
//   split=MS              header, a pause of MS milliseconds, then the body
//   continue=0            no "100 Continue" even when the request expects it
//   continue_status=TEXT  answer the Expect with this final status and close
//   continue_split=MS     send "100 Continue" in two pieces, MS milliseconds
//                         apart
//   continue_then=TEXT    send TEXT as the final reply right behind "100
//                         Continue" (one send), then drop the body and close
//   interim=TEXT          an interim status ("102 Processing") that nobody
//                         asked for, right before the reply
//   stop_reading=N        uploads: read N body bytes, then read nothing more
//                         and hold the connection until the client closes
//   close_after=N         uploads: close without a reply after N body bytes
//                         (0: right after the header, before any 100
//                         Continue); downloads: close after N body bytes
//   cut_after=N           the same cut, but over TLS without the close_notify
//                         alert that ends every other connection: the socket
//                         just closes (plain connections: as close_after)
//   stall=1               uploads: read and handle the request, then never
//                         answer; downloads: send the header, then nothing.
//                         The connection stays open until the client closes.
//   hold=N                uploads: after N body bytes, read nothing more
//                         until GET /__release lets one held request go on;
//                         downloads: the same after N body bytes sent
//   exists=1|0            forced exists-check answer
//   rate=BYTES_PER_SEC    pace request bodies read and download bodies sent
//   length=N              downloads: announce N as Content-Length and send at
//                         most N bytes of the file, then close
//   rawreply=TEXT         these bytes are the whole reply (%0D%0A for CRLF);
//                         empty: close without a byte once the request is handled
//   bighead=N             an extra reply header line of N filler bytes, for
//                         clients that must cope with an oversized head
//   validators=0          downloads: no ETag and no Last-Modified (a Range
//                         with If-Range then gets the whole file)
//   range_reply=WHAT      downloads asking for a range: "416" refuses it,
//                         "200" sends the whole file, "wrong" names another
//                         range in Content-Range than the one sent
//   change=1              downloads: once the reply is sent, the file becomes
//                         another version (byte_ranges.h)
//   hold_head=1           downloads: nothing is sent until GET /__release
//                         lets the request go on
// target=ranged names the download requests that carry a Range.
//   keepalive=keep        downloads: a reply to a request that allows it
//                         (HTTP/1.1 without "Connection: close") and that
//                         no other fault but rate shapes leaves the
//                         connection open for the next request
//   keepalive=close       the reply says "Connection: close" and the
//                         connection ends after it (as without the fault)
//   keepalive=claim_close the reply says "Connection: close", yet the
//                         connection stays open for another request
//   keepalive=drop_next   the connection stays open, and ends unanswered
//                         when the next request comes over it (as when a
//                         server's idle time-out ends it just then)

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mailserver {

enum RequestKind : unsigned {
    KindUpload = 1,
    KindExists = 2,
    KindDownload = 4,
    KindAll = 7,
    KindRanged = 8,  // a download with a Range; also a download
};

// The faults in force for one request.
struct FaultSet {
    std::optional<std::string> status;
    std::optional<std::string> body;
    bool chunked = false;
    bool nolength = false;
    long long splitMs = 0;
    bool withholdContinue = false;
    std::optional<std::string> continueStatus;
    long long continueSplitMs = 0;
    std::optional<std::string> continueThen;
    std::optional<std::string> interim;
    std::optional<uint64_t> stopReading;
    std::optional<uint64_t> closeAfter;
    bool cut = false;  // close_after ends the connection without a TLS goodbye
    bool stall = false;
    std::optional<uint64_t> hold;
    std::optional<bool> exists;
    uint64_t rate = 0;
    std::optional<uint64_t> length;
    std::optional<std::string> rawreply;
    uint64_t bighead = 0;
    bool noValidators = false;
    std::string rangeReply;
    bool change = false;
    bool holdHead = false;
    std::string keepalive;  // "", keep, close, claim_close or drop_next
    bool shaped = false;    // a fault besides rate and keepalive applies
};

class FaultTable {
public:
    // Adds one batch of settings (fault names plus the modifiers target and
    // count). Nothing is added when any item is unknown or has a bad value.
    bool Add(const std::vector<std::pair<std::string, std::string>>& items, std::string* error);
    void Clear();
    // The faults for one request of the given kind; uses up their counts.
    FaultSet Take(RequestKind kind);

    static bool IsFaultName(const std::string& name);

private:
    struct Entry {
        std::string name;
        std::string value;
        unsigned kinds;
        long long remaining;  // -1: until cleared
    };
    std::mutex mutex_;
    std::vector<Entry> entries_;
};

}  // namespace mailserver
