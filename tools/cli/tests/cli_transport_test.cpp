// parvex-cli over https and over IPv6 against the reference mail server:
// what is uploaded and downloaded again arrives byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/cli_process.h"
#include "tests/support/mail_server_process.h"
#include "tests/support/test_data.h"

using namespace parvex::testing;

TEST(CliTransport, HttpsAndIpv6CarryBothDirectionsByteForByte) {
    TempDir dir;
    // Many records, and more than one send buffer can hold at once.
    const std::string big = Bytes(3 * 1024 * 1024 + 123, 51);
    std::string bigPath = dir.Write("한글 자료.bin", big).string();
    std::string smallPath = dir.Write("small.txt", "작은").string();
    struct Case {
        bool tls;
        std::string host;  // as the URL names it; empty: https://localhost
    };
    for (const Case& c : {Case{true, ""}, Case{false, "[::1]"}, Case{true, "[::1]"}}) {
        MailServerProcess server(c.tls ? TlsServerOptions() : std::vector<std::string>{"--listen", "::1"});
        std::string url = server.Url("/upload", c.host);
        SCOPED_TRACE(url);
        CliResult up = RunCli(dir, {"upload", "--url", url, "--fields", "name,unique,file", bigPath, smallPath});
        EXPECT_EQ(up.exitCode, 0) << up.err;
        EXPECT_EQ(HashOfFile(server.storeDir() + "/한글 자료.bin"), HashOfBytes(big));
        EXPECT_EQ(HashOfFile(server.storeDir() + "/small.txt"), HashOfBytes("작은"));
        // The upload's Host line names the host as the URL does, brackets and all.
        const std::string host = c.host.empty() ? "localhost" : c.host;
        EXPECT_NE(server.Recorded(1).find("\r\nHost: " + host + "\r\n"), std::string::npos) << server.Recorded(1);

        TempDir dest;
        CliResult down = RunCli(dir, {"download", "--host", server.Url("/", c.host), "--dest", dest.path().string(),
                                      "/한글 자료.bin", "한글 자료.bin", "/small.txt", "small.txt"});
        EXPECT_EQ(down.exitCode, 0) << down.err;
        EXPECT_EQ(HashOfFile((dest.path() / "한글 자료.bin").string()), HashOfBytes(big));
        EXPECT_EQ(HashOfFile((dest.path() / "small.txt").string()), HashOfBytes("작은"));
        // The download's Host line always has the port.
        const std::string hostLine = "\r\nHost: " + host + ":" + std::to_string(server.port()) + "\r\n";
        EXPECT_NE(server.Recorded(3).find(hostLine), std::string::npos) << server.Recorded(3);
    }
}
