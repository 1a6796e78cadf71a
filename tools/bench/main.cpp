// parvex-bench [--bytes N] [--work DIR]: uploads and downloads a big file
// through the core and through curl against the reference mail server.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench.h"

int main(int argc, char** argv) {
    parvex::bench::Options options;
    std::string self = argv[0];
    std::string dir = self.substr(0, self.find_last_of('/') + 1);
    options.cli = dir + "parvex-cli";
    options.mailserver = dir + "parvex-mailserver";
    options.workDir = dir + "bench-work";
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--bytes") && i + 1 < argc)
            options.bytes = std::strtoull(argv[++i], nullptr, 10);
        else if (!std::strcmp(argv[i], "--work") && i + 1 < argc)
            options.workDir = argv[++i];
        else {
            std::fprintf(stderr, "usage: parvex-bench [--bytes N] [--work DIR]\n");
            return 2;
        }
    }
    int failures = parvex::bench::RunUploadBench(options);
    failures += parvex::bench::RunDownloadBench(options);
    return failures == 0 ? 0 : 1;
}
