#include <gtest/gtest.h>

#include <string>

#include "core/store/scramble.h"

using namespace meru;

namespace {
std::string B(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s.push_back(static_cast<char>(b));
    return s;
}
}  // namespace

TEST(Scramble, KeyWalkSkipsTheLastKeyCharacter) {
    struct Case {
        std::string text, key, scrambled;
    };
    const Case cases[] = {
        {"abc", "", "abc"},                                                 // no password
        {"abcd", "\x01\x02\x03", B({'a' + 1, 'b' + 2, 'c' + 1, 'd' + 2})},  // positions 0..L-2
        {"aaaa", "\x05Z", B({'a' + 5, 'a' + 5, 'a' + 5, 'a' + 5})},         // two chars: first only
        {"aaa", "\x07", B({'a' + 7, 'a' + 7, 'a' + 7})},            // one char keys every byte
        {"a", "\x01\x02\x03\x04", B({'a' + 1})},                    // text shorter than key
        {B({0xF0, 0x10}), B({0x20, 0x30, 0x40}), B({0x10, 0x40})},  // wraps modulo 256
        {B({0x00}), B({0xE9, 0x00}), B({0xE9})},                    // key byte above 127
        {B({0x17}), B({0xE9, 0x41}), B({0x00})},                    // scrambles to byte 0
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string s = ScrambleText(c.text, c.key);
        EXPECT_EQ(s, c.scrambled);
        EXPECT_EQ(UnscrambleText(s, c.key), c.text);
    }
}

TEST(Scramble, PasswordsDifferingInTheirLastCharacterScrambleAlike) {
    EXPECT_EQ(ScrambleText("segreto", "abcX"), ScrambleText("segreto", "abcY"));
    EXPECT_NE(ScrambleText("segreto", "abcX"), ScrambleText("segreto", "abdX"));
}

TEST(Scramble, EncodePasswordAddsThePlainPreviousByte) {
    std::string p = B({'a', 'b', 0xE8, 0x90});
    EncodePassword(p);
    EXPECT_EQ(p, B({'a', 'a' + 'b', (0xE8 + 'b') & 0xFF, (0x90 + 0xE8) & 0xFF}));
    DecodePassword(p);
    EXPECT_EQ(p, B({'a', 'b', 0xE8, 0x90}));

    for (std::string q :
         {std::string(), std::string("x"), std::string("zz"), B({0xFF, 0xFF, 0xFF})}) {
        std::string e = q;
        EncodePassword(e);
        EXPECT_EQ(e.size(), q.size());
        DecodePassword(e);
        EXPECT_EQ(e, q);
    }
}
