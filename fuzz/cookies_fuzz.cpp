// The cookie text the browser's store gives for a URL, of any length.
#include <algorithm>
#include <cwchar>

#include "common/cookies.h"
#include "fuzz/fuzz_input.h"

using namespace parvex;
using namespace parvex::fuzz;

namespace {

// A store that has the input's text and may misstate the size it needs.
class InputStore : public CookieStore {
public:
    InputStore(std::wstring text, uint32_t claimed) : text_(std::move(text)), claimed_(claimed) {}
    bool GetCookie(const std::wstring&, wchar_t* buffer, uint32_t* size) override {
        if (text_.empty()) return false;
        uint32_t needed = static_cast<uint32_t>(text_.size()) + 1;
        if (*size < needed) {
            *size = claimed_ ? claimed_ : needed;
            return false;
        }
        std::wmemcpy(buffer, text_.c_str(), needed);
        *size = needed;
        return true;
    }

private:
    std::wstring text_;
    uint32_t claimed_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    uint32_t claimed = in.Byte() < 128 ? 0 : static_cast<uint32_t>(in.Byte()) << (in.Byte() % 24);
    std::wstring url = in.Wide();
    std::wstring text = in.Wide();
    InputStore store(text, claimed);
    std::wstring got = FetchCookies(store, url);
    FUZZ_CHECK(got.size() <= text.size());
    AnsiToWide(in.Rest());
    return 0;
}
