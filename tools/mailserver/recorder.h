#pragma once

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>

namespace mailserver {

// One recorded request: DIR/req-NNNN.bin holds its bytes as received,
// DIR/req-NNNN.txt the line "METHOD target".
class RequestRecord {
public:
    explicit RequestRecord(std::FILE* file) : file_(file) {}
    ~RequestRecord();
    RequestRecord(const RequestRecord&) = delete;
    RequestRecord& operator=(const RequestRecord&) = delete;
    void Write(const char* data, size_t n);
    void Write(const std::string& text) { Write(text.data(), text.size()); }

private:
    std::FILE* file_;
};

class Recorder {
public:
    explicit Recorder(std::string dir) : dir_(std::move(dir)) {}
    bool Enabled() const { return !dir_.empty(); }
    // Null when recording is off or the files cannot be created.
    std::unique_ptr<RequestRecord> Begin(const std::string& method, const std::string& target);

private:
    std::string dir_;
    std::atomic<unsigned> sequence_{0};
};

}  // namespace mailserver
