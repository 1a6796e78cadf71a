#include "read_ahead.h"

namespace parvex {
namespace {

// Reads exactly count bytes unless the file ends or fails first.
size_t ReadFull(File& file, char* buffer, size_t count) {
    size_t got = 0;
    while (got < count) {
        long long n = file.Read(buffer + got, count - got);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    return got;
}

}  // namespace

ReadAhead::ReadAhead(File& file, uint64_t size, size_t blockBytes)
    : file_(file), size_(size), blocks_((size + blockBytes - 1) / blockBytes), ring_(blockBytes) {
    // One block gains nothing from a thread: the sender reads it itself.
    if (blocks_ > 1) ring_.StartSide([this] { ReadBlocks(); });
}

bool ReadAhead::Next(const char*& data, size_t& count) {
    if (taken_ >= blocks_) return false;
    ring_.Done();  // the block handed out last is sent
    if (!ring_.Threaded()) ReadBlock(taken_);
    const BlockRing::Block* block = ring_.Take();
    if (!block) return false;
    // A short block is the last: the reader stopped at it.
    taken_ = block->ok ? taken_ + 1 : blocks_;
    data = block->bytes.get();
    count = block->count;
    return block->ok;
}

void ReadAhead::ReadBlocks() {
    for (uint64_t i = 0; i < blocks_ && ReadBlock(i); ++i) {
    }
}

bool ReadAhead::ReadBlock(uint64_t index) {
    BlockRing::Block* block = ring_.Free();
    if (!block) return false;
    uint64_t left = size_ - index * ring_.BlockBytes();
    size_t want = left < ring_.BlockBytes() ? static_cast<size_t>(left) : ring_.BlockBytes();
    block->count = want;
    block->ok = ReadFull(file_, block->bytes.get(), want) == want;
    bool ok = block->ok;
    ring_.Hand();
    return ok;
}

}  // namespace parvex
