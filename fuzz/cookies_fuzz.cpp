// The cookie text the browser's store gives for a URL, of any length.
#include "common/cookies.h"
#include "fuzz/fuzz_input.h"
#include "tests/support/fakes.h"

using namespace parvex;
using namespace parvex::fuzz;

namespace {

// A store that has the input's text and may misstate the size it needs.
class InputStore : public testing::FakeCookieStore {
public:
    explicit InputStore(uint32_t claimed) : claimed_(claimed) {}
    bool GetCookie(const std::wstring& url, wchar_t* buffer, uint32_t* size) override {
        bool found = FakeCookieStore::GetCookie(url, buffer, size);
        if (!found && claimed_ && !cookies.empty()) *size = claimed_;
        return found;
    }

private:
    uint32_t claimed_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    uint8_t misstated = in.Byte(), high = in.Byte(), shift = in.Byte();
    uint32_t claimed = misstated < 128 ? 0 : static_cast<uint32_t>(high) << (shift % 24);
    std::wstring url = in.Wide();
    std::wstring text = in.Wide();
    InputStore store(claimed);
    if (!text.empty()) store.cookies[url] = text;
    std::wstring got = FetchCookies(store, url);
    FUZZ_CHECK(got.size() <= text.size());
    AnsiToWide(in.Rest());
    return 0;
}
