// parvex-mailserver: a small mail server for the upload and download
// protocol of the PARVEX controls, with switchable faults for tests.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "handlers.h"
#include "http_request.h"
#include "listener.h"
#include "server_state.h"
#include "storage.h"
#include "upstream_relay.h"
#include "tls.h"

namespace {

const char kUsage[] =
    "usage: parvex-mailserver [--port N] [--port-file FILE] [--listen ADDRESS]... [--store DIR]\n"
    "                         [--serve DIR] [--record DIR] [--exists-path PREFIX]\n"
    "                         [--idle-timeout SEC] [--tls-cert CHAIN --tls-key KEY [--tls-max VERSION]]\n"
    "                         [--upstream IPV4:PORT] [--verbose] [fault options...]\n"
    "fault options: --status TEXT --body TEXT --chunked 0|1 --nolength 0|1 --split MS\n"
    "               --continue 0|1 --continue_status TEXT --close_after N --cut_after N --stall 0|1\n"
    "               --exists 0|1 --rate BYTES_PER_SEC --length N --rawreply TEXT --bighead N\n"
    "               --validators 0|1 --range_reply 416|200|wrong --change 0|1\n"
    "               --target upload|exists|download|ranged|all --count N\n"
    "See README.md next to the sources for the routes and the meaning of each fault.\n";

bool WritePortFile(const std::string& path, int port) {
    const std::string temp = path + ".tmp";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return false;
    std::fprintf(f, "%d\n", port);
    if (std::fclose(f) != 0) return false;
    return std::rename(temp.c_str(), path.c_str()) == 0;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "parvex-mailserver: %s\n%s", message.c_str(), kUsage);
    return 2;
}

struct Options {
    mailserver::ServerConfig config;
    int port = 0;
    std::string portFile;
    std::vector<std::pair<std::string, std::string>> faults;
};

// Stores one option's value; an error message when the option is unknown
// or its value unusable.
std::string StoreOption(const std::string& name, const std::string& value, Options* options) {
    using namespace mailserver;
    uint64_t number = 0;
    if (name == "port") {
        if (!ParseUint64(value, &number) || number > 65535) return "bad port " + value;
        options->port = static_cast<int>(number);
    } else if (name == "port-file") {
        options->portFile = value;
    } else if (name == "store") {
        options->config.storeDir = value;
    } else if (name == "serve") {
        options->config.serveDir = value;
    } else if (name == "record") {
        options->config.recordDir = value;
    } else if (name == "exists-path") {
        options->config.existsPrefix = value;
    } else if (name == "listen") {
        sockaddr_storage ignored;
        if (!ParseListenAddress(value, &ignored)) return "bad listen address " + value;
        options->config.listen.push_back(value);
    } else if (name == "tls-cert") {
        options->config.tlsCert = value;
    } else if (name == "tls-key") {
        options->config.tlsKey = value;
    } else if (name == "tls-max") {
        if (!TlsContext::KnownVersion(value)) return "bad TLS version " + value + " (1.0, 1.1, 1.2 or 1.3)";
        options->config.tlsMax = value;
    } else if (name == "upstream") {
        if (!ParseUpstream(value)) return "bad upstream " + value + " (IPv4-ADDRESS:PORT)";
        options->config.upstream = value;
    } else if (name == "idle-timeout") {
        if (!ParseUint64(value, &number) || number == 0 || number > 86400) return "bad idle timeout " + value;
        options->config.idleTimeoutMs = static_cast<int>(number * 1000);
    } else if (FaultTable::IsFaultName(name) || name == "target" || name == "count") {
        options->faults.emplace_back(name, UrlDecode(value, false));
    } else {
        return "unknown option --" + name;
    }
    return "";
}

// The command line into options; -1 to go on, otherwise the exit code.
int ParseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--verbose") {
            mailserver::SetVerbose(true);
            continue;
        }
        if (arg.compare(0, 2, "--") != 0) return Fail("unexpected argument " + arg);
        std::string name = arg.substr(2);
        std::string value;
        size_t eq = name.find('=');
        if (eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        } else {
            if (i + 1 >= argc) return Fail("option " + arg + " needs a value");
            value = argv[++i];
        }
        const std::string error = StoreOption(name, value, options);
        if (!error.empty()) return Fail(error);
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace mailserver;
    Options options;
    const int parsed = ParseOptions(argc, argv, &options);
    if (parsed >= 0) return parsed;
    const ServerConfig& config = options.config;

    std::string error;
    if (!MakeDirectories(config.storeDir, &error)) return Fail(error);
    if (!config.recordDir.empty() && !MakeDirectories(config.recordDir, &error)) return Fail(error);

    if (config.tlsCert.empty() != config.tlsKey.empty()) return Fail("--tls-cert and --tls-key go together");
    if (!config.tlsMax.empty() && config.tlsCert.empty()) return Fail("--tls-max needs --tls-cert");
    std::unique_ptr<TlsContext> tls;
    if (!config.tlsCert.empty() && !(tls = TlsContext::Load(config.tlsCert, config.tlsKey, config.tlsMax, &error)))
        return Fail(error);

    ServerState state(config, std::move(tls));
    if (!options.faults.empty() && !state.faults.Add(options.faults, &error)) return Fail(error);

    Listener listener(state);
    const std::vector<std::string> addresses =
        config.listen.empty() ? std::vector<std::string>{"127.0.0.1"} : config.listen;
    int bound = listener.Open(addresses, options.port, &error);
    if (bound < 0) return Fail(error);
    if (!options.portFile.empty() && !WritePortFile(options.portFile, bound))
        return Fail("cannot write the port file " + options.portFile);
    std::printf("PORT %d\n", bound);
    std::fflush(stdout);
    int code = listener.Run();
    std::fflush(stderr);
    // Detached threads that did not end must not meet destroyed globals.
    if (code != 0) std::_Exit(code);
    return code;
}
