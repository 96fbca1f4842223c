// The data file codec converts and scrambles texts a word at a time; these
// check it against the byte-at-a-time reference transforms (text_codec,
// scramble) over texts that cross word and key-block boundaries.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>

#include "core/store/datafile.h"
#include "core/store/scramble.h"
#include "core/text/text_codec.h"

using namespace meru;

namespace {

std::string RandomBytes(std::mt19937& rng, size_t n) {
    std::uniform_int_distribution<int> byte(0, 255);
    std::string s;
    for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>(byte(rng)));
    return s;
}

// A version-22 image with one page stored as the given bytes (8-bit form).
std::string FileWithPage(const std::string& stored, const std::string& encodedPassword = {}) {
    CMeruData d;
    d.m_aPages = {"@"};
    std::string bytes = SerializeData(d);
    const size_t at = bytes.find("\x01@");
    std::string prefix;
    if (stored.size() < 0xFF) {
        prefix = std::string(1, static_cast<char>(stored.size()));
    } else {
        prefix = "\xFF";
        prefix += static_cast<char>(stored.size() & 0xFF);
        prefix += static_cast<char>(stored.size() >> 8);
    }
    bytes.replace(at, 2, prefix + stored);
    bytes.replace(8, 1,
                  std::string(1, static_cast<char>(encodedPassword.size())) + encodedPassword);
    return bytes;
}

const auto kCancel = [] { return std::optional<std::string>(); };

}  // namespace

TEST(DataFileFastPaths, StoredBytesDecodeLikeTheReferenceConverter) {
    std::mt19937 rng(1);
    for (size_t len : {0, 1, 7, 8, 9, 15, 16, 17, 63, 64, 65, 254, 300, 3000}) {
        for (int round = 0; round < 20; ++round) {
            const std::string stored = RandomBytes(rng, len);
            CMeruData d;
            ASSERT_EQ(ReadData(FileWithPage(stored), d, kCancel).status, LoadStatus::Loaded);
            ASSERT_EQ(d.m_aPages.at(0), Cp1252ToUtf8(stored)) << "length " << len;
        }
    }
}

TEST(DataFileFastPaths, TextsAreStoredLikeTheReferenceConverters) {
    // Every Windows-1252 character, characters it lacks, and malformed UTF-8,
    // each at several offsets from a word boundary.
    std::vector<std::string> chars;
    for (int b = 0; b < 256; ++b)
        chars.push_back(Cp1252ToUtf8(std::string(1, static_cast<char>(b))));
    for (const char* s :
         {"\u0080", "\u009F", "\u0100", "\u20AD", "\u2000", "\U0001F600", "\xC3", "\xC0\x80",
          "\xED\xA0\x80", "\xE2\x82", "\xE2\x82\xAC\xAC", "\xF4\x90\x80\x80", "\xFF"})
        chars.push_back(s);
    for (const auto& ch : chars) {
        for (size_t offset : {0, 3, 7, 8, 13}) {
            const std::string text = std::string(offset, 'a') + ch + "bcdefghijklmnop";
            CMeruData d;
            d.m_aPages = {text};
            const std::string bytes = SerializeData(d);
            std::string expected;
            if (auto narrow = Utf8ToCp1252(text)) {
                expected = std::string(1, static_cast<char>(narrow->size())) + *narrow;
            } else {
                const std::string wide = Utf8ToUtf16Le(text);
                expected =
                    std::string("\xFF\xFE\xFF", 3) + static_cast<char>(wide.size() / 2) + wide;
            }
            ASSERT_EQ(bytes.substr(11, expected.size()), expected) << "text " << text;
        }
    }
}

TEST(DataFileFastPaths, ScramblingMatchesTheKeyWalkForEveryKeyLength) {
    std::mt19937 rng(2);
    for (size_t keyLen = 1; keyLen <= 13; ++keyLen) {
        std::string key = RandomBytes(rng, keyLen);
        for (auto& c : key)
            if (c == 0) c = 'x';  // a password holds no NUL in practice; keep it printable-ish
        const std::string password = Cp1252ToUtf8(key);
        for (size_t len : {1, 5, 8, 31, 1023, 1024, 1025, 5000}) {
            // Any bytes: a page of Windows-1252 characters, so the stored form is the 8-bit one.
            const std::string plain = RandomBytes(rng, len);
            CMeruData d;
            d.m_strPassword = password;
            d.m_aPages = {Cp1252ToUtf8(plain)};
            const std::string file = SerializeData(d);

            // Read without the password: the page is the stored (scrambled) bytes.
            CMeruData locked;
            ASSERT_EQ(ReadData(file, locked, kCancel).password, PasswordState::Cancelled);
            ASSERT_EQ(locked.m_aPages.at(0), Cp1252ToUtf8(ScrambleText(plain, key)))
                << "key length " << keyLen << ", text length " << len;

            // And a file scrambled by the reference walk reads back plain.
            std::string encoded = key;
            EncodePassword(encoded);
            CMeruData back;
            const auto out = ReadData(FileWithPage(ScrambleText(plain, key), encoded), back,
                                      [&] { return std::optional<std::string>(password); });
            ASSERT_EQ(out.password, PasswordState::Accepted);
            ASSERT_EQ(back.m_aPages.at(0), d.m_aPages[0])
                << "key length " << keyLen << ", text length " << len;
        }
    }
}

