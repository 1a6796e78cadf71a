// parvex-cli run as a child process by the tests: standard input from
// /dev/null (no terminal, so message boxes take their defaults), both
// outputs kept.
#pragma once
#include <string>
#include <vector>

#include "tests/support/fakes.h"

namespace parvex::testing {

// The program beside the mail server's, in the native build tree.
std::string CliPath();

struct CliResult {
    int exitCode = -1;  // -1 when it did not exit by itself
    std::string out, err;
};

// parvex-cli with args (the command first); its outputs pass through files
// in dir.
CliResult RunCli(const TempDir& dir, const std::vector<std::string>& args);

}  // namespace parvex::testing
