// Starts the reference mail server as a child process for one test and stops
// it by pid afterwards.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

namespace parvex::testing {

class MailServerProcess {
public:
    // Extra command-line options (faults, --serve DIR ...). The store and the
    // record folders are fresh temporary folders unless given.
    explicit MailServerProcess(const std::vector<std::string>& options = {});
    ~MailServerProcess();
    MailServerProcess(const MailServerProcess&) = delete;
    MailServerProcess& operator=(const MailServerProcess&) = delete;

    int port() const { return port_; }
    const std::string& storeDir() const { return store_; }
    const std::string& recordDir() const { return record_; }
    std::string Url(const std::string& path) const;

    // A plain GET to the server (for /__fault, /__reset, /__stats); returns
    // the body, or an empty text on failure.
    std::string Get(const std::string& path) const;
    // The raw bytes of the n-th recorded request (1-based).
    std::string Recorded(int n) const;
    // Number of requests recorded so far.
    int RecordedCount() const;

private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string base_, store_, record_;
};

// Bytes of a file; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);
// 64-bit FNV-1a content hash in hex, to compare files byte for byte.
std::string HashOfFile(const std::string& path);
std::string HashOfBytes(const std::string& bytes);

}  // namespace parvex::testing
