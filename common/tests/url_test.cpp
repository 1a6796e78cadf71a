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
    EXPECT_EQ(UrlPort(L""), 80);
    // https defaults to 443; an IPv6 address's colons are not the port's.
    EXPECT_EQ(UrlPort(L"https://host/x"), 443);
    EXPECT_EQ(UrlPort(L"HTTPS://host:8443"), 8443);
    EXPECT_EQ(UrlPort(L"http://[::1]:8080/up"), 8080);
    EXPECT_EQ(UrlPort(L"https://[::1]/up"), 443);
    EXPECT_EQ(UrlPort(L"http://[2001:db8::7]/a:9/b"), 80);
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

TEST(SplitUrls, HttpsAndIpv6AddressesInBrackets) {
    UploadUrlParts p = SplitUploadUrl(L"https://[::1]:8443/up?x=[1]", L"https://[::1]/exists");
    EXPECT_EQ(p.host, L"[::1]");
    EXPECT_EQ(BareHost(p.host), L"::1");
    EXPECT_EQ(p.port, 8443);
    EXPECT_TRUE(p.secure);
    EXPECT_EQ(p.path, L"/up?x=[1]");
    EXPECT_EQ(p.existPath, L"/exists");
    EXPECT_FALSE(SplitUploadUrl(L"http://mail.example.com/up", L"").secure);
    EXPECT_EQ(BareHost(L"mail.example.com"), L"mail.example.com");

    DownloadHostParts d = SplitDownloadHostUrl(L"HTTPS://[2001:db8::7]/");
    EXPECT_EQ(d.host, L"[2001:db8::7]");
    EXPECT_EQ(d.port, 443);
    EXPECT_TRUE(d.secure);
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

TEST(IsUsableHttpUrl, HttpOrHttpsWithAHostAPortAndNoControlCharacters) {
    for (const wchar_t* url : {L"http://files.example.com", L"HTTP://files.example.com:8080/x", L"http://h:1/",
                               L"http://h:65535/", L"https://files.example.com/", L"HTTPS://h:8443/x",
                               L"http://[::1]:8080/up", L"https://[2001:DB8::7]/", L"http://[::ffff:127.0.0.1]/"})
        EXPECT_TRUE(IsUsableHttpUrl(url)) << url;
    // An IPv6 address is whole in its brackets, the port after them.
    for (const wchar_t* url :
         {L"http://[::1/up", L"http://[::1]x/up", L"http://[]/", L"http://[::1]:80[/", L"http://::1/up",
          L"http://[fe80::1%25eth0]/", L"http://h[::1]/", L"http://[127.0.0.1]/", L"https:/h/", L"httpss://h/"})
        EXPECT_FALSE(IsUsableHttpUrl(url)) << url;
    for (const wchar_t* url : {L"ftp://files.example.com/", L"files.example.com/", L" http://h/", L"http://",
                               L"http://:80/", L"http://h:0/", L"http://h:65536/", L"http://h:99999/", L"http://h:-1/",
                               L"http://h:x/", L"http://h/a\r\nX: 1", L"http://h/a\tb", L"http://h/\x7F"})
        EXPECT_FALSE(IsUsableHttpUrl(url)) << url;
    // A port is decimal digits alone: what the cutting reads past (a sign, blanks,
    // a second colon, junk after the digits) or an empty port is malformed, even
    // where the number it would take is a good one.
    EXPECT_TRUE(IsUsableHttpUrl(L"http://h:080/"));
    for (const wchar_t* url : {L"http://[::1]:8080:8080/", L"http://h:8080:8080/up", L"http://h::8080/",
                               L"http://h:+8080/", L"http://[::1]:+8080/", L"http://h:-0/", L"http://h: 8080/",
                               L"http://h:8080 /", L"http://h:8080x/", L"http://h:0x50/", L"http://h:\xFF18\xFF10/",
                               L"http://h:/", L"http://[::1]:/up", L"https://h:"})
        EXPECT_EQ(FindUrlFault(url), UrlFault::MalformedPort) << url;
    EXPECT_EQ(FindUrlFault(L"http://h:65536/"), UrlFault::PortOutOfRange);
    EXPECT_TRUE(IsUsableUploadUrl(L"https://host/upload"));
    EXPECT_FALSE(IsUsableUploadUrl(L"https://host"));
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
