#include "core/store/datafile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

#include "core/store/file_io.h"
#include "core/store/records.h"
#include "core/store/scramble.h"
#include "core/text/text_codec.h"

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

class Reader {
public:
    explicit Reader(std::string_view buf) : m_buf(buf) {}

    size_t Left() const { return m_buf.size() - m_pos; }
    size_t Pos() const { return m_pos; }
    void Seek(size_t pos) { m_pos = pos; }

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

// ---------------------------------------------------------------- texts

constexpr uint64_t kHighBits = 0x8080808080808080ull;

inline uint64_t Load8(const char* p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}
inline void Store8(char* p, uint64_t w) { std::memcpy(p, &w, 8); }

// Byte-wise a + b and a - b (modulo 256) in each of the eight bytes of a word.
inline uint64_t AddBytes(uint64_t a, uint64_t b) {
    return ((a & ~kHighBits) + (b & ~kHighBits)) ^ ((a ^ b) & kHighBits);
}
inline uint64_t SubBytes(uint64_t a, uint64_t b) {
    return ((a | kHighBits) - (b & ~kHighBits)) ^ ((a ^ ~b) & kHighBits);
}

// The key walk of ScrambleText/UnscrambleText, laid out over a block whose
// length is a multiple of the walk's period, so a text is keyed a word at a
// time. Every text starts at key position 0. An empty key does nothing.
class KeyStream {
public:
    explicit KeyStream(std::string_view key) {
        if (key.empty()) return;
        const size_t period = key.size() > 1 ? key.size() - 1 : 1;
        size_t len = period;
        while (len < 1024) len += period;
        m_walk.resize(len);
        for (size_t i = 0; i < len; ++i) m_walk[i] = key[i % period];
    }

    explicit operator bool() const { return !m_walk.empty(); }

    // out[i] = in[i] + key (Add) or in[i] - key; in and out may be the same.
    template <bool Add>
    void Apply(const char* in, char* out, size_t n) const {
        const char* k = m_walk.data();
        for (size_t done = 0; done < n;) {
            const size_t m = std::min(m_walk.size(), n - done);
            const char* src = in + done;
            char* dst = out + done;
            size_t i = 0;
            for (; i + 8 <= m; i += 8) {
                const uint64_t w = Load8(src + i), kw = Load8(k + i);
                Store8(dst + i, Add ? AddBytes(w, kw) : SubBytes(w, kw));
            }
            for (; i < m; ++i) {
                const auto c = static_cast<unsigned char>(src[i]),
                           kc = static_cast<unsigned char>(k[i]);
                dst[i] = static_cast<char>(Add ? c + kc : c - kc);
            }
            done += m;
        }
    }

private:
    std::string m_walk;
};

// Plain UTF-8 text of a stored text, unscrambled with `key`; `scratch` holds
// the unscrambled bytes between the two steps.
std::string DecodeText(const TextRef& t, const KeyStream& key, std::string& scratch) {
    std::string_view bytes = t.bytes;
    if (key && !bytes.empty()) {
        scratch.resize(bytes.size());
        key.Apply<false>(bytes.data(), scratch.data(), bytes.size());
        bytes = std::string_view(scratch.data(), bytes.size());
    }
    if (t.wide) return Utf16LeToUtf8(bytes);
    return Cp1252ToUtf8(bytes);
}

// Walks elements 3 onwards, handing every element to `sink`; false when the
// file ends inside an element or a count promises more records than the bytes
// left could hold. The file is walked twice: once to check it whole (before
// the password is asked for), once to decode it straight into the data.
// The stored texts of one record, in its fields' order.
template <class R>
using Texts = std::array<TextRef, kFieldCount<R>>;

template <size_t N>
bool ReadRecord(Reader& r, std::array<TextRef, N>& texts) {
    for (TextRef& t : texts)
        if (!r.Text(t)) return false;
    return true;
}

template <class Sink>
bool ReadBody(Reader& r, int version, Sink& sink) {
    TextRef password;
    if (!r.Text(password)) return false;
    sink.Password(password);

    uint32_t pages;
    if (!r.Count(pages) || pages > r.Left()) return false;  // a page takes at least 1 byte
    sink.Pages(pages, r.Pos());
    for (uint32_t i = 0; i < pages; ++i) {
        TextRef t;
        if (!r.Text(t)) return false;
        sink.Page(t);
    }
    sink.PagesEnd(r.Pos());

    int32_t contacts;
    if (!r.I32(contacts)) return false;
    if (contacts > 0) {
        if (static_cast<uint64_t>(contacts) * kFieldCount < CContact >> r.Left()) return false;
        sink.Contacts(static_cast<uint32_t>(contacts));
        for (int32_t i = 0; i < contacts; ++i) {
            Texts<CContact> fields;
            if (!ReadRecord(r, fields)) return false;
            sink.Contact(fields);
        }
    }

    Texts<MailSettings> mail;
    if (!ReadRecord(r, mail)) return false;
    sink.Mail(mail);
    if (version == kOldFormatVersion) return true;

    for (size_t g = 0; g < kGroupCount; ++g) {
        TextRef name;
        if (!r.Text(name)) return false;
        int32_t marks;
        if (!r.I32(marks)) return false;
        if (marks > 0 && static_cast<uint64_t>(marks) * kFieldCount < CBookmark >> r.Left())
            return false;
        sink.Group(g, name, marks > 0 ? static_cast<uint32_t>(marks) : 0u);
        for (int32_t i = 0; i < marks; ++i) {
            Texts<CBookmark> mark;
            if (!ReadRecord(r, mark)) return false;
            sink.Bookmark(g, mark);
        }
    }
    Texts<BrowserSetting> browser;
    if (!ReadRecord(r, browser)) return false;
    sink.Browser(browser);
    return true;
}

// First walk: checks the layout and keeps only the stored password.
struct CheckSink {
    TextRef password;
    uint32_t pages = 0;
    size_t pagesBegin = 0, pagesEnd = 0;  // where the pages lie in the file
    void Password(const TextRef& t) { password = t; }
    void Pages(uint32_t n, size_t at) {
        pages = n;
        pagesBegin = at;
    }
    void Page(const TextRef&) {}
    void PagesEnd(size_t at) { pagesEnd = at; }
    void Contacts(uint32_t) {}
    void Contact(const Texts<CContact>&) {}
    void Mail(const Texts<MailSettings>&) {}
    void Group(size_t, const TextRef&, uint32_t) {}
    void Bookmark(size_t, const Texts<CBookmark>&) {}
    void Browser(const Texts<BrowserSetting>&) {}
};

// Second walk, over a file the first walk accepted (so every count is real):
// fills `data`; texts the password covers are unscrambled with `password`
// (empty: taken as stored). `data` starts as the default data.
struct DecodeSink {
    DecodeSink(CMeruData& d, std::string_view password) : data(d), key(password) {}

