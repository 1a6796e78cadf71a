#include "recorder.h"

#include <cstdio>

#include "storage.h"

namespace mailserver {

RequestRecord::~RequestRecord() {
    if (file_) std::fclose(file_);
}

void RequestRecord::Write(const char* data, size_t n) {
    if (file_ && n > 0) std::fwrite(data, 1, n, file_);
}

std::unique_ptr<RequestRecord> Recorder::Begin(const std::string& method, const std::string& target) {
    if (!Enabled()) return nullptr;
    unsigned seq = ++sequence_;
    char stem[32];
    std::snprintf(stem, sizeof stem, "req-%04u", seq);
    std::string base = JoinPath(dir_, stem);
    if (std::FILE* txt = std::fopen((base + ".txt").c_str(), "wb")) {
        std::string line = method + " " + target + "\n";
        std::fwrite(line.data(), 1, line.size(), txt);
        std::fclose(txt);
    }
    std::FILE* bin = std::fopen((base + ".bin").c_str(), "wb");
    if (!bin) {
        std::fprintf(stderr, "parvex-mailserver: cannot create %s.bin\n", base.c_str());
        return nullptr;
    }
    return std::make_unique<RequestRecord>(bin);
}

}  // namespace mailserver
