#include <cstdio>

#include "handlers.h"
#include "reply.h"

namespace mailserver {
namespace {

bool g_verbose = false;

std::string PathPart(const std::string& target) { return target.substr(0, target.find('?')); }

// /__fault, /__reset, /__release, /__held, /__stats, /__connections and /__tls: the test harness's
// switchboard. These requests are neither counted, recorded nor subject to faults.
void HandleControl(Connection& conn, ServerState& state, const HttpRequest& req) {
    const std::string path = PathPart(req.target);
    if (path == "/__fault") {
        size_t q = req.target.find('?');
        std::string error;
        auto items =
            ParseQuery(q == std::string::npos ? std::string_view() : std::string_view(req.target).substr(q + 1));
        if (!state.faults.Add(items, &error)) {
            SendPlainReply(conn, "400 Bad Request", error + "\n");
            return;
        }
        if (Verbose()) LogLine("fault set: " + req.target);
        SendPlainReply(conn, "200 OK", "ok");
        return;
    }
    if (path == "/__reset") {
        state.faults.Clear();
        state.counters.Reset();
        state.holds.Reset();
        SendPlainReply(conn, "200 OK", "ok");
        return;
    }
    if (path == "/__release") {
        state.holds.Release();
        SendPlainReply(conn, "200 OK", "ok");
        return;
    }
    if (path == "/__held") {
        SendPlainReply(conn, "200 OK", "held=" + std::to_string(state.holds.Waiting()));
        return;
    }
    if (path == "/__stats") {
        const Counters& c = state.counters;
        SendPlainReply(conn, "200 OK",
                       "uploads=" + std::to_string(c.uploads.load()) + " exists=" + std::to_string(c.exists.load()) +
                           " downloads=" + std::to_string(c.downloads.load()) + " bad=" + std::to_string(c.bad.load()));
        return;
    }
    if (path == "/__connections") {
        SendPlainReply(conn, "200 OK", "connections=" + std::to_string(state.counters.connections.load()));
        return;
    }
    if (path == "/__tls") {
        const Counters& c = state.counters;
        SendPlainReply(conn, "200 OK",
                       "handshakes=" + std::to_string(c.handshakes.load()) +
                           " failed=" + std::to_string(c.handshakesFailed.load()));
        return;
    }
    SendPlainReply(conn, "404 Not Found", "unknown control route " + path + "\n");
}

}  // namespace

void SetVerbose(bool on) { g_verbose = on; }
bool Verbose() { return g_verbose; }

void LogLine(const std::string& text) {
    std::string line = "parvex-mailserver: " + text + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

void Reject(RequestContext& ctx, const FaultSet& faults, const std::string& status, const std::string& message,
            uint64_t drain) {
    // The record is complete before the client can see any answer.
    ctx.record.reset();
    ++ctx.state.counters.bad;
    LogLine(ctx.request.method + " " + ctx.request.target + " -> " + status + ": " + message);
    if (faults.stall) {
        ctx.conn.WaitForPeerClose();
        return;
    }
    Reply reply;
    reply.status = status;
    reply.contentType = "text/plain; charset=utf-8";
    reply.body = message + "\n";
    SendReply(ctx.conn, faults, reply);
    ctx.conn.LingerClose(drain);
}

namespace {

// A client of a TLS server that opens a handshake gets one; false when it
// failed, which leaves nothing more to do (no request byte came). A plain
// server drops such a client at once rather than leave it waiting for an
// answer to its handshake until one side's time-out.
bool SecureWhenAsked(Connection& conn, ServerState& state) {
    if (!conn.ClientOpensTls()) return true;
    std::string error = "this server speaks plain HTTP only";
    if (state.tls && conn.StartTls(*state.tls, &error)) {
        ++state.counters.handshakes;
        return true;
    }
    ++state.counters.handshakesFailed;
    LogLine("TLS handshake failed (no request bytes): " + error);
    return false;
}

// Plain HTTP to a TLS server reaches the control routes only, so that scripts
// can still switch faults with a plain GET; any other request is refused.
void RefusePlain(Connection& conn, ServerState& state, const HttpRequest& req, const std::string& bytes) {
    if (auto record = state.recorder.Begin(req.method, req.target)) record->Write(bytes);
    ++state.counters.bad;
    LogLine(req.method + " " + req.target + " -> 400: plain HTTP to a TLS server");
    SendPlainReply(conn, "400 Bad Request", "this server takes requests over TLS (https) only\n");
    conn.LingerClose(1 << 20);
}

// Reads the request head; false when there is nothing to serve: the head
// was too large (and is answered so) or never ended.
bool ReceiveHead(Connection& conn, ServerState& state, std::string* head, std::string* rest) {
    HeadStatus hs = ReadRequestHead(conn, head, rest);
    if (hs == HeadStatus::TooLarge) {
        ++state.counters.bad;
        LogLine("request head larger than 64 KiB");
        SendPlainReply(conn, "431 Request Header Fields Too Large", "the request head is larger than 64 KiB\n");
        conn.LingerClose(1 << 20);
        return false;
    }
    if (hs != HeadStatus::Ok) {
        // The bytes of a head that never ended are recorded too: the record
        // shows whether anything of a request arrived at all.
        if (!head->empty()) {
            if (auto record = state.recorder.Begin("-", "-")) record->Write(*head);
            if (Verbose()) LogLine("request head cut short after " + std::to_string(head->size()) + " bytes");
        }
        return false;
    }
    return true;
}

// One request of the connection and its reply; first: the connection's
// first request, which counts the connection.
AfterReply ServeRequest(Connection& conn, ServerState& state, bool first) {
    std::string head, rest;
    if (!ReceiveHead(conn, state, &head, &rest)) return AfterReply::Close;

    HttpRequest req;
    std::string error;
    if (!ParseRequestHead(head, &req, &error)) {
        if (auto record = state.recorder.Begin("-", "-")) record->Write(head + rest);
        ++state.counters.bad;
        LogLine("malformed request head: " + error);
        SendPlainReply(conn, "400 Bad Request", "malformed request head: " + error + "\n");
        conn.LingerClose(1 << 20);
        return AfterReply::Close;
    }

    if (req.method == "GET" && PathPart(req.target).compare(0, 3, "/__") == 0) {
        HandleControl(conn, state, req);
        return AfterReply::Close;
    }
    if (first) ++state.counters.connections;
    if (state.tls && !conn.Secure()) {
        RefusePlain(conn, state, req, head + rest);
        return AfterReply::Close;
    }

    RequestContext ctx{conn, state, req, std::move(rest), state.recorder.Begin(req.method, req.target)};
    if (ctx.record) ctx.record->Write(head);
    if (Verbose()) LogLine(req.method + " " + req.target);

    if (req.method == "GET") return HandleDownload(ctx);
    if (req.method == "POST") {
        HandlePost(ctx, StartsWith(req.target, state.config.existsPrefix) ? KindExists : KindUpload);
    } else {
        ++state.counters.bad;
        Reply reply;
        reply.status = "405 Method Not Allowed";
        reply.contentType = "text/plain; charset=utf-8";
        reply.extraHeaders = "Allow: GET, POST\r\n";
        reply.body = "only GET and POST are served\n";
        SendReply(conn, FaultSet{}, reply);
        conn.LingerClose(1 << 20);
    }
    return AfterReply::Close;
}

}  // namespace

void HandleConnection(int fd, ServerState& state) {
    Connection conn(fd, state.config.idleTimeoutMs);
    if (!SecureWhenAsked(conn, state)) return;
    AfterReply after = ServeRequest(conn, state, true);
    while (after == AfterReply::Keep) after = ServeRequest(conn, state, false);
    if (after == AfterReply::DropNext) {
        std::string head, rest;
        ReadRequestHead(conn, &head, &rest);
    }
}

}  // namespace mailserver
