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

// A tmpfs with room for the served file and two copies takes the disk out
// of the comparison.
std::string PickWorkDir(const Options& options, bool& inTmpfs) {
    if (HasRoom("/dev/shm", 3 * options.bytes + (192ull << 20))) {
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
    BenchServer server(options.mailserver, store, serve, work + "/port");
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
        Measured ours =
            RunAndMeasure({options.cli, "download", "--host", host, "--dest", out, "/big.bin", "parvex.bin"});
        Measured curl = RunAndMeasure({"curl", "-s", "-f", "-o", curlFile, host + "big.bin"});
        identical = identical && SameContents(source, ourFile) && SameContents(source, curlFile);
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
