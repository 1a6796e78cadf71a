#include "reply.h"

#include <cstdio>

#include "http_request.h"
#include "lifecycle.h"

namespace mailserver {

std::string status_line(const std::string& status_text) {
    if (starts_with(status_text, "HTTP/")) return status_text + "\r\n";
    return "HTTP/1.1 " + status_text + "\r\n";
}

std::string filler_header(const FaultSet& faults) {
    if (faults.bighead == 0) return std::string();
    return "X-Padding: " + std::string(faults.bighead, 'x') + "\r\n";
}

IoStatus send_reply(Connection& conn, const FaultSet& faults, Reply reply) {
    if (faults.rawreply) return conn.send_all(*faults.rawreply);
    if (faults.status) reply.status = *faults.status;
    if (faults.body) reply.body = *faults.body;

    std::string head = status_line(reply.status);
    if (faults.interim) head = status_line(*faults.interim) + "\r\n" + head;
    if (!reply.content_type.empty()) head += "Content-Type: " + reply.content_type + "\r\n";
    head += reply.extra_headers;
    head += filler_header(faults);
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

    if (faults.split_ms > 0) {
        IoStatus st = conn.send_all(head);
        if (st != IoStatus::Ok) return st;
        if (!lifecycle::sleep_ms(faults.split_ms)) return IoStatus::Stopped;
        return conn.send_all(body);
    }
    return conn.send_all(head + body);
}

void close_by_fault(Connection& conn, const FaultSet& faults) {
    if (faults.cut)
        conn.cut();
    else
        conn.close_now();
}

IoStatus send_plain_reply(Connection& conn, const std::string& status, const std::string& body) {
    Reply reply;
    reply.status = status;
    reply.content_type = "text/plain; charset=utf-8";
    reply.body = body;
    return send_reply(conn, FaultSet{}, reply);
}

}  // namespace mailserver
