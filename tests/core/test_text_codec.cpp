#include <gtest/gtest.h>

#include "core/store/text_codec.h"

using namespace meru;

TEST(TextCodec, EveryWindows1252ByteRoundTrips) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const std::string utf8 = Cp1252ToUtf8(all);
    const auto back = Utf8ToCp1252(utf8);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, all);
    EXPECT_EQ(Cp1252ToUtf8("\x80\x93\xE8"), "€“è");
}

TEST(TextCodec, TextsWindows1252CannotHoldAreRefused) {
    for (const char* s : {"漢", "😀", "Ā", "\xC3", "\xFF", "\xED\xA0\x80" /* a lone surrogate */}) {
        SCOPED_TRACE(s);
        EXPECT_FALSE(Utf8ToCp1252(s).has_value());
    }
}

TEST(TextCodec, Utf16RoundTripsAndMendsLoneSurrogates) {
    for (const char* s : {"", "ascii", "città €", "漢字", "😀 e 👍🏽"}) {
        EXPECT_EQ(Utf16LeToUtf8(Utf8ToUtf16Le(s)), s);
    }
    EXPECT_EQ(Utf8ToUtf16Le("😀"), std::string("\x3D\xD8\x00\xDE", 4));
    EXPECT_EQ(Utf16LeToUtf8(std::string("\x3D\xD8" "a\x00", 4)), "\xEF\xBF\xBD" "a");  // high alone
    EXPECT_EQ(Utf16LeToUtf8(std::string("\x00\xDE", 2)), "\xEF\xBF\xBD");              // low alone
}

TEST(TextCodec, CharacterCountsNeverSplitACharacter) {
    EXPECT_EQ(Utf8Length("a😀è"), 3u);
    EXPECT_EQ(Utf8PrefixBytes("a😀è", 0), 0u);
    EXPECT_EQ(Utf8PrefixBytes("a😀è", 2), 5u);
    EXPECT_EQ(Utf8PrefixBytes("a😀è", 9), 7u);
}
