#include "tests/support/cli_process.h"

#include <sys/wait.h>

#include <cstdlib>

#include "tests/support/mail_server_process.h"

namespace parvex::testing {
namespace {

std::string Quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

std::string CliPath() {
    std::string server = PARVEX_MAILSERVER_PATH;
    return server.substr(0, server.find_last_of('/') + 1) + "parvex-cli";
}

CliResult RunCli(const TempDir& dir, const std::vector<std::string>& args) {
    std::string command = Quoted(CliPath());
    for (const std::string& a : args) command += " " + Quoted(a);
    std::string out = (dir.path() / "cli.out").string(), err = (dir.path() / "cli.err").string();
    command += " </dev/null >" + Quoted(out) + " 2>" + Quoted(err);
    CliResult r;
    int status = std::system(command.c_str());
    if (status != -1 && WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
    r.out = ReadWholeFile(out);
    r.err = ReadWholeFile(err);
    return r;
}

}  // namespace parvex::testing
