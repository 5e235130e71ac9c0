#include "foundation/Base64.h"

#include <gtest/gtest.h>

namespace parlendo {
namespace {

TEST(Base64Test, RoundTripsEveryLength) {
    std::string bytes;
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(Base64::decode(Base64::encode(bytes)), bytes) << i;
        bytes += static_cast<char>(i * 37 + 200);
    }
    EXPECT_EQ(Base64::encode(""), "");
    EXPECT_EQ(Base64::encode("foob"), "Zm9vYg==");
    EXPECT_EQ(Base64::encode("\xFB\xFF\xBF"), "+/+/");
    EXPECT_EQ(Base64::decode("Zm9vYg=="), "foob");
    EXPECT_EQ(Base64::decode("QUI="), "AB");
}

// Only what `encode` writes is read: anything else would be read as other bytes than were written.
TEST(Base64Test, RefusesEveryOtherSpelling) {
    const char* refused[] = {
        // The length is not a multiple of four.
        "Zm9vYg=",
        "QUJ",
        "QQ===",
        // Padding inside a group or before the last one, or nothing but padding.
        "Zm=vYg==",
        "A=AA",
        "QQ=A",
        "AA==AA==",
        "====",
        // Unused bits set.
        "QR==",
        "QUJ=",
        // Blanks, line breaks, the URL-safe alphabet.
        "Zm9v\nYg==",
        "QUI ",
        " QUI",
        "QU-D",
        "QU_D",
    };
    for (const char* text : refused) {
        EXPECT_EQ(Base64::decode(text), std::nullopt) << text;
    }
}

}  // namespace
}  // namespace parlendo
