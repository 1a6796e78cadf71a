#include <gtest/gtest.h>

#include "common/cookies.h"
#include "tests/support/fakes.h"

using namespace parvex;
using parvex::testing::FakeCookieStore;

TEST(FetchCookies, AsksWithTheUtf8Url) {
    FakeCookieStore store;
    store.cookies["http://mail.example.com/받은편지함"] = "SID=abc; lang=ko";
    EXPECT_EQ(FetchCookies(store, L"http://mail.example.com/받은편지함"), L"SID=abc; lang=ko");
    EXPECT_EQ(store.askedUrls.at(0), "http://mail.example.com/\xEB\xB0\x9B\xEC\x9D\x80\xED\x8E\xB8\xEC\xA7\x80\xED\x95\xA8");
}

TEST(FetchCookies, NoCookiesGiveTheEmptyText) {
    FakeCookieStore store;
    EXPECT_EQ(FetchCookies(store, L"http://mail.example.com/"), L"");
    EXPECT_EQ(store.calls, 1);
}

TEST(FetchCookies, LongCookieTextIsFetchedWhole) {
    FakeCookieStore store;
    std::string big = "SID=" + std::string(6000, 'x') + "; end=1";
    store.cookies["http://h/"] = big;
    std::wstring got = FetchCookies(store, L"http://h/");
    EXPECT_EQ(got.size(), big.size());
    EXPECT_EQ(got.substr(got.size() - 7), L"; end=1");
    EXPECT_EQ(store.calls, 2);
    // Exactly at the first buffer's limit: 4095 bytes and the terminator fit.
    std::string edge(4095, 'c');
    store.cookies["http://edge/"] = edge;
    EXPECT_EQ(FetchCookies(store, L"http://edge/").size(), 4095u);
}
