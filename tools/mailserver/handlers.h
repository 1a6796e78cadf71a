#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "connection.h"
#include "faults.h"
#include "http_request.h"
#include "recorder.h"
#include "server_state.h"

namespace mailserver {

// Serves one accepted connection: one request and its reply, then the next
// over the same connection for as long as the downloads keep it open.
void HandleConnection(int fd, ServerState& state);

// What a reply leaves of its connection (the keepalive fault, faults.h).
enum class AfterReply { Close, Keep, DropNext };

// What the route handlers share about the request being served.
struct RequestContext {
    Connection& conn;
    ServerState& state;
    const HttpRequest& request;
    std::string bodyStart;  // bytes that arrived together with the head
    std::unique_ptr<RequestRecord> record;
};

void HandlePost(RequestContext& ctx, RequestKind kind);
AfterReply HandleDownload(RequestContext& ctx);

// Turns down a malformed request: counted as bad, answered (unless a stall
// fault swallows the answer), then the connection is closed after draining
// up to `drain` unread request bytes.
void Reject(RequestContext& ctx, const FaultSet& faults, const std::string& status, const std::string& message,
            uint64_t drain);

void LogLine(const std::string& text);
void SetVerbose(bool verbose);
bool Verbose();

}  // namespace mailserver
