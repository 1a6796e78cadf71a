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
    FormSink(ServerState& state, RequestRecord* record, bool record_contents, bool accept_file)
        : state_(state), record_(record), record_contents_(record_contents), accept_file_(accept_file) {}

    bool part_begin(const PartInfo& part, std::string* error) override {
        in_file_ = part.has_filename;
        if (!in_file_) {
            current_name_ = part.name;
            current_value_.clear();
            return true;
        }
        if (!accept_file_) {
            *error = "this request takes no file part (part \"" + part.name + "\" has a filename)";
            return false;
        }
        if (file_seen_) {
            *error = "more than one file part (second one: \"" + part.filename + "\")";
            return false;
        }
        file_seen_ = true;
        filename_ = part.filename;
        // The name is usually known before the contents arrive; a name that
        // cannot be stored is refused before a possibly huge transfer.
        std::string relative;
        if (!fields_.empty() && !relative_storage_path(fields_.front().second, &relative, error)) {
            *error = "cannot store under the name \"" + fields_.front().second + "\": " + *error;
            return false;
        }
        std::string temp = join_path(state_.config.store_dir, ".incoming-" + std::to_string(::getpid()) + "-" +
                                                                  std::to_string(++state_.temp_sequence) + ".part");
        return writer_.open(temp, error);
    }

    bool part_data(const char* data, size_t n, std::string* error) override {
        if (in_file_) return writer_.write(data, n, error);
        if (current_value_.size() + n > kMaxTextField) {
            *error = "text field \"" + current_name_ + "\" is longer than 64 KiB";
            return false;
        }
        current_value_.append(data, n);
        return true;
    }

    bool part_end(std::string*) override {
        if (!in_file_) fields_.emplace_back(std::move(current_name_), std::move(current_value_));
        in_file_ = false;
        return true;
    }

    void raw_bytes(const char* data, size_t n, bool is_part_content) override {
        if (record_ && !record_contents_ && !(is_part_content && in_file_)) record_->write(data, n);
    }

    const std::vector<std::pair<std::string, std::string>>& fields() const { return fields_; }

    // Drops a half-received file; done before the client hears anything so
    // that nothing is left in the store once it does.
    void discard() { writer_.discard(); }

    // Moves the file into place with its .fields companion. On failure *status
    // tells whether the request (400) or the server (500) is to blame.
    bool store(std::string* stored_as, std::string* status, std::string* error) {
        *status = kBadRequest;
        if (!file_seen_) {
            *error = "no file part (a part with a filename parameter)";
            return false;
        }
        const std::string name = fields_.empty() ? last_path_component(filename_) : fields_.front().second;
        std::string relative;
        if (!relative_storage_path(name, &relative, error)) {
            *error = "cannot store under the name \"" + name + "\": " + *error;
            return false;
        }
        *status = "500 Internal Server Error";
        const std::string target = join_path(state_.config.store_dir, relative);
        if (!make_directories(parent_directory(target), error)) return false;

        std::string listing;
        for (const auto& f : fields_) listing += f.first + "=" + f.second + "\n";
        listing += "filename=" + filename_ + "\n";
        FileWriter fields_file;
        const std::string fields_target = target + ".fields";
        if (!fields_file.open(
                join_path(state_.config.store_dir, ".incoming-" + std::to_string(::getpid()) + "-" +
                                                       std::to_string(++state_.temp_sequence) + ".fields"),
                error) ||
            !fields_file.write(listing.data(), listing.size(), error) || !fields_file.commit(fields_target, error))
            return false;
        if (!writer_.commit(target, error)) {
            ::unlink(fields_target.c_str());
            return false;
        }
        *stored_as = relative;
        return true;
    }

private:
    ServerState& state_;
    RequestRecord* record_;
    bool record_contents_;
    bool accept_file_;
    bool in_file_ = false;
    bool file_seen_ = false;
    std::string filename_;
    std::string current_name_;
    std::string current_value_;
    std::vector<std::pair<std::string, std::string>> fields_;
    FileWriter writer_;
};

