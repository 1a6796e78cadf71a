// SChannel through SSPI, memory in and memory out. The server is never
// judged by SChannel (manual validation): once the handshake is through, and
// before Handshake reports Ok, the protocol and cipher it settled on and then
// CheckServerCertificate judge it, so not a byte of a request can go to a
// server that was not accepted.
#define SECURITY_WIN32
#define SCHANNEL_USE_BLACKLISTS
#include <windows.h>
#include <subauth.h>
#include <schannel.h>
#include <security.h>

#include "tls_win.h"

#include <algorithm>
#include <cstring>

#include "cert_check_win.h"
#include "format.h"
#include "trace.h"

namespace parvex {
namespace {

// TLS 1.2 and whatever newer the system offers.
constexpr DWORD kProtocols = SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT;
constexpr DWORD kCredentialFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
constexpr ULONG kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_MANUAL_CRED_VALIDATION |
                                ISC_REQ_USE_SUPPLIED_CREDS;

// Newer systems take the protocols as those switched off (SCH_CREDENTIALS);
// older ones and Wine only the older form, which names those allowed and
// knows no TLS 1.3.
SECURITY_STATUS AcquireCredentials(CredHandle* credentials) {
    TLS_PARAMETERS parameters{};
    parameters.grbitDisabledProtocols = ~kProtocols;
    SCH_CREDENTIALS current{};
    current.dwVersion = SCH_CREDENTIALS_VERSION;
    current.dwFlags = kCredentialFlags;
    current.cTlsParameters = 1;
    current.pTlsParameters = &parameters;
    SECURITY_STATUS status =
        AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr, &current,
                                  nullptr, nullptr, credentials, nullptr);
    if (status == SEC_E_OK) return status;
    SCHANNEL_CRED older{};
    older.dwVersion = SCHANNEL_CRED_VERSION;
    older.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    older.dwFlags = kCredentialFlags;
    return AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr, &older,
                                     nullptr, nullptr, credentials, nullptr);
}

// What a handshake must settle on. The protocols asked for at set-up are
// not enforced everywhere (Wine completes handshakes with servers that speak
// only TLS 1.0 or 1.1), so the outcome is judged as well.
constexpr DWORD kAcceptedProtocols = SP_PROT_TLS1_2 | SP_PROT_TLS1_3;
constexpr DWORD kLeastCipherBits = 128;

std::wstring ProtocolName(DWORD protocol) {
    if (protocol & SP_PROT_SSL2) return L"SSL 2.0";
    if (protocol & SP_PROT_SSL3) return L"SSL 3.0";
    if (protocol & SP_PROT_TLS1_0) return L"TLS 1.0";
    if (protocol & SP_PROT_TLS1_1) return L"TLS 1.1";
    return FormatText(L"protocol 0x%lX", static_cast<unsigned long>(protocol));
}

// True when the handshake of context settled on TLS 1.2 or newer with a
// cipher of at least kLeastCipherBits; the reason for a refusal is traced.
bool NegotiatedStrongEnough(CtxtHandle* context, const std::wstring& server) {
    SecPkgContext_ConnectionInfo info{};
    SECURITY_STATUS status = QueryContextAttributesW(context, SECPKG_ATTR_CONNECTION_INFO, &info);
    if (status != SEC_E_OK) {
        TraceFailure(L"TLS connection details of", server, status);
        return false;
    }
    if ((info.dwProtocol & kAcceptedProtocols) == 0) {
        TraceFailure(L"TLS refused the protocol of", server, SEC_E_ALGORITHM_MISMATCH,
                     ProtocolName(info.dwProtocol) + L" was negotiated; TLS 1.2 or newer is required");
        return false;
    }
    if (info.dwCipherStrength < kLeastCipherBits) {
        TraceFailure(L"TLS refused the cipher of", server, SEC_E_ALGORITHM_MISMATCH,
                     FormatText(L"a %lu-bit cipher was negotiated; %lu bits or more are required",
                                static_cast<unsigned long>(info.dwCipherStrength),
                                static_cast<unsigned long>(kLeastCipherBits)));
        return false;
    }
    return true;
}

SecBuffer Buffer(unsigned long type, void* data = nullptr, size_t count = 0) {
    SecBuffer b;
    b.cbBuffer = static_cast<unsigned long>(count);
    b.BufferType = type;
    b.pvBuffer = data;
    return b;
}

// The content type of a TLS 1.2 record that carries an alert. Wine opens
// the server's close_notify as an empty record instead of reporting the
// context expired; an alert that opens without error is that close (a fatal
// one fails to open).
constexpr unsigned char kAlertRecord = 21;

