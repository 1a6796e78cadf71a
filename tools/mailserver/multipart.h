#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mailserver {

// What the headers of one part say.
struct PartInfo {
    std::string name;
    bool has_filename = false;
    std::string filename;  // taken verbatim: backslashes in it are path separators of the sender, not escapes
    std::string content_type;
};

// Receives the parts as the parser walks through the body. A false return
// stops the parse with the given error text.
class MultipartSink {
public:
    virtual ~MultipartSink() = default;
    virtual bool part_begin(const PartInfo& part, std::string* error) = 0;
    virtual bool part_data(const char* data, size_t n, std::string* error) = 0;
    virtual bool part_end(std::string* error) = 0;
    // Every consumed byte in body order; part contents are flagged so that a
    // recorder can leave big file contents out.
    virtual void raw_bytes(const char* data, size_t n, bool is_part_content) {
        (void)data;
        (void)n;
        (void)is_part_content;
    }
};

// Extracts the boundary parameter of a multipart/form-data Content-Type.
bool boundary_from_content_type(std::string_view content_type, std::string* boundary, std::string* error);

// Strict incremental multipart/form-data parser. The body must be exactly:
//   "--B" CRLF headers CRLF data (CRLF "--B" CRLF headers CRLF data)* CRLF "--B--" CRLF
// with no preamble, no padding after boundaries and nothing after the final
// boundary. Part contents are passed on as they arrive, so memory stays
// bounded whatever the size of the body.
class MultipartParser {
public:
    MultipartParser(const std::string& boundary, MultipartSink* sink);

    // Consumes a prefix of data and reports its length in *used. The bytes
    // that were not used (a possibly partial boundary or an incomplete header
    // line, at most a few KiB) must be offered again with more bytes after
    // them. Returns false on a malformed body; error() says why.
    bool consume(const char* data, size_t n, size_t* used);

    // The body has ended with `unused` bytes left unconsumed; fails unless the
    // final boundary was reached and nothing is left over.
    bool finish(size_t unused);

    bool complete() const { return state_ == State::End; }
    uint64_t offset() const { return offset_; }  // body bytes consumed so far
    const std::string& error() const { return error_; }
    // The parse was stopped by the sink rather than by a malformed body.
    bool error_from_sink() const { return sink_error_; }

private:
    enum class State { Start, AfterBoundary, Closing, Headers, Data, End };

    // What one step of the parse did with the bytes offered to it.
    enum class Step { Advanced, NeedMore, Failed };

    Step step_once(const char* p, size_t avail, size_t* taken);
    Step read_opening(const char* p, size_t avail, size_t* taken);
    Step read_after_boundary(const char* p, size_t avail, size_t* taken);
    Step read_closing(const char* p, size_t avail, size_t* taken);
    Step read_header_line(const char* p, size_t avail, size_t* taken);
    Step begin_part_data();
    Step read_data(const char* p, size_t avail, size_t* taken);
    static const char* find_crlf(const char* p, size_t avail);
    std::string boundary_not_followed() const;
    std::string part_head_too_long() const;
    Step failed(const std::string& message);
    Step refused_by_sink(const std::string& message);
    bool fail(const std::string& message);
    bool sink_failed(const std::string& message);
    bool header_line(std::string_view line);
    size_t partial_delimiter_tail(const char* data, size_t n) const;
    const char* find_delimiter(const char* data, size_t n) const;
    void take(const char* data, size_t n, bool content);

    std::string delimiter_;  // CRLF "--" boundary
    MultipartSink* sink_;
    State state_ = State::Start;
    PartInfo part_;
    bool seen_disposition_ = false;
    size_t part_header_bytes_ = 0;
    unsigned parts_ = 0;
    uint64_t offset_ = 0;
    std::string error_;
    bool sink_error_ = false;
};

}  // namespace mailserver