enum class BodyEnd { Complete, Malformed, CutShort, QuietTooLong, ClosedByFault, HeldByFault, Gone };

// The body bytes a fault lets the server read, if it limits them.
std::optional<uint64_t> read_limit(const FaultSet& faults) {
    if (faults.close_after && faults.stop_reading) return std::min(*faults.close_after, *faults.stop_reading);
    return faults.close_after ? faults.close_after : faults.stop_reading;
}

struct BodyResult {
    BodyEnd end = BodyEnd::Gone;
    std::string error;
    uint64_t received = 0;
};

// Reads exactly Content-Length body bytes through the parser.
BodyResult read_body(RequestContext& ctx, const FaultSet& faults, uint64_t length, bool record_contents,
                     MultipartParser& parser) {
    BodyResult result;
    const size_t capacity = static_cast<size_t>(std::min<uint64_t>(kBodyBuffer, std::max<uint64_t>(length, 64 * 1024)));
    std::unique_ptr<char[]> buffer(new char[capacity]);
    const std::string& early = ctx.body_start;
    if (ctx.record && record_contents) ctx.record->write(early);
    const bool excess = early.size() > length;
    size_t len = static_cast<size_t>(std::min<uint64_t>(early.size(), length));
    std::memcpy(buffer.get(), early.data(), len);
    uint64_t& received = result.received;
    received = len;

    const std::optional<uint64_t> limit = read_limit(faults);
    Throttle throttle(faults.rate);
    if (!throttle.account(len)) return result;
    bool held = false;
    for (;;) {
        size_t used = 0;
        if (!parser.consume(buffer.get(), len, &used)) {
            result.end = BodyEnd::Malformed;
            result.error = parser.error();
            return result;
        }
        std::memmove(buffer.get(), buffer.get() + used, len - used);
        len -= used;
        if (parser.complete() && received < length) {
            result.end = BodyEnd::Malformed;
            result.error = "the final boundary ends the body after " + std::to_string(parser.offset()) +
                           " bytes, but Content-Length announces " + std::to_string(length);
            return result;
        }
        // The hold comes first: it keeps the request where a test wants it,
        // even when the bytes that came with the head reach a limit already.
        if (faults.hold && !held && received >= *faults.hold) {
            held = true;
            if (!ctx.state.holds.wait([&] { return ctx.conn.peer_gone(); }, ctx.state.config.idle_timeout_ms))
                return result;
        }
        if (limit && received >= *limit) {
            result.end =
                faults.close_after && received >= *faults.close_after ? BodyEnd::ClosedByFault : BodyEnd::HeldByFault;
            return result;
        }
        if (received == length) break;
        uint64_t want = std::min<uint64_t>(capacity - len, length - received);
        if (limit) want = std::min<uint64_t>(want, *limit - received);
        if (faults.hold && !held) want = std::min<uint64_t>(want, *faults.hold - received);
        want = throttle.block_limit(static_cast<size_t>(want));
        if (want == 0) {
            result.end = BodyEnd::Malformed;
            result.error = "a part header or boundary does not fit the parse buffer";
            return result;
        }
        size_t got = 0;
        IoStatus st = ctx.conn.receive(buffer.get() + len, static_cast<size_t>(want), &got);
        if (st == IoStatus::Closed) {
            result.end = BodyEnd::CutShort;
            return result;
        }
        if (st == IoStatus::TimedOut) {
            result.end = BodyEnd::QuietTooLong;
            return result;
        }
        if (st != IoStatus::Ok) return result;  // gone, or the server is stopping
        if (ctx.record && record_contents) ctx.record->write(buffer.get() + len, got);
        len += got;
        received += got;
        if (!throttle.account(got)) return result;
    }
    if (!parser.finish(len)) {
        result.end = BodyEnd::Malformed;
        result.error = parser.error();
        return result;
    }
    if (excess || ctx.conn.has_pending_input()) {
        result.end = BodyEnd::Malformed;
        result.error = "more body bytes than the Content-Length of " + std::to_string(length);
        return result;
    }
    result.end = BodyEnd::Complete;
    return result;
}

