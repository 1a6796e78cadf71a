// GET: files of the serve folder, streamed with sendfile unless a fault
// asks for pacing, a cut or a different framing.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "handlers.h"
#include "lifecycle.h"
#include "reply.h"
#include "storage.h"

namespace mailserver {
namespace {

struct FileHandle {
    int fd = -1;
    ~FileHandle() {
        if (fd >= 0) ::close(fd);
    }
};

// Copies count bytes from offset 0 of the file, paced by the throttle.
IoStatus send_paced(Connection& conn, int fd, uint64_t done, uint64_t count, Throttle& throttle) {
    std::vector<char> block(256 * 1024);
    while (done < count) {
        size_t want = throttle.block_limit(static_cast<size_t>(std::min<uint64_t>(block.size(), count - done)));
        ssize_t r = ::pread(fd, block.data(), want, static_cast<off_t>(done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return IoStatus::Error;
        IoStatus st = conn.send_all(block.data(), static_cast<size_t>(r));
        if (st != IoStatus::Ok) return st;
        done += static_cast<uint64_t>(r);
        if (!throttle.account(static_cast<size_t>(r))) return IoStatus::Stopped;
    }
    return IoStatus::Ok;
}

void stream_file(Connection& conn, const FaultSet& faults, int fd, uint64_t size, HoldGate& holds,
                 int idle_timeout_ms, bool say_close) {
    const uint64_t announced = faults.length ? *faults.length : size;
    const uint64_t content = std::min(size, announced);
    uint64_t to_send = content;
    if (faults.close_after) to_send = std::min(to_send, *faults.close_after);

    std::string head = status_line(faults.status ? *faults.status : "200 OK");
    if (faults.interim) head = status_line(*faults.interim) + "\r\n" + head;
    head += "Content-Type: application/octet-stream\r\n";
    head += filler_header(faults);
    std::string chunk_head, tail;
    if (faults.chunked) {
        head += "Transfer-Encoding: chunked\r\n";
        if (content > 0) {
            char size_line[32];
            std::snprintf(size_line, sizeof size_line, "%llx\r\n", static_cast<unsigned long long>(content));
            chunk_head = size_line;
            tail = "\r\n";
        }
        tail += "0\r\n\r\n";
    } else if (!faults.nolength) {
        head += "Content-Length: " + std::to_string(announced) + "\r\n";
    }
    head += say_close ? "Connection: close\r\n\r\n" : "\r\n";
    const bool cut = to_send < content;
    if (cut) tail.clear();

    if (faults.stall) {
        if (conn.send_all(head) == IoStatus::Ok) conn.wait_for_peer_close();
        return;
    }
    if (faults.split_ms > 0) {
        if (conn.send_all(head) != IoStatus::Ok) return;
        if (!lifecycle::sleep_ms(faults.split_ms)) return;
        head.clear();
    }
    if (conn.send_all(head + chunk_head) != IoStatus::Ok) return;

    Throttle throttle(faults.rate);
    // The bytes [from, to) of the file, paced when a rate is set.
    auto send_range = [&](uint64_t from, uint64_t to) {
        if (throttle.active()) return send_paced(conn, fd, from, to, throttle);
        uint64_t sent = 0;
        return conn.send_file(fd, from, to - from, &sent);
    };
    // A hold at or beyond the end holds nothing, as for uploads.
    const bool hold = faults.hold && *faults.hold < to_send;
    const uint64_t held_at = hold ? *faults.hold : to_send;
    IoStatus st = held_at > 0 ? send_range(0, held_at) : IoStatus::Ok;
    if (st == IoStatus::Ok && hold && !holds.wait([&] { return conn.peer_gone(); }, idle_timeout_ms)) return;
    if (st == IoStatus::Ok && held_at < to_send) st = send_range(held_at, to_send);
    if (st == IoStatus::Ok && !tail.empty()) conn.send_all(tail);
}

// With the keepalive fault, a plain reply to a request that allows it
// leaves its connection open.
AfterReply after_reply(const HttpRequest& request, const FaultSet& faults) {
    const std::string* asked = request.header("connection");
    bool may_keep = !faults.shaped && request.version == "HTTP/1.1" && !faults.keepalive.empty() &&
                    faults.keepalive != "close" && !(asked && to_lower(*asked).find("close") != std::string::npos);
    if (!may_keep) return AfterReply::Close;
    return faults.keepalive == "drop_next" ? AfterReply::DropNext : AfterReply::Keep;
}

}  // namespace

AfterReply handle_download(RequestContext& ctx) {
    // A GET has no body: its record is complete already.
    ctx.record.reset();
    ServerState& state = ctx.state;
    ++state.counters.downloads;
    if (ctx.record) ctx.record->write(ctx.body_start);
    const FaultSet faults = state.faults.take(KindDownload);

    std::string path = ctx.request.target.substr(0, ctx.request.target.find('?'));
    path = url_decode(path, false);
    size_t skip = path.find_first_not_of('/');
    path = skip == std::string::npos ? std::string() : path.substr(skip);

    std::string relative, error;
    uint64_t size = 0;
    std::string full;
    FileHandle file;
    if (relative_storage_path(path, &relative, &error)) {
        full = join_path(state.serve_dir(), relative);
        if (regular_file_size(full, &size)) file.fd = ::open(full.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (file.fd < 0) {
        if (verbose()) log_line("GET " + ctx.request.target + " -> 404");
        Reply reply;
        reply.status = "404 Not Found";
        reply.content_type = "text/plain; charset=utf-8";
        reply.body = "no such file: /" + path + "\n";
        if (faults.stall) {
            ctx.conn.wait_for_peer_close();
            return AfterReply::Close;
        }
        send_reply(ctx.conn, faults, reply);
        ctx.conn.linger_close(64 * 1024);
        return AfterReply::Close;
    }

    const AfterReply after = after_reply(ctx.request, faults);
    if (faults.body || faults.rawreply) {
        Reply reply;
        reply.content_type = "application/octet-stream";
        send_reply(ctx.conn, faults, reply);
    } else {
        stream_file(ctx.conn, faults, file.fd, size, state.holds, state.config.idle_timeout_ms,
                    after == AfterReply::Close || faults.keepalive == "claim_close");
    }
    if (after == AfterReply::Close) close_by_fault(ctx.conn, faults);
    return after;
}

}  // namespace mailserver
