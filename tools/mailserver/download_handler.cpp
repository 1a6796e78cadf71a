// GET: files of the serve folder, streamed with sendfile unless a fault
// asks for pacing, a cut or a different framing.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "byte_ranges.h"
#include "upstream_relay.h"
#include "handlers.h"
#include "lifecycle.h"
#include "reply.h"
#include "storage.h"

namespace mailserver {
namespace {

// Copies count bytes from offset 0 of the file, paced by the throttle.
IoStatus SendPaced(Connection& conn, int fd, uint64_t done, uint64_t count, Throttle& throttle) {
    std::vector<char> block(256 * 1024);
    while (done < count) {
        size_t want = throttle.BlockLimit(static_cast<size_t>(std::min<uint64_t>(block.size(), count - done)));
        ssize_t r = ::pread(fd, block.data(), want, static_cast<off_t>(done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return IoStatus::Error;
        IoStatus st = conn.SendAll(block.data(), static_cast<size_t>(r));
        if (st != IoStatus::Ok) return st;
        done += static_cast<uint64_t>(r);
        if (!throttle.Account(static_cast<size_t>(r))) return IoStatus::Stopped;
    }
    return IoStatus::Ok;
}

void StreamFile(Connection& conn, const FaultSet& faults, int fd, const ServedPart& part, HoldGate& holds,
                int idleTimeoutMs, bool sayClose) {
    const uint64_t announced = faults.length ? *faults.length : part.count;
    const uint64_t content = std::min(part.count, announced);
    uint64_t toSend = content;
    if (faults.closeAfter) toSend = std::min(toSend, *faults.closeAfter);

    std::string head = StatusLine(faults.status ? *faults.status : part.Status());
    if (faults.interim) head = StatusLine(*faults.interim) + "\r\n" + head;
    head += "Content-Type: application/octet-stream\r\n" + part.head;
    head += FillerHeader(faults);
    std::string chunkHead, tail;
    if (faults.chunked) {
        head += "Transfer-Encoding: chunked\r\n";
        if (content > 0) {
            char sizeLine[32];
            std::snprintf(sizeLine, sizeof sizeLine, "%llx\r\n", static_cast<unsigned long long>(content));
            chunkHead = sizeLine;
            tail = "\r\n";
        }
        tail += "0\r\n\r\n";
    } else if (!faults.nolength) {
        head += "Content-Length: " + std::to_string(announced) + "\r\n";
    }
    head += sayClose ? "Connection: close\r\n\r\n" : "\r\n";
    const bool cut = toSend < content;
    if (cut) tail.clear();

    if (faults.holdHead && !holds.Wait([&] { return conn.PeerGone(); }, idleTimeoutMs)) return;
    if (faults.stall) {
        if (conn.SendAll(head) == IoStatus::Ok) conn.WaitForPeerClose();
        return;
    }
    if (faults.splitMs > 0) {
        if (conn.SendAll(head) != IoStatus::Ok) return;
        if (!lifecycle::SleepMs(faults.splitMs)) return;
        head.clear();
    }
    if (conn.SendAll(head + chunkHead) != IoStatus::Ok) return;

    Throttle throttle(faults.rate);
    // The bytes [from, to) of the part, paced when a rate is set.
    auto sendRange = [&](uint64_t from, uint64_t to) {
        if (throttle.Active()) return SendPaced(conn, fd, part.from + from, part.from + to, throttle);
        uint64_t sent = 0;
        return conn.SendFile(fd, part.from + from, to - from, &sent);
    };
    // A hold at or beyond the end holds nothing, as for uploads.
    const bool hold = faults.hold && *faults.hold < toSend;
    const uint64_t heldAt = hold ? *faults.hold : toSend;
    IoStatus st = heldAt > 0 ? sendRange(0, heldAt) : IoStatus::Ok;
    if (st == IoStatus::Ok && hold && !holds.Wait([&] { return conn.PeerGone(); }, idleTimeoutMs)) return;
    if (st == IoStatus::Ok && heldAt < toSend) st = sendRange(heldAt, toSend);
    if (st == IoStatus::Ok && !tail.empty()) conn.SendAll(tail);
}

// With the keepalive fault, a plain reply to a request that allows it
// leaves its connection open.
AfterReply ConnectionAfter(const HttpRequest& request, const FaultSet& faults) {
    const std::string* asked = request.Header("connection");
    bool mayKeep = !faults.shaped && request.version == "HTTP/1.1" && !faults.keepalive.empty() &&
                   faults.keepalive != "close" && !(asked && ToLower(*asked).find("close") != std::string::npos);
    if (!mayKeep) return AfterReply::Close;
    return faults.keepalive == "drop_next" ? AfterReply::DropNext : AfterReply::Keep;
}

}  // namespace

AfterReply HandleDownload(RequestContext& ctx) {
    // A GET has no body: its record is complete already.
    ctx.record.reset();
    ServerState& state = ctx.state;
    ++state.counters.downloads;
    if (ctx.record) ctx.record->Write(ctx.bodyStart);
    const FaultSet faults =
        state.faults.Take(static_cast<RequestKind>(KindDownload | (AsksRange(ctx.request) ? KindRanged : 0u)));
    if (!state.config.upstream.empty()) {
        RelayDownload(ctx, faults);
        return AfterReply::Close;
    }

    std::string path = ctx.request.target.substr(0, ctx.request.target.find('?'));
    path = UrlDecode(path, false);
    size_t skip = path.find_first_not_of('/');
    path = skip == std::string::npos ? std::string() : path.substr(skip);

    std::string relative, error;
    uint64_t size = 0;
    std::string full;
    OwnedFd file;
    if (RelativeStoragePath(path, &relative, &error)) {
        full = JoinPath(state.ServeDir(), relative);
        if (RegularFileSize(full, &size)) file.fd = ::open(full.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (file.fd < 0) {
        if (Verbose()) LogLine("GET " + ctx.request.target + " -> 404");
        Reply reply;
        reply.status = "404 Not Found";
        reply.contentType = "text/plain; charset=utf-8";
        reply.body = "no such file: /" + path + "\n";
        if (faults.stall) {
            ctx.conn.WaitForPeerClose();
            return AfterReply::Close;
        }
        SendReply(ctx.conn, faults, reply);
        ctx.conn.LingerClose(64 * 1024);
        return AfterReply::Close;
    }

    const AfterReply after = ConnectionAfter(ctx.request, faults);
    if (faults.body || faults.rawreply) {
        Reply reply;
        reply.contentType = "application/octet-stream";
        SendReply(ctx.conn, faults, reply);
    } else {
        struct stat st;
        FileVersion version = ::fstat(file.fd, &st) == 0 ? VersionOf(st) : FileVersion();
        ServedPart part = AnswerRange(ctx.request, size, version, faults);
        StreamFile(ctx.conn, faults, file.fd, part, state.holds, state.config.idleTimeoutMs,
                   after == AfterReply::Close || faults.keepalive == "claim_close");
    }
    if (after == AfterReply::Close) CloseByFault(ctx.conn, faults);
    if (faults.change) ChangeFile(full);
    return after;
}

}  // namespace mailserver
