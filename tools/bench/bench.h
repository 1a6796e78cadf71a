// The throughput benchmark: the core against curl, through the same reference
// mail server, in the same run. Each direction lives in its own file.
#pragma once
#include <string>
#include <vector>

namespace parvex::bench {

struct Measured {
    double seconds = 0;
    long peakRssKb = 0;  // peak resident memory of the measured process
    int exitCode = -1;
};

// Runs argv as a child process and measures its wall time and peak memory.
Measured RunAndMeasure(const std::vector<std::string>& argv);
// Writes a file of the given size with non-repeating content.
bool MakeTestFile(const std::string& path, unsigned long long bytes);
// Prints one comparison: both throughputs, their ratio and both peaks.
void Report(const char* what, unsigned long long bytes, const Measured& ours, const Measured& curl, double target);

// The reference mail server as a child process for one measurement.
class BenchServer {
public:
    // serveDir empty: GET serves the store.
    BenchServer(const std::string& binary, const std::string& storeDir, const std::string& serveDir,
                const std::string& portFile);
    ~BenchServer();
    BenchServer(const BenchServer&) = delete;
    BenchServer& operator=(const BenchServer&) = delete;
    int port() const { return port_; }  // 0 when it did not start

private:
    int pid_ = -1;
    int port_ = 0;
};

// Byte-for-byte comparison of two files.
bool SameContents(const std::string& a, const std::string& b);
// True when dir is writable and has room for bytes and some slack.
bool HasRoom(const std::string& dir, unsigned long long bytes);

struct Options {
    std::string cli;         // path of parvex-cli
    std::string mailserver;  // path of parvex-mailserver
    std::string workDir;     // where the big files go
    unsigned long long bytes = 1ull << 30;
};

int RunUploadBench(const Options& options);    // upload_bench.cpp
int RunDownloadBench(const Options& options);  // download_bench.cpp

}  // namespace parvex::bench
