// Placeholder until the download benchmark is written.
#include <cstdio>

#include "bench.h"

namespace parvex::bench {

int RunDownloadBench(const Options&) {
    std::printf("download: not measured yet\n");
    return 0;
}

}  // namespace parvex::bench
