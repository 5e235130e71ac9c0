#include <gtest/gtest.h>

#include "foundation/Url.h"

namespace parlendo {
namespace {

TEST(Url, SplitsEveryComponent) {
    const auto url = Url::parse("https://user:pw@Example.COM:8443/a/b%20c?x=1&y=/z?#frag/ment?");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->scheme, "https");
    EXPECT_EQ(url->userInfo, "user:pw");
    EXPECT_EQ(url->user(), "user");
    EXPECT_EQ(url->host, "Example.COM");  // kept as written
    EXPECT_EQ(url->port, "8443");
    EXPECT_EQ(url->path, "/a/b%20c");
    EXPECT_EQ(url->query, "x=1&y=/z?");
    EXPECT_EQ(url->fragment, "frag/ment?");
}

TEST(Url, AbsentAndEmptyComponentsDiffer) {
    const auto bare = Url::parse("https://abc.supabase.co");
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->path, "");
    EXPECT_FALSE(bare->port);
    EXPECT_FALSE(bare->query);
    EXPECT_FALSE(bare->fragment);
    EXPECT_FALSE(bare->userInfo);

    const auto empty = Url::parse("https://@abc.supabase.co:/?#");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->userInfo, "");
    EXPECT_EQ(empty->user(), "");
    EXPECT_EQ(empty->port, "");
    EXPECT_EQ(empty->path, "/");
    EXPECT_EQ(empty->query, "");
    EXPECT_EQ(empty->fragment, "");
}

TEST(Url, QueryAndFragmentEndTheAuthority) {
    auto url = Url::parse("https://abc.supabase.co?x");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->host, "abc.supabase.co");
    EXPECT_EQ(url->path, "");
    EXPECT_EQ(url->query, "x");

    // Everything after "#" is the fragment, even what looks like user information.
    url = Url::parse("https://abc.supabase.co#@evil.example");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->host, "abc.supabase.co");
    EXPECT_EQ(url->fragment, "@evil.example");
}

TEST(Url, HostsOfEveryForm) {
    auto url = Url::parse("http://127.0.0.1:80/");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->host, "127.0.0.1");
    url = Url::parse("http://[::1]:8080/x");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->host, "[::1]");
    EXPECT_EQ(url->port, "8080");
    url = Url::parse("file:///tmp/a.pdf");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->host, "");
    EXPECT_EQ(url->path, "/tmp/a.pdf");
    url = Url::parse("mailto:someone@example.com");
    ASSERT_TRUE(url);
    EXPECT_FALSE(url->host);
    EXPECT_EQ(url->path, "someone@example.com");
    url = Url::parse("parlendo://auth-callback#access_token=x");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->host, "auth-callback");
}

TEST(Url, RefusesMalformedAddresses) {
    for (const char* text : {
             "",
             "abc.supabase.co",                // no scheme
             "://abc",                         // empty scheme
             "1https://abc",                   // scheme must start with a letter
             "ht tp://abc",                    // space in the scheme
             "https://abc def.co",             // space in the host
             "https://abc.co:44a3",            // port not decimal
             "https://abc.co:65536",           // port out of range
             "https://abc.co:000443",          // more than five digits
             "https://a@b@abc.co",             // "@" in the host
             "https://evil.example\\@abc.co",  // backslash in the user information
             "https://%61bc.co",               // escapes in the host
             "https://us%4gr@abc.co",          // malformed escape in the user information
             "https://[::1",                   // unclosed IPv6 literal
             "https://[::1]x",                 // junk after the literal
             "https://[example.com]",          // not an address
             "https://abc.co/a b",             // space in the path
             "https://abc.co/\x01",            // control character
             "https://abc.co/#a#b",            // two fragments
             "https://\xEC\x95\x88.co",        // host outside ASCII
             "https://abc.co/path\x7F",        // DEL
         }) {
        EXPECT_FALSE(Url::parse(text)) << text;
    }
}

TEST(Url, PathAndQueryMayHoldUnencodedText) {
    // Filter text and titles are encoded by the transport later; the address still parses.
    const auto url =
        Url::parse("https://abc.co/rest/v1/words?or=(title.ilike.\"*a\\\\b*\")&t=\xED\x95\x9C");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->host, "abc.co");
    EXPECT_EQ(url->query, "or=(title.ilike.\"*a\\\\b*\")&t=\xED\x95\x9C");
}

}  // namespace
}  // namespace parlendo
