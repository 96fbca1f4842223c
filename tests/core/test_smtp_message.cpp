// Forming the message: the server setting, line breaks, dot-stuffing,
// quoted-printable, encoded subject words, the date.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "core/mail/smtp_message.h"

using namespace meru;

TEST(SmtpServerSetting, ReadsEveryForm) {
    struct Case {
        const char* text;
        SmtpSecurity security;
        const char* host;
        uint16_t port;
        const char* user;
    };
    const Case cases[] = {
        {"mail.example.org", SmtpSecurity::Plain, "mail.example.org", 0, ""},
        {"  mail.example.org  ", SmtpSecurity::Plain, "mail.example.org", 0, ""},
        {"mail.example.org:2525", SmtpSecurity::Plain, "mail.example.org", 2525, ""},
        {"127.0.0.1:25", SmtpSecurity::Plain, "127.0.0.1", 25, ""},
        {"[::1]:2525", SmtpSecurity::Plain, "::1", 2525, ""},
        {"[::1]", SmtpSecurity::Plain, "::1", 0, ""},
        {"::1", SmtpSecurity::Plain, "::1", 0, ""},
        {"smtp://mail.example.org", SmtpSecurity::StartTls, "mail.example.org", 587, ""},
        {"SMTP://mail.example.org:25/", SmtpSecurity::StartTls, "mail.example.org", 25, ""},
        {"smtp://anna@mail.example.org", SmtpSecurity::StartTls, "mail.example.org", 587, "anna"},
        {"smtp://anna%40example.org@mail.example.org:2587", SmtpSecurity::StartTls,
         "mail.example.org", 2587, "anna@example.org"},
        {"smtp://anna@example.org@mail.example.org", SmtpSecurity::StartTls, "mail.example.org",
         587, "anna@example.org"},
        {"smtps://mail.example.org", SmtpSecurity::Tls, "mail.example.org", 465, ""},
        {"smtps://bob@[::1]:4650", SmtpSecurity::Tls, "::1", 4650, "bob"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        const auto s = ParseServerSetting(c.text, &error);
        ASSERT_TRUE(s.has_value()) << error;
        EXPECT_EQ(s->m_security, c.security);
        EXPECT_EQ(s->m_strHost, c.host);
        EXPECT_EQ(s->m_nPort, c.port);
        EXPECT_EQ(s->m_strUser, c.user);
    }
}

TEST(SmtpServerSetting, RefusesWhatCannotBeUsed) {
    for (const char* text :
         {"", "   ", "http://mail.example.org", "mail.example.org:", "mail.example.org:0",
          "mail.example.org:65536", "mail.example.org:25x", "smtp://@mail.example.org",
          "smtp://a%4@mail.example.org", "smtp://mail.example.org/path", "[::1", "[::1]x",
          "[mail]:25", "mail example.org", "mail.example.org\r\nRSET", "smtp://",
          "smtps://user@"}) {
        std::string error;
        EXPECT_FALSE(ParseServerSetting(text, &error).has_value()) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(SmtpMessage, LineBreaksBecomeCrLfAndLeadingDotsAreDoubled) {
    struct Case {
        const char* in;
        const char* normalised;
        const char* stuffed;
    };
    const Case cases[] = {
        {"", "", ""},
        {"a\nb", "a\r\nb", "a\r\nb"},
        {"a\rb", "a\r\nb", "a\r\nb"},
        {"a\r\nb\n\rc\r\r\nd", "a\r\nb\r\n\r\nc\r\n\r\nd", "a\r\nb\r\n\r\nc\r\n\r\nd"},
        {".", ".", ".."},
        {"a\n.\nb", "a\r\n.\r\nb", "a\r\n..\r\nb"},
        // the smuggling shapes: a lone LF or CR before the dot is a line break too
        {"a\n.\rMAIL FROM:<x>", "a\r\n.\r\nMAIL FROM:<x>", "a\r\n..\r\nMAIL FROM:<x>"},
        {"a\r.\r\nRSET", "a\r\n.\r\nRSET", "a\r\n..\r\nRSET"},
        {".a\n..b\nc.d\n", ".a\r\n..b\r\nc.d\r\n", "..a\r\n...b\r\nc.d\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(NormaliseLineBreaks(c.in), c.normalised);
        EXPECT_EQ(DotStuff(NormaliseLineBreaks(c.in)), c.stuffed);
        EXPECT_EQ(ToWireText(c.in), c.stuffed);
    }
}

namespace {

constexpr size_t kDispatched = SIZE_MAX;

// The 7-bit wire form formed into buffers of cap bytes, joined; by the given
// variant, or by FormWireText.
std::string FormedInPieces(std::string_view body, size_t cap, size_t variant = kDispatched) {
    std::string out;
    std::vector<char> buf(cap);
    size_t pos = 0;
    while (pos < body.size()) {
        size_t written = 0;
        const size_t next =
            variant == kDispatched
                ? FormWireText(body, pos, buf.data(), cap, &written)
                : FormWireTextVariant(variant, body, pos, buf.data(), cap, &written);
        EXPECT_LE(written, cap);
        if (next == pos && written == 0) {
            ADD_FAILURE() << "no progress at " << pos;
            break;
        }
        out.append(buf.data(), written);
        pos = next;
    }
    return out;
}

}  // namespace

TEST(SmtpMessage, BodyDecidesQuotedPrintable) {
    const std::string x998(998, 'x'), x999(999, 'x');
    struct Case {
        std::string body;
        bool quoted;
    };
    std::vector<Case> cases = {
        {"", false},
        {"plain\r\ntext\n", false},
        {"Caff\xC3\xA8", true},
        {"\x7F delete is ASCII", false},
        // a byte above 127 on either side of a 16- and 32-byte block edge
        {std::string(31, 'a') + "\x80", true},
        {std::string(32, 'a') + "\x80", true},
        {std::string(63, 'a') + "\xFF" + std::string(40, 'b'), true},
        // lines of 998 bytes fit, 999 do not, however they end
        {x998, false},
        {x999, true},
        {x998 + "\r\n" + x998 + "\n" + x998, false},
        {x999 + "\r\nshort", true},
        {"short\n" + x999 + "\nshort", true},
        {"short\r\n" + x999, true},
        // a lone CR does not end a line for this count (on the safe side)
        {std::string(500, 'x') + "\r" + std::string(500, 'x'), true},
        {x998 + "\r", true},
        {x998 + "\r\r\n", true},
    };
    // The long line's LF (and the CR before it) at every place of a block,
    // with more short lines after it in the same block.
    for (size_t before = 0; before < 40; ++before) {
        const std::string head = std::string(before, 'a') + "\n";
        cases.push_back({head + x998 + "\r\nb\nc\n", false});
        cases.push_back({head + x998 + "\nb\nc\n", false});
        cases.push_back({head + x999 + "\nb\nc\n", true});
        cases.push_back({head + x998 + "y\r\nb\nc\n", true});
    }
    // Long lines, and a byte above 127, across the 1 KiB pieces the body is
    // scanned in, with short lines before and after.
    for (size_t at : {1000, 1023, 1024, 1025, 2040, 2047, 2048, 3070}) {
        cases.push_back({std::string(at % 998, 'a') + "\n" + std::string(900, 'b') + "\n", false});
        for (size_t back : {0, 1, 2, 5}) {
            const size_t lf = at - back;
            std::string body(5000, 'a');
            for (size_t k = 100; k < body.size(); k += 100) body[k] = '\n';
            body[lf] = '\n';
            body.replace(lf + 1, 999, x999);
            body[lf + 1000] = '\n';
            cases.push_back({body, true});
            body[lf + 999] = '\r';  // now 998 bytes and its CR LF
            cases.push_back({body, false});
        }
        std::string high(4000, 'a');
        high[at] = '\xC3';
        cases.push_back({high, true});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body.substr(0, 40) + " (" + std::to_string(c.body.size()) + " bytes)");
        EXPECT_EQ(NeedsQuotedPrintable(c.body), c.quoted);
        for (size_t k = 0; k < NeedsQuotedPrintableVariants(); ++k)
            EXPECT_EQ(NeedsQuotedPrintableVariant(k, c.body), c.quoted) << "variant " << k;
    }
    // A body that was never set: no bytes, and no place they are at.
    for (size_t k = 0; k < NeedsQuotedPrintableVariants(); ++k)
        EXPECT_FALSE(NeedsQuotedPrintableVariant(k, std::string_view())) << "variant " << k;
}

TEST(SmtpMessage, EveryWayOfDecidingQuotedPrintableAgrees) {
    // Lines around the longest a 7-bit body may have, now and then ending in
    // CR LF, a lone CR or nothing, rarely a byte above 127; the answer of a
    // plain count of each line's length.
    auto needs = [](const std::string& body) {
        size_t start = 0;
        for (size_t i = 0; i < body.size(); ++i) {
            if (static_cast<unsigned char>(body[i]) > 127) return true;
            if (body[i] != '\n') continue;
            const size_t len = i - start - (i > start && body[i - 1] == '\r');
            if (len > 998) return true;
            start = i + 1;
        }
        return body.size() - start > 998;
    };
    std::mt19937 random(1210);
    size_t quoted = 0;
    const size_t rounds = 400;
    for (size_t round = 0; round < rounds; ++round) {
        std::string body;
        const size_t lines = 1 + random() % 12;
        for (size_t l = 0; l < lines; ++l) {
            const auto r = static_cast<size_t>(random());
            body.append(r % 3 == 0 ? 990 + r % 12 : r % 200, 'x');
            if (r % 29 == 0 && !body.empty()) body[body.size() - 1 - r % 7 % body.size()] = '\x80';
            const char* ends[] = {"\n", "\r\n", "\r", ""};
            body += ends[r / 7 % 4];
        }
        const bool want = needs(body);
        quoted += want;
        for (size_t k = 0; k < NeedsQuotedPrintableVariants(); ++k)
            ASSERT_EQ(NeedsQuotedPrintableVariant(k, body), want)
                << "variant " << k << ", round " << round;
    }
    // both answers came up often
    EXPECT_GT(quoted, rounds / 5);
    EXPECT_LT(quoted, rounds - rounds / 5);
}

TEST(SmtpMessage, WireTextFormedInPiecesIsTheWholeWireText) {
    std::vector<std::string> bodies = {
        "",
        ".",
        "..",
        "\r",
        "\n",
        "\r\n",
        "\n.",
        "\r.",
        "\r\n.",
        "a\r\r\n.b\n\r.c",
        "no change at all\r\nnone\r\n",
    };
    // A CR LF, a lone break or a dot at and around the 16-, 32- and 64-byte
    // block edges, where the forming goes from one block to the next, with
    // enough after it for whole blocks of every size.
    for (size_t at = 12; at < 136; ++at)
        for (const char* mark : {"\r\n.", "\n.", "\r.", "\r\n", "\n..", "\r\n\r\n."})
            bodies.push_back(std::string(at, 'a') + mark + std::string(140, 'b'));
    // And many random mixtures of those bytes (the seed is fixed), some long
    // enough for several of the largest blocks.
    std::mt19937 random(20261210);
    const char alphabet[] = {'a', '.', '\r', '\n'};
    for (int i = 0; i < 2000; ++i) {
        std::string body(random() % (i % 8 == 0 ? 800 : 300), ' ');
        for (char& c : body) c = alphabet[random() % 4];
        bodies.push_back(std::move(body));
    }
    // Small buffers, formed byte by byte (no room for a block), and buffers
    // just big enough for blocks of each size, so every kind of place comes
    // to lie at the end of a buffer and of a block, for every variant.
    std::vector<size_t> smallCaps;
    for (size_t cap = 4; cap < 40; ++cap) smallCaps.push_back(cap);
    std::vector<size_t> blockCaps = {4096};
    for (size_t cap = 120; cap < 200; ++cap) blockCaps.push_back(cap);
    for (size_t cap = 250; cap < 330; ++cap) blockCaps.push_back(cap);
    ASSERT_GE(FormWireTextVariants(), 1u);
    for (const std::string& body : bodies) {
        SCOPED_TRACE(testing::PrintToString(body));
        ASSERT_FALSE(NeedsQuotedPrintable(body));
        const std::string wire = ToWireText(body);
        for (const size_t cap : smallCaps) ASSERT_EQ(FormedInPieces(body, cap), wire) << cap;
        for (size_t k = 0; k < FormWireTextVariants(); ++k)
            for (const size_t cap : blockCaps)
                ASSERT_EQ(FormedInPieces(body, cap, k), wire) << "variant " << k << ", cap " << cap;
    }
}

TEST(SmtpMessage, LfTextFormedInSendBuffers) {
    // LF lines as a text box hands them, of random length, with leading dots
    // and now and then a lone CR, over several send buffers (64 KiB as the
    // client has them, and larger).
    std::mt19937 random(7);
    std::string body;
    while (body.size() < 900 * 1024) {
        const auto r = static_cast<size_t>(random());
        if (r % 7 == 0) body += '.';
        body.append(r % 97, 'x');
        body += (r % 13 == 0) ? '\r' : '\n';
    }
    ASSERT_FALSE(NeedsQuotedPrintable(body));
    const std::string wire = ToWireText(body);
    for (size_t cap : {64 * 1024, 64 * 1024 - 1, 64 * 1024 - 2, 64 * 1024 - 3, 256 * 1024,
                       256 * 1024 - 1, 256 * 1024 - 2, 256 * 1024 - 3}) {
        EXPECT_TRUE(FormedInPieces(body, cap) == wire) << cap;
        for (size_t k = 0; k < FormWireTextVariants(); ++k)
            EXPECT_TRUE(FormedInPieces(body, cap, k) == wire) << "variant " << k << ", cap " << cap;
    }
}

TEST(SmtpMessage, QuotedPrintable) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"plain text", "plain text"},
        {"Caff\xC3\xA8 = 1", "Caff=C3=A8 =3D 1"},
        {"trailing \r\nblank\t", "trailing=20\r\nblank=09"},
        {"tab\tinside", "tab\tinside"},
        {"ctl\x01", "ctl=01"},
        {".dot stays (stuffed later)", ".dot stays (stuffed later)"},
        // 80 letters: folded after 75 with a soft break
        {std::string(80, 'a'), std::string(75, 'a') + "=\r\n" + std::string(5, 'a')},
        // exactly 76 fits on one line
        {std::string(76, 'a'), std::string(76, 'a')},
        // an escape is never split by a soft break
        {std::string(74, 'a') + "\xC3\xA8", std::string(74, 'a') + "=\r\n=C3=A8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(QuotedPrintable(c.in), c.out);
    }
}

TEST(SmtpMessage, QuotedPrintableLinesStayShortAndDecodeBack) {
    std::string text;
    for (int i = 0; i < 300; ++i) text += (i % 7 == 0) ? "\xE2\x98\x83 = " : "word ";
    text += "\r\nsecond line \r\n";
    const std::string qp = QuotedPrintable(text);
    size_t start = 0;
    while (start < qp.size()) {
        size_t eol = qp.find("\r\n", start);
        if (eol == std::string::npos) eol = qp.size();
        EXPECT_LE(eol - start, 76u);
        start = eol + 2;
    }
    // decode: drop soft breaks, turn =XX back into bytes
    std::string back;
    for (size_t i = 0; i < qp.size(); ++i) {
        if (qp[i] == '=' && qp.compare(i + 1, 2, "\r\n") == 0) {
            i += 2;
        } else if (qp[i] == '=') {
            back += static_cast<char>(std::stoi(qp.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            back += qp[i];
        }
    }
    EXPECT_EQ(back, text);
}

TEST(SmtpMessage, SubjectAsEncodedWords) {
    EXPECT_EQ(EncodeHeaderText("Plain subject"), "Plain subject");
    EXPECT_EQ(EncodeHeaderText("Caff\xC3\xA8"), "=?UTF-8?B?Q2FmZsOo?=");
    // a long subject: several words, each at most 75 characters, no
    // character cut between two words
    std::string subject;
    for (int i = 0; i < 40; ++i) subject += "\xE2\x82\xAC";  // euro signs, 3 bytes each
    const std::string enc = EncodeHeaderText(subject);
    std::regex word("=\\?UTF-8\\?B\\?([A-Za-z0-9+/=]+)\\?=");
    size_t words = 0;
    size_t start = 0;
    while (start < enc.size()) {
        size_t end = enc.find("\r\n ", start);
        if (end == std::string::npos) end = enc.size();
        const std::string w = enc.substr(start, end - start);
        EXPECT_LE(w.size(), 75u);
        std::smatch m;
        ASSERT_TRUE(std::regex_match(w, m, word)) << w;
        // 45 bytes a word at most: 15 whole euro signs
        EXPECT_EQ(m[1].str().size() % 4, 0u);
        ++words;
        start = end + 3;
    }
    EXPECT_EQ(words, 3u);  // 120 bytes: 45 + 45 + 30
}

TEST(SmtpMessage, DateIsEnglishUtcWithZone) {
    EXPECT_EQ(FormatMailDate(0), "Thu, 01 Jan 1970 00:00:00 +0000");
    EXPECT_EQ(FormatMailDate(1796880371), "Thu, 10 Dec 2026 05:26:11 +0000");
    EXPECT_EQ(FormatMailDate(951782400), "Tue, 29 Feb 2000 00:00:00 +0000");
}

TEST(SmtpMessage, MessageIdIsUniqueAndWellFormed) {
    const std::string a = MakeMessageId("example.org");
    const std::string b = MakeMessageId("example.org");
    EXPECT_NE(a, b);
    EXPECT_TRUE(std::regex_match(a, std::regex("<[0-9a-f]+\\.[0-9a-f]{16}@example\\.org>"))) << a;
}

TEST(SmtpMessage, AddressLiteral) {
    EXPECT_EQ(AddressLiteral("127.0.0.1"), "[127.0.0.1]");
    EXPECT_EQ(AddressLiteral("::1"), "[IPv6:::1]");
}

TEST(SmtpMessage, Base64) {
    EXPECT_EQ(Base64(""), "");
    EXPECT_EQ(Base64("f"), "Zg==");
    EXPECT_EQ(Base64("fo"), "Zm8=");
    EXPECT_EQ(Base64("foo"), "Zm9v");
    EXPECT_EQ(Base64(std::string("\0user\0pass", 10)), "AHVzZXIAcGFzcw==");
}
