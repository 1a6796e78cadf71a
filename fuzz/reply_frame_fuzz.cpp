// The framing of a server's HTTP reply: status line, headers, Content-Length,
// chunks and the close, whole or arriving in pieces.
#include "fuzz/doubles.h"
#include "fuzz/fuzz_input.h"
#include "upload/reply_reader.h"

using namespace parvex;
using namespace parvex::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto [piece, bytes] = PeerBytesOf(data, size);

    for (ReplyInput input : {ReplyInput::Open, ReplyInput::Closed, ReplyInput::Capped}) {
        HttpReply reply;
        size_t used = 0;
        if (FrameReply(bytes, input, reply, &used) == FrameDone) {
            FUZZ_CHECK(used <= bytes.size());
            FUZZ_CHECK(reply.body.size() <= bytes.size());
        }
    }

    ScriptedSocket socket(bytes, piece);
    ServerWait wait;
    ReplyReader reader(socket, wait);
    HttpReply reply;
    // Each reply takes at least one byte, so the replies of the input end.
    for (size_t n = 0; n <= bytes.size() + 1; ++n) {
        if (reader.Next(reply) != ReplyComplete) break;
        FUZZ_CHECK(reply.body.size() <= bytes.size());
    }
    return 0;
}
