// Uploads and exists checks: both are multipart/form-data POSTs whose body
// is parsed while it streams in.

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "handlers.h"
#include "lifecycle.h"
#include "multipart.h"
#include "reply.h"
#include "storage.h"

namespace mailserver {
namespace {

// Bodies above this size are recorded without their file contents.
constexpr uint64_t kFullRecordLimit = 16ull << 20;
constexpr size_t kBodyBuffer = 2u << 20;
constexpr size_t kMaxTextField = 64 * 1024;

const char kBadRequest[] = "400 Bad Request";

// Collects the text fields of a form and writes its file part to a
// temporary file in the store, to be moved into place once the whole body
// turned out well formed.
class FormSink : public MultipartSink {
public:
    FormSink(ServerState& state, RequestRecord* record, bool recordContents, bool acceptFile)
        : state_(state), record_(record), recordContents_(recordContents), acceptFile_(acceptFile) {}

    bool PartBegin(const PartInfo& part, std::string* error) override {
        inFile_ = part.hasFilename;
        if (!inFile_) {
            currentName_ = part.name;
            currentValue_.clear();
            return true;
        }
        if (!acceptFile_) {
            *error = "this request takes no file part (part \"" + part.name + "\" has a filename)";
            return false;
        }
        if (fileSeen_) {
            *error = "more than one file part (second one: \"" + part.filename + "\")";
            return false;
        }
        fileSeen_ = true;
        filename_ = part.filename;
        // The name is usually known before the contents arrive; a name that
        // cannot be stored is refused before a possibly huge transfer.
        std::string relative;
        if (!fields_.empty() && !RelativeStoragePath(fields_.front().second, &relative, error)) {
            *error = "cannot store under the name \"" + fields_.front().second + "\": " + *error;
            return false;
        }
        std::string temp = JoinPath(state_.config.storeDir, ".incoming-" + std::to_string(::getpid()) + "-" +
                                                                std::to_string(++state_.tempSequence) + ".part");
        return writer_.Open(temp, error);
    }

    bool PartData(const char* data, size_t n, std::string* error) override {
        if (inFile_) return writer_.Write(data, n, error);
        if (currentValue_.size() + n > kMaxTextField) {
            *error = "text field \"" + currentName_ + "\" is longer than 64 KiB";
            return false;
        }
        currentValue_.append(data, n);
        return true;
    }

    bool PartEnd(std::string*) override {
        if (!inFile_) fields_.emplace_back(std::move(currentName_), std::move(currentValue_));
        inFile_ = false;
        return true;
    }

    void RawBytes(const char* data, size_t n, bool isPartContent) override {
        if (record_ && !recordContents_ && !(isPartContent && inFile_)) record_->Write(data, n);
    }

    const std::vector<std::pair<std::string, std::string>>& Fields() const { return fields_; }

    // Drops a half-received file; done before the client hears anything so
    // that nothing is left in the store once it does.
    void Discard() { writer_.Discard(); }

