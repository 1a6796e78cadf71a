// What a person's other programs do to the files a page has listed.
#pragma once
#include <string>

namespace parvex::page {

// Empties the file at path and writes it again with other bytes of the same
// size (each byte inverted), in place, as an editor's save does; true when
// done. Readers that have it open keep reading the same file.
bool RewriteInPlace(const std::wstring& path);

}  // namespace parvex::page
