// The data file codec converts and scrambles texts a word at a time; these
// check it against the byte-at-a-time reference transforms (text_codec,
// scramble) over texts that cross word and key-block boundaries.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

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

TEST(DataFileFastPaths, LargeFileLoadsLikeItsBytesWholeOrDamaged) {
    // A large file is decoded straight from a mapping of it, or read into
    // memory when it cannot be mapped safely (here: while another
    // descriptor has it open for writing). Either way, whatever the file
    // holds and whatever is typed, the result must be that of decoding its
    // bytes in memory.
    std::mt19937 rng(11);
    CMeruData d;
    d.m_aPages.clear();
    for (int i = 0; i < 700; ++i) d.m_aPages.push_back(Cp1252ToUtf8(RandomBytes(rng, 8000 + i)));
    d.m_aContacts.push_back({"Nicolò", "n@example.org", "02", "333", "1/1/70", "nota"});

    char tmpl[] = "/tmp/meru-large-XXXXXX";
    const std::string dir = ::mkdtemp(tmpl);
    const std::string path = dir + "/big.mer";
    const std::string password = "Pàssword42";
    using Prompt = std::optional<std::string>;
    const struct {
        const char* name;
        std::string stored;
        Prompt typed;
    } logins[] = {
        {"no password", "", std::nullopt},
        {"typed right", password, password},
        {"typed wrong", password, "password42"},
        {"cancelled", password, std::nullopt},
    };
    for (const auto& login : logins) {
        d.m_strPassword = login.stored;
        const std::string image = SerializeData(d);
        ASSERT_GT(image.size(), 5u << 20);
        // Where the page count lies: after the tag, the version and the
        // stored password (all short).
        const size_t countAt = 4 + 4 + 1 + Utf8ToCp1252(login.stored)->size();
        const size_t page200 = image.size() / 700 * 200;
        const struct {
            const char* name;
            std::string bytes;
        } files[] = {
            {"whole", image},
            {"cut in the pages", image.substr(0, image.size() / 3)},
            {"cut near the end", image.substr(0, image.size() - 10)},
            {"cut in the header", image.substr(0, countAt + 1)},
            {"one page more",
             [&] {
                 std::string b = image;
                 b[countAt] = static_cast<char>(b[countAt] + 1);
                 return b;
             }()},
            {"a length in the pages too long",
             [&] {
                 std::string b = image;
                 b.replace(page200, 3, "\xFF\xF0\xFF");
                 return b;
             }()},
        };
        for (const auto& file : files) {
            SCOPED_TRACE(std::string(login.name) + ", " + file.name);
            {
                std::ofstream out(path, std::ios::binary | std::ios::trunc);
                out << file.bytes;
            }
            const PasswordPrompt prompt = [&] { return login.typed; };
            CMeruData fromMemory;
            const LoadOutcome want = ReadData(file.bytes, fromMemory, prompt);
            for (const bool mappable : {true, false}) {
                SCOPED_TRACE(mappable ? "mapped" : "read");
                const int writer = mappable ? -1 : ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
                CMeruData fromFile;
                CDataFile data(path);
                const LoadOutcome got = data.LoadData(fromFile, prompt);
                if (writer >= 0) ::close(writer);
                EXPECT_EQ(got.status, want.status);
                EXPECT_EQ(got.password, want.password);
                EXPECT_EQ(got.message, want.message);
                EXPECT_TRUE(fromFile == fromMemory);
                if (std::string_view(file.name) == "whole" &&
                    (login.stored.empty() || login.typed == login.stored)) {
                    EXPECT_TRUE(fromFile == d);
                }
            }
        }
    }
    std::filesystem::remove_all(dir);
}
