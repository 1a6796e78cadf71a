// Placeholder until the download subcommand is written.
#include <cstdio>

#include "commands.h"

namespace parvex::cli {

int RunDownloadCommand(int, char**) {
    std::fprintf(stderr, "parvex-cli download: not available\n");
    return 2;
}

}  // namespace parvex::cli
