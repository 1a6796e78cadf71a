#include "tls_openssl.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include "trace.h"
#include "utf8.h"

namespace parvex {
namespace {

// The last OpenSSL error of this thread, in the trace.
void TraceOpenSsl(const wchar_t* operation, const std::string& host) {
    unsigned long code = ERR_peek_last_error();
    char text[256] = "no detail";
    if (code != 0) ERR_error_string_n(code, text, sizeof text);
    TraceFailure(operation, FromUtf8(host), static_cast<long>(code), FromUtf8(text));
}

// One context for the process, so the trust store is read once: a test
// that sets SSL_CERT_FILE does so before its first https connection.
class ClientContext {
public:
    ClientContext() : context_(SSL_CTX_new(TLS_client_method())) {
        if (!context_) return;
        SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
        SSL_CTX_set_verify(context_, SSL_VERIFY_PEER, nullptr);
        // Without a trust store no server can be verified; each handshake
        // then fails and says why.
        if (SSL_CTX_set_default_verify_paths(context_) != 1) TraceOpenSsl(L"load the trust store for", "TLS");
    }
    ~ClientContext() { SSL_CTX_free(context_); }
    SSL_CTX* Get() const { return context_; }

private:
    SSL_CTX* context_;
};

bool IsIpAddress(const std::string& host) {
    unsigned char address[16];
    return inet_pton(AF_INET, host.c_str(), address) == 1 || inet_pton(AF_INET6, host.c_str(), address) == 1;
}

class OpenSslSession : public TlsSession {
public:
    OpenSslSession(SSL* ssl, std::string host) : ssl_(ssl), host_(std::move(host)) {}
    ~OpenSslSession() override { SSL_free(ssl_); }  // and its buffers

    Status Handshake(const char* in, size_t inCount, size_t* used, std::string& out) override {
        ERR_clear_error();
        if (!Feed(in, inCount, used)) return Status::Failed;
        int r = SSL_do_handshake(ssl_);
        Drain(out);
        if (r == 1) return Status::Ok;
        if (SSL_get_error(ssl_, r) == SSL_ERROR_WANT_READ) return Status::NeedMore;
        TraceRefusal();
        return Status::Failed;
    }

    bool Seal(const char* data, size_t count, std::string& out) override {
        ERR_clear_error();
        size_t written = 0;
        bool sealed = count == 0 || SSL_write_ex(ssl_, data, count, &written) == 1;
        if (!sealed) TraceOpenSsl(L"TLS send to", host_);
        Drain(out);
        return sealed;
    }

    Status Open(char* in, size_t inCount, size_t* used, std::string& out) override {
        ERR_clear_error();
        if (!Feed(in, inCount, used)) return Status::Failed;
        const size_t before = out.size();
        for (;;) {
            size_t at = out.size(), got = 0;
            out.resize(at + kTlsRecordBytes);
            int r = SSL_read_ex(ssl_, &out[at], kTlsRecordBytes, &got);
            out.resize(at + got);
            if (r == 1) continue;
            int error = SSL_get_error(ssl_, r);
            // What was opened comes first; the end is told on the next call.
            if (error == SSL_ERROR_WANT_READ) return out.size() > before ? Status::Ok : Status::NeedMore;
            if (error == SSL_ERROR_ZERO_RETURN) return out.size() > before ? Status::Ok : Status::Closed;
            TraceOpenSsl(L"TLS receive from", host_);
            return Status::Failed;
        }
    }

private:
    // The server's bytes into the session's input buffer, all of them.
    bool Feed(const char* in, size_t inCount, size_t* used) {
        *used = 0;
        if (inCount == 0) return true;
        if (BIO_write(SSL_get_rbio(ssl_), in, static_cast<int>(inCount)) != static_cast<int>(inCount)) {
            TraceOpenSsl(L"TLS buffer for", host_);
            return false;
        }
        *used = inCount;
        return true;
    }

    // What the session has for the server, appended to out.
    void Drain(std::string& out) {
        BIO* bio = SSL_get_wbio(ssl_);
        size_t pending = BIO_ctrl_pending(bio);
        if (pending == 0) return;
        size_t at = out.size();
        out.resize(at + pending);
        int n = BIO_read(bio, &out[at], static_cast<int>(pending));
        out.resize(at + static_cast<size_t>(n > 0 ? n : 0));
    }

    // Why the handshake failed: the certificate check's own words when it
    // refused the server (untrusted, expired, another name), else the
    // protocol's error.
    void TraceRefusal() {
        long verdict = SSL_get_verify_result(ssl_);
        if (verdict != X509_V_OK)
            TraceFailure(L"verify the certificate of", FromUtf8(host_), verdict,
                         FromUtf8(X509_verify_cert_error_string(verdict)));
        else
            TraceOpenSsl(L"TLS handshake with", host_);
    }

    SSL* ssl_;
    std::string host_;
};

}  // namespace

std::unique_ptr<TlsSession> StartOpenSslSession(const std::string& host) {
    static ClientContext context;
    ERR_clear_error();
    SSL* ssl = context.Get() ? SSL_new(context.Get()) : nullptr;
    BIO* in = BIO_new(BIO_s_mem());
    BIO* out = BIO_new(BIO_s_mem());
    if (!ssl || !in || !out) {
        TraceOpenSsl(L"TLS session for", host);
        BIO_free(in);
        BIO_free(out);
        SSL_free(ssl);
        return nullptr;
    }
    // An empty buffer means "more to come", not the end of the stream.
    BIO_set_mem_eof_return(in, -1);
    BIO_set_mem_eof_return(out, -1);
    SSL_set_bio(ssl, in, out);
    SSL_set_connect_state(ssl);
    // The name goes out as SNI and must be in the certificate; an IP
    // address goes out as nothing and must be among its IP addresses.
    bool checked = false;
    if (IsIpAddress(host)) {
        checked = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str()) == 1;
    } else {
        SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        checked = SSL_set1_host(ssl, host.c_str()) == 1 && SSL_set_tlsext_host_name(ssl, host.c_str()) == 1;
    }
    if (!checked) {
        TraceOpenSsl(L"TLS name check for", host);
        SSL_free(ssl);
        return nullptr;
    }
    return std::make_unique<OpenSslSession>(ssl, host);
}

}  // namespace parvex
