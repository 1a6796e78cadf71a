// A TLS client session as the platform provides it: bytes in, bytes out, no
// socket of its own. OpenSSL natively, SChannel in the module. The core moves
// its bytes over a Socket with the same bounded waits as every other
// transfer, so the platform part holds only the cryptography and the check
// of the server's certificate.
#pragma once
#include <cstddef>
#include <string>

namespace parvex {

// The most plaintext one record carries, and how many records one send
// hands to the socket.
constexpr size_t kTlsRecordBytes = 16384;
constexpr size_t kTlsRecordsPerSend = 4;

class TlsSession {
public:
    enum class Status {
        Ok,        // done: the handshake finished, or records were opened
        NeedMore,  // more bytes from the server are needed first
        Closed,    // the server ended the session cleanly (close_notify)
        Failed,    // a protocol error or a refused certificate (traced)
    };
    virtual ~TlsSession() = default;
    // One handshake step. in/inCount: what has arrived from the server and
    // not been used yet; *used gets how much of it was consumed. What must
    // go to the server is appended to out. Ok only once the server's
    // certificate chain is trusted, current and names the host (or its IP
    // address); the reason for a refusal goes to the trace.
    virtual Status Handshake(const char* in, size_t inCount, size_t* used, std::string& out) = 0;
    // Seals count bytes of plaintext (at most kTlsRecordBytes *
    // kTlsRecordsPerSend) into records appended to out; false on failure.
    virtual bool Seal(const char* data, size_t count, std::string& out) = 0;
    // Opens the whole records at the front of in (which it may decrypt in
    // place), appending their plaintext to out; *used gets how much of in
    // was consumed. NeedMore when not one whole record is there.
    virtual Status Open(char* in, size_t inCount, size_t* used, std::string& out) = 0;
};

}  // namespace parvex
