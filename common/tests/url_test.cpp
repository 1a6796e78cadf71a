#include <gtest/gtest.h>

#include "common/url.h"

using namespace parvex;

TEST(UrlPort, Cuts) {
    EXPECT_EQ(UrlPort(L"http://mail.example.com/upload.php"), 80);
    EXPECT_EQ(UrlPort(L"http://mail.example.com:8080/upload.php"), 8080);
    EXPECT_EQ(UrlPort(L"http://mail.example.com:8080"), 8080);
    EXPECT_EQ(UrlPort(L"http://mail.example.com/a:9090/b"), 80);
    EXPECT_EQ(UrlPort(L"mail.example.com:8080/x"), 80);
    EXPECT_EQ(UrlPort(L"http://host:abc/x"), 0);
    EXPECT_EQ(UrlPort(L"http://host: 81x/"), 81);
    EXPECT_EQ(UrlPort(L"https://host/x"), 80);
    EXPECT_EQ(UrlPort(L""), 80);
    // Absurd digits saturate instead of overflowing.
    EXPECT_EQ(UrlPort(L"http://host:99999999999999999999/"), 2147483647);
}

TEST(SplitUploadUrl, HostPortPathAndQuery) {
    UploadUrlParts p = SplitUploadUrl(L"http://mail.example.com:8080/up/save.php?id=3&x=/y", L"");
    EXPECT_EQ(p.host, L"mail.example.com");
    EXPECT_EQ(p.port, 8080);
    EXPECT_EQ(p.path, L"/up/save.php?id=3&x=/y");
    EXPECT_EQ(p.existPath, L"");

    p = SplitUploadUrl(L"http://mail.example.com/up.php", L"http://other.example.com:9999/check.php?q=1");
    EXPECT_EQ(p.host, L"mail.example.com");
    EXPECT_EQ(p.port, 80);
    EXPECT_EQ(p.path, L"/up.php");
    EXPECT_EQ(p.existPath, L"/check.php?q=1");
}

TEST(SplitUploadUrl, UrlsWithoutPathOrSlashes) {
    // No "/" after the host: empty host, the rest as the path.
    UploadUrlParts p = SplitUploadUrl(L"http://host:81", L"");
    EXPECT_EQ(p.host, L"");
    EXPECT_EQ(p.path, L"host:81");
    EXPECT_EQ(p.port, 81);
    EXPECT_FALSE(IsUsableUploadUrl(L"http://host:81"));
    EXPECT_FALSE(IsUsableUploadUrl(L"host/upload"));
    EXPECT_FALSE(IsUsableUploadUrl(L"http:///upload"));
    EXPECT_FALSE(IsUsableUploadUrl(L""));
    EXPECT_TRUE(IsUsableUploadUrl(L"http://host:81/"));
    // Without "//" the cut starts at the second character.
    p = SplitUploadUrl(L"host/upload", L"");
    EXPECT_EQ(p.host, L"ost");
    EXPECT_EQ(p.path, L"/upload");
}

TEST(SplitDownloadHostUrl, PathIsNeverUsed) {
    DownloadHostParts d = SplitDownloadHostUrl(L"http://files.example.com/");
    EXPECT_EQ(d.host, L"files.example.com");
    EXPECT_EQ(d.port, 80);
    d = SplitDownloadHostUrl(L"http://files.example.com:8080/mail/down?x=1");
    EXPECT_EQ(d.host, L"files.example.com");
    EXPECT_EQ(d.port, 8080);
    d = SplitDownloadHostUrl(L"http://files.example.com:8080");
    EXPECT_EQ(d.host, L"files.example.com");
    EXPECT_EQ(d.port, 8080);
}

TEST(IsUsableHttpUrl, OnlyPlainHttpWithAHostAPortAndNoControlCharacters) {
    for (const wchar_t* url : {L"http://files.example.com", L"HTTP://files.example.com:8080/x", L"http://h:1/",
                               L"http://h:65535/"})
        EXPECT_TRUE(IsUsableHttpUrl(url)) << url;
    for (const wchar_t* url : {L"https://files.example.com/", L"ftp://files.example.com/", L"files.example.com/",
                               L" http://h/", L"http://", L"http://:80/", L"http://h:0/", L"http://h:65536/",
                               L"http://h:99999/", L"http://h:-1/", L"http://h:x/", L"http://h/a\r\nX: 1",
                               L"http://h/a\tb", L"http://h/\x7F"})
        EXPECT_FALSE(IsUsableHttpUrl(url)) << url;
    EXPECT_FALSE(IsUsableUploadUrl(L"https://host/upload"));
    EXPECT_FALSE(IsHeaderSafe(L"/exists\n"));
    EXPECT_TRUE(IsHeaderSafe(L"/exists?이름=1"));
}

TEST(EscapeRequestTarget, BytesOutsidePrintableAsciiAndTheSpaceAreEscaped) {
    EXPECT_EQ(EscapeRequestTarget(L"/files/한글.txt"), "/files/%ED%95%9C%EA%B8%80.txt");
    EXPECT_EQ(EscapeRequestTarget(L"/a b?x=1&y=~z#f"), "/a%20b?x=1&y=~z#f");
    // A page that escaped already keeps its escapes, and a lone '%' stays too.
    EXPECT_EQ(EscapeRequestTarget(L"/files/%ED%95%9C 100%"), "/files/%ED%95%9C%20100%");
    // No control byte reaches the request head as it is.
    EXPECT_EQ(EscapeRequestTarget(L"/ok\r\nX-Injected: yes"), "/ok%0D%0AX-Injected:%20yes");
    EXPECT_EQ(EscapeRequestTarget(std::wstring(L"/\t\x01\x7F", 4) + std::wstring(1, L'\0')), "/%09%01%7F%00");
    EXPECT_EQ(EscapeRequestTarget(L""), "");
}
