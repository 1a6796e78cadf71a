#include "reply.h"

#include <cstdio>

#include "http_request.h"
#include "lifecycle.h"

namespace mailserver {

std::string StatusLine(const std::string& statusText) {
    if (StartsWith(statusText, "HTTP/")) return statusText + "\r\n";
    return "HTTP/1.1 " + statusText + "\r\n";
}

std::string FillerHeader(const FaultSet& faults) {
    if (faults.bighead == 0) return std::string();
    return "X-Padding: " + std::string(faults.bighead, 'x') + "\r\n";
}

IoStatus SendReply(Connection& conn, const FaultSet& faults, Reply reply) {
    if (faults.rawreply) return conn.SendAll(*faults.rawreply);
    if (faults.status) reply.status = *faults.status;
    if (faults.body) reply.body = *faults.body;

    std::string head = StatusLine(reply.status);
    if (faults.interim) head = StatusLine(*faults.interim) + "\r\n" + head;
    if (!reply.contentType.empty()) head += "Content-Type: " + reply.contentType + "\r\n";
    head += reply.extraHeaders;
    head += FillerHeader(faults);
    std::string body;
    if (faults.chunked) {
        head += "Transfer-Encoding: chunked\r\n";
        if (!reply.body.empty()) {
            char size[32];
            std::snprintf(size, sizeof size, "%zx\r\n", reply.body.size());
            body = size + reply.body + "\r\n";
        }
        body += "0\r\n\r\n";
    } else {
        if (!faults.nolength) head += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
        body = reply.body;
    }
    head += "Connection: close\r\n\r\n";

    if (faults.splitMs > 0) {
        IoStatus st = conn.SendAll(head);
        if (st != IoStatus::Ok) return st;
        if (!lifecycle::SleepMs(faults.splitMs)) return IoStatus::Stopped;
        return conn.SendAll(body);
    }
    return conn.SendAll(head + body);
}

void CloseByFault(Connection& conn, const FaultSet& faults) {
    if (faults.cut)
        conn.Cut();
    else
        conn.CloseNow();
}

IoStatus SendPlainReply(Connection& conn, const std::string& status, const std::string& body) {
    Reply reply;
    reply.status = status;
    reply.contentType = "text/plain; charset=utf-8";
    reply.body = body;
    return SendReply(conn, FaultSet{}, reply);
}

}  // namespace mailserver