// How many bytes at the end of the input the call left unread.
size_t ExtraBytes(const SecBuffer* buffers, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (buffers[i].BufferType == SECBUFFER_EXTRA) return buffers[i].cbBuffer;
    return 0;
}

class SchannelSession : public TlsSession {
public:
    explicit SchannelSession(const std::string& host) : server_(ServerNameOf(host)) {}
    ~SchannelSession() override {
        if (haveContext_) DeleteSecurityContext(&context_);
        if (haveCredentials_) FreeCredentialsHandle(&credentials_);
    }

    bool Start() {
        SECURITY_STATUS status = AcquireCredentials(&credentials_);
        haveCredentials_ = status == SEC_E_OK;
        if (!haveCredentials_) TraceFailure(L"TLS credentials for", server_.name, status);
        return haveCredentials_;
    }

    Status Handshake(const char* in, size_t inCount, size_t* used, std::string& out) override {
        *used = 0;
        if (done_) return Status::Ok;
        // Several handshake messages may have come at once: each step takes
        // what it can, and only a step that took nothing needs the server.
        for (;;) {
            size_t taken = 0;
            Status status = Step(in + *used, inCount - *used, &taken, out);
            *used += taken;
            if (status != Status::NeedMore || taken == 0 || *used == inCount) return status;
        }
    }

    bool Seal(const char* data, size_t count, std::string& out) override {
        if (!done_) return false;
        size_t record = std::min<size_t>(sizes_.cbMaximumMessage, kTlsRecordBytes);
        while (count > 0) {
            size_t n = std::min(count, record);
            size_t start = out.size();
            out.resize(start + sizes_.cbHeader + n + sizes_.cbTrailer);
            char* at = &out[start];
            std::memcpy(at + sizes_.cbHeader, data, n);
            SecBuffer buffers[4] = {
                Buffer(SECBUFFER_STREAM_HEADER, at, sizes_.cbHeader), Buffer(SECBUFFER_DATA, at + sizes_.cbHeader, n),
                Buffer(SECBUFFER_STREAM_TRAILER, at + sizes_.cbHeader + n, sizes_.cbTrailer), Buffer(SECBUFFER_EMPTY)};
            SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
            SECURITY_STATUS status = EncryptMessage(&context_, 0, &desc, 0);
            if (status != SEC_E_OK) {
                TraceFailure(L"TLS encrypt for", server_.name, status);
                out.resize(start);
                return false;
            }
            // The trailer may come out shorter than the most it can take.
            out.resize(start + buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
            data += n;
            count -= n;
        }
        return true;
    }

    Status Open(char* in, size_t inCount, size_t* used, std::string& out) override {
        *used = 0;
        if (!done_) return Status::Failed;
        if (closed_) return Status::Closed;
        bool opened = false;
        while (*used < inCount) {
            size_t rest = inCount - *used;
            SecBuffer buffers[4] = {Buffer(SECBUFFER_DATA, in + *used, rest), Buffer(SECBUFFER_EMPTY),
                                    Buffer(SECBUFFER_EMPTY), Buffer(SECBUFFER_EMPTY)};
            SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
            bool alert = static_cast<unsigned char>(in[*used]) == kAlertRecord;
            SECURITY_STATUS status = DecryptMessage(&context_, &desc, 0, nullptr);
            if (status == SEC_E_INCOMPLETE_MESSAGE) break;
            if (status != SEC_E_OK && status != SEC_I_CONTEXT_EXPIRED && status != SEC_I_RENEGOTIATE) {
                TraceFailure(L"TLS decrypt from", server_.name, status);
                return Status::Failed;
            }
            for (const SecBuffer& b : buffers)
                if (b.BufferType == SECBUFFER_DATA) out.append(static_cast<const char*>(b.pvBuffer), b.cbBuffer);
            size_t extra = ExtraBytes(buffers, 4);
            *used += rest - extra;
            if (status == SEC_I_CONTEXT_EXPIRED || (status == SEC_E_OK && alert)) {
                // The server's close_notify, after what out holds already:
                // the server may keep the connection open, so the close is
                // told now rather than with a next call that waits for it.
                closed_ = true;
                return Status::Closed;
            }
            opened = true;
            if (status == SEC_I_RENEGOTIATE && !TakePostHandshake(in + *used, extra, used)) return Status::Failed;
        }
        return opened ? Status::Ok : Status::NeedMore;
    }

private:
    // One handshake step with what the server sent.
    Status Step(const char* in, size_t inCount, size_t* taken, std::string& out) {
        if (haveContext_ && inCount == 0) return Status::NeedMore;
        input_.assign(in, inCount);
        size_t extra = 0;
        SECURITY_STATUS status = Initialize(out, &extra);
        // A server that asks for a client certificate gets none: asked again,
        // the system goes on without.
        if (status == SEC_I_INCOMPLETE_CREDENTIALS) status = Initialize(out, &extra);
        if (status == SEC_E_INCOMPLETE_MESSAGE) return Status::NeedMore;
        if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) {
            TraceFailure(L"TLS handshake with", server_.name, status);
            return Status::Failed;
        }
        if (haveContext_) *taken = inCount - extra;
        haveContext_ = true;
        return status == SEC_E_OK ? Finish() : Status::NeedMore;
    }

