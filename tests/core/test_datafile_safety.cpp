// What loads and saves do to the things around the data file: links,
// leftovers of killed saves, owners, paths that are not regular files, and
// other programs that write the file while a load has it mapped.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "core/store/datafile.h"
#include "core/store/file_io.h"

using namespace meru;
namespace fs = std::filesystem;

namespace {

const PasswordPrompt kNone = [] { return std::optional<std::string>(); };

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void Put(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

CMeruData Some() {
    CMeruData d;
    d.m_aPages = {"prima pagina", "città"};
    d.m_mail.m_strServer = "smtp.example.org";
    return d;
}

// A data file object that may save: loaded from `path` (missing or plain).
CDataFile Opened(const fs::path& path) {
    CDataFile df(path.string());
    CMeruData ignored;
    df.LoadData(ignored, kNone);
    EXPECT_TRUE(df.MaySave());
    return df;
}

class SaveSafety : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/meru-safety-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(m_dir))
            out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
    fs::path m_dir;
};

TEST_F(SaveSafety, DanglingLinkIsWrittenThroughOrFailsWithTheLinkKept) {
    // The link's target does not exist yet, but its folder does: the save
    // creates the target and the link stays a link.
    const fs::path link = m_dir / "meru.mer";
    fs::create_directory(m_dir / "real");
    fs::create_symlink("real/data.mer", link);  // relative, as ln -s makes it
    CDataFile df = Opened(link);
    ASSERT_EQ(df.SaveData(Some()).status, SaveStatus::Saved);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Slurp(m_dir / "real" / "data.mer"), SerializeData(Some()));

    // A chain of links ending nowhere.
    const fs::path hop = m_dir / "hop.mer";
    fs::create_symlink(link, hop);
    fs::remove(m_dir / "real" / "data.mer");
    CDataFile viaHop = Opened(hop);
    ASSERT_EQ(viaHop.SaveData(Some()).status, SaveStatus::Saved);
    EXPECT_TRUE(fs::is_symlink(hop));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(fs::is_regular_file(m_dir / "real" / "data.mer"));

    // The target's folder is missing: the save fails, says why, and the link
    // is left exactly as it was.
    const fs::path lost = m_dir / "lost.mer";
    fs::create_symlink("/nonexistent-meru-dir/real.mer", lost);
    CDataFile broken = Opened(lost);
    const SaveOutcome s = broken.SaveData(Some());
    EXPECT_EQ(s.status, SaveStatus::Failed);
    EXPECT_NE(s.reason.find("No such file"), std::string::npos) << s.reason;
    ASSERT_TRUE(fs::is_symlink(lost));
    EXPECT_EQ(fs::read_symlink(lost), "/nonexistent-meru-dir/real.mer");
}

TEST_F(SaveSafety, StaleTemporariesGoButOneBeingWrittenStays) {
    const fs::path file = m_dir / "data.mer";
    Put(file, SerializeData(Some()));
    // Two leftovers of killed saves, one temporary a running save still
    // writes (it holds its lock), and files that only look alike.
    Put(m_dir / "data.mer.tmp.a1B2c3", std::string(5000, 'x'));
    Put(m_dir / "data.mer.tmp.zzzzzz", "");
    Put(m_dir / "data.mer.tmp.Live01", "being written");
    Put(m_dir / "other.mer.tmp.a1B2c3", "another file's");
    Put(m_dir / "data.mer.tmp.toolong1", "not ours");
    Put(m_dir / "data.mer.bak", "a backup");
    const int live = ::open((m_dir / "data.mer.tmp.Live01").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(live, 0);
    ASSERT_EQ(::flock(live, LOCK_EX | LOCK_NB), 0);

    const std::vector<std::string> kept = {"data.mer", "data.mer.bak", "data.mer.tmp.Live01",
                                           "data.mer.tmp.toolong1", "other.mer.tmp.a1B2c3"};
    // At start-up (the load) ...
    CDataFile df = Opened(file);
    EXPECT_EQ(Names(), kept);

    // ... and before every save.
    Put(m_dir / "data.mer.tmp.Q9q9Q9", "killed again");
    ASSERT_EQ(df.SaveData(Some()).status, SaveStatus::Saved);
    EXPECT_EQ(Names(), kept);
    EXPECT_EQ(Slurp(m_dir / "data.mer.tmp.Live01"), "being written");

    // Once the other save lets go, its temporary is stale too.
    ::close(live);
    ASSERT_EQ(df.SaveData(Some()).status, SaveStatus::Saved);
    EXPECT_EQ(Names(), (std::vector<std::string>{"data.mer", "data.mer.bak",
                                                 "data.mer.tmp.toolong1", "other.mer.tmp.a1B2c3"}));
}

TEST_F(SaveSafety, SaveKeepsTheOwnerOfSomeoneElsesFile) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a file to another user";
    const fs::path file = m_dir / "data.mer";
    Put(file, SerializeData(CMeruData{}));
    constexpr uid_t kOther = 65534;  // nobody
    constexpr gid_t kGroup = 65534;
    ASSERT_EQ(::chown(file.c_str(), kOther, kGroup), 0);
    ASSERT_EQ(::chmod(file.c_str(), 0600), 0);

    CDataFile df = Opened(file);
    ASSERT_EQ(df.SaveData(Some()).status, SaveStatus::Saved);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kOther);
    EXPECT_EQ(st.st_gid, kGroup);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(Slurp(file), SerializeData(Some()));
}

