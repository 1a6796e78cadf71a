#include <cstdio>

#include "handlers.h"
#include "reply.h"

namespace mailserver {
namespace {

bool g_verbose = false;

std::string path_part(const std::string& target) { return target.substr(0, target.find('?')); }

// /__fault, /__reset, /__release, /__held, /__stats, /__connections and /__tls: the test harness's
// switchboard. These requests are neither counted, recorded nor subject to faults.
void handle_control(Connection& conn, ServerState& state, const HttpRequest& req) {
    const std::string path = path_part(req.target);
    if (path == "/__fault") {
        size_t q = req.target.find('?');
        std::string error;
        auto items =
            parse_query(q == std::string::npos ? std::string_view() : std::string_view(req.target).substr(q + 1));
        if (!state.faults.add(items, &error)) {
            send_plain_reply(conn, "400 Bad Request", error + "\n");
            return;
        }
        if (verbose()) log_line("fault set: " + req.target);
        send_plain_reply(conn, "200 OK", "ok");
        return;
    }
    if (path == "/__reset") {
        state.faults.clear();
        state.counters.reset();
        state.holds.reset();
        send_plain_reply(conn, "200 OK", "ok");
        return;
    }
    if (path == "/__release") {
        state.holds.release();
        send_plain_reply(conn, "200 OK", "ok");
        return;
    }
    if (path == "/__held") {
        send_plain_reply(conn, "200 OK", "held=" + std::to_string(state.holds.waiting()));
        return;
    }
    if (path == "/__stats") {
        const Counters& c = state.counters;
        send_plain_reply(conn, "200 OK",
                         "uploads=" + std::to_string(c.uploads.load()) + " exists=" + std::to_string(c.exists.load()) +
                             " downloads=" + std::to_string(c.downloads.load()) +
                             " bad=" + std::to_string(c.bad.load()));
        return;
    }
    if (path == "/__connections") {
        send_plain_reply(conn, "200 OK", "connections=" + std::to_string(state.counters.connections.load()));
        return;
    }
    if (path == "/__tls") {
        const Counters& c = state.counters;
        send_plain_reply(conn, "200 OK",
                         "handshakes=" + std::to_string(c.handshakes.load()) +
                             " failed=" + std::to_string(c.handshakes_failed.load()));
        return;
    }
    send_plain_reply(conn, "404 Not Found", "unknown control route " + path + "\n");
}

}  // namespace

void set_verbose(bool on) { g_verbose = on; }
bool verbose() { return g_verbose; }

void log_line(const std::string& text) {
    std::string line = "parvex-mailserver: " + text + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

void reject(RequestContext& ctx, const FaultSet& faults, const std::string& status, const std::string& message,
            uint64_t drain) {
    // The record is complete before the client can see any answer.
    ctx.record.reset();
    ++ctx.state.counters.bad;
    log_line(ctx.request.method + " " + ctx.request.target + " -> " + status + ": " + message);
    if (faults.stall) {
        ctx.conn.wait_for_peer_close();
        return;
    }
    Reply reply;
    reply.status = status;
    reply.content_type = "text/plain; charset=utf-8";
    reply.body = message + "\n";
    send_reply(ctx.conn, faults, reply);
    ctx.conn.linger_close(drain);
}

namespace {

// A client of a TLS server that opens a handshake gets one; false when it
// failed, which leaves nothing more to do (no request byte came). A plain
// server drops such a client at once rather than leave it waiting for an
// answer to its handshake until one side's time-out.
bool secure_when_asked(Connection& conn, ServerState& state) {
    if (!conn.client_opens_tls()) return true;
    std::string error = "this server speaks plain HTTP only";
    if (state.tls && conn.start_tls(*state.tls, &error)) {
        ++state.counters.handshakes;
        return true;
    }
    ++state.counters.handshakes_failed;
    log_line("TLS handshake failed (no request bytes): " + error);
    return false;
}

// Plain HTTP to a TLS server reaches the control routes only, so that scripts
// can still switch faults with a plain GET; any other request is refused.
void refuse_plain(Connection& conn, ServerState& state, const HttpRequest& req, const std::string& bytes) {
    if (auto record = state.recorder.begin(req.method, req.target)) record->write(bytes);
    ++state.counters.bad;
    log_line(req.method + " " + req.target + " -> 400: plain HTTP to a TLS server");
    send_plain_reply(conn, "400 Bad Request", "this server takes requests over TLS (https) only\n");
    conn.linger_close(1 << 20);
}

// One request of the connection and its reply; first: the connection's
// first request, which counts the connection.
AfterReply serve_request(Connection& conn, ServerState& state, bool first) {
    std::string head, rest;
    HeadStatus hs = read_request_head(conn, &head, &rest);
    if (hs == HeadStatus::TooLarge) {
        ++state.counters.bad;
        log_line("request head larger than 64 KiB");
        send_plain_reply(conn, "431 Request Header Fields Too Large", "the request head is larger than 64 KiB\n");
        conn.linger_close(1 << 20);
        return AfterReply::Close;
    }
    if (hs != HeadStatus::Ok) {
        // The bytes of a head that never ended are recorded too: the record
        // shows whether anything of a request arrived at all.
        if (!head.empty()) {
            if (auto record = state.recorder.begin("-", "-")) record->write(head);
            if (verbose()) log_line("request head cut short after " + std::to_string(head.size()) + " bytes");
        }
        return AfterReply::Close;
    }

    HttpRequest req;
    std::string error;
    if (!parse_request_head(head, &req, &error)) {
        if (auto record = state.recorder.begin("-", "-")) record->write(head + rest);
        ++state.counters.bad;
        log_line("malformed request head: " + error);
        send_plain_reply(conn, "400 Bad Request", "malformed request head: " + error + "\n");
        conn.linger_close(1 << 20);
        return AfterReply::Close;
    }

    if (req.method == "GET" && path_part(req.target).compare(0, 3, "/__") == 0) {
        handle_control(conn, state, req);
        return AfterReply::Close;
    }
    if (first) ++state.counters.connections;
    if (state.tls && !conn.secure()) {
        refuse_plain(conn, state, req, head + rest);
        return AfterReply::Close;
    }

    RequestContext ctx{conn, state, req, std::move(rest), state.recorder.begin(req.method, req.target)};
    if (ctx.record) ctx.record->write(head);
    if (verbose()) log_line(req.method + " " + req.target);

    if (req.method == "GET") return handle_download(ctx);
    if (req.method == "POST") {
        handle_post(ctx, starts_with(req.target, state.config.exists_prefix) ? KindExists : KindUpload);
    } else {
        ++state.counters.bad;
        Reply reply;
        reply.status = "405 Method Not Allowed";
        reply.content_type = "text/plain; charset=utf-8";
        reply.extra_headers = "Allow: GET, POST\r\n";
        reply.body = "only GET and POST are served\n";
        send_reply(conn, FaultSet{}, reply);
        conn.linger_close(1 << 20);
    }
    return AfterReply::Close;
}

}  // namespace

void handle_connection(int fd, ServerState& state) {
    Connection conn(fd, state.config.idle_timeout_ms);
    if (!secure_when_asked(conn, state)) return;
    AfterReply after = serve_request(conn, state, true);
    while (after == AfterReply::Keep) after = serve_request(conn, state, false);
    if (after == AfterReply::DropNext) {
        std::string head, rest;
        read_request_head(conn, &head, &rest);
    }
}

}  // namespace mailserver
