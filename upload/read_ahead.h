// A file's bytes in blocks, read on a thread of their own a few blocks ahead
// of the sender, so that reading the next block and sending this one
// overlap. Under Wine each send waits for the Wine server, and a sender that
// read its own blocks spent a fifth of a fast upload reading; on a slow disk
// the network would wait for every read.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "common/file_system.h"

namespace parvex {

class ReadAhead {
public:
    // The first size bytes of file, from where it stands, in blocks of
    // blockBytes. The file belongs to the reader until this is destroyed.
    ReadAhead(File& file, uint64_t size, size_t blockBytes);
    // Stops the reader and waits for it: at most one read still under way.
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The next block, waited for when the reader is behind; its bytes stay
    // valid until the next call. False when the file yielded fewer bytes
    // than the block needs (it failed or ended early), and after the last
    // block.
    bool Next(const char*& data, size_t& count);

private:
    static constexpr size_t kSlots = 3;
    struct Slot {
        std::unique_ptr<char[]> bytes;
        size_t count = 0;
        bool whole = false;
    };

    void ReadBlocks();
    // Reads block `index` into its slot; false when the file came up short.
    bool ReadBlock(uint64_t index);
    size_t BlockSize(uint64_t index) const;

    File& file_;
    const uint64_t size_;
    const size_t blockBytes_;
    const uint64_t blocks_;
    // A slot is written by the reader while it is free and read by the
    // sender between taking it and its next call; the counts below hand
    // slots over.
    Slot slots_[kSlots];
    uint64_t taken_ = 0;  // blocks the sender has taken; the sender's own

    std::mutex mutex_;
    std::condition_variable changed_;
    uint64_t ready_ = 0;  // under mutex_: blocks read, taken or not (the reader adds)
    uint64_t freed_ = 0;  // under mutex_: blocks the sender is done with (the sender adds)
    bool stop_ = false;   // under mutex_: the sender wants no more (the sender sets)
    std::thread reader_;  // none for a file of one block, read by the sender itself
};

}  // namespace parvex
