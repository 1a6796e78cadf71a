// Upload throughput: parvex-cli and curl -F post the same big file to the
// same reference mail server, alternately, and the best round of each counts.
#include <signal.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench.h"

namespace parvex::bench {
namespace {

constexpr int kRounds = 3;
constexpr double kTarget = 0.7;

}  // namespace

int RunUploadBench(const Options& options) {
    std::error_code ec;
    std::filesystem::create_directories(options.workDir, ec);
    std::string source = options.workDir + "/upload-source.bin";
    if (!MakeTestFile(source, options.bytes)) {
        std::fprintf(stderr, "upload: cannot write %s\n", source.c_str());
        return 1;
    }

    std::string store = options.workDir + "/upload-store";
    const char* where = "the work folder's disk";
    if (HasRoom("/dev/shm", options.bytes)) {
        store = "/dev/shm/parvex-bench-store-" + std::to_string(getpid());
        where = "tmpfs (/dev/shm)";
    }
    std::filesystem::remove_all(store, ec);
    std::filesystem::create_directories(store, ec);
    std::printf("upload: server store on %s (%s)\n", where, store.c_str());

    int failures = 0;
    {
        BenchServer server(options.mailserver, store, "", options.workDir + "/upload-port");
        if (server.port() == 0) {
            std::fprintf(stderr, "upload: the mail server did not start\n");
            std::filesystem::remove_all(store, ec);
            return 1;
        }
        std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/upload";
        Measured best[2];
        for (int round = 0; round < kRounds; ++round) {
            for (int who = 0; who < 2; ++who) {
                std::string name = who == 0 ? "parvex.bin" : "curl.bin";
                std::vector<std::string> argv =
                    who == 0 ? std::vector<std::string>{options.cli,        "upload",  "--url", url,   "--fields",
                                                        "name,unique,file", "--title", "bench", source}
                             : std::vector<std::string>{
                                   "curl", "-s", "-f", "-o", "/dev/null", "-F", "name=" + name, "-F", "file=@" + source,
                                   url};
                if (who == 0) {
                    // parvex-cli names the stored file after the local one.
                    name = "upload-source.bin";
                }
                // exec keeps the measured process; only its chatter goes.
                argv.insert(argv.begin(), {"sh", "-c", "exec \"$0\" \"$@\" >/dev/null 2>&1"});
                Measured m = RunAndMeasure(argv);
                std::string stored = store + "/" + name;
                bool identical = m.exitCode == 0 && SameContents(stored, source);
                if (!identical) {
                    std::fprintf(stderr, "upload: %s round %d: exit %d, stored file %s\n", who == 0 ? "parvex" : "curl",
                                 round + 1, m.exitCode, std::filesystem::exists(stored) ? "differs" : "missing");
                    ++failures;
                }
                std::filesystem::remove(stored, ec);
                std::filesystem::remove(stored + ".fields", ec);
                if (identical && (best[who].seconds == 0 || m.seconds < best[who].seconds)) best[who] = m;
                if (best[who].peakRssKb < m.peakRssKb) best[who].peakRssKb = m.peakRssKb;
            }
        }
        std::printf("upload: best of %d rounds each; stored files compared byte for byte: %s\n", kRounds,
                    failures == 0 ? "all identical" : "MISMATCH");
        Report("upload", options.bytes, best[0], best[1], kTarget);
    }
    std::filesystem::remove_all(store, ec);
    std::filesystem::remove(source, ec);
    return failures;
}

}  // namespace parvex::bench
