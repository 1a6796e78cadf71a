// Received bytes on their way to the file through the writing thread.
#include "download/write_behind.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "tests/support/fakes.h"
#include "tests/support/faulty_files.h"

using namespace parvex;
using namespace parvex::testing;

namespace {

constexpr size_t kBlock = 16;

// Receives bytes into the writer's room in pieces of 1 to 7 bytes, as a
// socket hands them out; false when the room ran out (a write failed).
bool Receive(WriteBehind& writes, const std::string& bytes) {
    for (size_t at = 0, piece = 1; at < bytes.size(); piece = piece % 7 + 1) {
        size_t room = 0;
        char* into = writes.Room(room);
        if (!into) return false;
        size_t n = std::min({room, piece, bytes.size() - at});
        std::memcpy(into, bytes.data() + at, n);
        writes.Received(n);
        at += n;
    }
    return true;
}

std::string Pattern(size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += static_cast<char>('A' + i * 11 % 26);
    return s;
}

std::string Contents(const std::filesystem::path& p) {
    std::ostringstream out;
    out << std::ifstream(p, std::ios::binary).rdbuf();
    return out.str();
}

}  // namespace

TEST(WriteBehind, WritesEveryByteInOrderByTheFlush) {
    // Within one block (written by the receiver) and across many.
    for (size_t size : {kBlock - 3, kBlock * 40 + 5}) {
        SCOPED_TRACE(size);
        TempDir dir;
        PartialFile partial(LocalFileSystem(), (dir.path() / "f.bin").wstring(), false);
        ASSERT_TRUE(partial.Create());
        WriteBehind writes(partial, static_cast<double>(size), kBlock);
        ASSERT_TRUE(Receive(writes, Pattern(size)));
        ASSERT_TRUE(writes.Flush());
        ASSERT_TRUE(partial.Finish());
        EXPECT_EQ(Contents(dir.path() / "f.bin"), Pattern(size));
    }
}

TEST(WriteBehind, AFailedWriteEndsTheRoomAndFailsTheFlush) {
    TempDir dir;
    FaultyFiles disk;
    disk.writes.FailAfter(3);
    PartialFile partial(disk, (dir.path() / "f.bin").wstring(), false);
    ASSERT_TRUE(partial.Create());
    {
        WriteBehind writes(partial, kBlock * 1000, kBlock);
        // The writer stops at the fourth block; the receiver finds out
        // within the few blocks the ring holds.
        EXPECT_FALSE(Receive(writes, Pattern(kBlock * 1000)));
        EXPECT_FALSE(writes.Flush());
    }
    EXPECT_EQ(disk.writes.Failed(), 1);
}
