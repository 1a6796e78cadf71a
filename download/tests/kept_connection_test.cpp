// Downloads of one run over the connection the server keeps, against the
// reference mail server, which counts the connections it was asked over.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/format.h"
#include "download_engine_fixture.h"
#include "tests/support/test_data.h"

using namespace parvex;
using namespace parvex::testing;
using namespace parvex::dltest;

namespace {

struct KeptConnectionTest : DownloadEngineTest {
    std::vector<std::string> hashes;
    int runs = 0;

    // Three files in one run with the faults set in turn (the latest one
    // wins where two apply); every file arrives whole and the run ends
    // without a message. The connections the server saw come back.
    std::string RunThree(const std::vector<std::string>& faults) {
        EXPECT_EQ(server->Get("/__reset"), "ok");
        for (const std::string& fault : faults) {
            EXPECT_EQ(Fault(fault + "&target=download"), "ok") << fault;
        }
        const std::string fault = faults.empty() ? std::string() : faults.back();
        ++runs;
        for (int i = 0; i < 3; ++i)
            Queue(FormatText(L"/f%d.bin", i), FormatText(L"run%d-f%d.bin", runs, i), 100000.0 + i);
        TestDialog& dialog = Run();
        EXPECT_EQ(Statuses(dialog), (std::vector<std::wstring>(3, L"완 료"))) << fault;
        EXPECT_TRUE(dialog.view.messages.shown.empty()) << fault;
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(SavedHash("run" + std::to_string(runs) + "-f" + std::to_string(i) + ".bin"), hashes[i]) << fault;
        Close();
        return server->Get("/__connections");
    }
};

}  // namespace

TEST_F(KeptConnectionTest, FilesShareAConnectionOnlyWhileTheServerKeepsIt) {
    for (int i = 0; i < 3; ++i) hashes.push_back(Serve("f" + std::to_string(i) + ".bin", Bytes(100000 + i, 7 + i)));
    EXPECT_EQ(RunThree({"keepalive=keep"}), "connections=1");
    // A server that closes after each reply, and one that only says so.
    EXPECT_EQ(RunThree({}), "connections=3");
    EXPECT_EQ(RunThree({"keepalive=claim_close"}), "connections=3");
    // The kept connection ends as the second request comes over it: that
    // request goes again over a new connection, which the third file keeps.
    EXPECT_EQ(RunThree({"keepalive=keep", "keepalive=drop_next&count=1"}), "connections=2");
    // Every kept connection ends so: each request after the first is sent
    // twice, and still arrives.
    EXPECT_EQ(RunThree({"keepalive=drop_next"}), "connections=3");
    EXPECT_EQ(server->Get("/__stats"), "uploads=0 exists=0 downloads=3 bad=0");
}
