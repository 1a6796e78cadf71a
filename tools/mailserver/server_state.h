#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "faults.h"
#include "hold_gate.h"
#include "recorder.h"

namespace mailserver {

struct ServerConfig {
    std::string store_dir = "mailstore";
    std::string serve_dir;  // empty: same as store_dir
    std::string record_dir;
    std::string exists_prefix = "/exists";
    int idle_timeout_ms = 30000;
};

// Requests counted by kind; bad counts requests rejected as malformed.
struct Counters {
    std::atomic<uint64_t> uploads{0};
    std::atomic<uint64_t> exists{0};
    std::atomic<uint64_t> downloads{0};
    std::atomic<uint64_t> bad{0};

    void reset() {
        uploads = 0;
        exists = 0;
        downloads = 0;
        bad = 0;
    }
};

struct ServerState {
    explicit ServerState(ServerConfig c) : config(std::move(c)), recorder(config.record_dir) {}

    const std::string& serve_dir() const { return config.serve_dir.empty() ? config.store_dir : config.serve_dir; }

    ServerConfig config;
    FaultTable faults;
    Counters counters;
    Recorder recorder;
    HoldGate holds;
    std::atomic<uint64_t> temp_sequence{0};
};

}  // namespace mailserver
