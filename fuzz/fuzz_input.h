// Cutting one fuzzer input into the pieces a target needs: texts of bytes or
// of 16-bit units (lone surrogates and all, as a page or the platform may
// hand over), numbers and choices.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace parvex::fuzz {

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Empty() const { return pos_ >= size_; }
    uint8_t Byte() { return Empty() ? 0 : data_[pos_++]; }
    double Number() {
        double value = 0;
        size_t n = size_ - pos_ < sizeof value ? size_ - pos_ : sizeof value;
        std::memcpy(&value, data_ + pos_, n);
        pos_ += n;
        return value;
    }
    // Bytes up to the next zero byte (taken) or the end.
    std::string Bytes() {
        std::string out;
        while (!Empty()) {
            uint8_t b = data_[pos_++];
            if (b == 0) break;
            out.push_back(static_cast<char>(b));
        }
        return out;
    }
    // Everything left, as bytes.
    std::string Rest() {
        std::string out(reinterpret_cast<const char*>(data_ + pos_), size_ - pos_);
        pos_ = size_;
        return out;
    }
    // 16-bit units up to the next zero unit (taken) or the end.
    std::wstring Wide() {
        std::wstring out;
        while (size_ - pos_ >= 2) {
            wchar_t unit = static_cast<wchar_t>(data_[pos_] | (data_[pos_ + 1] << 8));
            pos_ += 2;
            if (unit == 0) break;
            out.push_back(unit);
        }
        if (size_ - pos_ == 1) ++pos_;
        return out;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// What a peer sends: the size of the pieces it arrives in (the first byte)
// and the bytes.
struct PeerBytes {
    size_t piece;
    std::string bytes;
};
inline PeerBytes PeerBytesOf(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    size_t piece = 1 + in.Byte() % 64;
    return PeerBytes{piece, in.Rest()};
}

// Wide text of bytes taken one for one, as a server's reply reaches the
// parsers.
inline std::wstring Latin1(const std::string& bytes) {
    std::wstring out;
    for (unsigned char c : bytes) out.push_back(static_cast<wchar_t>(c));
    return out;
}

// A fault the fuzzer reports: something the code promised did not hold.
#define FUZZ_CHECK(condition) \
    do {                      \
        if (!(condition)) __builtin_trap(); \
    } while (0)

}  // namespace parvex::fuzz
