#include "tls.h"

#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "lifecycle.h"

namespace mailserver {
namespace {

// The oldest queued OpenSSL error as text, and the queue emptied.
std::string OpensslReason(const char* fallback) {
    unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return fallback;
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

// What a failed SSL call means for the connection. A blocking socket only
// wants more when its idle time-out passed (or a signal came between).
IoStatus FailureStatus(SSL* ssl, int result) {
    if (lifecycle::Stopping()) return IoStatus::Stopped;
    switch (SSL_get_error(ssl, result)) {
    case SSL_ERROR_ZERO_RETURN:
        return IoStatus::Closed;
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
        return errno == EINTR ? IoStatus::Ok : IoStatus::TimedOut;
    case SSL_ERROR_SYSCALL:
        return errno == 0 ? IoStatus::Closed : StatusFromErrno();
    default:
        ERR_clear_error();
        return IoStatus::Error;
    }
}

class TlsTransport : public Transport {
public:
    TlsTransport(SSL* ssl, int fd) : ssl_(ssl), fd_(fd) {}
    ~TlsTransport() override { SSL_free(ssl_); }

    IoStatus Read(char* buffer, size_t n, size_t* got) override {
        for (;;) {
            errno = 0;
            if (SSL_read_ex(ssl_, buffer, n, got) == 1) return IoStatus::Ok;
            IoStatus st = FailureStatus(ssl_, 0);
            if (st != IoStatus::Ok) return st;  // Ok here: interrupted, try again
        }
    }

    IoStatus Write(const char* data, size_t n) override {
        while (n > 0) {
            if (lifecycle::Stopping()) return IoStatus::Stopped;
            size_t done = 0;
            errno = 0;
            if (SSL_write_ex(ssl_, data, n, &done) != 1) {
                IoStatus st = FailureStatus(ssl_, 0);
                if (st != IoStatus::Ok) return st;
                continue;
            }
            data += done;
            n -= done;
        }
        return IoStatus::Ok;
    }

    IoStatus WriteFile(int fileFd, uint64_t offset, uint64_t count, uint64_t* sent) override {
        std::vector<char> block(256 * 1024);
        while (*sent < count) {
            size_t want = static_cast<size_t>(std::min<uint64_t>(block.size(), count - *sent));
            ssize_t r = ::pread(fileFd, block.data(), want, static_cast<off_t>(offset + *sent));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return IoStatus::Error;  // unreadable, or the file shrank under us
            IoStatus st = Write(block.data(), static_cast<size_t>(r));
            if (st != IoStatus::Ok) return st;
            *sent += static_cast<uint64_t>(r);
        }
        return IoStatus::Ok;
    }

    // Decrypted bytes, or a record on the socket that holds some. The peek
    // must not block, so the socket is non-blocking for its duration.
    bool InputWaiting() override {
        if (SSL_pending(ssl_) > 0) return true;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0) return false;
        const int flags = ::fcntl(fd_, F_GETFL);
        ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
        char probe;
        size_t got = 0;
        const bool waiting = SSL_peek_ex(ssl_, &probe, 1, &got) == 1;
        ::fcntl(fd_, F_SETFL, flags);
        ERR_clear_error();
        return waiting;
    }

    void SayGoodbye() override {
        if (SSL_shutdown(ssl_) < 0) ERR_clear_error();
    }

private:
    SSL* ssl_;
    int fd_;
};

// OpenSSL's number for a version as the command line writes it; 0 for none.
int VersionNumber(const std::string& version) {
    if (version == "1.0") return TLS1_VERSION;
    if (version == "1.1") return TLS1_1_VERSION;
    if (version == "1.2") return TLS1_2_VERSION;
    if (version == "1.3") return TLS1_3_VERSION;
    return 0;
}

// The versions spoken: 1.2 up to max, or an older max alone. OpenSSL 3
// refuses the old versions' SHA-1 signatures above security level 0.
bool LimitVersions(SSL_CTX* ctx, const std::string& maxVersion) {
    const int max = maxVersion.empty() ? TLS1_3_VERSION : VersionNumber(maxVersion);
    const bool old = max < TLS1_2_VERSION;
    if (old && SSL_CTX_set_cipher_list(ctx, "DEFAULT:@SECLEVEL=0") != 1) return false;
    return SSL_CTX_set_min_proto_version(ctx, old ? max : TLS1_2_VERSION) == 1 &&
           SSL_CTX_set_max_proto_version(ctx, max) == 1;
}

}  // namespace

bool TlsContext::KnownVersion(const std::string& version) { return VersionNumber(version) != 0; }

std::unique_ptr<TlsContext> TlsContext::Load(const std::string& chainFile, const std::string& keyFile,
                                             const std::string& maxVersion, std::string* error) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    std::unique_ptr<TlsContext> context(ctx ? new TlsContext(ctx) : nullptr);
    if (!context) {
        *error = OpensslReason("cannot make a TLS context");
        return nullptr;
    }
    if (!LimitVersions(ctx, maxVersion)) {
        *error = "cannot limit TLS to " + maxVersion + ": " + OpensslReason("refused");
        return nullptr;
    }
    // Each connection carries one request: tickets would only be bytes the
    // client may leave unread when it closes.
    SSL_CTX_set_num_tickets(ctx, 0);
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_OFF);
    // A client that closes without close_notify ends the stream like a plain
    // close; Content-Length tells whether the request was whole.
    SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_mode(ctx, SSL_MODE_AUTO_RETRY);
    if (SSL_CTX_use_certificate_chain_file(ctx, chainFile.c_str()) != 1) {
        *error = "cannot load the certificate chain " + chainFile + ": " + OpensslReason("unreadable");
        return nullptr;
    }
    if (SSL_CTX_use_PrivateKey_file(ctx, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
        *error = "cannot load the key " + keyFile + ": " + OpensslReason("unreadable");
        return nullptr;
    }
    if (SSL_CTX_check_private_key(ctx) != 1) {
        *error = "the key " + keyFile + " does not belong to the certificate in " + chainFile;
        ERR_clear_error();
        return nullptr;
    }
    return context;
}

TlsContext::~TlsContext() { SSL_CTX_free(ctx_); }

std::unique_ptr<Transport> TlsContext::Accept(int fd, std::string* error) const {
    SSL* ssl = SSL_new(ctx_);
    if (ssl == nullptr || SSL_set_fd(ssl, fd) != 1) {
        SSL_free(ssl);
        *error = OpensslReason("cannot start a TLS session");
        return nullptr;
    }
    for (;;) {
        errno = 0;
        const int r = SSL_accept(ssl);
        if (r == 1) return std::make_unique<TlsTransport>(ssl, fd);
        const int code = SSL_get_error(ssl, r);
        if ((code == SSL_ERROR_WANT_READ || code == SSL_ERROR_WANT_WRITE) && errno == EINTR && !lifecycle::Stopping())
            continue;
        if (lifecycle::Stopping())
            *error = "the server is stopping";
        else if (code == SSL_ERROR_WANT_READ || code == SSL_ERROR_WANT_WRITE)
            *error = "the client went quiet";
        else if (code == SSL_ERROR_SYSCALL && ERR_peek_error() == 0)
            *error =
                errno == 0 ? "the client closed the connection" : std::string("socket error ") + std::to_string(errno);
        else
            *error = OpensslReason("refused");
        ERR_clear_error();
        SSL_free(ssl);
        return nullptr;
    }
}

}  // namespace mailserver