    CMeruData& data;
    const KeyStream key;
    const KeyStream none{std::string_view()};
    std::string scratch;

    std::string Covered(const TextRef& t) { return DecodeText(t, key, scratch); }
    std::string Plain(const TextRef& t) { return DecodeText(t, none, scratch); }

    template <class R>
    void Fill(R& rec, const Texts<R>& texts) {
        for (size_t k = 0; k < texts.size(); ++k)
            rec.*Record<R>::kFields[k].member =
                Record<R>::kCovered ? Covered(texts[k]) : Plain(texts[k]);
    }

    void Password(const TextRef&) {}
    // Pages from index `split` on are decoded elsewhere (another thread).
    uint32_t split = UINT32_MAX;
    uint32_t page = 0;
    void Pages(uint32_t n, size_t) { data.m_aPages.resize(n); }
    void Page(const TextRef& t) {
        if (page < split) data.m_aPages[page] = Covered(t);
        ++page;
    }
    void PagesEnd(size_t) {}
    void Contacts(uint32_t n) { data.m_aContacts.reserve(n); }
    void Contact(const Texts<CContact>& f) { Fill(data.m_aContacts.emplace_back(), f); }
    void Mail(const Texts<MailSettings>& f) { Fill(data.m_mail, f); }
    void Group(size_t g, const TextRef& name, uint32_t marks) {
        data.m_aGroups[g].m_strName = Covered(name);
        data.m_aGroups[g].m_aBookmarks.reserve(marks);
    }
    void Bookmark(size_t g, const Texts<CBookmark>& f) {
        Fill(data.m_aGroups[g].m_aBookmarks.emplace_back(), f);
    }
    void Browser(const Texts<BrowserSetting>& f) { Fill(data.m_browser, f); }
};

// The password key: the password's bytes in the file's 8-bit code page.
std::string KeyOf(std::string_view password) {
    auto bytes = Utf8ToCp1252(password);
    if (!bytes) throw std::invalid_argument("password outside Windows-1252");
    return std::move(*bytes);
}

// ---------------------------------------------------------------- writing

class Writer {
public:
    // `key`: the password's bytes; the texts it covers are scrambled with it.
    Writer(size_t reserve, std::string_view key) : m_key(key) { m_buf.resize(reserve); }
    ~Writer() { WaitWrite(); }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    void Int(uint32_t v, int size) {
        char* o = Room(4);
        for (int k = 0; k < size; ++k) o[k] = static_cast<char>((v >> (8 * k)) & 0xFF);
        m_len += static_cast<size_t>(size);
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
    void Raw(std::string_view bytes) {
        if (!bytes.empty()) std::memcpy(Room(bytes.size()), bytes.data(), bytes.size());
        m_len += bytes.size();
    }

    // Every text of a record, in its fields' order.
    template <class R>
    void Record(const R& rec) {
        for (const auto& f : meru::Record<R>::kFields) {
            if constexpr (meru::Record<R>::kCovered)
                Covered(rec.*f.member);
            else
                Plain(rec.*f.member);
        }
    }

    // A text the password covers, and one it never covers.
    void Covered(std::string_view utf8) {
        Text(utf8, m_key);
        if (m_fd >= 0 && m_len >= kFlushAt) Flush();
    }
    void Plain(std::string_view utf8) {
        Text(utf8, m_none);
        if (m_fd >= 0 && m_len >= kFlushAt) Flush();
    }

    // The whole image, when no file was given.
    std::string Take() {
        m_buf.resize(m_len);
        m_len = 0;
        return std::move(m_buf);
    }

    // Streams the image to `fd` a megabyte at a time instead of keeping it
    // whole; Finish writes the rest and tells the first write error (errno).
    // Each block is written by a second thread while the next one is
    // converted.
    void StreamTo(int fd) {
        m_fd = fd;
        m_writing.resize(m_buf.size());
    }
    int Finish() {
        Flush();
        WaitWrite();
        return m_err;
    }

    static constexpr size_t kFlushAt = size_t{1} << 20;

private:
    // Room for n more bytes at the end of the image (not yet counted). The
    // buffer only grows; bytes past m_len are scratch, never zero-filled again.
    char* Room(size_t n) {
        if (m_buf.size() - m_len < n) m_buf.resize(std::max(m_buf.size() * 2, m_len + n));
        return m_buf.data() + m_len;
    }

    void Flush() {
        if (m_fd < 0) return;
        WaitWrite();
        if (m_err == 0 && m_len > 0) {
            std::swap(m_buf, m_writing);
            m_pending = std::async(std::launch::async, [fd = m_fd, this, len = m_len] {
                return WriteAll(fd, std::string_view(m_writing.data(), len));
            });
        }
        m_len = 0;
    }
    void WaitWrite() {
        if (!m_pending.valid()) return;
        const int err = m_pending.get();
        if (m_err == 0) m_err = err;
    }

    static size_t PrefixSize(size_t len) { return len < 0xFF ? 1 : len < 0xFFFE ? 3 : 7; }

    // A UTF-8 text in its stored form: 8-bit Windows-1252 when every character
    // has a byte there, else the wide UTF-16LE form; scrambled with `key`.
    void Text(std::string_view utf8, const KeyStream& key) {
        if (IsAscii(utf8)) {
            Length(utf8.size());
            Put(utf8, key);
            return;
        }
        // Windows-1252 has one byte per character: convert straight into the
        // image after room for the longest prefix the text can need, then put
        // the prefix in front (moving the bytes up when it is shorter).
        const size_t mark = m_len;
        const size_t room = PrefixSize(utf8.size());
        char* at = Room(room + utf8.size() + 16) + room;
        const std::optional<size_t> narrow = Utf8ToCp1252(utf8, at);
        if (narrow) {
            const size_t chars = *narrow;
            Length(chars);  // at mark, within the room already made
            if (m_len != mark + room) std::memmove(m_buf.data() + m_len, at, chars);
            if (key) key.Apply<true>(m_buf.data() + m_len, m_buf.data() + m_len, chars);
            m_len += chars;
            return;
        }
        m_len = mark;
        const std::string wide = Utf8ToUtf16Le(utf8);
        Int(0xFF, 1);
        Int(0xFFFE, 2);
        Length(wide.size() / 2);
        Put(wide, key);
    }

    void Put(std::string_view bytes, const KeyStream& key) {
        if (!key) {
            Raw(bytes);
            return;
        }
        char* o = Room(bytes.size());
        key.Apply<true>(bytes.data(), o, bytes.size());
        m_len += bytes.size();
    }

    KeyStream m_key;
    KeyStream m_none{std::string_view()};
    std::string m_buf;  // the image; bytes [0, m_len) are written
    size_t m_len = 0;
    std::string m_writing;  // the block the second thread writes
    std::future<int> m_pending;
    int m_fd = -1;
    int m_err = 0;
};

// Room for a text: its bytes and the longest length prefix.
constexpr size_t kTextOverhead = 7;

template <class R>
size_t RecordSize(const R& rec) {
    size_t n = 0;
    for (const auto& f : Record<R>::kFields) n += (rec.*f.member).size() + kTextOverhead;
    return n;
}

size_t EstimateSize(const CMeruData& d) {
    size_t n = 512 + RecordSize(d.m_mail) + RecordSize(d.m_browser);
    for (const auto& p : d.m_aPages) n += p.size() + kTextOverhead;
    for (const auto& c : d.m_aContacts) n += RecordSize(c);
    for (const auto& g : d.m_aGroups) {
        n += g.m_strName.size() + kTextOverhead + 4;
        for (const auto& b : g.m_aBookmarks) n += RecordSize(b);
    }
    return n;
}

// Below this many bytes of pages one thread decodes everything.
constexpr size_t kParallelPageBytes = size_t{4} << 20;

// Files from this size on are mapped rather than read, where that is safe;
// a smaller one is read in less time than a mapping takes to set up.
constexpr size_t kMapBytes = size_t{1} << 20;

// Pages are shared out to the decoding threads in runs of about this many
// bytes: small enough for the threads to end close together, large enough
// for handing them out to cost nothing.
constexpr size_t kPageRunBytes = size_t{1} << 20;

// A run of pages: the first one's index, and where its stored text starts.
struct PageRun {
    uint32_t first;
    size_t at;
};

// The pages the check found, cut into runs of whole pages.
std::vector<PageRun> PageRuns(std::string_view file, const CheckSink& check) {
    std::vector<PageRun> runs{{0, check.pagesBegin}};
    Reader walk(file);
    walk.Seek(check.pagesBegin);
    TextRef t;
    for (uint32_t i = 1; i < check.pages && walk.Text(t); ++i)
        if (walk.Pos() - runs.back().at >= kPageRunBytes) runs.push_back({i, walk.Pos()});
    return runs;
}

// Decodes the pages [first, end) whose stored texts start at `at`.
void DecodePages(std::string_view file, size_t at, uint32_t first, uint32_t end,
                 const KeyStream& key, std::vector<std::string>& pages) {
    Reader r(file);
    r.Seek(at);
    std::string scratch;
    for (uint32_t i = first; i < end; ++i) {
        TextRef t;
        if (!r.Text(t)) return;  // cannot happen: the check walked these bytes
        pages[i] = DecodeText(t, key, scratch);
    }
}

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

