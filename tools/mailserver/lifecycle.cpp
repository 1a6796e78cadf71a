#include "lifecycle.h"

#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>

namespace mailserver {
namespace lifecycle {
namespace {

std::atomic<bool> g_stopping{false};
std::mutex g_mutex;
std::condition_variable g_wake;
std::set<int> g_sockets;
int g_threads = 0;
std::condition_variable g_threadsDone;

}  // namespace

bool Stopping() { return g_stopping.load(); }

void RequestStop() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_stopping = true;
    for (int fd : g_sockets) ::shutdown(fd, SHUT_RDWR);
    g_wake.notify_all();
}

bool SleepMs(long long ms) {
    std::unique_lock<std::mutex> lock(g_mutex);
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    g_wake.wait_until(lock, until, [] { return g_stopping.load(); });
    return !g_stopping;
}

void RegisterSocket(int fd) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_sockets.insert(fd);
    if (g_stopping) ::shutdown(fd, SHUT_RDWR);
}

void UnregisterSocket(int fd) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_sockets.erase(fd);
}

void ThreadStarted() {
    std::lock_guard<std::mutex> lock(g_mutex);
    ++g_threads;
}

void ThreadFinished() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (--g_threads == 0) g_threadsDone.notify_all();
}

bool WaitForThreads(int timeoutMs) {
    std::unique_lock<std::mutex> lock(g_mutex);
    return g_threadsDone.wait_for(lock, std::chrono::milliseconds(timeoutMs), [] { return g_threads == 0; });
}

}  // namespace lifecycle
}  // namespace mailserver
