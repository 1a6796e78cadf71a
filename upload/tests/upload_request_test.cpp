#include <gtest/gtest.h>

#include <regex>

#include "upload/upload_request.h"

using namespace parvex;

namespace {

UploadTarget Target() {
    UploadTarget t;
    t.host = L"mail.example.com";
    t.port = 8080;
    t.path = L"/up/save.php?id=3";
    t.existPath = L"/exists/check.php";
    t.formFileNameField = L"fname";
    t.formUniqueNameField = L"uname";
    t.formFileField = L"upfile";
    return t;
}

const std::wstring kBoundary = L"---------------------------7FFF12AB0034CD";
const std::string kB = "---------------------------7FFF12AB0034CD";

// Everything but the file's bytes, in the order it goes on the wire.
std::string WireWithoutFile(const UploadRequest& r) {
    return r.header + r.parts[0] + r.parts[1] + r.parts[2] + r.parts[3] + r.closing;
}

}  // namespace

TEST(UploadRequestBoundary, FormAndSeeding) {
    std::regex form("^-{27}[0-9A-F]{8}00[0-9A-F]{4}$");
    for (uint32_t seed : {0u, 1u, 1700000000u, 0xFFFFFFFFu}) {
        std::wstring b = MakeBoundary(seed);
        ASSERT_EQ(b.size(), 41u);
        EXPECT_TRUE(std::regex_match(std::string(b.begin(), b.end()), form));
        EXPECT_EQ(b, MakeBoundary(seed)) << "the same second gives the same boundary";
    }
    EXPECT_NE(MakeBoundary(1), MakeBoundary(2));
    EXPECT_EQ(MakeBoundary().size(), 41u);
}

TEST(UploadRequestParts, FieldFileAndClosingBytes) {
    EXPECT_EQ(BuildFieldPart(kBoundary, L"fname", L"a.txt"),
              "--" + kB + "\r\nContent-Disposition: form-data; name=\"fname\"\r\n\r\na.txt\r\n");
    // Empty field names still give the part, with nothing between the quotes.
    EXPECT_EQ(BuildFieldPart(kBoundary, L"", L""),
              "--" + kB + "\r\nContent-Disposition: form-data; name=\"\"\r\n\r\n\r\n");
    EXPECT_EQ(BuildFilePartHeader(kBoundary, L"upfile", L"C:\\메일\\보고서.doc"),
              "--" + kB + "\r\nContent-Disposition: form-data; name=\"upfile\"; filename=\"C:\\\xEB\xA9\x94\xEC\x9D\xBC\\"
                          "\xEB\xB3\xB4\xEA\xB3\xA0\xEC\x84\x9C.doc\"\r\nContent-Type: application/octet-stream\r\n\r\n");
    std::string closing = BuildClosing(kBoundary);
    EXPECT_EQ(closing, "\r\n--" + kB + "--\r\n");
    EXPECT_EQ(closing.size(), kB.size() + 8);
}

TEST(UploadRequestHeader, PlainHeaderHasEightLinesInOrder) {
    UploadTarget t = Target();
    EXPECT_EQ(BuildUploadHeader(t, kBoundary, 123456789012.0),
              "POST /up/save.php?id=3 HTTP/1.1\r\n"
              "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, */*\r\n"
              "Accept-Language: ko\r\n"
              "Content-Type: multipart/form-data; boundary=" +
                  kB +
                  "\r\n"
                  "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n"
                  "Host: mail.example.com\r\n"
                  "Content-Length: 123456789012\r\n"
                  "Connection: close\r\n"
                  "\r\n");
}

TEST(UploadRequestHeader, ExpectAndCookieLines) {
    UploadTarget t = Target();
    t.expectContinue = 1;
    t.cookie = L"sid=abc; 이름=값";
    std::string h = BuildUploadHeader(t, kBoundary, 5);
    EXPECT_NE(h.find("Content-Length: 5\r\nExpect: 100-Continue\r\nConnection: close\r\n"
                     "Cookie: sid=abc; \xEC\x9D\xB4\xEB\xA6\x84=\xEA\xB0\x92\r\n\r\n"),
              std::string::npos)
        << h;
    EXPECT_EQ(h.find("Expect:"), h.rfind("Expect:"));
}

