// The trace lines written while it lives: the failures' sink by default, or
// the one another setter chooses (SetChangeTraceSink).
#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "common/trace.h"

namespace parvex::testing {

class TraceLines : public TraceSink {
public:
    using Setter = void (*)(TraceSink*);
    explicit TraceLines(Setter set = SetTraceSink) : set_(set) { set_(this); }
    ~TraceLines() override { set_(nullptr); }
    void Write(const std::wstring& line) override {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(line);
    }
    std::vector<std::wstring> Lines() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }

private:
    Setter set_;
    std::mutex mutex_;
    std::vector<std::wstring> lines_;
};

}  // namespace parvex::testing
