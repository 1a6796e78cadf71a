// The peer of the module in the benchmark's https rows: the plainest
// blocking loop over SChannel, batched as the module batches: each send
// seals kTlsRecordsPerSend records of kTlsRecordBytes, each receive takes up
// to kTlsReceiveBytes of records. The cryptography and the check of the
// server's certificate are the module's own session (common/tls_win.h), so
// that what the rows compare is the transport loop.
//   parvex-bare-tls.exe upload PORT HOST FILE BLOCK-BYTES
//   parvex-bare-tls.exe download PORT HOST PATH OUTFILE BLOCK-BYTES
// HOST is the name the certificate is checked for; the connection goes to
// 127.0.0.1. Files are read and written in blocks of BLOCK-BYTES. Prints
// "bytes milliseconds" on success, exits 1 otherwise.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bare_loop_win.h"
#include "common/tls_socket.h"
#include "common/tls_win.h"

using namespace parvex::bench;
using parvex::TlsSession;

namespace {

class TlsChannel : public Channel {
public:
    TlsChannel(SOCKET s, TlsSession& session) : s_(s), session_(session), in_(parvex::kTlsReceiveBytes) {}

    // Until the server is verified; what came after its part stays in in_.
    bool Handshake() {
        for (;;) {
            size_t used = 0;
            std::string out;
            TlsSession::Status status = session_.Handshake(in_.data(), inCount_, &used, out);
            Consume(used);
            if (!out.empty() && !parvex::bench::SendAll(s_, out.data(), out.size())) return false;
            if (status == TlsSession::Status::Ok) return true;
            if (status != TlsSession::Status::NeedMore || !Receive()) return false;
        }
    }

    bool SendAll(const char* data, size_t size) override {
        const size_t batch = parvex::kTlsRecordBytes * parvex::kTlsRecordsPerSend;
        while (size > 0) {
            size_t n = size < batch ? size : batch;
            sealed_.clear();
            if (!session_.Seal(data, n, sealed_) || !parvex::bench::SendAll(s_, sealed_.data(), sealed_.size()))
                return false;
            data += n;
            size -= n;
        }
        return true;
    }

    int Recv(char* buffer, size_t size) override {
        while (openedAt_ == opened_.size()) {
            if (closed_) return 0;
            opened_.clear();
            openedAt_ = 0;
            size_t used = 0;
            TlsSession::Status status = session_.Open(in_.data(), inCount_, &used, opened_);
            Consume(used);
            if (status == TlsSession::Status::Failed) return -1;
            // A close without close_notify ends the stream too.
            if (status == TlsSession::Status::Closed || (status == TlsSession::Status::NeedMore && !Receive()))
                closed_ = true;
        }
        size_t n = opened_.size() - openedAt_ < size ? opened_.size() - openedAt_ : size;
        std::memcpy(buffer, opened_.data() + openedAt_, n);
        openedAt_ += n;
        return static_cast<int>(n);
    }

private:
    // Receives more records after those in in_; false at the end or on failure.
    bool Receive() {
        if (inCount_ == in_.size()) return false;
        int n = recv(s_, in_.data() + inCount_, static_cast<int>(in_.size() - inCount_), 0);
        if (n <= 0) return false;
        inCount_ += static_cast<size_t>(n);
        return true;
    }
    void Consume(size_t used) {
        std::memmove(in_.data(), in_.data() + used, inCount_ - used);
        inCount_ -= used;
    }

    SOCKET s_;
    TlsSession& session_;
    std::vector<char> in_;  // received records, inCount_ bytes not yet opened
    size_t inCount_ = 0;
    std::string sealed_;
    std::string opened_;  // plaintext, openedAt_ of it handed out
    size_t openedAt_ = 0;
    bool closed_ = false;
};

// The connection, the session and its handshake, then run(channel).
template <typename Run>
bool OverTls(int port, const char* host, Run run) {
    SOCKET s = ConnectToPeer(port);
    std::unique_ptr<TlsSession> session = s != INVALID_SOCKET ? parvex::StartSchannelSession(host) : nullptr;
    bool ok = false;
    if (session) {
        TlsChannel channel(s, *session);
        ok = channel.Handshake() && run(channel);
    }
    if (s != INVALID_SOCKET) closesocket(s);
    return ok;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: parvex-bare-tls.exe upload PORT HOST FILE BLOCK-BYTES\n"
                 "       parvex-bare-tls.exe download PORT HOST PATH OUTFILE BLOCK-BYTES\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    bool upload = argc == 6 && std::strcmp(argv[1], "upload") == 0;
    bool download = argc == 7 && std::strcmp(argv[1], "download") == 0;
    size_t block = upload || download ? std::strtoul(argv[argc - 1], nullptr, 10) : 0;
    if (block == 0) return Usage();
    int port = std::atoi(argv[2]);
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 1;
    long long bytes = -1, start = 0;
    if (upload) {
        HANDLE in = CreateFileA(argv[4], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        LARGE_INTEGER size = {};
        if (in == INVALID_HANDLE_VALUE || !GetFileSizeEx(in, &size)) {
            std::fprintf(stderr, "cannot read %s\n", argv[4]);
            return 1;
        }
        start = NowMs();
        if (OverTls(port, argv[3], [&](Channel& c) { return PostFile(c, in, size.QuadPart, block); }))
            bytes = size.QuadPart;
        CloseHandle(in);
    } else {
        start = NowMs();
        HANDLE file = CreateFileA(argv[5], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            OverTls(port, argv[3], [&](Channel& c) { return (bytes = FetchFile(c, argv[4], file, block)) >= 0; });
            CloseHandle(file);
        }
    }
    long long elapsed = NowMs() - start;
    WSACleanup();
    if (bytes < 0) {
        std::fprintf(stderr, "the bare %s over TLS failed\n", argv[1]);
        return 1;
    }
    std::printf("%lld %lld\n", bytes, elapsed);
    return 0;
}