TEST(DataFileFastPaths, StreamedSaveWritesTheSerialisedImage) {
    // Several megabytes, so the save streams the file in more than one piece.
    std::mt19937 rng(3);
    CMeruData d;
    d.m_aPages.clear();
    for (int i = 0; i < 24; ++i)
        d.m_aPages.push_back(Cp1252ToUtf8(RandomBytes(rng, 150000 + i)) + "😀");
    for (int i = 0; i < 20000; ++i)
        d.m_aContacts.push_back(
            {"Nicolò " + std::to_string(i), "n@example.org", "02", "333", "1/1/70", "nota"});
    d.m_aGroups[4].m_aBookmarks = {{"Wiki", "https://it.wikipedia.org/"}};

    char tmpl[] = "/tmp/meru-stream-XXXXXX";
    const std::string dir = ::mkdtemp(tmpl);
    const std::string path = dir + "/big.mer";
    for (const char* password : {"", "Pàssword42"}) {
        SCOPED_TRACE(password);
        d.m_strPassword = password;
        CDataFile file(path);
        {  // loading a missing or plain file allows saving
            CMeruData loaded;
            file.LoadData(loaded, [] { return std::optional<std::string>(); });
        }
        ASSERT_TRUE(file.MaySave());
        ASSERT_EQ(file.SaveData(d).status, SaveStatus::Saved);
        std::ifstream in(path, std::ios::binary);
        const std::string written{std::istreambuf_iterator<char>(in), {}};
        ASSERT_GT(written.size(), 4u << 20);
        EXPECT_TRUE(written == SerializeData(d));

        CMeruData back;
        CDataFile again(path);
        EXPECT_EQ(again.LoadData(back, [&] { return std::optional<std::string>(password); }).status,
                  LoadStatus::Loaded);
        EXPECT_TRUE(back == d);
    }
    std::filesystem::remove_all(dir);
}

namespace {

// A file handed over as ::read hands it over: at most `piece` bytes a call.
// Reads from byte `fail` on fail with errno EIO; an EINTR comes first each
// time, as a signal would cause.
struct PieceSource {
    std::string bytes;
    size_t piece;
    size_t fail = SIZE_MAX;
    size_t at = 0;
    bool interrupted = false;

    std::ptrdiff_t operator()(char* into, size_t max) {
        if (!interrupted) {
            interrupted = true;
            errno = EINTR;
            return -1;
        }
        interrupted = false;
        if (at >= fail) {
            errno = EIO;
            return -1;
        }
        const size_t n = std::min({piece, max, bytes.size() - at});
        std::memcpy(into, bytes.data() + at, n);
        at += n;
        return static_cast<std::ptrdiff_t>(n);
    }
};

struct Prompted {
    std::optional<std::string> answer;
    int asked = 0;
    PasswordPrompt Prompt() {
        return [this] {
            ++asked;
            return answer;
        };
    }
};

}  // namespace

TEST(DataFileFastPaths, ReadingWhileDecodingGivesWhatReadDataGives) {
    std::mt19937 rng(4);
    CMeruData notes;
    notes.m_aPages.clear();
    // Many pages of every size class (8-bit, wide, empty, long prefixes), so
    // both threads decode and pages straddle the pieces.
    for (int i = 0; i < 600; ++i) {
        std::string page = Cp1252ToUtf8(RandomBytes(rng, static_cast<size_t>(i * 37 % 5000)));
        if (i % 7 == 0) page += "😀";
        notes.m_aPages.push_back(i % 11 == 0 ? std::string() : page);
    }
    notes.m_aContacts = {{"Rossi", "r@example.org", "06", "333", "1/2/70", "nota"}};
    notes.m_aGroups[3].m_aBookmarks = {{"Wiki", "https://it.wikipedia.org/"}};
    CMeruData locked = notes;
    locked.m_strPassword = "Pàssword42";
    const std::string plain = SerializeData(notes), scrambled = SerializeData(locked);
    std::string old = plain;  // version 21 stops after the mail settings
    old[4] = 21;
    std::string foreign = plain;
    foreign[1] = 'm';
    // A password that is not Windows-1252 in a wide stored form.
    std::string widePassword = plain;
    widePassword.replace(8, 1, std::string("\xFF\xFE\xFF\x01\x00\x01", 6));

    struct Case {
        const char* what;
        std::string bytes;
        std::optional<std::string> answer;
    };
    const Case cases[] = {
        {"no password", plain, std::nullopt},
        {"right password", scrambled, "Pàssword42"},
        {"wrong password", scrambled, "Password42"},
        {"no answer", scrambled, std::nullopt},
        {"version 21", old, std::nullopt},
        {"foreign", foreign, std::nullopt},
        {"cut inside the header", plain.substr(0, 9), std::nullopt},
        {"cut inside the pages", scrambled.substr(0, scrambled.size() / 2), "Pàssword42"},
        {"cut after the pages", plain.substr(0, plain.size() - 300), std::nullopt},
        {"page count beyond the file", plain.substr(0, 9) + "\xFF\xFF\xFF\xFF\x7F", std::nullopt},
        {"password outside Windows-1252", widePassword, std::nullopt},
    };
    for (const Case& c : cases) {
        Prompted expectedPrompt{c.answer};
        CMeruData expected;
        const LoadOutcome want = ReadData(c.bytes, expected, expectedPrompt.Prompt());
        for (size_t piece : {size_t{1}, size_t{7}, size_t{4096}, c.bytes.size() + 1}) {
            SCOPED_TRACE(std::string(c.what) + ", pieces of " + std::to_string(piece));
            Prompted prompt{c.answer};
            CMeruData got;
            got.m_aPages = {"left over"};
            const std::optional<LoadOutcome> out = ReadDataAsItArrives(
                c.bytes.size(), PieceSource{c.bytes, piece}, got, prompt.Prompt());
            ASSERT_TRUE(out);
            EXPECT_EQ(out->status, want.status);
            EXPECT_EQ(out->password, want.password);
            EXPECT_EQ(out->version, want.version);
            EXPECT_EQ(out->message, want.message);
            EXPECT_EQ(prompt.asked, expectedPrompt.asked);
            EXPECT_TRUE(got == expected);
        }
    }
}

