// Writes a handful of representative data files into the fuzzers' seed
// corpus folder, and checks on the way that each one reads back as written.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "../../fuzz/fuzz_password.h"
#include "core/store/datafile.h"

using namespace meru;

namespace {

CMeruData Rich() {
    CMeruData d;
    d.m_aPages = {"Prima pagina\r\ncon è, à e €\r\n", "", std::string(300, 'x'),
                  "seconda\r\n\r\nterza riga"};
    d.m_aContacts = {{"Anna Rossi", "anna@example.org", "02 123", "333 456", "01/02/1980",
                      "nota\r\nsu due righe"},
                     {"Zoë", "", "", "", "", ""}};
    d.m_mail = {"smtp.example.org", "me@example.org"};
    d.m_aGroups[0] = {"Notizie",
                      {{"Corriere", "https://www.corriere.it/"}, {"Ansa", "https://ansa.it"}}};
    d.m_aGroups[19].m_aBookmarks = {{"Wiki", "https://it.wikipedia.org/"}};
    d.m_browser = {"/usr/bin/firefox", "/usr/bin"};
    return d;
}

CMeruData Wide() {
    CMeruData d;
    d.m_aPages = {"emoji 😀 e CJK 日本語", "Ελληνικά"};
    d.m_aContacts = {{"李雷", "li@example.cn", "", "", "", "备注"}};
    d.m_aGroups[2].m_aBookmarks = {{"東京", "https://example.jp/東京"}};
    return d;
}

// A version-21 image of `d` (whose groups and browser are the defaults): the
// version-22 bytes up to the sender address, with 21 in the version field.
std::string Version21(const CMeruData& d) {
    std::string bytes = SerializeData(d);
    const size_t tail = SerializeData(CMeruData{}).size() - (4 + 4 + 1 + 3 + 4 + 2);
    bytes.resize(bytes.size() - tail);
    bytes[4] = static_cast<char>(kOldFormatVersion);
    return bytes;
}

}  // namespace

TEST(SeedCorpus, RepresentativeFilesReadBackAsWritten) {
    const std::filesystem::path dir = MERU_TEST_CORPUS_DIR;
    std::filesystem::create_directories(dir);

    CMeruData protectedData = Rich();
    protectedData.m_strPassword = MERU_FUZZ_PASSWORD;
    CMeruData otherPassword = Wide();
    otherPassword.m_strPassword = "àltra";
    CMeruData widePassword = Wide();
    widePassword.m_strPassword = MERU_FUZZ_PASSWORD;
    CMeruData old;
    old.m_aPages = {"vecchio formato"};
    old.m_aContacts = {{"Bruno", "b@example.org", "", "", "", ""}};
    old.m_mail = {"mail.example.org", "b@example.org"};

    struct Seed {
        const char* name;
        CMeruData data;
        std::string bytes;
        PasswordState password;
    };
    std::vector<Seed> seeds = {
        {"default.mer", CMeruData{}, {}, PasswordState::None},
        {"rich.mer", Rich(), {}, PasswordState::None},
        {"password.mer", protectedData, {}, PasswordState::Accepted},
        {"wide.mer", Wide(), {}, PasswordState::None},
        {"wide-password.mer", widePassword, {}, PasswordState::Accepted},
        {"locked.mer", otherPassword, {}, PasswordState::Wrong},
        {"version21.mer", old, Version21(old), PasswordState::None},
    };

    for (auto& s : seeds) {
        SCOPED_TRACE(s.name);
        if (s.bytes.empty()) s.bytes = SerializeData(s.data);
        {
            std::ofstream f(dir / s.name, std::ios::binary | std::ios::trunc);
            f.write(s.bytes.data(), static_cast<std::streamsize>(s.bytes.size()));
            ASSERT_TRUE(f.good());
        }
        CMeruData back;
        const LoadOutcome out =
            ReadData(s.bytes, back, [] { return std::optional<std::string>(MERU_FUZZ_PASSWORD); });
        ASSERT_EQ(out.status, LoadStatus::Loaded);
        EXPECT_EQ(out.password, s.password);
        if (s.password == PasswordState::Wrong) {
            EXPECT_NE(back.m_aPages, s.data.m_aPages);  // still scrambled
            EXPECT_EQ(back.m_strPassword, s.data.m_strPassword);
        } else {
            EXPECT_EQ(back, s.data);
        }
        EXPECT_EQ(out.version,
                  s.name == std::string("version21.mer") ? kOldFormatVersion : kFormatVersion);
    }
}
