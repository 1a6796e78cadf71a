#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "faults.h"
#include "hold_gate.h"
#include "recorder.h"
#include "tls.h"

namespace mailserver {

struct ServerConfig {
    std::string storeDir = "mailstore";
    std::string serveDir;  // empty: same as storeDir
    std::string recordDir;
    std::string existsPrefix = "/exists";
    int idleTimeoutMs = 30000;
    std::vector<std::string> listen;  // addresses; empty: 127.0.0.1
    std::string tlsCert;              // chain file; empty: plain HTTP only
    std::string tlsKey;
    std::string upstream;  // HOST:PORT downloads are passed on to (upstream_relay.h); empty: served here
    std::string tlsMax;  // the newest TLS version offered ("1.0" ... "1.3"); empty: 1.3
};

// Requests counted by kind; bad counts requests rejected as malformed.
struct Counters {
    std::atomic<uint64_t> uploads{0};
    std::atomic<uint64_t> exists{0};
    std::atomic<uint64_t> downloads{0};
    std::atomic<uint64_t> bad{0};
    // TLS handshakes completed and failed (no request byte can come before).
    std::atomic<uint64_t> handshakes{0};
    std::atomic<uint64_t> handshakesFailed{0};
    // Connections that carried a request besides the control routes.
    std::atomic<uint64_t> connections{0};

    void Reset() {
        uploads = 0;
        exists = 0;
        downloads = 0;
        bad = 0;
        handshakes = 0;
        handshakesFailed = 0;
        connections = 0;
    }
};

struct ServerState {
    ServerState(ServerConfig c, std::unique_ptr<TlsContext> t)
        : config(std::move(c)), tls(std::move(t)), recorder(config.recordDir) {}

    const std::string& ServeDir() const { return config.serveDir.empty() ? config.storeDir : config.serveDir; }

    ServerConfig config;
    std::unique_ptr<TlsContext> tls;  // null: plain HTTP only
    FaultTable faults;
    Counters counters;
    Recorder recorder;
    HoldGate holds;
    std::atomic<uint64_t> tempSequence{0};
};

}  // namespace mailserver