    // Moves the file into place with its .fields companion. On failure *status
    // tells whether the request (400) or the server (500) is to blame.
    bool Store(std::string* storedAs, std::string* status, std::string* error) {
        *status = kBadRequest;
        if (!fileSeen_) {
            *error = "no file part (a part with a filename parameter)";
            return false;
        }
        const std::string name = fields_.empty() ? LastPathComponent(filename_) : fields_.front().second;
        std::string relative;
        if (!RelativeStoragePath(name, &relative, error)) {
            *error = "cannot store under the name \"" + name + "\": " + *error;
            return false;
        }
        *status = "500 Internal Server Error";
        const std::string target = JoinPath(state_.config.storeDir, relative);
        if (!MakeDirectories(ParentDirectory(target), error)) return false;

        std::string listing;
        for (const auto& f : fields_) listing += f.first + "=" + f.second + "\n";
        listing += "filename=" + filename_ + "\n";
        FileWriter fieldsFile;
        const std::string fieldsTarget = target + ".fields";
        if (!fieldsFile.Open(JoinPath(state_.config.storeDir, ".incoming-" + std::to_string(::getpid()) + "-" +
                                                                  std::to_string(++state_.tempSequence) + ".fields"),
                             error) ||
            !fieldsFile.Write(listing.data(), listing.size(), error) || !fieldsFile.Commit(fieldsTarget, error))
            return false;
        if (!writer_.Commit(target, error)) {
            ::unlink(fieldsTarget.c_str());
            return false;
        }
        *storedAs = relative;
        return true;
    }

private:
    ServerState& state_;
    RequestRecord* record_;
    bool recordContents_;
    bool acceptFile_;
    bool inFile_ = false;
    bool fileSeen_ = false;
    std::string filename_;
    std::string currentName_;
    std::string currentValue_;
    std::vector<std::pair<std::string, std::string>> fields_;
    FileWriter writer_;
};

enum class BodyEnd { Complete, Malformed, CutShort, QuietTooLong, ClosedByFault, HeldByFault, Gone };

// The body bytes a fault lets the server read, if it limits them.
std::optional<uint64_t> ReadLimit(const FaultSet& faults) {
    if (faults.closeAfter && faults.stopReading) return std::min(*faults.closeAfter, *faults.stopReading);
    return faults.closeAfter ? faults.closeAfter : faults.stopReading;
}

struct BodyResult {
    BodyEnd end = BodyEnd::Gone;
    std::string error;
    uint64_t received = 0;
};

// Reads exactly Content-Length body bytes through the parser, unless a
// fault stops it earlier.
class BodyReader {
public:
    BodyReader(RequestContext& ctx, const FaultSet& faults, uint64_t length, bool recordContents,
               MultipartParser& parser)
        : ctx_(ctx),
          faults_(faults),
          length_(length),
          recordContents_(recordContents),
          parser_(parser),
          capacity_(static_cast<size_t>(std::min<uint64_t>(kBodyBuffer, std::max<uint64_t>(length, 64 * 1024)))),
          buffer_(new char[capacity_]),
          limit_(ReadLimit(faults)),
          throttle_(faults.rate) {}

    BodyResult Read() {
        if (!TakeEarlyBytes()) return result_;
        for (;;) {
            if (!ParseBuffered() || StopsForFault()) return result_;
            if (result_.received == length_) break;
            if (!ReceiveMore()) return result_;
        }
        CheckTheEnd();
        return result_;
    }

private:
    // The bytes that came together with the head.
    bool TakeEarlyBytes() {
        const std::string& early = ctx_.bodyStart;
        if (ctx_.record && recordContents_) ctx_.record->Write(early);
        excess_ = early.size() > length_;
        len_ = static_cast<size_t>(std::min<uint64_t>(early.size(), length_));
        std::memcpy(buffer_.get(), early.data(), len_);
        result_.received = len_;
        return throttle_.Account(len_);
    }

    // Hands the buffered bytes to the parser and keeps what it left.
    bool ParseBuffered() {
        size_t used = 0;
        if (!parser_.Consume(buffer_.get(), len_, &used)) return Malformed(parser_.Error());
        std::memmove(buffer_.get(), buffer_.get() + used, len_ - used);
        len_ -= used;
        if (parser_.Complete() && result_.received < length_) {
            return Malformed("the final boundary ends the body after " + std::to_string(parser_.Offset()) +
                             " bytes, but Content-Length announces " + std::to_string(length_));
        }
        return true;
    }

    bool StopsForFault() {
        const uint64_t received = result_.received;
        // The hold comes first: it keeps the request where a test wants it,
        // even when the bytes that came with the head reach a limit already.
        if (faults_.hold && !held_ && received >= *faults_.hold) {
            held_ = true;
            if (!ctx_.state.holds.Wait([&] { return ctx_.conn.PeerGone(); }, ctx_.state.config.idleTimeoutMs))
                return true;
        }
        if (limit_ && received >= *limit_) {
            result_.end =
                faults_.closeAfter && received >= *faults_.closeAfter ? BodyEnd::ClosedByFault : BodyEnd::HeldByFault;
            return true;
        }
        return false;
    }

    bool ReceiveMore() {
        const uint64_t received = result_.received;
        uint64_t want = std::min<uint64_t>(capacity_ - len_, length_ - received);
        if (limit_) want = std::min<uint64_t>(want, *limit_ - received);
        if (faults_.hold && !held_) want = std::min<uint64_t>(want, *faults_.hold - received);
        want = throttle_.BlockLimit(static_cast<size_t>(want));
        if (want == 0) return Malformed("a part header or boundary does not fit the parse buffer");
        size_t got = 0;
        IoStatus st = ctx_.conn.Receive(buffer_.get() + len_, static_cast<size_t>(want), &got);
        if (st == IoStatus::Closed) result_.end = BodyEnd::CutShort;
        if (st == IoStatus::TimedOut) result_.end = BodyEnd::QuietTooLong;
        if (st != IoStatus::Ok) return false;  // also when gone, or the server is stopping
        if (ctx_.record && recordContents_) ctx_.record->Write(buffer_.get() + len_, got);
        len_ += got;
        result_.received += got;
        return throttle_.Account(got);
    }