TEST(DataFileFastPaths, ReadingWhileDecodingNoticesAChangedFileOrAFailedRead) {
    CMeruData d;
    d.m_strPassword = "segreto";
    for (int i = 0; i < 300; ++i) d.m_aPages.push_back(std::string(1000, 'a'));
    const std::string bytes = SerializeData(d);

    // Shorter or longer than its size said when opened: nothing decided, no
    // password asked for (the caller reads it again).
    for (std::ptrdiff_t delta : {-1, 1, -1000, 1000}) {
        SCOPED_TRACE(delta);
        Prompted prompt{"segreto"};
        CMeruData got;
        const size_t size = bytes.size() + static_cast<size_t>(delta);
        EXPECT_FALSE(ReadDataAsItArrives(size, PieceSource{bytes, 4096}, got, prompt.Prompt()));
        EXPECT_EQ(prompt.asked, 0);
        EXPECT_TRUE(got == CMeruData{});
    }

    // A read that fails part way: the file cannot be read, default data.
    for (size_t failAt : {size_t{0}, size_t{5000}, bytes.size() - 1}) {
        SCOPED_TRACE(failAt);
        Prompted prompt{"segreto"};
        CMeruData got;
        const auto out = ReadDataAsItArrives(bytes.size(), PieceSource{bytes, 1000, failAt}, got,
                                             prompt.Prompt());
        ASSERT_TRUE(out);
        EXPECT_EQ(out->status, LoadStatus::CannotOpen);
        EXPECT_EQ(out->reason, std::strerror(EIO));
        EXPECT_EQ(prompt.asked, 0);
        EXPECT_TRUE(got == CMeruData{});
    }
}

TEST(DataFileFastPaths, LargeAddressBookReadsBackWholeWithAndWithoutPassword) {
    // Over a megabyte of contacts and of pages, so both are split between
    // two threads; names hold wide characters so records differ in form.
    CMeruData d;
    d.m_aPages.clear();
    for (int i = 0; i < 500; ++i) d.m_aPages.push_back(std::string(9000, 'p') + std::to_string(i));
    for (int i = 0; i < 40000; ++i) {
        const std::string n = std::to_string(i);
        d.m_aContacts.push_back({(i % 5 == 0 ? "Zoë 😀 " : "Nicolò ") + n, n + "@example.org",
                                 "02 " + n, "", "1/1/70", i % 3 ? "nota\r\n" + n : ""});
    }
    const std::string key = *Utf8ToCp1252("Pàssword42");
    struct Case {
        std::string password;
        std::optional<std::string> answer;
        bool plain;  // the texts come back as they were
    };
    for (const Case& c : {Case{"", std::nullopt, true}, Case{"Pàssword42", "Pàssword42", true},
                          Case{"Pàssword42", "wrong", false}}) {
        SCOPED_TRACE(c.password + " / " + c.answer.value_or("-"));
        d.m_strPassword = c.password;
        CMeruData back;
        ASSERT_EQ(ReadData(SerializeData(d), back, [&] { return c.answer; }).status,
                  LoadStatus::Loaded);
        ASSERT_EQ(back.m_aContacts.size(), d.m_aContacts.size());
        if (c.plain) {
            EXPECT_TRUE(back == d);
            continue;
        }
        // Locked: every 8-bit text is its scrambled bytes, in both halves.
        for (size_t i = 1; i < d.m_aContacts.size(); i += 997) {
            const std::string& note = d.m_aContacts[i].m_strNote;
            ASSERT_EQ(back.m_aContacts[i].m_strNote,
                      Cp1252ToUtf8(ScrambleText(*Utf8ToCp1252(note), key)))
                << "contact " << i;
        }
        EXPECT_EQ(back.m_aPages.back(), Cp1252ToUtf8(ScrambleText(d.m_aPages.back(), key)));
    }
}
