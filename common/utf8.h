// UTF-8 codec for the wire. wchar_t is UTF-16 on Windows (surrogate pairs for
// characters outside the basic plane) and UTF-32 elsewhere; both are handled.
#pragma once
#include <cstddef>
#include <string>

namespace parvex {

// Converts zero-terminated wide text, the terminator included. With no buffer
// (or size 0) returns the bytes needed, terminator included; otherwise the
// bytes written, or 0 when the buffer is too small or the text is not valid.
int ToUtf8(const wchar_t* text, char* buffer, int size);
// Converts zero-terminated UTF-8, the terminator included; size in wide
// characters. 0 on failure (invalid bytes or buffer too small).
int FromUtf8(const char* bytes, wchar_t* buffer, int size);

// Whole-string forms used by the request builders. Unpaired surrogates and
// invalid bytes become U+FFFD rather than being dropped.
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& bytes);

// Strict check used by the zero-terminated forms.
bool IsValidUtf8(const char* bytes, size_t length);

}  // namespace parvex
