#pragma once

// Downloads passed on to another HTTP server (--upstream HOST:PORT, plain
// HTTP over IPv4), so that a real server's own ETag, Range and If-Range
// answers reach the client through this server's download faults:
// close_after and cut_after cut the relayed body after N bytes of each
// reply, validators=0 drops the validators, range_reply bends the answer to
// a ranged request, change alters the file in --serve (the upstream's
// folder) once the reply is sent.

#include "faults.h"
#include "handlers.h"

namespace mailserver {

// True for "HOST:PORT" with a numeric IPv4 host.
bool ParseUpstream(const std::string& text);

void RelayDownload(RequestContext& ctx, const FaultSet& faults);

}  // namespace mailserver
