#pragma once

// Process-wide stop handling. Connection threads block in socket calls and
// in fault delays; a stop request has to reach all of them, so open sockets
// are registered here and shut down when the server is asked to exit.

namespace mailserver {
namespace lifecycle {

bool stopping();

// Sets the stop flag, wakes every sleeper and shuts down every registered
// socket so that blocked reads and writes return at once.
void request_stop();

// Sleeps up to ms milliseconds; returns false when a stop cut the sleep short.
bool sleep_ms(long long ms);

// A socket registered after the stop request is shut down immediately.
void register_socket(int fd);
void unregister_socket(int fd);

// Bookkeeping of connection threads so that the exit can wait for them.
void thread_started();
void thread_finished();
// Returns true when all connection threads ended within the time.
bool wait_for_threads(int timeout_ms);

}  // namespace lifecycle
}  // namespace mailserver
