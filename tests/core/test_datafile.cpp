#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>

#include "core/store/datafile.h"
#include "core/store/scramble.h"

using namespace meru;
namespace fs = std::filesystem;

// Counts the bytes allocated while a test asks for it, so a damaged file can
// be shown to be refused without first allocating what its counts promise.
namespace {
std::atomic<bool> g_counting{false};
std::atomic<size_t> g_allocated{0};
}  // namespace

#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t n) {
    if (g_counting) g_allocated += n;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

std::string B(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s.push_back(static_cast<char>(b));
    return s;
}
std::string Le32(uint32_t v) {
    return B({int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF), int(v >> 24)});
}
std::string Counted(const std::string& s) {  // short strings only
    return std::string(1, static_cast<char>(s.size())) + s;
}

std::string DefaultFileBytes() {
    std::string f = "\x03MER" + Le32(22) + B({0}) + B({1, 0, 0}) + Le32(0) + B({0, 0});
    for (int n = 1; n <= 20; ++n) f += Counted("Group " + std::to_string(n)) + Le32(0);
    return f + B({0, 0});
}

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
void WriteAll(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

const PasswordPrompt kNoPrompt = [] { return std::optional<std::string>(); };
PasswordPrompt Answer(std::string s) {
    return [s] { return std::optional<std::string>(s); };
}

CMeruData SampleData() {
    CMeruData d;
    d.m_aPages = {"prima pagina\r\nriga due", "", "città è già perché €"};
    d.m_aContacts = {
        {"Rossi", "rossi@example.org", "06 123", "333 1", "1/2/70", "nota\r\nsu due righe"},
        {"", "", "", "", "", ""}};
    d.m_mail = {"smtp.example.org", "me@example.org"};
    d.m_aGroups[0].m_strName = "Lavoro";
    d.m_aGroups[0].m_aBookmarks = {{"Esempio", "https://example.org"}, {"Ftp", "ftp://x"}};
    d.m_aGroups[19].m_aBookmarks = {{"ultimo", "example.net"}};
    d.m_browser = {"/usr/bin/firefox", "/usr/bin"};
    return d;
}

class TempDir : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/meru-test-XXXXXX";
        m_dir = ::mkdtemp(tmpl);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    fs::path m_dir;
};

}  // namespace

TEST(DataFile, DefaultDataSerialiseToTheKnown271Bytes) {
    const std::string bytes = SerializeData(CMeruData{});
    EXPECT_EQ(bytes.size(), 271u);
    EXPECT_EQ(bytes, DefaultFileBytes());
}

