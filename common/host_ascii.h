// Host names in the ASCII form the network uses: IDNA ToASCII of each label
// (RFC 3490), with the labels that hold other characters written in
// Punycode (RFC 3492) behind "xn--". Two spellings of one international
// name then compare as the same text.
#pragma once
#include <string>

namespace parvex {

// Punycode of one label given as code points, without the "xn--" prefix;
// false when the label is too long to encode.
bool PunycodeEncode(const std::u32string& label, std::string& out);

// The ASCII form of host: letters in lower case (also full-width, Latin-1,
// Greek and Cyrillic capitals), the ideographic full stops read as dots, one
// trailing dot dropped, labels with other characters Punycode-encoded. No
// further Unicode normalisation is done, so a name spelled with other
// compatibility characters yields another ASCII form, never the same one.
// An IPv6 address in brackets stays as written, in lower case. False for an
// empty label, a character no host may hold (blanks, controls, "%", "@",
// "/", ...) or a name too long for the DNS.
bool HostToAscii(const std::wstring& host, std::string& out);

}  // namespace parvex
