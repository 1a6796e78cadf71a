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
    std::string store_dir = "mailstore";
    std::string serve_dir;  // empty: same as store_dir
    std::string record_dir;
    std::string exists_prefix = "/exists";
    int idle_timeout_ms = 30000;
    std::vector<std::string> listen;  // addresses; empty: 127.0.0.1
    std::string tls_cert;             // chain file; empty: plain HTTP only
    std::string tls_key;
    std::string tls_max;              // the newest TLS version offered ("1.0" ... "1.3"); empty: 1.3
};

// Requests counted by kind; bad counts requests rejected as malformed.
struct Counters {
    std::atomic<uint64_t> uploads{0};
    std::atomic<uint64_t> exists{0};
    std::atomic<uint64_t> downloads{0};
    std::atomic<uint64_t> bad{0};
    // TLS handshakes completed and failed (no request byte can come before).
    std::atomic<uint64_t> handshakes{0};
    std::atomic<uint64_t> handshakes_failed{0};
    // Connections that carried a request besides the control routes.
    std::atomic<uint64_t> connections{0};

    void reset() {
        uploads = 0;
        exists = 0;
        downloads = 0;
        bad = 0;
        handshakes = 0;
        handshakes_failed = 0;
        connections = 0;
    }
};

struct ServerState {
    ServerState(ServerConfig c, std::unique_ptr<TlsContext> t)
        : config(std::move(c)), tls(std::move(t)), recorder(config.record_dir) {}

    const std::string& serve_dir() const { return config.serve_dir.empty() ? config.store_dir : config.serve_dir; }

    ServerConfig config;
    std::unique_ptr<TlsContext> tls;  // null: plain HTTP only
    FaultTable faults;
    Counters counters;
    Recorder recorder;
    HoldGate holds;
    std::atomic<uint64_t> temp_sequence{0};
};

}  // namespace mailserver