    const size_t body = r.Pos();
    CheckSink check;
    if (!ReadBody(r, version, check)) {
        out.status = LoadStatus::ReadError;
        out.message = kMsgReadError;
        return out;
    }

    // The stored password, decoded; its bytes are the key.
    std::string key(check.password.bytes);
    if (check.password.wide) {
        auto narrow = Utf8ToCp1252(Utf16LeToUtf8(check.password.bytes));
        if (!narrow) {
            out.status = LoadStatus::ReadError;
            out.message = kMsgReadError;
            return out;
        }
        key = std::move(*narrow);
    }
    DecodePassword(key);
    const std::string password = Cp1252ToUtf8(key);
    data.m_strPassword = password;

    // Decodes the texts, unscrambled with `with` (empty: as stored).
    auto decode = [&](std::string_view with) {
        r.Seek(body);
        DecodeSink sink(data, with);
        // A large notebook is decoded by two threads, which take runs of
        // pages in turn until none is left: neither waits long for the
        // other, however their shares of the work go.
        const KeyStream stream(with);
        std::vector<PageRun> runs;
        std::atomic<size_t> nextRun{0};
        auto decodeRuns = [&] {
            for (size_t k; (k = nextRun.fetch_add(1, std::memory_order_relaxed)) < runs.size();) {
                const uint32_t end = k + 1 < runs.size() ? runs[k + 1].first : check.pages;
                DecodePages(bytes, runs[k].at, runs[k].first, end, stream, data.m_aPages);
            }
        };
        std::thread second;
        std::exception_ptr secondFailed;
        if (check.pagesEnd - check.pagesBegin >= kParallelPageBytes &&
            std::thread::hardware_concurrency() > 1) {
            runs = PageRuns(bytes, check);
            sink.split = 0;
            data.m_aPages.resize(check.pages);
            second = std::thread([&] {
                try {
                    decodeRuns();
                } catch (...) {
                    secondFailed = std::current_exception();
                }
            });
        }
        try {
            ReadBody(r, version, sink);  // cannot fail: the same bytes passed the check
            decodeRuns();
        } catch (...) {
            nextRun = runs.size();
            if (second.joinable()) second.join();
            throw;
        }
        if (second.joinable()) second.join();
        if (secondFailed) std::rethrow_exception(secondFailed);
        data.m_strPassword = password;
    };