    // One call of InitializeSecurityContext with input_ (none for the first):
    // appends the token for the server to out, *extra gets how many bytes
    // at the end of input_ it left.
    SECURITY_STATUS Initialize(std::string& out, size_t* extra) {
        SecBuffer inputs[2] = {Buffer(SECBUFFER_TOKEN, &input_[0], input_.size()), Buffer(SECBUFFER_EMPTY)};
        SecBufferDesc inDesc{SECBUFFER_VERSION, 2, inputs};
        SecBuffer outputs[1] = {Buffer(SECBUFFER_TOKEN)};
        SecBufferDesc outDesc{SECBUFFER_VERSION, 1, outputs};
        // The target name is what the server hears as SNI: none for an address.
        wchar_t* target = server_.isAddress ? nullptr : const_cast<wchar_t*>(server_.name.c_str());
        ULONG attributes = 0;
        SECURITY_STATUS status =
            InitializeSecurityContextW(&credentials_, haveContext_ ? &context_ : nullptr, target, kContextFlags, 0, 0,
                                       haveContext_ ? &inDesc : nullptr, 0, &context_, &outDesc, &attributes, nullptr);
        if (outputs[0].pvBuffer) {
            out.append(static_cast<const char*>(outputs[0].pvBuffer), outputs[0].cbBuffer);
            FreeContextBuffer(outputs[0].pvBuffer);
        }
        *extra = ExtraBytes(inputs, 2);
        return status;
    }

    // The handshake is through: the server is accepted or refused here.
    Status Finish() {
        if (!NegotiatedStrongEnough(&context_, server_.name)) return Status::Failed;
        PCCERT_CONTEXT certificate = nullptr;
        SECURITY_STATUS status = QueryContextAttributesW(&context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate);
        if (status != SEC_E_OK || !certificate) {
            TraceFailure(L"TLS certificate of", server_.name, status);
            return Status::Failed;
        }
        bool trusted = CheckServerCertificate(certificate, server_);
        CertFreeCertificateContext(certificate);
        if (!trusted) return Status::Failed;
        status = QueryContextAttributesW(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_);
        if (status != SEC_E_OK) {
            TraceFailure(L"TLS stream sizes for", server_.name, status);
            return Status::Failed;
        }
        done_ = true;
        return Status::Ok;
    }

    // DecryptMessage hands over a handshake message that came after the
    // handshake (a TLS 1.3 session ticket or key update) in the extra bytes.
    // Taking it needs no answer; a renegotiation would, and is refused.
    bool TakePostHandshake(const char* in, size_t count, size_t* used) {
        input_.assign(in, count);
        std::string reply;
        size_t extra = 0;
        SECURITY_STATUS status = Initialize(reply, &extra);
        if (status != SEC_E_OK || !reply.empty()) {
            TraceFailure(L"TLS renegotiation asked by", server_.name,
                         status == SEC_E_OK ? SEC_E_UNSUPPORTED_FUNCTION : status);
            return false;
        }
        *used += count - extra;
        return true;
    }

    ServerName server_;
    CredHandle credentials_{};
    CtxtHandle context_{};
    bool haveCredentials_ = false;
    bool haveContext_ = false;
    bool done_ = false;
    bool closed_ = false;
    SecPkgContext_StreamSizes sizes_{};
    std::string input_;  // a copy of the server's bytes: SSPI takes them unconst
};

}  // namespace

std::unique_ptr<TlsSession> StartSchannelSession(const std::string& host) {
    auto session = std::make_unique<SchannelSession>(host);
    if (!session->Start()) return nullptr;
    return session;
}

}  // namespace parvex