    void CheckTheEnd() {
        if (!parser_.Finish(len_)) {
            Malformed(parser_.Error());
        } else if (excess_ || ctx_.conn.HasPendingInput()) {
            Malformed("more body bytes than the Content-Length of " + std::to_string(length_));
        } else {
            result_.end = BodyEnd::Complete;
        }
    }

    bool Malformed(std::string error) {
        result_.end = BodyEnd::Malformed;
        result_.error = std::move(error);
        return false;
    }

    RequestContext& ctx_;
    const FaultSet& faults_;
    const uint64_t length_;
    const bool recordContents_;
    MultipartParser& parser_;
    const size_t capacity_;
    std::unique_ptr<char[]> buffer_;
    size_t len_ = 0;  // bytes in the buffer the parser has yet to take
    bool excess_ = false;
    const std::optional<uint64_t> limit_;
    Throttle throttle_;
    bool held_ = false;
    BodyResult result_;
};

// "100 Continue", in two pieces splitMs apart when a fault asks for it.
bool SendContinue(Connection& conn, long long splitMs) {
    const std::string interim = "HTTP/1.1 100 Continue\r\n\r\n";
    if (splitMs <= 0) return conn.SendAll(interim) == IoStatus::Ok;
    const size_t half = interim.size() / 2;
    return conn.SendAll(interim.substr(0, half)) == IoStatus::Ok && lifecycle::SleepMs(splitMs) &&
           conn.SendAll(interim.substr(half)) == IoStatus::Ok;
}

void Answer(RequestContext& ctx, const FaultSet& faults, const Reply& reply) {
    // The record is complete before the client can see any answer.
    ctx.record.reset();
    if (faults.stall) {
        ctx.conn.WaitForPeerClose();
        return;
    }
    SendReply(ctx.conn, faults, reply);
    ctx.conn.CloseNow();
}

// Content-Length and the multipart boundary of the request head; false when
// the request was refused for them.
bool ReadPostHead(RequestContext& ctx, const FaultSet& faults, uint64_t* length, std::string* boundary) {
    const HttpRequest& req = ctx.request;
    const std::string* lengthText = req.Header("Content-Length");
    if (lengthText == nullptr || req.Header("Transfer-Encoding") != nullptr) {
        Reject(ctx, faults, "411 Length Required",
               "a Content-Length header is required (bodies without one are not accepted)", 1 << 20);
        return false;
    }
    if (!ParseUint64(*lengthText, length)) {
        Reject(ctx, faults, kBadRequest, "Content-Length \"" + *lengthText + "\" is not a number", 1 << 20);
        return false;
    }
    for (const auto& h : req.headers) {
        if (Iequals(h.first, "Content-Length") && h.second != *lengthText) {
            Reject(ctx, faults, kBadRequest, "conflicting Content-Length headers", 1 << 20);
            return false;
        }
    }
    std::string error;
    const std::string* contentType = req.Header("Content-Type");
    if (contentType == nullptr) {
        Reject(ctx, faults, kBadRequest, "Content-Type multipart/form-data is missing", *length);
        return false;
    }
    if (!BoundaryFromContentType(*contentType, boundary, &error)) {
        Reject(ctx, faults, kBadRequest, error, *length);
        return false;
    }
    return true;
}

// Answers "Expect: 100-continue" as the faults say; false when that answer
// ended the request.
bool AnswerExpect(RequestContext& ctx, const FaultSet& faults, uint64_t length) {
    const std::string* expect = ctx.request.Header("Expect");
    if (expect == nullptr || !Iequals(Trim(*expect), "100-continue")) return true;
    if (faults.continueStatus) {
        ctx.record.reset();
        ctx.conn.SendAll(StatusLine(*faults.continueStatus) + "Content-Length: 0\r\nConnection: close\r\n\r\n");
        ctx.conn.LingerClose(length);
        return false;
    }
    if (faults.continueThen) {
        ctx.record.reset();
        ctx.conn.SendAll("HTTP/1.1 100 Continue\r\n\r\n" + *faults.continueThen);
        ctx.conn.LingerClose(length);
        return false;
    }
    return faults.withholdContinue || SendContinue(ctx.conn, faults.continueSplitMs);
}

// Answers a body that did not arrive whole and well formed; false when the
// request has been dealt with.
bool SettleBody(RequestContext& ctx, const FaultSet& faults, const BodyResult& body, const MultipartParser& parser,
                uint64_t length) {
    const uint64_t unread = length - std::min(length, body.received);
    const std::string got = std::to_string(body.received) + " of " + std::to_string(length);
    switch (body.end) {
    case BodyEnd::Complete:
        return true;
    case BodyEnd::Malformed:
        Reject(ctx, faults, kBadRequest,
               parser.ErrorFromSink() ? body.error : "malformed multipart body: " + body.error, unread);
        return false;
    case BodyEnd::CutShort:
        Reject(ctx, faults, kBadRequest, "the body ended after " + got + " bytes announced by Content-Length", 0);
        return false;
    case BodyEnd::QuietTooLong:
        Reject(ctx, faults, kBadRequest,
               "no body bytes for " + std::to_string(ctx.state.config.idleTimeoutMs / 1000) + " s after " + got +
                   " bytes announced by Content-Length",
               0);
        return false;
    case BodyEnd::HeldByFault:
        ctx.record.reset();
        ctx.conn.HoldUnread(ctx.state.config.idleTimeoutMs);
        ctx.conn.CloseNow();
        return false;
    case BodyEnd::ClosedByFault:
        ctx.record.reset();
        CloseByFault(ctx.conn, faults);
        return false;
    case BodyEnd::Gone:
        ctx.record.reset();
        ctx.conn.CloseNow();
        return false;
    }
    return false;
}

void AnswerExists(RequestContext& ctx, const FaultSet& faults, const FormSink& sink) {
    const auto& fields = sink.Fields();
    if (fields.size() != 1 || fields.front().first != "file") {
        Reject(ctx, faults, kBadRequest, "an exists check carries exactly one field, named \"file\"", 0);
        return;
    }
    bool exists = false;
    if (faults.exists) {
        exists = *faults.exists;
    } else {
        std::string relative, ignored;
        uint64_t size = 0;
        exists = RelativeStoragePath(fields.front().second, &relative, &ignored) &&
                 RegularFileSize(JoinPath(ctx.state.config.storeDir, relative), &size);
    }
    Reply reply;
    reply.body = exists ? "1" : "0";
    if (Verbose()) LogLine("exists \"" + fields.front().second + "\" -> " + reply.body);
    Answer(ctx, faults, reply);
}

void AnswerUpload(RequestContext& ctx, const FaultSet& faults, FormSink& sink, uint64_t length) {
    std::string storedAs, status, error;
    if (!sink.Store(&storedAs, &status, &error)) {
        sink.Discard();
        if (status == kBadRequest) {
            Reject(ctx, faults, status, error, 0);
            return;
        }
        LogLine("upload failed: " + error);
        Reply failure;
        failure.status = status;
        failure.contentType = "text/plain; charset=utf-8";
        failure.body = "the server could not store the file: " + error + "\n";
        Answer(ctx, faults, failure);
        return;
    }
    if (Verbose()) LogLine("stored " + storedAs + " (" + std::to_string(length) + " body bytes)");
    Reply reply;
    reply.body = "|TS_UP_OK|";
    Answer(ctx, faults, reply);
}

}  // namespace

void HandlePost(RequestContext& ctx, RequestKind kind) {
    ServerState& state = ctx.state;
    ++(kind == KindUpload ? state.counters.uploads : state.counters.exists);
    const FaultSet faults = state.faults.Take(kind);

    if (faults.closeAfter && *faults.closeAfter == 0) {
        // The close is the client's answer: the record is complete before it.
        ctx.record.reset();
        CloseByFault(ctx.conn, faults);
        return;
    }
    uint64_t length = 0;
    std::string boundary;
    if (!ReadPostHead(ctx, faults, &length, &boundary) || !AnswerExpect(ctx, faults, length)) return;

    const bool recordContents = length <= kFullRecordLimit;
    FormSink sink(state, ctx.record.get(), recordContents, kind == KindUpload);
    MultipartParser parser(boundary, &sink);
    BodyResult body = BodyReader(ctx, faults, length, recordContents, parser).Read();
    if (body.end != BodyEnd::Complete) sink.Discard();
    if (!SettleBody(ctx, faults, body, parser, length)) return;
    if (kind == KindExists)
        AnswerExists(ctx, faults, sink);
    else
        AnswerUpload(ctx, faults, sink, length);
}

}  // namespace mailserver
