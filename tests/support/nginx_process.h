// nginx serving one folder over plain HTTP on 127.0.0.1, started as a child
// process for one test (one foreground process, its prefix, logs and pid in
// a temporary folder of its own) and stopped by pid afterwards.
#pragma once
#include <sys/types.h>

#include <string>

namespace parvex::testing {

class NginxProcess {
public:
    // Throws when nginx is missing or does not start.
    explicit NginxProcess(const std::string& root);
    ~NginxProcess();
    NginxProcess(const NginxProcess&) = delete;
    NginxProcess& operator=(const NginxProcess&) = delete;

    int port() const { return port_; }
    // "127.0.0.1:PORT", as the mail server's --upstream takes it.
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    bool Start(const std::string& root, int port);
    void Stop();
    pid_t pid_ = -1;
    int port_ = 0;
    std::string prefix_;
};

}  // namespace parvex::testing
