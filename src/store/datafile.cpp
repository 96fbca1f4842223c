#include "store/datafile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "store/scramble.h"
#include "store/text_codec.h"

namespace meru {
namespace {

constexpr std::string_view kTag = "MER";

// ---------------------------------------------------------------- reading

// A text as it lies in the file: its bytes (still scrambled, if they were) and
// whether they are the wide UTF-16LE form.
struct TextRef {
    std::string_view bytes;
    bool wide = false;
};

struct RawContact {
    std::array<TextRef, 6> fields;
};
struct RawBookmark {
    TextRef name, url;
};
struct RawGroup {
    TextRef name;
    std::vector<RawBookmark> marks;
};
struct RawImage {
    TextRef password;
    std::vector<TextRef> pages;
    std::vector<RawContact> contacts;
    TextRef server, sender;
    std::array<RawGroup, kGroupCount> groups;
    TextRef program, folder;
};

class Reader {
public:
    explicit Reader(std::string_view buf) : m_buf(buf) {}

    size_t Left() const { return m_buf.size() - m_pos; }

    bool Bytes(size_t n, std::string_view& out) {
        if (n > Left()) return false;
        out = m_buf.substr(m_pos, n);
        m_pos += n;
        return true;
    }
    bool U8(uint32_t& v) { return Int(1, v); }
    bool U16(uint32_t& v) { return Int(2, v); }
    bool U32(uint32_t& v) { return Int(4, v); }
    bool I32(int32_t& v) {
        uint32_t u;
        if (!U32(u)) return false;
        v = static_cast<int32_t>(u);
        return true;
    }

    // Length prefix of a counted string; sets `wide` when the 0xFFFE mark
    // precedes the real length.
    bool Length(uint32_t& len, bool& wide, bool allowWide = true) {
        uint32_t b;
        if (!U8(b)) return false;
        if (b < 0xFF) {
            len = b;
            return true;
        }
        uint32_t w;
        if (!U16(w)) return false;
        if (w == 0xFFFF) return U32(len);
        if (w == 0xFFFE) {
            if (!allowWide) return false;  // a second wide mark is damage
            wide = true;
            return Length(len, wide, false);
        }
        len = w;
        return true;
    }

    bool Text(TextRef& t) {
        uint32_t len;
        bool wide = false;
        if (!Length(len, wide)) return false;
        const uint64_t n = wide ? uint64_t{len} * 2 : len;
        if (n > Left()) return false;
        t.wide = wide;
        return Bytes(static_cast<size_t>(n), t.bytes);
    }

    // Item count: 2 bytes, or 0xFFFF and then 4 bytes.
    bool Count(uint32_t& n) {
        if (!U16(n)) return false;
        return n != 0xFFFF || U32(n);
    }

private:
    bool Int(int size, uint32_t& v) {
        if (static_cast<size_t>(size) > Left()) return false;
        v = 0;
        for (int k = size - 1; k >= 0; --k)
            v = (v << 8) | static_cast<unsigned char>(m_buf[m_pos + static_cast<size_t>(k)]);
        m_pos += static_cast<size_t>(size);
        return true;
    }

