// The file's blocks as the sender gets them from the reading thread.
#include "upload/read_ahead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>

using namespace parvex;

namespace {

constexpr size_t kBlock = 16;

// A file in memory that hands out at most 5 bytes a call, as a pipe or a
// network share may, and fails from read number failAt on.
class ChunkyFile : public File {
public:
    ChunkyFile(std::string bytes, long failAt = -1) : bytes_(std::move(bytes)), failAt_(failAt) {}
    long long Read(void* buffer, size_t count) override {
        if (failAt_ >= 0 && reads_ >= failAt_) return -1;
        ++reads_;
        size_t n = std::min({count, size_t{5}, bytes_.size() - at_});
        bytes_.copy(static_cast<char*>(buffer), n, at_);
        at_ += n;
        return static_cast<long long>(n);
    }
    bool Write(const void*, size_t) override { return false; }
    long long Size() override { return static_cast<long long>(bytes_.size()); }
    uint64_t LastWrite() override { return 0; }
    size_t At() const { return at_; }

private:
    std::string bytes_;
    long failAt_;
    std::atomic<long> reads_{0};
    std::atomic<size_t> at_{0};
};

std::string Pattern(size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += static_cast<char>('a' + i * 7 % 26);
    return s;
}

}  // namespace

TEST(ReadAhead, DeliversEveryBlockInOrder) {
    // Nothing, one block read by the sender itself, one byte past it, and
    // many blocks ending in a short one.
    for (size_t size : {size_t{0}, kBlock, kBlock + 1, kBlock * 9 + 7}) {
        SCOPED_TRACE(size);
        ChunkyFile file(Pattern(size) + "tail past the listed size");
        std::string sent;
        {
            ReadAhead blocks(file, size, kBlock);
            const char* data;
            size_t n;
            while (blocks.Next(data, n)) {
                EXPECT_EQ(n, std::min(kBlock, size - sent.size()));
                sent.append(data, n);
            }
            EXPECT_FALSE(blocks.Next(data, n));
        }
        EXPECT_EQ(sent, Pattern(size));
        EXPECT_EQ(file.At(), size);  // never a byte past the listed size
    }
}

TEST(ReadAhead, StopsAtAShortBlockAndWhenLeft) {
    const char* data;
    size_t n;
    {
        // The sixth read fails, inside the second block.
        ChunkyFile failing(Pattern(kBlock * 6), 5);
        ReadAhead blocks(failing, kBlock * 6, kBlock);
        EXPECT_TRUE(blocks.Next(data, n));
        EXPECT_EQ(std::string(data, n), Pattern(kBlock));
        EXPECT_FALSE(blocks.Next(data, n));
        EXPECT_FALSE(blocks.Next(data, n));
    }
    {
        // A file that ends before its listed size.
        ChunkyFile cut(Pattern(kBlock * 2 + 3));
        ReadAhead blocks(cut, kBlock * 4, kBlock);
        EXPECT_TRUE(blocks.Next(data, n));
        EXPECT_TRUE(blocks.Next(data, n));
        EXPECT_FALSE(blocks.Next(data, n));
    }
    {
        // A sender that gives up after one block leaves the reader at most
        // a few blocks ahead, and waits for it.
        ChunkyFile large(Pattern(kBlock * 1000));
        {
            ReadAhead blocks(large, kBlock * 1000, kBlock);
            EXPECT_TRUE(blocks.Next(data, n));
        }
        EXPECT_LE(large.At(), kBlock * 4);
    }
}
