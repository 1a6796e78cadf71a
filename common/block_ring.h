// Blocks of a file's bytes handed from one thread to another in order, so
// that the file's reads or writes overlap the network's sends or receives:
// the filler takes a free block, fills it and hands it on; the drainer takes
// the oldest block handed on and says when it is done with it. A few blocks
// circulate; each side waits only when the other is that far behind. Both
// sides may be one thread, which then never waits.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace parvex {

class BlockRing {
public:
    struct Block {
        std::unique_ptr<char[]> bytes;
        size_t count = 0;  // filled
        bool ok = true;    // the filler's word on it (a read that came up short)
    };

    explicit BlockRing(size_t blockBytes) : blockBytes_(blockBytes) {}
    // Close.
    ~BlockRing();
    BlockRing(const BlockRing&) = delete;
    BlockRing& operator=(const BlockRing&) = delete;
    size_t BlockBytes() const { return blockBytes_; }

    // The owner's: runs one side on a thread of its own while the owner
    // plays the other. Without a thread to be had the owner plays both
    // sides, one after the other.
    void StartSide(std::function<void()> side);
    bool Threaded() const { return side_.joinable(); }
    // The owner's: stops the exchange and waits for the side's thread, at
    // most one fill or drain still under way.
    void Close();

    // Filler: a free block, waited for while every block is handed on and
    // not yet done; null once stopped. It is the filler's until Hand.
    Block* Free();
    // Filler: the block from Free goes to the drainer.
    void Hand();

    // Drainer: the oldest block handed on, waited for; null once stopped.
    // It is the drainer's until Done.
    Block* Take();
    // Drainer: finished with every block taken.
    void Done();

    // Either side, or an owner: no more waiting; whoever waits is woken.
    void Stop();
    // Waits until the drainer is done with every block handed on; false
    // when stopped first.
    bool WaitDrained();

private:
    static constexpr size_t kBlocks = 3;

    const size_t blockBytes_;
    Block blocks_[kBlocks];
    uint64_t taken_ = 0;  // the drainer's own: blocks it has taken

    std::mutex mutex_;
    std::condition_variable changed_;
    uint64_t handed_ = 0;  // under mutex_: blocks handed on (the filler counts them)
    uint64_t done_ = 0;    // under mutex_: blocks drained (the drainer counts them)
    bool stopped_ = false;  // under mutex_
    std::thread side_;      // the owner's
};

}  // namespace parvex
