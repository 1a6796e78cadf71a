#include <gtest/gtest.h>

#include "common/cookies.h"
#include "tests/support/fakes.h"

using namespace parvex;
using parvex::testing::FakeCookieStore;

// The store is asked with the URL's own characters (an ANSI call would see
// UTF-8 bytes it reads as another URL, and the cookies would go missing).
TEST(FetchCookies, AsksWithTheWideUrlAndKeepsHangulValues) {
    FakeCookieStore store;
    store.cookies[L"http://mail.example.com/받은편지함"] = L"SID=abc; name=홍";
    EXPECT_EQ(FetchCookies(store, L"http://mail.example.com/받은편지함"), L"SID=abc; name=홍");
    ASSERT_EQ(store.askedUrls.size(), 1u);
    EXPECT_EQ(store.askedUrls[0], L"http://mail.example.com/받은편지함");
}

TEST(FetchCookies, NoCookiesGiveTheEmptyText) {
    FakeCookieStore store;
    EXPECT_EQ(FetchCookies(store, L"http://mail.example.com/"), L"");
    EXPECT_EQ(store.calls, 1);
}

TEST(FetchCookies, LongCookieTextIsFetchedWhole) {
    FakeCookieStore store;
    std::wstring big = L"SID=" + std::wstring(6000, L'x') + L"; end=1";
    store.cookies[L"http://h/"] = big;
    std::wstring got = FetchCookies(store, L"http://h/");
    EXPECT_EQ(got.size(), big.size());
    EXPECT_EQ(got.substr(got.size() - 7), L"; end=1");
    EXPECT_EQ(store.calls, 2);
    // Exactly at the first buffer's limit: 4095 bytes and the terminator fit.
    std::wstring edge(4095, L'c');
    store.cookies[L"http://edge/"] = edge;
    EXPECT_EQ(FetchCookies(store, L"http://edge/").size(), 4095u);
}
