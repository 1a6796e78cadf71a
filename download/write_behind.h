// Received bytes written to the file on a thread of their own, a few blocks
// behind the receiver, so that writing one block and receiving the next
// overlap: under Wine each receive waits for the Wine server, and a slow
// disk would otherwise hold the connection up at every block.
#pragma once
#include <cstddef>

#include "common/block_ring.h"
#include "partial_file.h"

namespace parvex {

class WriteBehind {
public:
    // Writes to partial, which belongs to the writer from the first
    // Received to the next Flush. A body of at most one block is written by
    // the receiver itself. Destroyed, it abandons what it has not written.
    WriteBehind(PartialFile& partial, double expectedBytes, size_t blockBytes);

    // Where to receive next, and how much fits there; null when a write
    // failed (Flush then says so).
    char* Room(size_t& count);
    // count bytes were received into the room; a full block goes to the
    // writer.
    void Received(size_t count);
    // Every byte received is in the file, and partial is the caller's
    // again; false when a write failed.
    bool Flush();
    // Stops the writer without writing what it has not, and waits for it:
    // partial is the caller's again.
    void Abandon();

private:
    void WriteBlocks();
    // Writes the oldest block handed on; false when the write failed or
    // the ring stopped.
    bool WriteOne();
    void HandOn();

    PartialFile& partial_;
    BlockRing::Block* filling_ = nullptr;  // the receiver's own
    // The receiver fills, the writer drains. Last: its writer is joined
    // before anything it uses goes.
    BlockRing ring_;
};

}  // namespace parvex
