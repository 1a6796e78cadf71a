// The framing of a server's HTTP reply: status line, headers, Content-Length,
// chunks and the close, whole or arriving in pieces; and the head as both
// directions read it, from bytes and from text.
#include <algorithm>

#include "common/http_reply.h"
#include "fuzz/doubles.h"
#include "fuzz/fuzz_input.h"
#include "upload/reply_reader.h"

using namespace parvex;
using namespace parvex::fuzz;

namespace {

// The rules look at ASCII only: the head reads the same from the bytes and
// from the text they make, and a search resumed where an earlier one
// stopped finds the same end.
void CheckHead(const std::string& bytes, size_t piece) {
    ReplyHead head = ReadReplyHead(bytes);
    WideReplyHead wide = ReadReplyHead(Latin1(bytes));
    FUZZ_CHECK(head.lines.size() == wide.lines.size() && head.statusCode == wide.statusCode);
    FUZZ_CHECK(IsChunked(head) == IsChunked(wide));
    ContentLength length = ContentLengthOf(head);
    ContentLength wideLength = ContentLengthOf(wide);
    FUZZ_CHECK(length.state == wideLength.state && length.bytes == wideLength.bytes);
    FUZZ_CHECK(length.bytes <= kMaxBodyLength);
    // A code is three digits after the first space, then a space or the end.
    if (head.statusCode != 0) {
        const std::string& line = head.lines.front();
        size_t space = line.find(' ');
        FUZZ_CHECK(head.statusCode > 0 && head.statusCode <= 999 && space != std::string::npos);
        FUZZ_CHECK(line.size() == space + 4 || line[space + 4] == ' ');
    }
    size_t from = std::min(piece, bytes.size());
    if (HeadLength(std::string_view(bytes).substr(0, from)) == std::string_view::npos)
        FUZZ_CHECK(HeadLength(bytes, from) == HeadLength(bytes));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto [piece, bytes] = PeerBytesOf(data, size);
    CheckHead(bytes, piece);

    for (ReplyInput input : {ReplyInput::Open, ReplyInput::Closed, ReplyInput::Capped}) {
        HttpReply reply;
        size_t used = 0;
        if (FrameReply(bytes, input, reply, &used) == FrameResult::Done) {
            FUZZ_CHECK(used <= bytes.size());
            FUZZ_CHECK(reply.body.size() <= bytes.size());
            // A head without its end is only ever taken from capped input,
            // and then as an answer without status or body.
            if (reply.headTooLong)
                FUZZ_CHECK(input == ReplyInput::Capped && reply.statusCode == 0 && reply.body.empty());
        }
    }

    ScriptedSocket socket(bytes, piece);
    ServerWait wait;
    ReplyReader reader(socket, wait);
    HttpReply reply;
    // Each reply takes at least one byte, so the replies of the input end.
    for (size_t n = 0; n <= bytes.size() + 1; ++n) {
        if (reader.Next(reply) != ReplyReadState::Complete) break;
        FUZZ_CHECK(reply.body.size() <= bytes.size());
    }
    return 0;
}
