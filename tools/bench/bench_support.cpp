#include <signal.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>
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

BenchServer::BenchServer(const std::string& binary, const std::string& storeDir, const std::string& serveDir,
                         const std::string& portFile) {
    std::remove(portFile.c_str());
    std::fflush(nullptr);  // the child must not repeat what is buffered
    pid_ = fork();
    if (pid_ == 0) {
        if (FILE* quiet = std::freopen("/dev/null", "w", stdout)) (void)quiet;
        std::vector<std::string> args = {binary, "--port", "0", "--port-file", portFile, "--store", storeDir};
        if (!serveDir.empty()) {
            args.push_back("--serve");
            args.push_back(serveDir);
        }
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    for (int i = 0; i < 500 && port_ == 0 && pid_ > 0; ++i) {
        std::ifstream in(portFile);
        if (!(in >> port_)) port_ = 0;
        if (port_ == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

BenchServer::~BenchServer() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

bool SameContents(const std::string& a, const std::string& b) {
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    if (!fa || !fb) return false;
    std::vector<char> ba(1 << 20), bb(1 << 20);
    for (;;) {
        fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
        fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
        if (fa.gcount() != fb.gcount()) return false;
        if (fa.gcount() == 0) return true;
        if (!std::equal(ba.begin(), ba.begin() + fa.gcount(), bb.begin())) return false;
    }
}

bool HasRoom(const std::string& dir, unsigned long long bytes) {
    struct statvfs s {};
    if (statvfs(dir.c_str(), &s) != 0 || access(dir.c_str(), W_OK) != 0) return false;
    return static_cast<unsigned long long>(s.f_bavail) * s.f_frsize > bytes + (64ull << 20);
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
