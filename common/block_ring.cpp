#include "block_ring.h"

namespace parvex {

BlockRing::Block* BlockRing::Free() {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return stopped_ || filling_ < done_ + kBlocks; });
        if (stopped_) return nullptr;
    }
    Block& block = blocks_[filling_ % kBlocks];
    if (!block.bytes) block.bytes.reset(new char[blockBytes_]);
    block.count = 0;
    block.ok = true;
    return &block;
}

void BlockRing::Hand() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        handed_ = ++filling_;
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
