// parvex-cli's command line: bad usage ends with exit code 2 and its message
// before any connection, and the help texts name every option.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/cli_process.h"
#include "tests/support/fakes.h"
#include "tests/support/mail_server_process.h"
#include "tests/support/test_data.h"

using namespace parvex::testing;

namespace {

// A loopback listener that counts the connections it takes and closes each
// at once.
class CountingListener {
public:
    CountingListener() {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(fd_, 16);
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] {
            while (!stop_) {
                pollfd p{fd_, POLLIN, 0};
                if (poll(&p, 1, 50) != 1) continue;
                int c = accept(fd_, nullptr, nullptr);
                if (c >= 0) {
                    ++connections_;
                    close(c);
                }
            }
        });
    }
    ~CountingListener() {
        stop_ = true;
        thread_.join();
        close(fd_);
    }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    int Port() const { return port_; }
    int Connections() const { return connections_; }

private:
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::thread thread_;
};

}  // namespace

TEST(CliCommandLine, BadUsageExitsTwoWithItsMessageBeforeAnyConnection) {
    CountingListener server;
    TempDir dir;
    std::string a = dir.Write("a.txt", "A").string();
    std::string url = server.Url("/upload"), host = server.Url("/");
    std::string aFile = dir.path().string() + "/a.txt";
    std::string port = std::to_string(server.Port());
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{}, "parvex-cli: a command is needed"},
        {{"send"}, "parvex-cli: unknown command send"},
        {{"upload", a}, "parvex-cli upload: --url is required"},
        {{"upload", "--url", url}, "parvex-cli upload: no file given"},
        {{"upload", "--url", "127.0.0.1:8080/up", a}, "\"127.0.0.1:8080/up\" has no scheme"},
        {{"upload", "--url", "http://127.0.0.1:99999/up", a}, "has a port out of range (1-65535)"},
        {{"upload", "--url", "ftp://127.0.0.1/up", a}, "uses ftp://; only http:// and https:// are supported"},
        {{"upload", "--url", host.substr(0, host.size() - 1), a}, "has no path after the host"},
        {{"upload", "--url", "http://127.0.0.1:+" + port + "/up", a}, "has a malformed port"},
        {{"upload", "--url", "http://127.0.0.1:" + port + ":" + port + "/up", a}, "has a malformed port"},
        {{"upload", "--url", "http://127.0.0.1:" + port + "x/up", a}, "has a malformed port"},
        {{"upload", "--url", url, "--exist-url", "127.0.0.1/exists", a}, "--exist-url \"127.0.0.1/exists\" has no"},
        {{"upload", "--url", url, "--bogus", a}, "parvex-cli upload: unknown option --bogus"},
        {{"upload", "--url", url, "--title"}, "parvex-cli upload: --title needs a value"},
        {{"upload", "--url", url, "--fields", "one,two", a}, "--fields takes three names"},
        {{"upload", "--url", url, "--same=later", a}, "--same takes overwrite, skip or rename:NAME"},
        {{"upload", "--url", url, "--missing=maybe", a}, "--missing takes skip or cancel"},
        {{"upload", "--url", url, "--limit-size", "lots", a}, "a number is needed, not \"lots\""},
        {{"upload", "--url", url, "--use-type", "2", a}, "--use-type takes 0 or 1"},
        {{"upload", "--url", url, (dir.path() / "none").string()}, "none is not a readable file"},
        {{"upload", "--url", url, dir.path().string()}, "is not a readable file"},
        {{"upload", "--url", url, "--cookie", "a=1\r\nX-Injected: 1", a}, "--cookie takes UTF-8 text"},
        {{"upload", "--url", url, "--cookie", "a=\xFF", a}, "--cookie takes UTF-8 text"},
        {{"download", "p", "n"}, "parvex-cli download: --host is required"},
        {{"download", "--host", "127.0.0.1:8080", "p", "n"}, "has no scheme"},
        {{"download", "--host", "http://127.0.0.1:0/", "p", "n"}, "has a port out of range"},
        {{"download", "--host", "ftp://127.0.0.1/", "p", "n"}, "uses ftp://"},
        {{"download", "--host", "https://[::1]x/", "p", "n"}, "has a malformed host"},
        {{"download", "--host", "http://[::1]:" + port + ":" + port + "/", "p", "n"}, "has a malformed port"},
        {{"download", "--host", host, "p"}, "PATH and NAME come in pairs"},
        {{"download", "--host", host, "--dest", aFile, "p", "n"}, "--dest \"" + aFile + "\" is not a folder"},
        {{"download", "--host", host, "--dest", aFile + "/sub", "p", "n"}, "is not a folder"},
        {{"download", "--host", host, "--exists=keep", "p", "n"}, "--exists takes overwrite, skip or rename"},
    };
    for (const Case& c : cases) {
        CliResult r = RunCli(dir, c.args);
        SCOPED_TRACE(r.err);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find(c.message), std::string::npos);
        EXPECT_EQ(r.err.rfind("parvex-cli", 0), 0u);  // every line prefixed
    }
    EXPECT_EQ(server.Connections(), 0);

    // The listener does see a command that gets that far.
    CliResult reached = RunCli(dir, {"download", "--host", host, "--dest", dir.path().string(), "p", "n"});
    EXPECT_EQ(reached.exitCode, 1) << reached.err;
    EXPECT_GE(server.Connections(), 1);
    EXPECT_EQ(reached.err.find("cannot connect"), std::string::npos) << reached.err;
}

