#include <gtest/gtest.h>
#include <random>
#include <string>

#include "core/text/text_codec.h"

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
    EXPECT_EQ(Utf16LeToUtf8(std::string("\x3D\xD8"
                                        "a\x00",
                                        4)),
              "\xEF\xBF\xBD"
              "a");                                                        // high alone
    EXPECT_EQ(Utf16LeToUtf8(std::string("\x00\xDE", 2)), "\xEF\xBF\xBD");  // low alone
}

TEST(TextCodec, CharacterCountsNeverSplitACharacter) {
    EXPECT_EQ(Utf8Length("a😀è"), 3u);
    EXPECT_EQ(Utf8PrefixBytes("a😀è", 0), 0u);
    EXPECT_EQ(Utf8PrefixBytes("a😀è", 2), 5u);
    EXPECT_EQ(Utf8PrefixBytes("a😀è", 9), 7u);
}

namespace {

// The mapping written out plainly, one character at a time: what the block
// conversions must agree with.
constexpr char32_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string Utf8Of(char32_t cp) {
    std::string o;
    if (cp < 0x80) {
        o += static_cast<char>(cp);
    } else if (cp < 0x800) {
        o += static_cast<char>(0xC0 | (cp >> 6));
        o += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        o += static_cast<char>(0xE0 | (cp >> 12));
        o += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        o += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return o;
}

std::string ReferenceDecode(std::string_view bytes) {
    std::string o;
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        o += Utf8Of(b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : char32_t(b));
    }
    return o;
}

}  // namespace

// Texts of every length around the 16-byte blocks, with the non-ASCII bytes
// at every position of a block, at its ends and in runs.
TEST(TextCodec, BlockConversionsAgreeWithTheMappingCharacterByCharacter) {
    std::mt19937 rng(1252);
    for (int round = 0; round < 3000; ++round) {
        const size_t len = static_cast<size_t>(round % 70);
        const int density = round % 4;  // 0: ASCII only ... 3: mostly high bytes
        std::string bytes;
        for (size_t i = 0; i < len; ++i) {
            const bool high = density > 0 && rng() % 4 < static_cast<unsigned>(density);
            bytes += static_cast<char>(high ? 0x80 + rng() % 128 : rng() % 128);
        }
        SCOPED_TRACE(::testing::PrintToString(bytes));
        const std::string utf8 = Cp1252ToUtf8(bytes);
        ASSERT_EQ(utf8, ReferenceDecode(bytes));
        for (size_t k = 0; k < Cp1252ToUtf8Variants(); ++k)
            ASSERT_EQ(Cp1252ToUtf8Variant(k, bytes), utf8) << "variant " << k;
        EXPECT_EQ(Utf8Length(utf8), bytes.size());
        EXPECT_EQ(IsAscii(bytes), utf8.size() == bytes.size());
        const auto back = Utf8ToCp1252(utf8);
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(*back, bytes);
        // One character Windows-1252 lacks, anywhere, refuses the whole text.
        std::string foreign = utf8;
        foreign.insert(rng() % (foreign.size() + 1), "\xE2\x82\xAD");  // U+20AD
        EXPECT_FALSE(Utf8ToCp1252(foreign).has_value());
    }
}

// Every byte value at every position of texts up to 70 bytes (so at both ends
// of the first blocks of 16 and 32), among plain ASCII or among bytes of every
// kind; and longer texts of each kind, up to ones whose size is measured
// before they are converted.
TEST(TextCodec, EveryByteAtEveryPositionDecodesAsTheMappingSays) {
    std::mt19937 rng(8859);
    for (size_t len = 1; len <= 70; ++len) {
        for (size_t pos = 0; pos < len; ++pos) {
            const bool mixed = (len + pos) % 2 == 0;
            std::string bytes;
            for (size_t i = 0; i < len; ++i)
                bytes += static_cast<char>(mixed ? rng() % 256 : 0x20 + rng() % 95);
            for (int b = 0; b < 256; ++b) {
                bytes[pos] = static_cast<char>(b);
                const std::string want = ReferenceDecode(bytes);
                ASSERT_EQ(Cp1252ToUtf8(bytes), want) << "len " << len << " pos " << pos;
                for (size_t k = 0; k < Cp1252ToUtf8Variants(); ++k)
                    ASSERT_EQ(Cp1252ToUtf8Variant(k, bytes), want)
                        << "variant " << k << " len " << len << " pos " << pos;
            }
        }
    }
    EXPECT_EQ(Cp1252ToUtf8(""), "");
    for (size_t len : {511u, 512u, 513u, 16383u, 16384u, 16385u, 49157u, 200000u}) {
        for (int kind = 0; kind < 3; ++kind) {  // ASCII, Latin-1 letters, any byte
            std::string bytes;
            for (size_t i = 0; i < len; ++i)
                bytes += static_cast<char>(kind == 0   ? rng() % 128
                                           : kind == 1 ? (rng() % 2 ? 0xA0 + rng() % 96 : 'a')
                                                       : rng() % 256);
            const std::string want = ReferenceDecode(bytes);
            ASSERT_EQ(Cp1252ToUtf8(bytes), want) << "len " << len << " kind " << kind;
            for (size_t k = 0; k < Cp1252ToUtf8Variants(); ++k)
                ASSERT_EQ(Cp1252ToUtf8Variant(k, bytes), want)
                    << "variant " << k << " len " << len << " kind " << kind;
        }
    }
}
