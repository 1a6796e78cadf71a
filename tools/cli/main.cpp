// parvex-cli: the core driven from a terminal, on machines without Windows.
#include <cstdio>
#include <cstring>

#include "commands.h"

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "upload") == 0) return parvex::cli::RunUploadCommand(argc - 1, argv + 1);
    if (argc >= 2 && std::strcmp(argv[1], "download") == 0) return parvex::cli::RunDownloadCommand(argc - 1, argv + 1);
    std::fprintf(stderr,
                 "usage: parvex-cli upload --url URL [options] FILE...\n"
                 "       parvex-cli download --host URL [options] PATH NAME [PATH NAME ...]\n"
                 "run a subcommand with --help for its options\n");
    return 2;
}
