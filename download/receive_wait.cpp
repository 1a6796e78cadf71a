#include "receive_wait.h"

#include <algorithm>

namespace parvex {

ByteWait WaitForBytes(Socket& socket, Clock& clock, uint32_t timeoutMs, const std::function<bool()>& interrupt,
                      long* waiting) {
    if (waiting) *waiting = 0;
    if (interrupt()) return ByteWait::Interrupted;
    // Bytes already waiting need no wait, and during a transfer they nearly
    // always are; their count lets the caller skip the next questions too.
    long available = socket.Available();
    if (available > 0) {
        if (waiting) *waiting = available;
        return ByteWait::Ready;
    }
    const uint32_t start = clock.TickMs();
    for (;;) {
        if (interrupt()) return ByteWait::Interrupted;
        uint32_t waited = clock.TickMs() - start;
        if (waited >= timeoutMs) return ByteWait::TimedOut;
        uint32_t slice = std::min(kReceivePollSliceMs, timeoutMs - waited);
        int r = socket.WaitReadable(static_cast<int>(slice));
        if (r < 0) return ByteWait::Failed;
        if (r > 0) return ByteWait::Ready;
    }
}

}  // namespace parvex
