// Starts the reference mail server as a child process for one test and stops
// it by pid afterwards.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

namespace parvex::testing {

// The options that make the server speak TLS with a certificate of the test
// PKI (made by the build in pki/: localhost.pem, selfsigned.pem, ...), on
// 127.0.0.1 and ::1. The test process trusts that PKI's CA alone.
std::vector<std::string> TlsServerOptions(const std::string& certificate = "localhost.pem");

// The two ways the fault matrices reach the server: plain HTTP to 127.0.0.1,
// and https to [::1] (TLS and IPv6 at once).
enum class Wire { Plain, Tls };
std::vector<std::string> WireOptions(Wire wire);  // the server's options
std::string WireHost(Wire wire);                  // the URL's host
const char* WireName(Wire wire);                  // for the names of tests

class MailServerProcess {
public:
    // Extra command-line options (faults, --serve DIR, TlsServerOptions ...).
    // The store and the record folders are fresh temporary folders unless given.
    explicit MailServerProcess(const std::vector<std::string>& options = {});
    ~MailServerProcess();
    MailServerProcess(const MailServerProcess&) = delete;
    MailServerProcess& operator=(const MailServerProcess&) = delete;

    int port() const { return port_; }
    const std::string& storeDir() const { return store_; }
    const std::string& recordDir() const { return record_; }
    // http://127.0.0.1:PORT/path, or over TLS https://localhost:PORT/path;
    // host instead names another host (an address in brackets for IPv6).
    std::string Url(const std::string& path, const std::string& host = "") const;

    // A plain GET to the server (for /__fault, /__reset, /__stats, /__tls;
    // a TLS server takes those plain too); returns the body, or an empty
    // text on failure.
    std::string Get(const std::string& path) const;
    // The raw bytes of the n-th recorded request (1-based).
    std::string Recorded(int n) const;
    // Number of requests recorded so far.
    int RecordedCount() const;

private:
    pid_t pid_ = -1;
    int port_ = 0;
    bool tls_ = false;
    std::string base_, store_, record_;
};

// Bytes of a file; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);
// 64-bit FNV-1a content hash in hex, to compare files byte for byte.
std::string HashOfFile(const std::string& path);
std::string HashOfBytes(const std::string& bytes);

}  // namespace parvex::testing
