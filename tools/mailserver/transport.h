#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace mailserver {

// Outcome of a socket operation. A peer that went away, a peer that went
// quiet and a server that is shutting down call for different reactions.
enum class IoStatus { Ok, Closed, TimedOut, Stopped, Error };

// The status of a failed socket call, from errno (and the stop flag).
IoStatus StatusFromErrno();

// How a connection's bytes travel: straight over the socket or inside TLS.
// The connection keeps the socket, its time-outs and its polling; every
// request and reply byte goes through here, so each fault works the same
// way over both.
class Transport {
public:
    virtual ~Transport() = default;
    // Reads what is available, at most n bytes (blocks until at least one).
    virtual IoStatus Read(char* buffer, size_t n, size_t* got) = 0;
    // Sends all n bytes.
    virtual IoStatus Write(const char* data, size_t n) = 0;
    // Sends count bytes of fileFd from offset; *sent says how many went out.
    virtual IoStatus WriteFile(int fileFd, uint64_t offset, uint64_t count, uint64_t* sent) = 0;
    // True when request bytes are already waiting (never blocks).
    virtual bool InputWaiting() = 0;
    // The orderly end of the sending side above the socket (TLS: the
    // close_notify alert); nothing for plain connections.
    virtual void SayGoodbye() = 0;
};

std::unique_ptr<Transport> MakePlainTransport(int fd);

}  // namespace mailserver
