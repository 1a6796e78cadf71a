// The upload reply judged and its text shown to the user.
#include "common/shown_text.h"
#include "fuzz/doubles.h"
#include "fuzz/fuzz_input.h"
#include "upload/upload_reply.h"

using namespace parvex;
using namespace parvex::fuzz;

namespace {

// Whatever the server sent, a box shows it whole: no NUL that would end
// it, no control that would hide or reorder what follows.
class ShownTextBoxes : public MessageBoxHost {
public:
    MessageAnswer Show(const std::wstring& text, const std::wstring&, unsigned) override {
        for (wchar_t c : text) {
            bool control = (c < 0x20 && c != L'\r' && c != L'\n' && c != L'\t') || (c >= 0x7F && c <= 0x9F);
            FUZZ_CHECK(!control && !IsBidiControl(c));
        }
        return IdOk;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto [piece, bytes] = PeerBytesOf(data, size);

    for (ReplyInput input : {ReplyInput::Closed, ReplyInput::Capped}) {
        HttpReply reply;
        size_t used = 0;
        if (FrameReply(bytes, input, reply, &used) != FrameResult::Done) continue;
        ShownTextBoxes boxes;
        UploadReplyOutcome judged = JudgeUploadReply(reply, boxes);
        FUZZ_CHECK(judged == UploadReplyOutcome::Accepted || judged == UploadReplyOutcome::Refused);
        // Only status 200 accepts, and never a head that could not be read.
        if (judged == UploadReplyOutcome::Accepted) FUZZ_CHECK(reply.statusCode == 200 && !reply.headTooLong);
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
