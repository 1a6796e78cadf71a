#include <gtest/gtest.h>

#include "common/http_reply.h"

using namespace parvex;

namespace {

ContentLength LengthOf(const std::string& head) { return ContentLengthOf(ReadReplyHead(head)); }

}  // namespace

TEST(ReplyHeadLength, OneRuleForBothDirections) {
    using State = ContentLength::State;
    EXPECT_EQ(LengthOf("HTTP/1.1 200 OK\r\nContent-Length: 0000000000000000000000012\r\n\r\n").bytes, 12u);
    EXPECT_EQ(LengthOf("HTTP/1.1 200 OK\r\nContent-Length: 5\r\ncontent-length: 5\r\n\r\n").bytes, 5u);
    EXPECT_EQ(LengthOf("HTTP/1.1 200 OK\r\nServer: x\r\n\r\n").state, State::Absent);
    for (const char* head : {
             "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 7\r\n\r\n",  // which one?
             "HTTP/1.1 200 OK\r\nContent-Length: 9007199254740993\r\n\r\n",        // past a double's count
             "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: x\r\n\r\n",
         }) {
        SCOPED_TRACE(head);
        EXPECT_EQ(LengthOf(head).state, State::Unusable);
    }
    // A bare "\n" does not start a field: the length hides inside another value.
    EXPECT_EQ(LengthOf("HTTP/1.1 200 OK\r\nX-Note: a\nContent-Length: 5\r\n\r\n").state, State::Absent);
    // An empty first line is the status line; the head goes on after it.
    ReplyHead head = ReadReplyHead(std::string("\r\nContent-Length: 3\r\n\r\nabc"));
    EXPECT_EQ(head.lines.size(), 2u);
    EXPECT_EQ(ContentLengthOf(head).bytes, 3u);
    EXPECT_TRUE(IsChunked(ReadReplyHead(std::wstring(L"HTTP/1.1 200 OK\r\nTRANSFER-encoding: gzip, Chunked\r\n\r\n"))));
}

TEST(ReplyHeadLength, EndFoundAcrossPieces) {
    std::string bytes = "HTTP/1.1 200 OK\r\nA: b\r\n\r\nbody";
    // Searched up to the middle of the empty line, then resumed.
    EXPECT_EQ(HeadLength(bytes, 24), 25u);
    EXPECT_EQ(HeadLength(bytes, 23), 25u);
    EXPECT_EQ(HeadLength(std::string_view(bytes).substr(0, 24)), std::string_view::npos);
    EXPECT_EQ(StatusRest(std::string("HTTP/1.1 404 Not\rFound")), "404 notfound");
    EXPECT_EQ(StatusRest(std::wstring(L"HTTP/1.1")), L"http/1.1");
}

TEST(ReplyHeadStatus, ExactlyThreeDigitsThenASpaceOrTheEnd) {
    for (const char* line : {"HTTP/1.1 200 OK", "HTTP/1.1 200", "HTTP/1.0 200 ", "HTTP/1.1 200  OK"})
        EXPECT_EQ(StatusCodeOf(std::string(line)), 200) << line;
    for (const char* line : {"HTTP/1.1 2000 Weird", "HTTP/1.1 200x", "HTTP/1.1 200\tOK", "HTTP/1.1 20 OK",
                             "HTTP/1.1 1200 OK", "HTTP/1.1 +20 OK", "HTTP/1.1  200 OK", "HTTP/1.1 200\r"})
        EXPECT_EQ(StatusCodeOf(std::string(line)), 0) << line;
    EXPECT_EQ(ReadReplyHead(std::wstring(L"HTTP/1.1 4040 Not Found\r\n\r\n")).statusCode, 0);
}
