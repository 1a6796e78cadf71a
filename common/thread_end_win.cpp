#include "thread_end_win.h"

#include <windows.h>

namespace parvex {
namespace {

class PoolWaitNotice : public ThreadEndNotice {
public:
    explicit PoolWaitNotice(std::function<void()> ended) : ended_(std::move(ended)) {}
    ~PoolWaitNotice() override {
        // INVALID_HANDLE_VALUE: returns once a call under way has returned.
        if (wait_) UnregisterWaitEx(wait_, INVALID_HANDLE_VALUE);
        if (thread_) CloseHandle(thread_);
    }
    bool Start() {
        thread_ = OpenThread(SYNCHRONIZE, FALSE, GetCurrentThreadId());
        return thread_ &&
               RegisterWaitForSingleObject(&wait_, thread_, &PoolWaitNotice::Ended, this, INFINITE,
                                           WT_EXECUTEONLYONCE) != FALSE;
    }

private:
    static VOID CALLBACK Ended(PVOID self, BOOLEAN) { static_cast<PoolWaitNotice*>(self)->ended_(); }

    std::function<void()> ended_;
    HANDLE thread_ = nullptr;
    HANDLE wait_ = nullptr;
};

class PoolThreadEndWatch : public ThreadEndWatch {
public:
    std::unique_ptr<ThreadEndNotice> WatchCallingThread(std::function<void()> ended) override {
        auto notice = std::make_unique<PoolWaitNotice>(std::move(ended));
        if (!notice->Start()) return nullptr;
        return notice;
    }
};

}  // namespace

ThreadEndWatch& WindowsThreadEndWatch() {
    static PoolThreadEndWatch watch;
    return watch;
}

}  // namespace parvex
