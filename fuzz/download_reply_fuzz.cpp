// A download's reply: the header read off the connection, its status line
// and Content-Length, and the body into the save folder.
#include <filesystem>

#include "download/download_engine.h"
#include "download/tests/download_test_support.h"
#include "fuzz/doubles.h"
#include "fuzz/fuzz_input.h"

using namespace parvex;
using namespace parvex::fuzz;

namespace {

struct Rig {
    TempFolder folder;
    QuietBoxes boxes;
    std::unique_ptr<DownloadState> state;
    DownloadBuffers buffers;

    Rig() {
        DownloadPlatform platform;
        platform.promptMessages = &boxes;
        platform.controlMessages = &boxes;
        state = std::make_unique<DownloadState>(platform);
        state->SetSaveFolder(folder.core);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Rig rig;
    auto [piece, bytes] = PeerBytesOf(data, size);

    auto entry = std::make_shared<DownloadEntry>();
    entry->urlPath = L"/down?id=1";
    entry->fileName = L"reply.bin";
    entry->size = 10;
    ScriptedSocket socket(bytes, piece);
    DownloadSession session(std::make_shared<dltest::TestDialog>(), DownloadHostParts{L"mail.example.com", 80}, L"");
    std::wstring line;
    DownloadResult result = DownloadOneFile(*rig.state, session, entry, socket, rig.buffers, line);

    // A file takes its name only when the whole announced body arrived, and
    // nothing is left behind otherwise.
    std::error_code ec;
    auto saved = rig.folder.path / "reply.bin";
    FUZZ_CHECK((result == DownloadResult::Done) == std::filesystem::exists(saved, ec));
    if (result == DownloadResult::Done) {
        size_t end = bytes.find("\r\n\r\n");
        FUZZ_CHECK(end != std::string::npos);
        double length = ParseContentLength(Latin1(bytes.substr(0, end + 4)));
        FUZZ_CHECK(static_cast<double>(std::filesystem::file_size(saved, ec)) == length);
    }
    for (auto& item : std::filesystem::directory_iterator(rig.folder.path, ec)) FUZZ_CHECK(item.path() == saved);
    rig.folder.Clear();

    std::wstring statusText;
    StatusCheck status = ParseStatusLine(Latin1(bytes), statusText);
    (void)status;
    double length = ParseContentLength(Latin1(bytes));
    FUZZ_CHECK(length == -1 || (length >= 0 && length <= kMaxContentLength));
    return 0;
}
