#include "read_ahead.h"

#include <system_error>

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
    : file_(file), size_(size), blockBytes_(blockBytes), blocks_((size + blockBytes - 1) / blockBytes) {
    // One block gains nothing from a thread; a thread that cannot be had
    // leaves the sender to read every block itself.
    if (blocks_ < 2) return;
    try {
        reader_ = std::thread([this] { ReadBlocks(); });
    } catch (const std::system_error&) {
    }
}

ReadAhead::~ReadAhead() {
    if (!reader_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    reader_.join();
}

bool ReadAhead::Next(const char*& data, size_t& count) {
    if (taken_ >= blocks_) return false;
    const Slot& slot = slots_[taken_ % kSlots];
    if (!reader_.joinable()) {
        ReadBlock(taken_);
    } else {
        std::unique_lock<std::mutex> lock(mutex_);
        freed_ = taken_;  // the block handed out last is sent
        changed_.notify_all();
        changed_.wait(lock, [&] { return ready_ > taken_; });
    }
    // A short block is the last: the reader stopped at it.
    taken_ = slot.whole ? taken_ + 1 : blocks_;
    data = slot.bytes.get();
    count = slot.count;
    return slot.whole;
}

void ReadAhead::ReadBlocks() {
    for (uint64_t i = 0; i < blocks_; ++i) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return stop_ || i < freed_ + kSlots; });
            if (stop_) return;
        }
        bool whole = ReadBlock(i);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ready_ = i + 1;
        }
        changed_.notify_all();
        if (!whole) return;
    }
}

bool ReadAhead::ReadBlock(uint64_t index) {
    Slot& slot = slots_[index % kSlots];
    if (!slot.bytes) slot.bytes.reset(new char[blockBytes_]);
    slot.count = BlockSize(index);
    slot.whole = ReadFull(file_, slot.bytes.get(), slot.count) == slot.count;
    return slot.whole;
}

size_t ReadAhead::BlockSize(uint64_t index) const {
    uint64_t left = size_ - index * blockBytes_;
    return left < blockBytes_ ? static_cast<size_t>(left) : blockBytes_;
}

}  // namespace parvex
