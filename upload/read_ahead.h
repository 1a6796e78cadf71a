// A file's bytes in blocks, read on a thread of their own a few blocks ahead
// of the sender, so that reading the next block and sending this one
// overlap. Under Wine each send waits for the Wine server, and a sender that
// read its own blocks spent a fifth of a fast upload reading; on a slow disk
// the network would wait for every read.
#pragma once
#include <cstddef>
#include <cstdint>

#include "common/block_ring.h"
#include "common/file_system.h"

namespace parvex {

class ReadAhead {
public:
    // The first size bytes of file, from where it stands, in blocks of
    // blockBytes. The file belongs to the reader until this is destroyed,
    // which stops the reader and waits for it (at most one read still under
    // way).
    ReadAhead(File& file, uint64_t size, size_t blockBytes);

    // The next block, waited for when the reader is behind; its bytes stay
    // valid until the next call. False when the file yielded fewer bytes
    // than the block needs (it failed or ended early), and after the last
    // block.
    bool Next(const char*& data, size_t& count);

private:
    void ReadBlocks();
    // Reads block `index` into a free block of the ring and hands it on;
    // false when the file came up short or the ring stopped.
    bool ReadBlock(uint64_t index);

    File& file_;
    const uint64_t size_;
    const uint64_t blocks_;
    uint64_t taken_ = 0;  // blocks the sender has had; the sender's own
    // The reader fills, the sender drains. Last: its reader is joined before
    // anything it uses goes.
    BlockRing ring_;
};

}  // namespace parvex