    std::string_view m_buf;
    size_t m_pos = 0;
};

bool IsAscii(std::string_view s) {
    size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        uint64_t w;
        std::memcpy(&w, s.data() + i, 8);
        if (w & 0x8080808080808080ull) return false;
    }
    for (; i < s.size(); ++i)
        if (static_cast<unsigned char>(s[i]) & 0x80) return false;
    return true;
}

// Plain UTF-8 text of a stored text, unscrambled with `key` (stored bytes).
std::string DecodeText(const TextRef& t, std::string_view key) {
    std::string plain;
    std::string_view bytes = t.bytes;
    if (!key.empty()) {
        plain = UnscrambleText(bytes, key);
        bytes = plain;
    }
    if (t.wide) return Utf16LeToUtf8(bytes);
    if (IsAscii(bytes)) return plain.empty() ? std::string(bytes) : std::move(plain);
    return Cp1252ToUtf8(bytes);
}

// Reads elements 3 onwards; false when the file ends inside an element or a
// count promises more records than the bytes left could hold.
bool ReadBody(Reader& r, int version, RawImage& img) {
    if (!r.Text(img.password)) return false;

    uint32_t pages;
    if (!r.Count(pages) || pages > r.Left()) return false;  // a page takes at least 1 byte
    img.pages.reserve(std::min<size_t>(pages, 1u << 16));
    for (uint32_t i = 0; i < pages; ++i) {
        TextRef t;
        if (!r.Text(t)) return false;
        img.pages.push_back(t);
    }

    int32_t contacts;
    if (!r.I32(contacts)) return false;
    if (contacts > 0) {
        if (static_cast<uint64_t>(contacts) * 6 > r.Left()) return false;
        img.contacts.reserve(std::min<size_t>(static_cast<size_t>(contacts), 1u << 16));
        for (int32_t i = 0; i < contacts; ++i) {
            RawContact c;
            for (auto& f : c.fields)
                if (!r.Text(f)) return false;
            img.contacts.push_back(c);
        }
    }

    if (!r.Text(img.server) || !r.Text(img.sender)) return false;
    if (version == kOldFormatVersion) return true;

    for (auto& g : img.groups) {
        if (!r.Text(g.name)) return false;
        int32_t marks;
        if (!r.I32(marks)) return false;
        if (marks <= 0) continue;
        if (static_cast<uint64_t>(marks) * 2 > r.Left()) return false;
        g.marks.reserve(std::min<size_t>(static_cast<size_t>(marks), 1u << 16));
        for (int32_t i = 0; i < marks; ++i) {
            RawBookmark b;
            if (!r.Text(b.name) || !r.Text(b.url)) return false;
            g.marks.push_back(b);
        }
    }
    return r.Text(img.program) && r.Text(img.folder);
}

// The password key: the password's bytes in the file's 8-bit code page.
std::string KeyOf(std::string_view password) {
    auto bytes = Utf8ToCp1252(password);
    if (!bytes) throw std::invalid_argument("password outside Windows-1252");
    return std::move(*bytes);
}

// Fills `data` from the image; texts that the password covers are unscrambled
// with `key` (empty: taken as stored).
void Decode(const RawImage& img, int version, std::string_view key, CMeruData& data) {
    data.m_aPages.clear();
    data.m_aPages.reserve(img.pages.size());
    for (const auto& p : img.pages) data.m_aPages.push_back(DecodeText(p, key));

    data.m_aContacts.clear();
    data.m_aContacts.reserve(img.contacts.size());
    for (const auto& rc : img.contacts) {
        CContact c;
        c.m_strName = DecodeText(rc.fields[0], key);
        c.m_strEmail = DecodeText(rc.fields[1], key);
        c.m_strTelephone = DecodeText(rc.fields[2], key);
        c.m_strCellular = DecodeText(rc.fields[3], key);
        c.m_strBirthday = DecodeText(rc.fields[4], key);
        c.m_strNote = DecodeText(rc.fields[5], key);
        data.m_aContacts.push_back(std::move(c));
    }
    data.m_mail.m_strServer = DecodeText(img.server, {});
    data.m_mail.m_strSender = DecodeText(img.sender, {});

    data.m_aGroups = DefaultGroups();
    data.m_browser = {};
    if (version == kOldFormatVersion) return;
    for (size_t g = 0; g < img.groups.size(); ++g) {
        auto& group = data.m_aGroups[g];
        group.m_strName = DecodeText(img.groups[g].name, key);
        group.m_aBookmarks.reserve(img.groups[g].marks.size());
        for (const auto& m : img.groups[g].marks)
            group.m_aBookmarks.push_back({DecodeText(m.name, key), DecodeText(m.url, key)});
    }
    data.m_browser.m_strProgram = DecodeText(img.program, {});
    data.m_browser.m_strFolder = DecodeText(img.folder, {});
}

// ---------------------------------------------------------------- writing

class Writer {
public:
    explicit Writer(size_t reserve) { m_out.reserve(reserve); }

    void Int(uint32_t v, int size) {
        for (int k = 0; k < size; ++k) m_out.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
    }
    void Length(size_t len) {
        if (len < 0xFF) {
            Int(static_cast<uint32_t>(len), 1);
        } else if (len < 0xFFFE) {
            Int(0xFF, 1);
            Int(static_cast<uint32_t>(len), 2);
        } else {
            Int(0xFF, 1);
            Int(0xFFFF, 2);
            Int(static_cast<uint32_t>(len), 4);
        }
    }
    void Count(size_t n) {
        if (n < 0xFFFF) {
            Int(static_cast<uint32_t>(n), 2);
        } else {
            Int(0xFFFF, 2);
            Int(static_cast<uint32_t>(n), 4);
        }
    }
    void Raw(std::string_view bytes) { m_out.append(bytes); }

