// TlsSocket over a plain peer in memory and a session whose "records" are a
// tag, a two-byte length and the bytes as they are.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

#include "common/tls_socket.h"

using namespace parvex;

namespace {

std::string Record(char tag, const std::string& bytes) {
    return std::string(1, tag) + static_cast<char>(bytes.size() >> 8) + static_cast<char>(bytes.size() & 0xFF) + bytes;
}

// 'D' records carry data, 'C' is the close_notify, anything else is broken.
class FramingSession : public TlsSession {
public:
    Status Handshake(const char*, size_t, size_t* used, std::string&) override {
        *used = 0;
        return Status::Ok;
    }
    bool Seal(const char* data, size_t count, std::string& out) override {
        EXPECT_LE(count, kTlsRecordBytes * kTlsRecordsPerSend);
        for (size_t at = 0; at < count; at += kTlsRecordBytes)
            out += Record('D', std::string(data + at, std::min(kTlsRecordBytes, count - at)));
        return true;
    }
    Status Open(char* in, size_t inCount, size_t* used, std::string& out) override {
        *used = 0;
        Status status = Status::NeedMore;
        while (inCount - *used >= 3) {
            const unsigned char* head = reinterpret_cast<unsigned char*>(in + *used);
            size_t length = static_cast<size_t>(head[1] << 8 | head[2]);
            if (head[0] != 'D' && head[0] != 'C') return Status::Failed;
            if (inCount - *used < 3 + length) break;
            *used += 3 + length;
            if (head[0] == 'C') return Status::Closed;
            out.append(in + *used - length, length);
            status = Status::Ok;
        }
        return status;
    }
};

// The server's side of the plain connection: takes `room` bytes until its
// sender waits for room (the peer then reads some more), and hands out what
// it has queued at most `piece` bytes at a time.
class MemoryPeer : public Socket {
public:
    std::string received;  // from the client
    size_t room = 0;
    size_t roomPerWait = 10;
    std::string queued;  // for the client
    size_t piece = 1 << 20;
    bool closed = false;
    std::function<void()> onReceived;

    bool SendAll(const void* data, size_t count) override { return SendSome(data, count) == IoResult::Taken(count); }
    IoResult SendSome(const void* data, size_t count) override {
        size_t n = std::min(count, room);
        room -= n;
        received.append(static_cast<const char*>(data), n);
        if (n > 0 && onReceived) onReceived();
        return IoResult::Taken(n);
    }
    int WaitWritable(int) override {
        room += roomPerWait;
        return 1;
    }
    IoResult RecvSome(void* buffer, size_t count) override {
        if (queued.empty()) return closed ? IoResult::Closed() : IoResult::Later();
        size_t n = std::min({count, piece, queued.size()});
        queued.copy(static_cast<char*>(buffer), n);
        queued.erase(0, n);
        return IoResult::Received(n);
    }
    IoResult Recv(void* buffer, size_t count) override { return RecvSome(buffer, count); }
    long Available() override { return static_cast<long>(queued.size()); }
    int WaitReadable(int) override { return queued.empty() && !closed ? 0 : 1; }
    void Shutdown() override {}
};

// A bound for the waits, so that a fault shows as a failure, not a hang.
ServerWait Bounded() {
    ServerWait wait;
    wait.timeoutMs = 10000;
    return wait;
}

struct Connection {
    MemoryPeer* peer;
    std::unique_ptr<TlsSocket> tls;
};

Connection Connect(const std::string& early = std::string()) {
    auto peer = std::make_unique<MemoryPeer>();
    MemoryPeer* raw = peer.get();
    return {raw, std::make_unique<TlsSocket>(std::move(peer), std::make_unique<FramingSession>(), early)};
}

// Everything the client reads until the stream ends: its bytes, and how it ended.
std::string ReadToEnd(Socket& socket, IoStatus* end) {
    std::string text;
    char buffer[5];
    for (;;) {
        IoResult r = socket.RecvSome(buffer, sizeof buffer);
        if (r.status == IoStatus::Later) {
            if (WaitForBytes(socket, Bounded()) != WaitOutcome::Ready) break;
            continue;
        }
        if (!r.HasBytes()) {
            *end = r.status;
            break;
        }
        text.append(buffer, r.bytes);
    }
    return text;
}

}  // namespace

TEST(TlsSocket, RecordsThePeerHasNotTakenGoOutWhileTheCallerWaitsForTheReply) {
    Connection c = Connect();
    const std::string request = "POST /up HTTP/1.1\r\n\r\nlast bytes";
    const std::string sealed = Record('D', request);
    c.peer->room = 4;
    c.peer->onReceived = [&] {
        if (c.peer->received == sealed) c.peer->queued = Record('D', "HTTP/1.1 200 OK\r\n\r\n");
    };

    // The plaintext is taken whole; the record waits for room, and nothing
    // more is taken until it has gone.
    EXPECT_EQ(c.tls->SendSome(request.data(), request.size()), IoResult::Moved(request.size()));
    EXPECT_EQ(c.tls->SendSome("x", 1), IoResult::Later());
    // Waiting for the answer pushes the rest out; the answer then comes.
    ASSERT_EQ(WaitForBytes(*c.tls, Bounded()), WaitOutcome::Ready);
    EXPECT_EQ(c.peer->received, sealed);
    char reply[64];
    IoResult r = c.tls->RecvSome(reply, sizeof reply);
    EXPECT_EQ(std::string(reply, r.bytes), "HTTP/1.1 200 OK\r\n\r\n");

    // One send takes at most four records' worth; SendAll pushes every record.
    c.peer->received.clear();
    c.peer->room = 1 << 30;
    std::string big(kTlsRecordBytes * kTlsRecordsPerSend + 100, 'b');
    EXPECT_EQ(c.tls->SendSome(big.data(), big.size()), IoResult::Moved(kTlsRecordBytes * kTlsRecordsPerSend));
    c.peer->room = 7;
    ASSERT_TRUE(c.tls->SendAll("tail", 4));
    EXPECT_EQ(c.peer->received.size(), big.size() - 100 + 4 * 3 + Record('D', "tail").size());
    EXPECT_EQ(c.peer->received.substr(c.peer->received.size() - 7), Record('D', "tail"));
}

TEST(TlsSocket, OpensRecordsHoweverTheyArriveAndEndsOnEitherClose) {
    // Records that came with the handshake's end are read first, a partial
    // one completed by what follows; the bytes arrive a few at a time.
    const std::string first = Record('D', "hello "), second = Record('D', "TLS world");
    Connection c = Connect(first + second.substr(0, 2));
    c.peer->queued = second.substr(2) + Record('D', "!") + Record('C', "");
    c.peer->piece = 3;
    IoStatus end = IoStatus::Moved;
    EXPECT_EQ(ReadToEnd(*c.tls, &end), "hello TLS world!");
    EXPECT_EQ(end, IoStatus::Closed);

    // A close without close_notify ends the stream too: the reply's length
    // tells whether it was cut.
    c = Connect();
    c.peer->queued = Record('D', "partial");
    c.peer->closed = true;
    EXPECT_EQ(ReadToEnd(*c.tls, &end), "partial");
    EXPECT_EQ(end, IoStatus::Closed);

    // Bytes that are no record fail the socket, and it stays failed.
    c = Connect();
    c.peer->queued = "garbage";
    EXPECT_EQ(ReadToEnd(*c.tls, &end), "");
    EXPECT_EQ(end, IoStatus::Failed);
    EXPECT_EQ(c.tls->SendSome("x", 1), IoResult::Failed());
}
