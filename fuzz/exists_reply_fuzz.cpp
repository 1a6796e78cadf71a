// The server's answer to whether a name is already stored.
#include "fuzz/doubles.h"
#include "fuzz/fuzz_input.h"
#include "upload/upload_reply.h"

using namespace parvex;
using namespace parvex::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto [piece, bytes] = PeerBytesOf(data, size);
    ScriptedNetwork network(bytes, piece);
    UploadTarget target;
    target.host = L"mail.example.com";
    target.path = L"/upload";
    target.existPath = L"/exists";
    target.formFileNameField = L"name";
    target.formUniqueNameField = L"unique";
    target.formFileField = L"file";
    ExistsOutcome outcome = CheckFileExists(network, {NetAddress()}, target, L"report.txt", ServerWait());
    FUZZ_CHECK(outcome == ExistsOutcome::Yes || outcome == ExistsOutcome::No || outcome == ExistsOutcome::CheckFailed ||
               outcome == ExistsOutcome::SocketError);
    return 0;
}
