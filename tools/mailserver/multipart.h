#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mailserver {

// What the headers of one part say.
struct PartInfo {
    std::string name;
    bool hasFilename = false;
    std::string filename;  // taken verbatim: backslashes in it are path separators of the sender, not escapes
    std::string contentType;
};

// Receives the parts as the parser walks through the body. A false return
// stops the parse with the given error text.
class MultipartSink {
public:
    virtual ~MultipartSink() = default;
    virtual bool PartBegin(const PartInfo& part, std::string* error) = 0;
    virtual bool PartData(const char* data, size_t n, std::string* error) = 0;
    virtual bool PartEnd(std::string* error) = 0;
    // Every consumed byte in body order; part contents are flagged so that a
    // recorder can leave big file contents out.
    virtual void RawBytes(const char* data, size_t n, bool isPartContent) {
        (void)data;
        (void)n;
        (void)isPartContent;
    }
};

// Extracts the boundary parameter of a multipart/form-data Content-Type.
bool BoundaryFromContentType(std::string_view contentType, std::string* boundary, std::string* error);

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
    // them. Returns false on a malformed body; Error() says why.
    bool Consume(const char* data, size_t n, size_t* used);

    // The body has ended with `unused` bytes left unconsumed; fails unless the
    // final boundary was reached and nothing is left over.
    bool Finish(size_t unused);

    bool Complete() const { return state_ == State::End; }
    uint64_t Offset() const { return offset_; }  // body bytes consumed so far
    const std::string& Error() const { return error_; }
    // The parse was stopped by the sink rather than by a malformed body.
    bool ErrorFromSink() const { return sinkError_; }

private:
    enum class State { Start, AfterBoundary, Closing, Headers, Data, End };

    // What one step of the parse did with the bytes offered to it.
    enum class Step { Advanced, NeedMore, Failed };

    Step StepOnce(const char* p, size_t avail, size_t* taken);
    Step ReadOpening(const char* p, size_t avail, size_t* taken);
    Step ReadAfterBoundary(const char* p, size_t avail, size_t* taken);
    Step ReadClosing(const char* p, size_t avail, size_t* taken);
    Step ReadHeaderLine(const char* p, size_t avail, size_t* taken);
    Step BeginPartData();
    Step ReadData(const char* p, size_t avail, size_t* taken);
    static const char* FindCrlf(const char* p, size_t avail);
    std::string BoundaryNotFollowed() const;
    std::string PartHeadTooLong() const;
    Step Failed(const std::string& message);
    Step RefusedBySink(const std::string& message);
    bool Fail(const std::string& message);
    bool SinkFailed(const std::string& message);
    bool HeaderLine(std::string_view line);
    size_t PartialDelimiterTail(const char* data, size_t n) const;
    const char* FindDelimiter(const char* data, size_t n) const;
    void Take(const char* data, size_t n, bool content);

    std::string delimiter_;  // CRLF "--" boundary
    MultipartSink* sink_;
    State state_ = State::Start;
    PartInfo part_;
    bool seenDisposition_ = false;
    size_t partHeaderBytes_ = 0;
    unsigned parts_ = 0;
    uint64_t offset_ = 0;
    std::string error_;
    bool sinkError_ = false;
};

}  // namespace mailserver
