#include "mail_server_process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "tests/support/wait_for.h"

extern char** environ;

namespace parvex::testing {

namespace {

#ifdef PARVEX_TEST_PKI
// Set before main, while the process has no other thread, so that every TLS
// client of the tests, and the programs they start, trust the test CA only.
const bool kTrustsTestCa = setenv("SSL_CERT_FILE", PARVEX_TEST_PKI "/ca.pem", 1) == 0;
#endif

std::string FreshDir(const std::string& tag) {
    std::random_device rd;
    auto p = std::filesystem::temp_directory_path() / ("parvex-" + tag + "-" + std::to_string(rd()));
    std::filesystem::create_directories(p);
    return p.string();
}
}  // namespace

std::vector<std::string> TlsServerOptions(const std::string& certificate) {
#ifdef PARVEX_TEST_PKI
    const std::string pki = PARVEX_TEST_PKI, chain = pki + "/" + certificate, key = pki + "/server.key";
    return {"--listen", "127.0.0.1", "--listen", "::1", "--tls-cert", chain, "--tls-key", key};
#else
    (void)certificate;
    throw std::runtime_error("the test certificates were not made");
#endif
}

std::vector<std::string> WireOptions(Wire wire) {
    return wire == Wire::Tls ? TlsServerOptions() : std::vector<std::string>{};
}
std::string WireHost(Wire wire) { return wire == Wire::Tls ? "[::1]" : "127.0.0.1"; }
const char* WireName(Wire wire) { return wire == Wire::Tls ? "Tls" : "Plain"; }

MailServerProcess::MailServerProcess(const std::vector<std::string>& options) {
    for (const auto& option : options) tls_ = tls_ || option == "--tls-cert";
#ifndef PARVEX_MAILSERVER_PATH
    (void)options;
    (void)FreshDir;
    throw std::runtime_error("the mail server was not built");
#else
    base_ = FreshDir("server");
    store_ = base_ + "/store";
    record_ = base_ + "/record";
    std::filesystem::create_directories(store_);
    std::filesystem::create_directories(record_);
    std::vector<std::string> args = {PARVEX_MAILSERVER_PATH, "--port", "0", "--store", store_, "--record", record_};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        throw std::runtime_error("cannot start the mail server");
    }
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    // The server announces its port on its first line.
    std::string line;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') line.push_back(c);
    close(out[0]);
    if (std::sscanf(line.c_str(), "PORT %d", &port_) != 1) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        throw std::runtime_error("the mail server did not announce its port: " + line);
    }
#endif
}

MailServerProcess::~MailServerProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        if (WaitFor([this] { return waitpid(pid_, nullptr, WNOHANG) == pid_; }, 2000)) pid_ = -1;
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    std::error_code ec;
    if (!base_.empty()) std::filesystem::remove_all(base_, ec);
}

std::string MailServerProcess::Url(const std::string& path, const std::string& host) const {
    const std::string name = !host.empty() ? host : tls_ ? "localhost" : "127.0.0.1";
    return (tls_ ? "https://" : "http://") + name + ":" + std::to_string(port_) + path;
}

std::string MailServerProcess::Get(const std::string& path) const {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return std::string();
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_port = htons(static_cast<uint16_t>(port_));
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (connect(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin) == 0) {
        std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
        if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
            char buffer[4096];
            ssize_t n;
            while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, static_cast<size_t>(n));
        }
    }
    close(fd);
    size_t body = reply.find("\r\n\r\n");
    return body == std::string::npos ? std::string() : reply.substr(body + 4);
}

std::string MailServerProcess::Recorded(int n) const {
    char name[32];
    std::snprintf(name, sizeof name, "/req-%04d.bin", n);
    return ReadWholeFile(record_ + name);
}

int MailServerProcess::RecordedCount() const {
    int count = 0;
    for (auto& e : std::filesystem::directory_iterator(record_))
        if (e.path().extension() == ".bin") ++count;
    return count;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string HashOfBytes(const std::string& bytes) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    return text;
}

std::string HashOfFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::string();
    uint64_t h = 1469598103934665603ull;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        for (std::streamsize i = 0; i < in.gcount(); ++i) {
            h ^= static_cast<unsigned char>(buffer[i]);
            h *= 1099511628211ull;
        }
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    return text;
}

}  // namespace parvex::testing
