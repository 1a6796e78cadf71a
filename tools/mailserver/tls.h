#pragma once

#include <memory>
#include <string>

#include "transport.h"

typedef struct ssl_ctx_st SSL_CTX;

namespace mailserver {

// The server's certificate chain and key, loaded once; TLS 1.2 or newer,
// or for tests of clients that must refuse them only an older version.
class TlsContext {
public:
    // chainFile holds the leaf first, then any intermediates or CA (PEM).
    // maxVersion ("1.0" to "1.3", empty for 1.3) is the newest version
    // spoken; below 1.2 that version alone, with the old ciphers it needs.
    static std::unique_ptr<TlsContext> Load(const std::string& chainFile, const std::string& keyFile,
                                            const std::string& maxVersion, std::string* error);
    static bool KnownVersion(const std::string& version);
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    // The server's half of a handshake on an accepted socket whose time-outs
    // are set; null with the reason when the client or the handshake failed.
    std::unique_ptr<Transport> Accept(int fd, std::string* error) const;

private:
    explicit TlsContext(SSL_CTX* ctx) : ctx_(ctx) {}
    SSL_CTX* ctx_;
};

// The first byte of a TLS handshake record; an HTTP request starts with a letter.
constexpr unsigned char kTlsHandshakeByte = 0x16;

}  // namespace mailserver
