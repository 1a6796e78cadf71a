// Download half of the benchmark: one big file served by the reference mail
// server, fetched by parvex-cli and by curl, best of two rounds each.
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench.h"

namespace parvex::bench {
namespace {

// The mail server as a child process, stopped by its pid.
class Server {
public:
    Server(const std::string& binary, const std::string& serveDir, const std::string& storeDir,
           const std::string& portFile) {
        std::remove(portFile.c_str());
        // Buffered output must not be written twice by the child.
        std::fflush(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            std::freopen("/dev/null", "w", stdout);
            execl(binary.c_str(), binary.c_str(), "--port", "0", "--port-file", portFile.c_str(), "--serve",
                  serveDir.c_str(), "--store", storeDir.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 500 && port_ == 0; ++i) {
            std::ifstream in(portFile);
            if (!(in >> port_)) port_ = 0;
            if (port_ == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~Server() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    int port() const { return port_; }

private:
    pid_t pid_ = -1;
    int port_ = 0;
};

// A tmpfs with room for the served file and two copies takes the disk out
// of the comparison.
std::string PickWorkDir(const Options& options, bool& inTmpfs) {
    struct statvfs st;
    if (statvfs("/dev/shm", &st) == 0 &&
        static_cast<unsigned long long>(st.f_bavail) * st.f_frsize > 3 * options.bytes + (256ull << 20)) {
        inTmpfs = true;
        return "/dev/shm/parvex-bench-" + std::to_string(getpid());
    }
    inTmpfs = false;
    return options.workDir;
}

}  // namespace

int RunDownloadBench(const Options& options) {
    bool inTmpfs = false;
    const std::string work = PickWorkDir(options, inTmpfs);
    const std::string serve = work + "/serve", store = work + "/store", out = work + "/out";
    for (auto& d : {work, serve, store, out}) mkdir(d.c_str(), 0777);
    const std::string source = serve + "/big.bin";
    std::printf("download: files in %s (%s)\n", work.c_str(), inTmpfs ? "tmpfs" : "on disk");
    if (!MakeTestFile(source, options.bytes)) {
        std::fprintf(stderr, "cannot write %s\n", source.c_str());
        return 1;
    }
    Server server(options.mailserver, serve, store, work + "/port");
    if (server.port() == 0) {
        std::fprintf(stderr, "the mail server did not start\n");
        return 1;
    }
    // The command line's remembered folder stays out of the user's settings.
    setenv("PARVEX_SETTINGS", (work + "/settings").c_str(), 1);
    const std::string host = "http://127.0.0.1:" + std::to_string(server.port()) + "/";
    const std::string ourFile = out + "/parvex.bin", curlFile = out + "/curl.bin";

    Measured best[2];
    bool identical = true;
    for (int round = 0; round < 2; ++round) {
        std::remove(ourFile.c_str());
        std::remove(curlFile.c_str());
        Measured ours = RunAndMeasure({options.cli, "download", "--host", host, "--dest", out, "/big.bin", "parvex.bin"});
        Measured curl = RunAndMeasure({"curl", "-s", "-f", "-o", curlFile, host + "big.bin"});
        identical = identical && RunAndMeasure({"cmp", "-s", source, ourFile}).exitCode == 0 &&
                    RunAndMeasure({"cmp", "-s", source, curlFile}).exitCode == 0;
        if (round == 0 || ours.seconds < best[0].seconds) best[0] = ours;
        if (round == 0 || curl.seconds < best[1].seconds) best[1] = curl;
    }
    Report("download (best of 2)", options.bytes, best[0], best[1], 0.9);
    std::printf("  files:  %s\n", identical ? "byte-identical to the served file" : "DIFFERENT from the served file");
    for (auto& f : {ourFile, curlFile, source}) std::remove(f.c_str());
    if (inTmpfs) {
        RunAndMeasure({"rm", "-rf", work});
    }
    return identical && best[0].exitCode == 0 && best[1].exitCode == 0 ? 0 : 1;
}

}  // namespace parvex::bench
