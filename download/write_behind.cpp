#include "write_behind.h"

namespace parvex {

WriteBehind::WriteBehind(PartialFile& partial, double expectedBytes, size_t blockBytes)
    : partial_(partial), ring_(blockBytes) {
    // One block gains nothing from a thread: the receiver writes it itself.
    if (expectedBytes > static_cast<double>(blockBytes)) ring_.StartSide([this] { WriteBlocks(); });
}

char* WriteBehind::Room(size_t& count) {
    if (!filling_) filling_ = ring_.Free();
    if (!filling_) return nullptr;
    count = ring_.BlockBytes() - filling_->count;
    return filling_->bytes.get() + filling_->count;
}

void WriteBehind::Received(size_t count) {
    filling_->count += count;
    if (filling_->count == ring_.BlockBytes()) HandOn();
}

bool WriteBehind::Flush() {
    if (filling_ && filling_->count > 0) HandOn();
    return ring_.WaitDrained();
}

void WriteBehind::Abandon() { ring_.Close(); }

void WriteBehind::HandOn() {
    filling_ = nullptr;
    ring_.Hand();
    // Without a writer the receiver writes at once, so that the ring never
    // waits for a drainer that is not there.
    if (!ring_.Threaded()) WriteOne();
}

void WriteBehind::WriteBlocks() {
    while (WriteOne()) {
    }
}

bool WriteBehind::WriteOne() {
    BlockRing::Block* block = ring_.Take();
    if (!block) return false;
    if (!partial_.Write(block->bytes.get(), block->count)) {
        // The receiver finds no room, and Flush the failure.
        ring_.Stop();
        return false;
    }
    ring_.Done();
    return true;
}

}  // namespace parvex