TEST_F(SaveSafety, NotARegularFileIsNeverReplaced) {
    // A FIFO, directly and behind a link; a device of our own (never the
    // system's: a faulty save would replace it) behind a link.
    const fs::path fifo = m_dir / "pipe.mer";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path toFifo = m_dir / "to-pipe.mer";
    fs::create_symlink(fifo, toFifo);
    std::vector<fs::path> targets = {fifo, toFifo};
    std::vector<std::string> names = {"pipe.mer", "to-pipe.mer"};
    const fs::path dev = m_dir / "nulldev";
    if (::geteuid() == 0 && ::mknod(dev.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0) {
        fs::create_symlink(dev, m_dir / "to-dev.mer");
        targets.push_back(m_dir / "to-dev.mer");
        names.insert(names.end(), {"nulldev", "to-dev.mer"});
    }
    for (const fs::path& p : targets) {
        const std::optional<std::string> err =
            WriteFileAtomically(p.string(), SerializeData(Some()));
        ASSERT_TRUE(err.has_value()) << p;
        EXPECT_NE(err->find("not a regular file"), std::string::npos) << *err;
    }
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(fifo)));
    EXPECT_TRUE(fs::is_symlink(toFifo));
    if (names.size() > 2) {
        EXPECT_TRUE(fs::is_character_file(fs::symlink_status(dev)));
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(Names(), names);
}

// A load decodes a large file straight from a mapping of it. Cut short under
// the mapping, the file would end the process with SIGBUS, so nobody may
// open it for writing or truncate it until the mapping is gone.
TEST_F(SaveSafety, AMappedFileIsNotChangedUntilItIsReleased) {
    using namespace std::chrono_literals;
    const fs::path path = m_dir / "big.mer";
    std::string bytes(size_t{3} << 20, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 4096);
    Put(path, bytes);
    std::atomic<bool> cut{false};
    std::thread cutter;
    {
        MappedFile mapped;
        ASSERT_TRUE(mapped.Map(path.string(), size_t{1} << 20));
        const int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        const int err = errno;
        EXPECT_EQ(writer, -1);
        EXPECT_EQ(err, EWOULDBLOCK);
        if (writer >= 0) ::close(writer);
        cutter = std::thread([&] {
            EXPECT_EQ(::truncate(path.c_str(), 0), 0);
            cut = true;
        });
        // Nothing can show that the truncation never comes; it must not come
        // within a while, during which every mapped byte reads as it was.
        for (int i = 0; i < 30 && !cut; ++i) std::this_thread::sleep_for(10ms);
        EXPECT_FALSE(cut);
        EXPECT_TRUE(mapped.View() == bytes);
    }
    for (int i = 0; i < 1000 && !cut; ++i) std::this_thread::sleep_for(10ms);
    cutter.join();
    EXPECT_TRUE(cut);
    EXPECT_EQ(fs::file_size(path), 0u);
}

// Where a mapping could not be kept safe, or would not pay, the file is not
// mapped (the load reads it instead) and nothing is left holding it.
TEST_F(SaveSafety, FilesNotMappedAreLeftFreeForWriters) {
    const fs::path path = m_dir / "data.mer";
    Put(path, std::string(size_t{2} << 20, 'x'));
    {
        // Open for writing elsewhere: a change could come at any time.
        const int writer = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(writer, 0);
        MappedFile mapped;
        EXPECT_FALSE(mapped.Map(path.string(), 1));
        ::close(writer);
    }
    {
        // Smaller than the caller's minimum.
        MappedFile mapped;
        EXPECT_FALSE(mapped.Map(path.string(), size_t{4} << 20));
        const int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        EXPECT_GE(writer, 0) << std::strerror(errno);
        if (writer >= 0) ::close(writer);
    }
    MappedFile missing;
    EXPECT_FALSE(missing.Map((m_dir / "none.mer").string(), 1));
}

}  // namespace
