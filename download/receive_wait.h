// Waiting for the server's next bytes without waiting forever: the wait is
// cut into short slices so that the user's cancel (or anything else the
// worker must see) is noticed within a tenth of a second, and a server that
// sends nothing for the whole time-out is given up.
#pragma once
#include <cstdint>
#include <functional>

#include "common/clock.h"
#include "common/socket.h"

namespace parvex {

// As long as the upload side waits for a silent server.
constexpr uint32_t kDownloadSilentServerTimeoutMs = 5u * 60u * 1000u;
constexpr uint32_t kReceivePollSliceMs = 100;

enum class ByteWait { Ready, Interrupted, TimedOut, Failed };

// Ready: bytes (or the peer's close) wait to be received. Interrupted:
// interrupt() turned true first; it is asked before every slice. waiting,
// when given, gets the number of bytes known to wait (0 when not known): that
// many can be received without waiting again.
ByteWait WaitForBytes(Socket& socket, Clock& clock, uint32_t timeoutMs, const std::function<bool()>& interrupt,
                      long* waiting = nullptr);

}  // namespace parvex
