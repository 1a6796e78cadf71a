// The name a download is written under until it is complete. "NAME.part"
// beside the target says what it is; a name too long for that gets a
// shortened one of its own, so that every name that fits the file system
// has a temporary name that fits too.
#pragma once
#include <string>

namespace parvex {

// The longest name of one file or folder that the file systems take: 255
// UTF-16 units (Windows) and 255 UTF-8 bytes (Linux).
bool FitsOneName(const std::wstring& name);

// The temporary path for attempt 0, 1, 2... beside target: "NAME.part",
// "NAME.1.part"... or, when those do not fit, the name's beginning with
// "~.part", "~1.part"... Empty for an attempt whose name would be the
// target's own (in any letter case).
std::wstring TemporaryPath(const std::wstring& target, int attempt);

}  // namespace parvex
