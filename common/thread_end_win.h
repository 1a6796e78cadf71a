// The thread-end notice on Windows: a wait of the system's thread pool on the
// thread's handle.
#pragma once
#include "thread_end.h"

namespace parvex {

ThreadEndWatch& WindowsThreadEndWatch();

}  // namespace parvex