TEST(CliCommandLine, AFailedConnectionIsNamedWithHostPortAndReason) {
    TempDir dir;
    std::string host, port;
    {
        CountingListener gone;  // a port that was free a moment ago
        host = gone.Url("/");
        port = host.substr(host.rfind(':') + 1, host.size() - host.rfind(':') - 2);
    }
    CliResult r = RunCli(dir, {"download", "--host", host, "--dest", dir.path().string(), "/p", "n"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("parvex-cli download: cannot connect to 127.0.0.1 port " + port + ": Connection refused"),
              std::string::npos)
        << r.err;

    // An https server that is refused is named with the certificate check's reason.
    MailServerProcess expired(TlsServerOptions("expired.pem"));
    r = RunCli(dir, {"download", "--host", expired.Url("/"), "--dest", dir.path().string(), "/p", "n"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(
        r.err.find("cannot connect to localhost port " + std::to_string(expired.port()) + ": certificate has expired"),
        std::string::npos)
        << r.err;
}

TEST(CliCommandLine, HelpTextsNameEveryOptionOnStandardOutput) {
    TempDir dir;
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> helps = {
        {{"--help"}, {"upload", "download", "--version", "Exit codes: 0", "130"}},
        {{"upload", "--help"},
         {"--url URL", "--exist-url URL", "--fields NAME,UNIQUE,FILE", "--expect-continue", "--cookie TEXT",
          "--title TEXT", "--limit-size MB", "in megabytes", "--limit-count N", "--use-type 0|1", "--big-size MB",
          "--same overwrite|skip|rename:NAME", "--missing skip|cancel", "default: no check", "Exit codes"}},
        {{"download", "--help"},
         {"--host URL", "--dest DIR", "$PARVEX_SETTINGS", "--cookie TEXT", "--title TEXT",
          "--exists overwrite|skip|rename:NAME", "Exit codes"}},
    };
    for (const auto& [args, names] : helps) {
        CliResult r = RunCli(dir, args);
        SCOPED_TRACE(args.front());
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.err, "");
        for (const std::string& name : names) EXPECT_NE(r.out.find(name), std::string::npos) << name << "\n" << r.out;
    }
    CliResult version = RunCli(dir, {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("parvex-cli ", 0), 0u);
}
