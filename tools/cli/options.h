// The command line of parvex-cli: one getopt_long parser for both commands,
// their --help texts, and every check that can be made before a connection
// (URLs, ports, the save folder, numbers).
#pragma once
#include <string>
#include <vector>

namespace parvex::cli {

// What `parvex-cli upload` is asked to do.
struct UploadOptions {
    std::string url, existUrl, cookie, title = "Tamsel Upload";
    std::vector<std::wstring> fieldNames = std::vector<std::wstring>(3);
    std::string same;     // "", "overwrite", "skip", "rename:NAME"
    std::string missing;  // "", "skip", "cancel"
    bool expectContinue = false;
    double limitSize = -1, limitCount = -1, useType = 0, bigSize = -1;  // -1: not given
    std::vector<std::string> files;
};

// What `parvex-cli download` is asked to do.
struct DownloadOptions {
    std::string host, dest, cookie, title;
    bool haveCookie = false, haveTitle = false;
    char existsAction = 0;  // 'o'verwrite, 'c'ancel (skip) or 'r'ename; 0: ask
    std::wstring renameTo;
    bool resume = true;  // go on with what a broken try or an earlier run kept
    std::vector<std::string> positional;  // PATH NAME pairs
};

// Returned by the parsers when the command is to run; anything else is the
// exit code (0 after --help, 2 for bad usage, its message already printed).
constexpr int kRunCommand = -1;

int ParseUploadCommandLine(int argc, char** argv, UploadOptions& options);
int ParseDownloadCommandLine(int argc, char** argv, DownloadOptions& options);

// `parvex-cli --help`.
void PrintMainHelp();

// "parvex-cli upload: " or "parvex-cli download: ", set once a command is
// known; every message of the program starts with it.
const char* MessagePrefix();
void SetCommand(const char* name);

}  // namespace parvex::cli
