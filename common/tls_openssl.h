// The native build's TLS: OpenSSL over memory buffers, the system's trust
// store (SSL_CERT_FILE honoured), TLS 1.2 or newer.
#pragma once
#include <memory>
#include <string>

#include "tls.h"

namespace parvex {

// A client session for host (UTF-8, no brackets: a name or an IP address);
// null when OpenSSL could not make one (traced).
std::unique_ptr<TlsSession> StartOpenSslSession(const std::string& host);

}  // namespace parvex
