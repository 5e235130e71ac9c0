#include <gtest/gtest.h>

#include "server/PostgRESTFilter.h"
#include "server/ServerSessions.h"

namespace parlendo {
namespace {

TEST(PostgRESTFilterTest, EncodesEverythingButLettersMarksDigits) {
    using PostgRESTFilter::value;
    EXPECT_EQ(value("a b&c=d"), "a%20b%26c%3Dd");
    EXPECT_EQ(value("x,y"), "x%2Cy");
    EXPECT_EQ(value("a.b*c"), "a%2Eb%2Ac");
    EXPECT_EQ(value("(or)\"\\:"), "%28or%29%22%5C%3A");
    EXPECT_EQ(value("-_~"), "-_~");
    EXPECT_EQ(value("0123"), "0123");
    EXPECT_EQ(value("단어장"), "단어장");
    EXPECT_EQ(value("é"), "é");             // combining mark stays
    EXPECT_EQ(value("١٢"), "١٢");           // digits of other scripts
    EXPECT_EQ(value("😀"), "%F0%9F%98%80");  // a symbol is encoded byte by byte
    EXPECT_EQ(value("a\xff"
                    "b"),
              "a%FFb");  // invalid UTF-8 is encoded, never passed raw
    EXPECT_EQ(value(""), "");
}

TEST(ServerSessionsTest, UploadIsDataCappedAtTls12) {
    auto data = ServerSessions::data();
    EXPECT_EQ(data.requestTimeout, 15.0);
    EXPECT_TRUE(data.ephemeral);
    EXPECT_FALSE(data.waitsForConnectivity);
    EXPECT_EQ(data.maximumTLSVersion, std::nullopt);
    auto upload = ServerSessions::upload();
    EXPECT_EQ(upload.maximumTLSVersion, 0x0303);
    upload.maximumTLSVersion.reset();
    EXPECT_EQ(upload, data);
}

}  // namespace
}  // namespace parlendo