// "100 Continue", in two pieces split_ms apart when a fault asks for it.
bool send_continue(Connection& conn, long long split_ms) {
    const std::string interim = "HTTP/1.1 100 Continue\r\n\r\n";
    if (split_ms <= 0) return conn.send_all(interim) == IoStatus::Ok;
    const size_t half = interim.size() / 2;
    return conn.send_all(interim.substr(0, half)) == IoStatus::Ok && lifecycle::sleep_ms(split_ms) &&
           conn.send_all(interim.substr(half)) == IoStatus::Ok;
}

void answer(RequestContext& ctx, const FaultSet& faults, const Reply& reply) {
    // The record is complete before the client can see any answer.
    ctx.record.reset();
    if (faults.stall) {
        ctx.conn.wait_for_peer_close();
        return;
    }
    send_reply(ctx.conn, faults, reply);
    ctx.conn.close_now();
}

// Content-Length and the multipart boundary of the request head; false when
// the request was refused for them.
bool read_post_head(RequestContext& ctx, const FaultSet& faults, uint64_t* length, std::string* boundary) {
    const HttpRequest& req = ctx.request;
    const std::string* length_text = req.header("Content-Length");
    if (length_text == nullptr || req.header("Transfer-Encoding") != nullptr) {
        reject(ctx, faults, "411 Length Required",
               "a Content-Length header is required (bodies without one are not accepted)", 1 << 20);
        return false;
    }
    if (!parse_uint64(*length_text, length)) {
        reject(ctx, faults, kBadRequest, "Content-Length \"" + *length_text + "\" is not a number", 1 << 20);
        return false;
    }
    for (const auto& h : req.headers) {
        if (iequals(h.first, "Content-Length") && h.second != *length_text) {
            reject(ctx, faults, kBadRequest, "conflicting Content-Length headers", 1 << 20);
            return false;
        }
    }
    std::string error;
    const std::string* content_type = req.header("Content-Type");
    if (content_type == nullptr) {
        reject(ctx, faults, kBadRequest, "Content-Type multipart/form-data is missing", *length);
        return false;
    }
    if (!boundary_from_content_type(*content_type, boundary, &error)) {
        reject(ctx, faults, kBadRequest, error, *length);
        return false;
    }
    return true;
}

// Answers "Expect: 100-continue" as the faults say; false when that answer
// ended the request.
bool answer_expect(RequestContext& ctx, const FaultSet& faults, uint64_t length) {
    const std::string* expect = ctx.request.header("Expect");
    if (expect == nullptr || !iequals(trim(*expect), "100-continue")) return true;
    if (faults.continue_status) {
        ctx.record.reset();
        ctx.conn.send_all(status_line(*faults.continue_status) + "Content-Length: 0\r\nConnection: close\r\n\r\n");
        ctx.conn.linger_close(length);
        return false;
    }
    if (faults.continue_then) {
        ctx.record.reset();
        ctx.conn.send_all("HTTP/1.1 100 Continue\r\n\r\n" + *faults.continue_then);
        ctx.conn.linger_close(length);
        return false;
    }
    return faults.withhold_continue || send_continue(ctx.conn, faults.continue_split_ms);
}

