// The trace a user turns on with PARVEX_TRACE=1: one line per failure on
// standard error naming the operation, the host:port or path and the
// system's error, number and text; nothing while it is off.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "common/file_system.h"
#include "common/socket.h"
#include "common/trace.h"
#include "common/utf8.h"
#include "tests/support/fakes.h"
#include "tests/support/ports.h"

using namespace parvex;
using namespace parvex::testing;

namespace {

// What standard error got while act ran, with the trace on or off.
std::string StandardErrorOf(bool on, const std::function<void()>& act) {
    if (on)
        ::setenv("PARVEX_TRACE", "1", 1);
    else
        ::unsetenv("PARVEX_TRACE");
    ::testing::internal::CaptureStderr();
    act();
    std::string written = ::testing::internal::GetCapturedStderr();
    ::unsetenv("PARVEX_TRACE");
    return written;
}

class RecordingTrace : public TraceSink {
public:
    void Write(const std::wstring& line) override { lines.push_back(line); }
    std::vector<std::wstring> lines;
};

}  // namespace

TEST(Trace, FailedConnectAndOpenWriteOneLineEachOnlyWhenOn) {
    RefusingPort refusing;
    ASSERT_NE(refusing.port(), 0);
    NetAddress loopback;
    loopback.bytes[0] = 127;
    loopback.bytes[3] = 1;
    TempDir dir;
    const std::wstring missing = dir.wpath() + L"\\없는 파일.bin";
    for (bool on : {true, false}) {
        SCOPED_TRACE(on);
        std::string connect =
            StandardErrorOf(on, [&] { EXPECT_EQ(PlatformNetwork().Connect(loopback, refusing.port()), nullptr); });
        std::string open = StandardErrorOf(on, [&] { EXPECT_EQ(LocalFileSystem().OpenRead(missing), nullptr); });
        if (!on) {
            EXPECT_EQ(connect, "");
            EXPECT_EQ(open, "");
            continue;
        }
        EXPECT_EQ(connect, "parvex: connect 127.0.0.1:" + std::to_string(refusing.port()) +
                               ": error 111 (Connection refused)\n");
        EXPECT_EQ(open, "parvex: open for reading " + ToUtf8(missing) + ": error 2 (No such file or directory)\n");
    }
}

TEST(Trace, SinkOfItsOwnAndNumbersAsTheSystemWritesThem) {
    RecordingTrace sink;
    SetTraceSink(&sink);
    // An HRESULT as a 32-bit LONG, the resolver's own negative numbers.
    TraceFailure(L"CoCreateInstance", L"of the manager", static_cast<int32_t>(0x80040154u),
                 L"Class not registered.\r\n");
    TraceFailure(L"resolve", L"no-such-host.invalid", -2, L"Name or service not known");
    SetTraceSink(nullptr);
    TraceFailure(L"resolve", L"after", -2, L"not recorded");
    EXPECT_EQ(sink.lines, (std::vector<std::wstring>{
                              L"parvex: CoCreateInstance of the manager: error 0x80040154 (Class not registered)",
                              L"parvex: resolve no-such-host.invalid: error -2 (Name or service not known)"}));
}

TEST(Trace, PeersOfBothFamiliesAreWrittenAsUsual) {
    std::vector<NetAddress> found;
    ASSERT_TRUE(PlatformNetwork().Resolve("::1", found));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(HostPortText(found[0], 8080), L"[::1]:8080");
    ASSERT_TRUE(PlatformNetwork().Resolve("127.0.0.1", found));
    EXPECT_EQ(HostPortText(found[0], 80), L"127.0.0.1:80");
    // The longest run of zero groups is the one left out.
    NetAddress v6;
    v6.family = 6;
    const uint8_t bytes[16] = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0};
    std::copy(bytes, bytes + 16, v6.bytes);
    EXPECT_EQ(HostPortText(v6, 443), L"[2001:db8:0:0:1::]:443");
}