    // A UTF-8 text in its stored form: 8-bit Windows-1252 when every character
    // has a byte there, else the wide UTF-16LE form; scrambled with `key`.
    void Text(std::string_view utf8, std::string_view key) {
        std::optional<std::string> narrow;
        const bool ascii = IsAscii(utf8);
        if (!ascii) narrow = Utf8ToCp1252(utf8);
        if (ascii || narrow) {
            std::string_view bytes = ascii ? utf8 : std::string_view(*narrow);
            Length(bytes.size());
            Put(bytes, key);
            return;
        }
        const std::string wide = Utf8ToUtf16Le(utf8);
        Int(0xFF, 1);
        Int(0xFFFE, 2);
        Length(wide.size() / 2);
        Put(wide, key);
    }

    std::string Take() { return std::move(m_out); }

private:
    void Put(std::string_view bytes, std::string_view key) {
        if (key.empty()) {
            m_out.append(bytes);
            return;
        }
        const size_t at = m_out.size();
        m_out.append(bytes);
        const std::string s = ScrambleText(bytes, key);
        m_out.replace(at, s.size(), s);
    }

    std::string m_out;
};

size_t EstimateSize(const CMeruData& d) {
    size_t n = 512;
    for (const auto& p : d.m_aPages) n += p.size() + 7;
    for (const auto& c : d.m_aContacts)
        n += c.m_strName.size() + c.m_strEmail.size() + c.m_strTelephone.size() +
             c.m_strCellular.size() + c.m_strBirthday.size() + c.m_strNote.size() + 42;
    for (const auto& g : d.m_aGroups) {
        n += g.m_strName.size() + 11;
        for (const auto& b : g.m_aBookmarks) n += b.m_strName.size() + b.m_strURL.size() + 14;
    }
    return n;
}

std::string SysReason(int err) { return std::strerror(err); }

}  // namespace

LoadOutcome ReadData(std::string_view bytes, CMeruData& data, const PasswordPrompt& prompt) {
    data = CMeruData{};
    LoadOutcome out;
    Reader r(bytes);

    // Tag and version are both read before either is tested; a file that
    // ends inside either is a read error like any other element.
    TextRef tag;
    int32_t version = 0;
    if (!r.Text(tag) || !r.I32(version)) {
        out.status = LoadStatus::ReadError;
        out.message = kMsgReadError;
        return out;
    }
    if (tag.wide || tag.bytes != kTag) {
        out.status = LoadStatus::BadTag;
        out.message = kMsgBadTag;
        return out;
    }
    out.version = version;
    if (version != kFormatVersion && version != kOldFormatVersion) {
        out.status = LoadStatus::BadVersion;
        out.message = kMsgBadVersion;
        return out;
    }

    RawImage img;
    if (!ReadBody(r, version, img)) {
        out.status = LoadStatus::ReadError;
        out.message = kMsgReadError;
        return out;
    }

    // The stored password, decoded; its bytes are the key.
    std::string key(img.password.bytes);
    if (img.password.wide) {
        auto narrow = Utf8ToCp1252(Utf16LeToUtf8(img.password.bytes));
        if (!narrow) {
            out.status = LoadStatus::ReadError;
            out.message = kMsgReadError;
            return out;
        }
        key = std::move(*narrow);
    }
    DecodePassword(key);
    data.m_strPassword = Cp1252ToUtf8(key);

    if (key.empty()) {
        out.password = PasswordState::None;
        Decode(img, version, {}, data);
        return out;
    }

    const std::optional<std::string> typed = prompt ? prompt() : std::nullopt;
    if (typed && *typed == data.m_strPassword) {
        out.password = PasswordState::Accepted;
        Decode(img, version, key, data);
        return out;
    }
    out.password = typed ? PasswordState::Wrong : PasswordState::Cancelled;
    out.message = typed ? kMsgPasswordWrong : kMsgPasswordRequired;
    Decode(img, version, {}, data);  // the run shows the texts as stored
    return out;
}

