// The page's upload, exists and download host URLs cut into their parts, and
// request targets escaped.
#include "common/url.h"
#include "fuzz/fuzz_input.h"

using namespace parvex;
using namespace parvex::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    std::wstring upload = in.Wide();
    std::wstring exists = in.Wide();

    UploadUrlParts parts = SplitUploadUrl(upload, exists);
    DownloadHostParts host = SplitDownloadHostUrl(upload);
    if (IsUsableHttpUrl(upload)) {
        FUZZ_CHECK(parts.port >= 1 && parts.port <= 65535);
        FUZZ_CHECK(host.port >= 1 && host.port <= 65535);
        FUZZ_CHECK(IsHeaderSafe(parts.host) && IsHeaderSafe(parts.path));
    }
    if (IsUsableUploadUrl(upload)) FUZZ_CHECK(IsUsableHttpUrl(upload));
    UrlPort(exists);
    // Whatever a page writes, a request target is one token of printable
    // ASCII: nothing ends the request line or adds a header.
    for (char c : EscapeRequestTarget(exists)) FUZZ_CHECK(c > 0x20 && c < 0x7F);
    return 0;
}
