// The module's TLS client: SChannel through SSPI.
#pragma once
#include <memory>
#include <string>

#include "tls.h"

namespace parvex {

// A session for host (UTF-8, no brackets), or null when the system has no
// TLS to offer (traced).
std::unique_ptr<TlsSession> StartSchannelSession(const std::string& host);

}  // namespace parvex