// Answers a body that did not arrive whole and well formed; false when the
// request has been dealt with.
bool settle_body(RequestContext& ctx, const FaultSet& faults, const BodyResult& body, const MultipartParser& parser,
                 uint64_t length) {
    const uint64_t unread = length - std::min(length, body.received);
    const std::string got = std::to_string(body.received) + " of " + std::to_string(length);
    switch (body.end) {
    case BodyEnd::Complete:
        return true;
    case BodyEnd::Malformed:
        reject(ctx, faults, kBadRequest,
               parser.error_from_sink() ? body.error : "malformed multipart body: " + body.error, unread);
        return false;
    case BodyEnd::CutShort:
        reject(ctx, faults, kBadRequest, "the body ended after " + got + " bytes announced by Content-Length", 0);
        return false;
    case BodyEnd::QuietTooLong:
        reject(ctx, faults, kBadRequest,
               "no body bytes for " + std::to_string(ctx.state.config.idle_timeout_ms / 1000) + " s after " + got +
                   " bytes announced by Content-Length",
               0);
        return false;
    case BodyEnd::HeldByFault:
        ctx.record.reset();
        ctx.conn.hold_unread(ctx.state.config.idle_timeout_ms);
        ctx.conn.close_now();
        return false;
    case BodyEnd::ClosedByFault:
        ctx.record.reset();
        close_by_fault(ctx.conn, faults);
        return false;
    case BodyEnd::Gone:
        ctx.record.reset();
        ctx.conn.close_now();
        return false;
    }
    return false;
}

void answer_exists(RequestContext& ctx, const FaultSet& faults, const FormSink& sink) {
    const auto& fields = sink.fields();
    if (fields.size() != 1 || fields.front().first != "file") {
        reject(ctx, faults, kBadRequest, "an exists check carries exactly one field, named \"file\"", 0);
        return;
    }
    bool exists = false;
    if (faults.exists) {
        exists = *faults.exists;
    } else {
        std::string relative, ignored;
        uint64_t size = 0;
        exists = relative_storage_path(fields.front().second, &relative, &ignored) &&
                 regular_file_size(join_path(ctx.state.config.store_dir, relative), &size);
    }
    Reply reply;
    reply.body = exists ? "1" : "0";
    if (verbose()) log_line("exists \"" + fields.front().second + "\" -> " + reply.body);
    answer(ctx, faults, reply);
}

void answer_upload(RequestContext& ctx, const FaultSet& faults, FormSink& sink, uint64_t length) {
    std::string stored_as, status, error;
    if (!sink.store(&stored_as, &status, &error)) {
        sink.discard();
        if (status == kBadRequest) {
            reject(ctx, faults, status, error, 0);
            return;
        }
        log_line("upload failed: " + error);
        Reply failure;
        failure.status = status;
        failure.content_type = "text/plain; charset=utf-8";
        failure.body = "the server could not store the file: " + error + "\n";
        answer(ctx, faults, failure);
        return;
    }
    if (verbose()) log_line("stored " + stored_as + " (" + std::to_string(length) + " body bytes)");
    Reply reply;
    reply.body = "|TS_UP_OK|";
    answer(ctx, faults, reply);
}

}  // namespace

void handle_post(RequestContext& ctx, RequestKind kind) {
    ServerState& state = ctx.state;
    ++(kind == KindUpload ? state.counters.uploads : state.counters.exists);
    const FaultSet faults = state.faults.take(kind);

    if (faults.close_after && *faults.close_after == 0) {
        // The close is the client's answer: the record is complete before it.
        ctx.record.reset();
        close_by_fault(ctx.conn, faults);
        return;
    }
    uint64_t length = 0;
    std::string boundary;
    if (!read_post_head(ctx, faults, &length, &boundary) || !answer_expect(ctx, faults, length)) return;

    const bool record_contents = length <= kFullRecordLimit;
    FormSink sink(state, ctx.record.get(), record_contents, kind == KindUpload);
    MultipartParser parser(boundary, &sink);
    BodyResult body = read_body(ctx, faults, length, record_contents, parser);
    if (body.end != BodyEnd::Complete) sink.discard();
    if (!settle_body(ctx, faults, body, parser, length)) return;
    if (kind == KindExists)
        answer_exists(ctx, faults, sink);
    else
        answer_upload(ctx, faults, sink, length);
}

}  // namespace mailserver
