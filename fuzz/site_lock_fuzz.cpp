// The site lock: an entry of AllowedSites and a page's address, both as a
// deployment or a page may write them.
#include "common/host_ascii.h"
#include "common/site_lock.h"
#include "fuzz/fuzz_input.h"

using namespace parvex;
using namespace parvex::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    std::wstring entry = in.Wide();
    std::wstring address = in.Wide();

    std::string host;
    if (HostToAscii(address, host)) {
        FUZZ_CHECK(!host.empty() && host.size() <= 253);
        for (char c : host) FUZZ_CHECK(c > 0x20 && c < 0x7F && c != '@' && c != '/' && c != '%');
    }
    SiteLock lock({entry});
    FUZZ_CHECK(lock.Listed());
    if (!lock.Refusal(address).empty()) return 0;
    // Allowed: an http or https address whose authority holds no user
    // information, with an origin of its own.
    SiteOrigin origin;
    std::wstring reason;
    FUZZ_CHECK(PageOrigin(address, origin, reason));
    FUZZ_CHECK(origin.port >= 1 && origin.port <= 65535);
    size_t start = address.find(L"//") + 2;
    size_t end = address.find_first_of(L"/\\?#", start);
    FUZZ_CHECK(address.substr(start, end == std::wstring::npos ? end : end - start).find(L'@') == std::wstring::npos);
    return 0;
}