TEST(UploadRequestWhole, KoreanNamesGoOutAsUtf8AndAreCountedInBytes) {
    UploadTarget t = Target();
    UploadEntry e;
    e.localPath = L"C:\\문서\\한글 이름.txt";
    e.fileName = L"한글 이름.txt";
    e.uniqueName = L"201235974.58.7.2";
    e.kind = KindBig;
    e.size = 20000;
    UploadRequest r = BuildUploadRequest(t, kBoundary, e, e.localPath);
    // Parts of 112, 111, 97 and 174 bytes, the file, a closing of 49:
    // "한글 이름.txt" is 9 characters but 15 bytes.
    const std::string parts =
        "--" + kB + "\r\nContent-Disposition: form-data; name=\"fname\"\r\n\r\n"
        "\xED\x95\x9C\xEA\xB8\x80 \xEC\x9D\xB4\xEB\xA6\x84.txt\r\n"
        "--" + kB + "\r\nContent-Disposition: form-data; name=\"uname\"\r\n\r\n201235974.58.7.2\r\n"
        "--" + kB + "\r\nContent-Disposition: form-data; name=\"uptype\"\r\n\r\n1\r\n"
        "--" + kB + "\r\nContent-Disposition: form-data; name=\"upfile\"; filename=\"C:\\"
        "\xEB\xAC\xB8\xEC\x84\x9C\\\xED\x95\x9C\xEA\xB8\x80 \xEC\x9D\xB4\xEB\xA6\x84.txt\"\r\n"
        "Content-Type: application/octet-stream\r\n\r\n";
    const std::string head =
        "POST /up/save.php?id=3 HTTP/1.1\r\n"
        "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, */*\r\n"
        "Accept-Language: ko\r\n"
        "Content-Type: multipart/form-data; boundary=" + kB + "\r\n"
        "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n"
        "Host: mail.example.com\r\n";
    EXPECT_EQ(WireWithoutFile(r), head + "Content-Length: 20543\r\nConnection: close\r\n\r\n" + parts +
                                      "\r\n--" + kB + "--\r\n");
    EXPECT_EQ(r.contentLength, 20543.0);

    // An empty general file: the kind field says 0, the length has no file in it.
    e.kind = KindGeneral;
    e.size = 0;
    r = BuildUploadRequest(t, kBoundary, e, e.localPath);
    EXPECT_EQ(r.parts[2], "--" + kB + "\r\nContent-Disposition: form-data; name=\"uptype\"\r\n\r\n0\r\n");
    EXPECT_EQ(r.contentLength, 543.0);
    EXPECT_NE(r.header.find("\r\nContent-Length: 543\r\n"), std::string::npos) << r.header;
}

TEST(UploadRequestHeader, TargetsGoOutEscaped) {
    UploadTarget t = Target();
    t.path = L"/업로드/save.php?name=한 글&p=%2F";
    t.existPath = L"/exists?x=\r\nX-Injected: yes";
    auto firstLine = [](const std::string& r) { return r.substr(0, r.find("\r\n")); };
    EXPECT_EQ(firstLine(BuildUploadHeader(t, kBoundary, 1)),
              "POST /%EC%97%85%EB%A1%9C%EB%93%9C/save.php?name=%ED%95%9C%20%EA%B8%80&p=%2F HTTP/1.1");
    EXPECT_EQ(firstLine(BuildExistsRequest(t, kBoundary, L"a")), "POST /exists?x=%0D%0AX-Injected:%20yes HTTP/1.1");
}

TEST(UploadRequestExists, WholeRequestBytes) {
    UploadTarget t = Target();
    t.expectContinue = 1;  // never an Expect line on the exists check
    std::string body = "--" + kB + "\r\nContent-Disposition: form-data; name=\"file\"\r\n\r\n\xEB\xB3\xB4.txt\r\n--" + kB +
                       "--\r\n";
    std::string expected =
        "POST /exists/check.php HTTP/1.1\r\n"
        "Accept-Language: ko\r\n"
        "Content-Type: multipart/form-data; boundary=" +
        kB +
        "\r\n"
        "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n"
        "Host: mail.example.com\r\n"
        "Content-Length: 148\r\n"
        "Connection: close\r\n"
        "\r\n" +
        body;
    EXPECT_EQ(BuildExistsRequest(t, kBoundary, L"보.txt"), expected);

    t.cookie = L"a=1";
    std::string withCookie = BuildExistsRequest(t, kBoundary, L"보.txt");
    EXPECT_NE(withCookie.find("Connection: close\r\nCookie: a=1\r\n\r\n--"), std::string::npos);
}
