#pragma once

#include <string>

#include "connection.h"
#include "faults.h"

namespace mailserver {

struct Reply {
    std::string status = "200 OK";
    std::string content_type = "text/html; charset=utf-8";
    std::string body;
    std::string extra_headers;  // complete lines, each ending in CRLF
};

// "HTTP/1.1 " + text, unless the text already is a whole status line.
std::string status_line(const std::string& status_text);

// The filler header line of the bighead fault; empty without it.
std::string filler_header(const FaultSet& faults);

// Sends a complete reply, shaped by the faults (status, body, chunked,
// nolength, split, interim, bighead, rawreply). Every reply ends the connection.
IoStatus send_reply(Connection& conn, const FaultSet& faults, Reply reply);

// Ends a connection that close_after or cut_after cuts short: in order, or
// abruptly (no TLS close_notify) for cut_after.
void close_by_fault(Connection& conn, const FaultSet& faults);

// Sends a reply that no fault may change (control routes).
IoStatus send_plain_reply(Connection& conn, const std::string& status, const std::string& body);

}  // namespace mailserver
