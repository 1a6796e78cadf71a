// The upload reply judged and its text shown to the user.
#include "fuzz/doubles.h"
#include "fuzz/fuzz_input.h"
#include "upload/upload_reply.h"

using namespace parvex;
using namespace parvex::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto [piece, bytes] = PeerBytesOf(data, size);

    HttpReply reply;
    size_t used = 0;
    if (FrameReply(bytes, ReplyInput::Closed, reply, &used) == FrameResult::Done) {
        QuietBoxes boxes;
        UploadReplyOutcome judged = JudgeUploadReply(reply, boxes);
        FUZZ_CHECK(judged == UploadReplyOutcome::Accepted || judged == UploadReplyOutcome::Refused);
        FUZZ_CHECK(JudgeEarlyReply(reply, boxes) == UploadReplyOutcome::Refused);
    }
    ExtractReplyText(Latin1(bytes));

    ScriptedSocket socket(bytes, piece);
    QuietBoxes boxes;
    UploadReplyOutcome read = ReadUploadReply(socket, boxes, ServerWait());
    FUZZ_CHECK(read == UploadReplyOutcome::Accepted || read == UploadReplyOutcome::Refused ||
               read == UploadReplyOutcome::Unreadable);
    return 0;
}
