// A Socket that speaks TLS over a connected plain Socket, so that the HTTP
// writers and readers above stay as they are. The platform's TlsSession does
// the cryptography; this class moves its bytes with the plain socket's
// non-blocking calls.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "socket.h"
#include "tls.h"

namespace parvex {

// Ciphertext is received this much at a time: several whole records.
constexpr size_t kTlsReceiveBytes = 64 * 1024 + 1024;

// Runs the handshake of session over plain until the server is verified, in
// slices that see the cancel, for at most limitMs. Bytes the server sent
// after its part of the handshake are left in early (the first records).
// Failed when the session refused the server or the peer failed or closed.
// peer names the server in the trace.
WaitOutcome RunTlsHandshake(Socket& plain, TlsSession& session, const ServerWait& wait, uint32_t limitMs,
                            const std::wstring& peer, std::string& early);

class TlsSocket : public Socket {
public:
    // plain is connected and session's handshake done; early as
    // RunTlsHandshake left it.
    TlsSocket(std::unique_ptr<Socket> plain, std::unique_ptr<TlsSession> session, const std::string& early);

    bool SendAll(const void* data, size_t count) override;
    IoResult Recv(void* buffer, size_t count) override;
    // Plaintext ready to be read without waiting.
    long Available() override;
    int WaitReadable(int timeoutMs) override;
    void Shutdown() override { plain_->Shutdown(); }
    IoResult RecvSome(void* buffer, size_t count) override;
    // Takes up to kTlsRecordsPerSend records' worth of plaintext once every
    // record sealed before has gone to the plain socket; Later until then.
    IoResult SendSome(const void* data, size_t count) override;
    int WaitWritable(int timeoutMs) override;
    void SetSendBuffer(int bytes) override { plain_->SetSendBuffer(bytes); }
    long IdealSendBacklog() override { return plain_->IdealSendBacklog(); }

private:
    // Hands held ciphertext to the plain socket as far as it takes it; false
    // when it failed.
    bool Push();
    bool Holding() const { return sentOut_ < out_.size(); }
    size_t Opened() const { return opened_.size() - openedAt_; }
    // Receives what has arrived and opens its records: the plaintext bytes
    // now ready, Closed once the server closed, Later when no whole record
    // is there yet, Failed on failure.
    IoResult Pull();
    IoResult Fail() {
        failed_ = true;
        return IoResult::Failed();
    }

    std::unique_ptr<Socket> plain_;
    std::unique_ptr<TlsSession> session_;
    std::string out_;  // sealed records; sentOut_ of them taken by the plain socket
    size_t sentOut_ = 0;
    std::vector<char> in_;  // received ciphertext, inCount_ bytes not yet opened
    size_t inCount_ = 0;
    bool early_ = false;  // in_ holds what came with the handshake's end, not yet opened
    std::string opened_;  // plaintext; openedAt_ of it handed out
    size_t openedAt_ = 0;
    bool closed_ = false;  // the server ended the session, with close_notify or without
    bool failed_ = false;  // the session or the plain socket failed: every later call fails
};

}  // namespace parvex
