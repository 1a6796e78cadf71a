#pragma once

// Process-wide stop handling. Connection threads block in socket calls and
// in fault delays; a stop request has to reach all of them, so open sockets
// are registered here and shut down when the server is asked to exit.

namespace mailserver {
namespace lifecycle {

bool Stopping();

// Sets the stop flag, wakes every sleeper and shuts down every registered
// socket so that blocked reads and writes return at once.
void RequestStop();

// Sleeps up to ms milliseconds; returns false when a stop cut the sleep short.
bool SleepMs(long long ms);

// A socket registered after the stop request is shut down immediately.
void RegisterSocket(int fd);
void UnregisterSocket(int fd);

// Bookkeeping of connection threads so that the exit can wait for them.
void ThreadStarted();
void ThreadFinished();
// Returns true when all connection threads ended within the time.
bool WaitForThreads(int timeoutMs);

}  // namespace lifecycle
}  // namespace mailserver
