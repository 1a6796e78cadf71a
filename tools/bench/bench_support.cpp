#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <vector>

#include "bench.h"

namespace parvex::bench {

Measured RunAndMeasure(const std::vector<std::string>& argv) {
    Measured m;
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        execvp(args[0], args.data());
        _exit(127);
    }
    if (pid < 0) return m;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.peakRssKb = usage.ru_maxrss;
    m.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return m;
}

bool MakeTestFile(const std::string& path, unsigned long long bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    std::vector<unsigned char> block(1 << 20);
    unsigned long long state = 0x9E3779B97F4A7C15ull;
    while (bytes > 0) {
        for (auto& b : block) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            b = static_cast<unsigned char>(state);
        }
        size_t n = bytes < block.size() ? static_cast<size_t>(bytes) : block.size();
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n));
        bytes -= n;
    }
    return static_cast<bool>(out.flush());
}

void Report(const char* what, unsigned long long bytes, const Measured& ours, const Measured& curl, double target) {
    double mb = static_cast<double>(bytes) / 1048576.0;
    double oursRate = ours.seconds > 0 ? mb / ours.seconds : 0;
    double curlRate = curl.seconds > 0 ? mb / curl.seconds : 0;
    double ratio = curlRate > 0 ? oursRate / curlRate : 0;
    std::printf("%s of %.0f MiB\n", what, mb);
    std::printf("  parvex: %8.1f MiB/s  peak %6ld KiB  exit %d\n", oursRate, ours.peakRssKb, ours.exitCode);
    std::printf("  curl:   %8.1f MiB/s  peak %6ld KiB  exit %d\n", curlRate, curl.peakRssKb, curl.exitCode);
    std::printf("  ratio:  %.2f (target at least %.2f) %s\n", ratio, target, ratio >= target ? "met" : "NOT MET");
}

}  // namespace parvex::bench
