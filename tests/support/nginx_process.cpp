#include "nginx_process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

#include "tests/support/wait_for.h"

extern char** environ;

namespace parvex::testing {

namespace {

const char* const kNginxPaths[] = {"/usr/sbin/nginx", "/usr/bin/nginx"};

// A port that was free a moment ago; nginx may still lose it to another
// process, and then the start is tried again.
int FreePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    if (fd >= 0) ::close(fd);
    return port;
}

bool Answers(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    if (fd >= 0) ::close(fd);
    return ok;
}

void WriteConfig(const std::string& prefix, const std::string& root, int port) {
    std::ofstream conf(prefix + "/nginx.conf");
    conf << "daemon off;\nmaster_process off;\nworker_processes 1;\npid " << prefix << "/nginx.pid;\n"
         << "error_log " << prefix << "/logs/error.log;\nevents { worker_connections 64; }\nhttp {\n"
         << "    access_log off;\n    sendfile on;\n"
         << "    client_body_temp_path " << prefix << "/tmp/body;\n    proxy_temp_path " << prefix << "/tmp/proxy;\n"
         << "    fastcgi_temp_path " << prefix << "/tmp/fastcgi;\n    uwsgi_temp_path " << prefix << "/tmp/uwsgi;\n"
         << "    scgi_temp_path " << prefix << "/tmp/scgi;\n"
         << "    server {\n        listen 127.0.0.1:" << port << ";\n        root " << root << ";\n    }\n}\n";
}

}  // namespace

NginxProcess::NginxProcess(const std::string& root) {
    std::random_device rd;
    prefix_ = (std::filesystem::temp_directory_path() / ("parvex-nginx-" + std::to_string(rd()))).string();
    std::filesystem::create_directories(prefix_ + "/logs");
    std::filesystem::create_directories(prefix_ + "/tmp");
    for (int attempt = 0; attempt < 5; ++attempt)
        if (Start(std::filesystem::absolute(root).string(), FreePort())) return;
    std::error_code ec;
    std::filesystem::remove_all(prefix_, ec);
    throw std::runtime_error("nginx did not start (is it installed?)");
}

bool NginxProcess::Start(const std::string& root, int port) {
    const char* nginx = nullptr;
    for (const char* path : kNginxPaths)
        if (::access(path, X_OK) == 0) nginx = path;
    if (!nginx || port == 0) return false;
    WriteConfig(prefix_, root, port);
    std::string conf = prefix_ + "/nginx.conf";
    const char* argv[] = {nginx, "-p", prefix_.c_str(), "-c", conf.c_str(), nullptr};
    if (posix_spawn(&pid_, nginx, nullptr, nullptr, const_cast<char**>(argv), environ) != 0) return false;
    // Up once it answers; gone when the port was taken meanwhile.
    bool exited = false;
    bool up = WaitFor([&] { return Answers(port) || (exited = waitpid(pid_, nullptr, WNOHANG) == pid_); }, 10000);
    if (up && !exited) {
        port_ = port;
        return true;
    }
    if (!exited) Stop();
    pid_ = -1;
    return false;
}

void NginxProcess::Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    if (!WaitFor([this] { return waitpid(pid_, nullptr, WNOHANG) == pid_; }, 5000)) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
}

NginxProcess::~NginxProcess() {
    Stop();
    std::error_code ec;
    std::filesystem::remove_all(prefix_, ec);
}

}  // namespace parvex::testing