    if (key.empty()) {
        out.password = PasswordState::None;
        decode({});
        return out;
    }

    const std::optional<std::string> typed = prompt ? prompt() : std::nullopt;
    if (typed && *typed == password) {
        out.password = PasswordState::Accepted;
        decode(key);
        return out;
    }
    out.password = typed ? PasswordState::Wrong : PasswordState::Cancelled;
    out.message = typed ? kMsgPasswordWrong : kMsgPasswordRequired;
    decode({});  // the run shows the texts as stored
    return out;
}

namespace {

// Elements 1 to 11 of `data` through `w`; `key` is the password's bytes.
void WriteImage(Writer& w, const CMeruData& data, const std::string& key) {
    w.Length(kTag.size());
    w.Raw(kTag);
    w.Int(kFormatVersion, 4);

    std::string encoded = key;
    EncodePassword(encoded);
    w.Length(encoded.size());
    w.Raw(encoded);

    w.Count(data.m_aPages.size());
    for (const auto& p : data.m_aPages) w.Covered(p);

    w.Int(static_cast<uint32_t>(data.m_aContacts.size()), 4);
    for (const auto& c : data.m_aContacts) w.Record(c);
    w.Record(data.m_mail);

    for (const auto& g : data.m_aGroups) {
        w.Covered(g.m_strName);
        w.Int(static_cast<uint32_t>(g.m_aBookmarks.size()), 4);
        for (const auto& b : g.m_aBookmarks) w.Record(b);
    }
    w.Record(data.m_browser);
}

}  // namespace

std::string SerializeData(const CMeruData& data) {
    const std::string key = KeyOf(data.m_strPassword);
    Writer w(EstimateSize(data), key);
    WriteImage(w, data, key);
    return w.Take();
}

LoadOutcome CDataFile::LoadData(CMeruData& data, const PasswordPrompt& prompt) {
    m_bMaySave = false;
    data = CMeruData{};
    LoadOutcome out;
    // Saves killed on an earlier run may have left temporaries behind.
    RemoveStaleTemporaries(m_strPath);
    // A large file is decoded straight from the file cache where it can be
    // mapped safely; any other is read into memory.
    MappedFile mapped;
    if (mapped.Map(m_strPath, kMapBytes)) {
        out = ReadData(mapped.View(), data, prompt);
    } else {
        ReadResult file = ReadWholeFile(m_strPath);
        if (file.status == ReadStatus::Missing) {
            out.status = LoadStatus::NoFile;
            m_bMaySave = true;
            return out;
        }
        if (file.status == ReadStatus::Failed) {
            out.status = LoadStatus::CannotOpen;
            out.reason = file.reason;
            return out;
        }
        out = ReadData(file.bytes.View(), data, prompt);
    }
    m_bMaySave = out.status == LoadStatus::Loaded &&
                 (out.password == PasswordState::None || out.password == PasswordState::Accepted);
    return out;
}

SaveOutcome CDataFile::SaveData(const CMeruData& data) const {
    if (!m_bMaySave) return {SaveStatus::NotAllowed, {}};
    std::string key;
    try {
        key = KeyOf(data.m_strPassword);
    } catch (const std::invalid_argument&) {
        return {SaveStatus::Failed, "the password has characters outside Windows-1252"};
    }
    // Streamed: a large file is never held whole in memory a second time.
    auto reason = WriteAtomically(m_strPath, [&](int fd) {
        Writer w(2 * Writer::kFlushAt, key);
        w.StreamTo(fd);
        WriteImage(w, data, key);
        return w.Finish();
    });
    if (reason) return {SaveStatus::Failed, *reason};
    return {SaveStatus::Saved, {}};
}

}  // namespace meru
