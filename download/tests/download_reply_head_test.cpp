#include <gtest/gtest.h>

#include "download/download_engine.h"

using namespace parvex;

TEST(DownloadReplyHead, OnlyALengthTheBodyKeepsCounts) {
    // Chunk lines would be written into the file as if they were its bytes.
    EXPECT_EQ(ParseContentLength(L"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: 5\r\n\r\n"), -1);
    // Two lengths that differ: no way to tell where the file ends.
    EXPECT_EQ(ParseContentLength(L"HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 50\r\n\r\n"), -1);
    std::wstring text;
    EXPECT_EQ(ParseStatusLine(L"HTTP/1.1\r\n\r\n", text), StatusCheck::ClientError);
    EXPECT_EQ(text, L"http/1.1");
}
