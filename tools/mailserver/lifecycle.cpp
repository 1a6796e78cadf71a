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
std::condition_variable g_threads_done;

}  // namespace

bool stopping() { return g_stopping.load(); }

void request_stop() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_stopping = true;
    for (int fd : g_sockets) ::shutdown(fd, SHUT_RDWR);
    g_wake.notify_all();
}

bool sleep_ms(long long ms) {
    std::unique_lock<std::mutex> lock(g_mutex);
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    g_wake.wait_until(lock, until, [] { return g_stopping.load(); });
    return !g_stopping;
}

void register_socket(int fd) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_sockets.insert(fd);
    if (g_stopping) ::shutdown(fd, SHUT_RDWR);
}

void unregister_socket(int fd) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_sockets.erase(fd);
}

void thread_started() {
    std::lock_guard<std::mutex> lock(g_mutex);
    ++g_threads;
}

void thread_finished() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (--g_threads == 0) g_threads_done.notify_all();
}

bool wait_for_threads(int timeout_ms) {
    std::unique_lock<std::mutex> lock(g_mutex);
    return g_threads_done.wait_for(lock, std::chrono::milliseconds(timeout_ms), [] { return g_threads == 0; });
}

}  // namespace lifecycle
}  // namespace mailserver