TEST(DataFile, LengthPrefixesAndPageCountEncodings) {
    struct Case {
        size_t length;
        std::string prefix;
    };
    const Case cases[] = {
        {0, B({0x00})},
        {254, B({0xFE})},
        {255, B({0xFF, 0xFF, 0x00})},
        {65533, B({0xFF, 0xFD, 0xFF})},
        {65534, B({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00})},
        {70000, B({0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        CMeruData d;
        d.m_aPages = {std::string(c.length, 'x')};
        const std::string bytes = SerializeData(d);
        // tag (4) + version (4) + empty password (1) + page count (2)
        EXPECT_EQ(bytes.substr(11, c.prefix.size()), c.prefix);
        CMeruData back;
        ASSERT_EQ(ReadData(bytes, back, kNoPrompt).status, LoadStatus::Loaded);
        EXPECT_EQ(back, d);
    }

    CMeruData many;
    many.m_aPages.assign(65535, std::string());
    const std::string bytes = SerializeData(many);
    EXPECT_EQ(bytes.substr(9, 6), B({0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}));
    CMeruData back;
    ASSERT_EQ(ReadData(bytes, back, kNoPrompt).status, LoadStatus::Loaded);
    EXPECT_EQ(back.m_aPages.size(), 65535u);

    many.m_aPages.resize(65534);
    EXPECT_EQ(SerializeData(many).substr(9, 2), B({0xFE, 0xFF}));
}

TEST(DataFile, RoundTripsWithAndWithoutPassword) {
    for (const std::string password : {"", "ab", "x", "pässwörd€"}) {
        SCOPED_TRACE(password);
        CMeruData d = SampleData();
        d.m_strPassword = password;
        const std::string bytes = SerializeData(d);
        CMeruData back;
        const LoadOutcome out = ReadData(bytes, back, Answer(password));
        ASSERT_EQ(out.status, LoadStatus::Loaded);
        EXPECT_EQ(out.password, password.empty() ? PasswordState::None : PasswordState::Accepted);
        EXPECT_EQ(back, d);
        // Texts the password covers are not stored readably; the settings are.
        if (password.size() > 1) {
            EXPECT_EQ(bytes.find("prima pagina"), std::string::npos);
            EXPECT_EQ(bytes.find("Lavoro"), std::string::npos);
            EXPECT_NE(bytes.find("smtp.example.org"), std::string::npos);
            EXPECT_NE(bytes.find("/usr/bin/firefox"), std::string::npos);
        }
    }
}

TEST(DataFile, TextsAreStoredAsWindows1252OrWide) {
    CMeruData d;
    d.m_aPages = {"perché €", "emoji 😀 e 漢字"};
    const std::string bytes = SerializeData(d);
    // 8-bit form, byte for byte as Windows writes it.
    EXPECT_NE(bytes.find(B({0x08, 'p', 'e', 'r', 'c', 'h', 0xE9, ' ', 0x80})), std::string::npos);
    // Wide form: 0xFF, 0xFFFE, the length in UTF-16 units, then UTF-16LE.
    EXPECT_NE(bytes.find(B({0xFF, 0xFE, 0xFF, 13, 'e', 0, 'm', 0})), std::string::npos);
    for (const std::string password : {"", "chiave"}) {
        d.m_strPassword = password;
        CMeruData back;
        ASSERT_EQ(ReadData(SerializeData(d), back, Answer(password)).status, LoadStatus::Loaded);
        EXPECT_EQ(back.m_aPages, d.m_aPages);
    }
}

TEST(DataFile, ScrambledTextHoldingByteZeroReadsBackWhole) {
    CMeruData d;
    // 'A' (0x41) + 0xBF = 0x100: the stored byte is 0.
    d.m_strPassword =
        "\xC2\xBF"
        "z";  // U+00BF, 'z'
    d.m_aPages = {"xAAy"};
    const std::string bytes = SerializeData(d);
    EXPECT_NE(bytes.find(B({4, 'x' + 0xBF - 0x100, 0x00, 0x00, 'y' + 0xBF - 0x100})),
              std::string::npos);
    CMeruData back;
    ASSERT_EQ(ReadData(bytes, back, Answer(d.m_strPassword)).status, LoadStatus::Loaded);
    EXPECT_EQ(back.m_aPages, d.m_aPages);
}

TEST(DataFile, ForeignAndDamagedFilesAreRefused) {
    const std::string good = SerializeData(SampleData());
    struct Case {
        const char* what;
        std::string bytes;
        LoadStatus status;
        std::string_view message;
    };
    std::string v23 = good;
    v23[4] = 23;
    std::string tag = good;
    tag[1] = 'm';
    std::string hugePages =
        "\x03MER" + Le32(22) + B({0}) + B({0xFF, 0xFF}) + Le32(2000000000) + "abc";
    std::string hugeContacts = "\x03MER" + Le32(22) + B({0, 0, 0}) + Le32(2000000000) + "abcdef";
    std::string hugeString =
        "\x03MER" + Le32(22) + B({0xFF, 0xFF, 0xFF}) + Le32(0xFFFFFFF0) + "abc";
    std::string hugeWide = "\x03MER" + Le32(22) + B({0, 1, 0, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF}) +
                           Le32(0x80000000) + "ab";
    const Case cases[] = {
        {"empty file", "", LoadStatus::ReadError, kMsgReadError},
        {"wrong tag", tag, LoadStatus::BadTag, kMsgBadTag},
        {"not ours at all", std::string(300, 'x'), LoadStatus::BadTag, kMsgBadTag},
        {"version 23", v23, LoadStatus::BadVersion, kMsgBadVersion},
        {"page count of 2e9", hugePages, LoadStatus::ReadError, kMsgReadError},
        {"contact count of 2e9", hugeContacts, LoadStatus::ReadError, kMsgReadError},
        {"string length of 4e9", hugeString, LoadStatus::ReadError, kMsgReadError},
        {"wide length of 2e9", hugeWide, LoadStatus::ReadError, kMsgReadError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CMeruData d;
        g_allocated = 0;
        g_counting = true;
        const LoadOutcome out = ReadData(c.bytes, d, kNoPrompt);
        g_counting = false;
        EXPECT_EQ(out.status, c.status);
        EXPECT_EQ(out.message, c.message);
        EXPECT_EQ(out.Continues(), c.status == LoadStatus::ReadError);
        EXPECT_LT(g_allocated.load(), 1u << 20) << "allocated before refusing";
    }
    // Every cut of a good file ends inside some element.
    for (size_t n = 0; n < good.size(); ++n) {
        CMeruData d;
        ASSERT_EQ(ReadData(std::string_view(good).substr(0, n), d, kNoPrompt).status,
                  LoadStatus::ReadError)
            << "cut at " << n;
    }
}

TEST(DataFile, Version21LoadsWithDefaultGroupsAndSavesAs22) {
    // Elements 1 to 8 only.
    std::string v21 = "\x03MER" + Le32(21) + B({0}) + B({1, 0}) + Counted("nota") + Le32(1);
    for (const char* f : {"N", "e@x", "1", "2", "b", "n"}) v21 += Counted(f);
    v21 += Counted("smtp") + Counted("me@x");

    CMeruData d;
    const LoadOutcome out = ReadData(v21, d, kNoPrompt);
    ASSERT_EQ(out.status, LoadStatus::Loaded);
    EXPECT_EQ(out.version, 21);
    EXPECT_EQ(d.m_aPages, std::vector<std::string>{"nota"});
    EXPECT_EQ(d.m_aContacts.size(), 1u);
    EXPECT_EQ(d.m_aGroups, DefaultGroups());
    EXPECT_EQ(d.m_browser, BrowserSetting{});

    const std::string saved = SerializeData(d);
    std::string expected = v21;
    expected[4] = 22;
    for (int n = 1; n <= 20; ++n) expected += Counted("Group " + std::to_string(n)) + Le32(0);
    expected += B({0, 0});
    EXPECT_EQ(saved, expected);
}

TEST(DataFile, Version21WithPasswordUnscramblesPagesAndContacts) {
    CMeruData d = SampleData();
    d.m_strPassword = "pw1";
    // A version-21 file is the version-22 bytes up to the sender address,
    // which the first group's (scrambled) name follows.
    CMeruData probe = d;
    probe.m_aGroups = DefaultGroups();
    probe.m_browser = {};
    std::string v21 = SerializeData(probe);
    const std::string firstGroup = Counted(ScrambleText("Group 1", "pw"));
    v21 = v21.substr(0, v21.rfind(firstGroup));
    v21[4] = 21;
    CMeruData back;
    ASSERT_EQ(ReadData(v21, back, Answer("pw1")).status, LoadStatus::Loaded);
    EXPECT_EQ(back.m_aPages, d.m_aPages);
    EXPECT_EQ(back.m_aContacts, d.m_aContacts);
    EXPECT_EQ(back.m_aGroups, DefaultGroups());
}

TEST(DataFile, WrongOrMissingPasswordLeavesTextsAsStored) {
    CMeruData d = SampleData();
    d.m_strPassword = "segreto";
    const std::string bytes = SerializeData(d);
    struct Case {
        PasswordPrompt prompt;
        PasswordState state;
        std::string_view message;
    };
    const Case cases[] = {
        {kNoPrompt, PasswordState::Cancelled, kMsgPasswordRequired},
        {Answer("Segreto"), PasswordState::Wrong, kMsgPasswordWrong},
        {Answer("segretO"), PasswordState::Wrong, kMsgPasswordWrong},  // last char matters here
        {Answer(""), PasswordState::Wrong, kMsgPasswordWrong},
    };
    for (const auto& c : cases) {
        CMeruData back;
        const LoadOutcome out = ReadData(bytes, back, c.prompt);
        EXPECT_EQ(out.status, LoadStatus::Loaded);
        EXPECT_EQ(out.password, c.state);
        EXPECT_EQ(out.message, c.message);
        EXPECT_EQ(back.m_strPassword, "segreto");  // the decoded, correct password
        EXPECT_NE(back.m_aPages, d.m_aPages);
        EXPECT_EQ(back.m_mail, d.m_mail);  // never scrambled
    }
}

TEST_F(TempDir, LoadDecidesWhetherTheRunMaySave) {
    CMeruData d = SampleData();
    d.m_strPassword = "segreto";
    const fs::path file = m_dir / "data.mer";
    WriteAll(file, SerializeData(d));
    const std::string before = ReadAll(file);

    struct Case {
        PasswordPrompt prompt;
        bool maySave;
    };
    for (const auto& c :
         {Case{kNoPrompt, false}, Case{Answer("nope"), false}, Case{Answer("segreto"), true}}) {
        CDataFile df(file.string());
        CMeruData mem;
        df.LoadData(mem, c.prompt);
        EXPECT_EQ(df.MaySave(), c.maySave);
        mem.m_aPages.push_back("changed in this run");
        const SaveOutcome s = df.SaveData(mem);
        EXPECT_EQ(s.status, c.maySave ? SaveStatus::Saved : SaveStatus::NotAllowed);
        if (!c.maySave) {
            EXPECT_EQ(ReadAll(file), before);
        }
    }

    // No file: default data, saving allowed, the first save is the 271 bytes.
    CDataFile fresh((m_dir / "new.mer").string());
    CMeruData mem;
    EXPECT_EQ(fresh.LoadData(mem, kNoPrompt).status, LoadStatus::NoFile);
    EXPECT_EQ(mem, CMeruData{});
    EXPECT_TRUE(fresh.MaySave());
    EXPECT_EQ(fresh.SaveData(mem).status, SaveStatus::Saved);
    EXPECT_EQ(ReadAll(m_dir / "new.mer"), DefaultFileBytes());
}

TEST_F(TempDir, DamagedOrForeignFileIsNeverSavedOver) {
    const std::string foreign = std::string("\x03MEX") + Le32(22) + "whatever";
    const std::string truncated = SerializeData(SampleData()).substr(0, 40);
    for (const std::string& bytes : {foreign, truncated}) {
        const fs::path file = m_dir / "data.mer";
        WriteAll(file, bytes);
        CDataFile df(file.string());
        CMeruData mem;
        df.LoadData(mem, kNoPrompt);
        EXPECT_FALSE(df.MaySave());
        EXPECT_EQ(df.SaveData(mem).status, SaveStatus::NotAllowed);
        EXPECT_EQ(ReadAll(file), bytes);
    }
}

TEST_F(TempDir, FileThatCannotBeReadIsReportedAndNotReplaced) {
    const fs::path dir = m_dir / "data.mer";  // a folder where the file should be
    fs::create_directory(dir);
    CDataFile df(dir.string());
    CMeruData mem;
    const LoadOutcome out = df.LoadData(mem, kNoPrompt);
    EXPECT_EQ(out.status, LoadStatus::CannotOpen);
    EXPECT_FALSE(out.reason.empty());
    EXPECT_TRUE(out.Continues());
    EXPECT_FALSE(df.MaySave());
    EXPECT_EQ(df.SaveData(mem).status, SaveStatus::NotAllowed);
    EXPECT_TRUE(fs::is_directory(dir));
}

TEST_F(TempDir, DevicesAndPipesAreNotReadAsDataFiles) {
    const fs::path fifo = m_dir / "fifo.mer";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const fs::path& p : {fs::path("/dev/zero"), fifo}) {
        SCOPED_TRACE(p.string());
        CDataFile df(p.string());
        CMeruData mem;
        const LoadOutcome out = df.LoadData(mem, kNoPrompt);  // neither hangs nor fills memory
        EXPECT_EQ(out.status, LoadStatus::CannotOpen);
        EXPECT_EQ(out.reason, "not a regular file");
        EXPECT_FALSE(df.MaySave());
    }
}

TEST_F(TempDir, FailedSaveKeepsTheOldFileAndSaysWhy) {
    const fs::path file = m_dir / "data.mer";
    CDataFile df(file.string());
    CMeruData mem;
    df.LoadData(mem, kNoPrompt);
    ASSERT_EQ(df.SaveData(mem).status, SaveStatus::Saved);
    const std::string before = ReadAll(file);

    // A full disk, as far as this process can tell: writes past 1 KB fail.
    mem.m_aPages = {std::string(100000, 'z')};
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit small = old;
    small.rlim_cur = 1024;
    auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &small);
    const SaveOutcome s = df.SaveData(mem);
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(s.status, SaveStatus::Failed);
    EXPECT_FALSE(s.reason.empty());
    EXPECT_EQ(ReadAll(file), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 1)
        << "a temporary file was left behind";

    // A folder that does not exist.
    CDataFile nowhere((m_dir / "no" / "such" / "data.mer").string());
    {  // loading a missing or plain file allows saving
        CMeruData loaded;
        nowhere.LoadData(loaded, kNoPrompt);
    }
    ASSERT_TRUE(nowhere.MaySave());
    const SaveOutcome s2 = nowhere.SaveData(mem);
    EXPECT_EQ(s2.status, SaveStatus::Failed);
    EXPECT_NE(s2.reason.find("No such file"), std::string::npos) << s2.reason;
}

TEST_F(TempDir, SaveKeepsPermissionsAndWritesThroughLinks) {
    const fs::path file = m_dir / "real.mer";
    const fs::path link = m_dir / "link.mer";
    CDataFile df(file.string());
    {  // loading a missing or plain file allows saving
        CMeruData loaded;
        df.LoadData(loaded, kNoPrompt);
    }
    ASSERT_TRUE(df.MaySave());
    ASSERT_EQ(df.SaveData(CMeruData{}).status, SaveStatus::Saved);
    struct stat st {};
    ::stat(file.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "a new data file is private";
    ::chmod(file.c_str(), 0640);
    fs::create_symlink(file, link);

    CDataFile viaLink(link.string());
    {  // loading a missing or plain file allows saving
        CMeruData loaded;
        viaLink.LoadData(loaded, kNoPrompt);
    }
    ASSERT_TRUE(viaLink.MaySave());
    CMeruData d = SampleData();
    ASSERT_EQ(viaLink.SaveData(d).status, SaveStatus::Saved);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadAll(file), SerializeData(d));
    ::stat(file.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}
