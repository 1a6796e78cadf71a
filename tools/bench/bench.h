// The native half of the benchmark: parvex-cli against curl, each run as a
// child process whose wall time and peak memory are taken, the two taken in
// turn so that the machine's load falls on both alike.
#pragma once
#include <string>
#include <vector>

namespace parvex::bench {

struct Measured {
    double seconds = 0;
    long peakRssKb = 0;  // peak resident memory of the measured process
    int exitCode = -1;
};

// Runs argv as a child process, its output dropped, and measures it.
Measured RunAndMeasure(const std::vector<std::string>& argv);
// Byte-for-byte comparison of two files.
bool SameContents(const std::string& a, const std::string& b);
// The median of the values (the mean of the middle two for an even count).
double Median(std::vector<double> values);

struct Options {
    std::string cli;          // path of parvex-cli
    std::string file;         // the file to upload; also the one nginx serves
    std::string uploadUrl;    // the sink
    std::string downloadUrl;  // the file on nginx
    std::string outDir;       // where downloads land
    std::string httpsCa;      // for https URLs: the authority both clients trust
    int runs = 5;
};

// One row of the table for each client: "native DIRECTION CLIENT BYTES
// MEDIAN-SECONDS PEAK-KIB", tab-separated, the clients named "https-..."
// when httpsCa is set. False when a run failed.
bool BenchUpload(const Options& options);
bool BenchDownload(const Options& options);

}  // namespace parvex::bench