std::string SerializeData(const CMeruData& data) {
    const std::string key = KeyOf(data.m_strPassword);
    Writer w(EstimateSize(data));
    w.Length(kTag.size());
    w.Raw(kTag);
    w.Int(kFormatVersion, 4);

    std::string encoded = key;
    EncodePassword(encoded);
    w.Length(encoded.size());
    w.Raw(encoded);

    w.Count(data.m_aPages.size());
    for (const auto& p : data.m_aPages) w.Text(p, key);

    w.Int(static_cast<uint32_t>(data.m_aContacts.size()), 4);
    for (const auto& c : data.m_aContacts) {
        w.Text(c.m_strName, key);
        w.Text(c.m_strEmail, key);
        w.Text(c.m_strTelephone, key);
        w.Text(c.m_strCellular, key);
        w.Text(c.m_strBirthday, key);
        w.Text(c.m_strNote, key);
    }
    w.Text(data.m_mail.m_strServer, {});
    w.Text(data.m_mail.m_strSender, {});

    for (const auto& g : data.m_aGroups) {
        w.Text(g.m_strName, key);
        w.Int(static_cast<uint32_t>(g.m_aBookmarks.size()), 4);
        for (const auto& b : g.m_aBookmarks) {
            w.Text(b.m_strName, key);
            w.Text(b.m_strURL, key);
        }
    }
    w.Text(data.m_browser.m_strProgram, {});
    w.Text(data.m_browser.m_strFolder, {});
    return w.Take();
}

LoadOutcome CDataFile::LoadData(CMeruData& data, const PasswordPrompt& prompt) {
    m_bMaySave = false;
    data = CMeruData{};
    LoadOutcome out;

    const int fd = ::open(m_strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT) {
            out.status = LoadStatus::NoFile;
            m_bMaySave = true;
            return out;
        }
        out.status = LoadStatus::CannotOpen;
        out.reason = SysReason(err);
        return out;
    }

    std::string bytes;
    struct stat st{};
    int err = 0;
    if (::fstat(fd, &st) != 0) {
        err = errno;
    } else if (S_ISDIR(st.st_mode)) {
        err = EISDIR;
    } else {
        if (st.st_size > 0) bytes.reserve(static_cast<size_t>(st.st_size));
        char buf[1 << 16];
        for (;;) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n < 0) {
                if (errno == EINTR) continue;
                err = errno;
                break;
            }
            if (n == 0) break;
            bytes.append(buf, static_cast<size_t>(n));
        }
    }
    ::close(fd);
    if (err != 0) {
        out.status = LoadStatus::CannotOpen;
        out.reason = SysReason(err);
        return out;
    }

    out = ReadData(bytes, data, prompt);
    m_bMaySave = out.status == LoadStatus::Loaded &&
                 (out.password == PasswordState::None || out.password == PasswordState::Accepted);
    return out;
}

SaveOutcome CDataFile::SaveData(const CMeruData& data) const {
    if (!m_bMaySave) return {SaveStatus::NotAllowed, {}};
    std::string bytes;
    try {
        bytes = SerializeData(data);
    } catch (const std::invalid_argument&) {
        return {SaveStatus::Failed, "the password has characters outside Windows-1252"};
    }
    if (auto reason = WriteFileAtomically(m_strPath, bytes)) return {SaveStatus::Failed, *reason};
    return {SaveStatus::Saved, {}};
}

std::optional<std::string> WriteFileAtomically(const std::string& path, std::string_view bytes) {
    // Write through a link to the file it names, so the link stays a link.
    std::string target = path;
    if (char* real = ::realpath(path.c_str(), nullptr)) {
        target = real;
        std::free(real);
    }
    const auto slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));

    std::string tmp = target + ".tmp.XXXXXX";
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back('\0');
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return SysReason(errno);
    tmp.assign(name.data());

    auto fail = [&](int err) -> std::optional<std::string> {
        ::close(fd);
        ::unlink(tmp.c_str());
        return SysReason(err);
    };

    // Keep the old file's permissions; a new file is private to its owner.
    struct stat st{};
    if (::stat(target.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);

    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) return fail(errno);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        return SysReason(err);
    }
    if (::rename(tmp.c_str(), target.c_str()) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        return SysReason(err);
    }
    // Make the rename itself durable.
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return std::nullopt;
}

}  // namespace meru
