#pragma once

#include <string>

#include "connection.h"
#include "faults.h"

namespace mailserver {

struct Reply {
    std::string status = "200 OK";
    std::string contentType = "text/html; charset=utf-8";
    std::string body;
    std::string extraHeaders;  // complete lines, each ending in CRLF
};

// "HTTP/1.1 " + text, unless the text already is a whole status line.
std::string StatusLine(const std::string& statusText);

// The filler header line of the bighead fault; empty without it.
std::string FillerHeader(const FaultSet& faults);

// Sends a complete reply, shaped by the faults (status, body, chunked,
// nolength, split, interim, bighead, rawreply). Every reply ends the connection.
IoStatus SendReply(Connection& conn, const FaultSet& faults, Reply reply);

// Ends a connection that close_after or cut_after cuts short: in order, or
// abruptly (no TLS close_notify) for cut_after.
void CloseByFault(Connection& conn, const FaultSet& faults);

// Sends a reply that no fault may change (control routes).
IoStatus SendPlainReply(Connection& conn, const std::string& status, const std::string& body);

}  // namespace mailserver
