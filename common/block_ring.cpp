#include "block_ring.h"

#include <system_error>

namespace parvex {

BlockRing::~BlockRing() { Close(); }

void BlockRing::StartSide(std::function<void()> side) {
    try {
        side_ = std::thread(std::move(side));
    } catch (const std::system_error&) {
    }
}

void BlockRing::Close() {
    Stop();
    if (side_.joinable()) side_.join();
}

BlockRing::Block* BlockRing::Free() {
    uint64_t next;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return stopped_ || handed_ < done_ + kBlocks; });
        if (stopped_) return nullptr;
        next = handed_;
    }
    Block& block = blocks_[next % kBlocks];
    if (!block.bytes) block.bytes.reset(new char[blockBytes_]);
    block.count = 0;
    block.ok = true;
    return &block;
}

void BlockRing::Hand() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++handed_;
    }
    changed_.notify_all();
}

BlockRing::Block* BlockRing::Take() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return stopped_ || handed_ > taken_; });
    if (stopped_) return nullptr;
    return &blocks_[taken_++ % kBlocks];
}

void BlockRing::Done() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        done_ = taken_;
    }
    changed_.notify_all();
}

void BlockRing::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
    }
    changed_.notify_all();
}

bool BlockRing::WaitDrained() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return stopped_ || done_ == handed_; });
    return !stopped_;
}

}  // namespace parvex
