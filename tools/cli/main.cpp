// parvex-cli: the core driven from a terminal, on machines without Windows.
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "options.h"
#include "parvex_version.h"

int main(int argc, char** argv) {
    using namespace parvex::cli;
    const char* command = argc >= 2 ? argv[1] : "";
    if (std::strcmp(command, "upload") == 0 || std::strcmp(command, "download") == 0) {
        SetCommand(command);
        return command[0] == 'u' ? RunUploadCommand(argc - 1, argv + 1) : RunDownloadCommand(argc - 1, argv + 1);
    }
    if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0) {
        PrintMainHelp();
        return 0;
    }
    if (std::strcmp(command, "--version") == 0) {
        std::printf("parvex-cli %s\n", PARVEX_VERSION_TEXT);
        return 0;
    }
    std::fprintf(stderr, "%s%s%s\n%s--help lists the commands\n", MessagePrefix(),
                 argc < 2 ? "a command is needed: upload or download" : "unknown command ", argc < 2 ? "" : command,
                 MessagePrefix());
    return 2;
}
