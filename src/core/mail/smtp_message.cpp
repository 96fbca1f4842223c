#include "core/mail/smtp_message.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cctype>
#include <cstring>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace meru {

namespace {

void SetError(std::string* pError, std::string text) {
    if (pError) *pError = std::move(text);
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> PercentDecode(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            out += s[i];
            continue;
        }
        if (i + 2 >= s.size()) return std::nullopt;
        const int hi = HexValue(s[i + 1]), lo = HexValue(s[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return out;
}

bool ValidHostChars(std::string_view host) {
    for (unsigned char c : host)
        if (c <= ' ' || c == '/' || c == '@' || c == '[' || c == ']' || c == 0x7f) return false;
    return true;
}

// "host", "host:port", "[v6]", "[v6]:port"; a bare IPv6 address (two or more
// colons) is a host without port.
bool SplitHostPort(std::string_view s, std::string& host, uint16_t& port, std::string* pError) {
    std::string_view portText;
    if (!s.empty() && s.front() == '[') {
        const size_t close = s.find(']');
        if (close == std::string_view::npos) {
            SetError(pError, "missing \"]\" after the IPv6 address");
            return false;
        }
        host = std::string(s.substr(1, close - 1));
        std::string_view rest = s.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') {
                SetError(pError, "unexpected text after \"]\"");
                return false;
            }
            portText = rest.substr(1);
            if (portText.empty()) {
                SetError(pError, "missing port number after \":\"");
                return false;
            }
        }
        if (host.empty() ||
            host.find_first_not_of("0123456789abcdefABCDEF:.") != std::string::npos) {
            SetError(pError, "not an IPv6 address between \"[\" and \"]\"");
            return false;
        }
    } else {
        const size_t first = s.find(':');
        if (first != std::string_view::npos && s.find(':', first + 1) == std::string_view::npos) {
            host = std::string(s.substr(0, first));
            portText = s.substr(first + 1);
            if (portText.empty()) {
                SetError(pError, "missing port number after \":\"");
                return false;
            }
        } else {
            host = std::string(s);
        }
        const bool bareV6 = first != std::string_view::npos && portText.empty();
        if (!bareV6 && !ValidHostChars(host)) {
            SetError(pError, "the host name holds a character a host name cannot hold");
            return false;
        }
    }
    if (host.empty()) {
        SetError(pError, "no host name");
        return false;
    }
    if (!portText.empty()) {
        unsigned long n = 0;
        for (char c : portText) {
            if (c < '0' || c > '9' || n > 65535) {
                SetError(pError, "the port is not a number from 1 to 65535");
                return false;
            }
            n = n * 10 + static_cast<unsigned long>(c - '0');
        }
        if (n == 0 || n > 65535) {
            SetError(pError, "the port is not a number from 1 to 65535");
            return false;
        }
        port = static_cast<uint16_t>(n);
    }
    return true;
}

constexpr const char* kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr char kHex[] = "0123456789ABCDEF";

}  // namespace

std::optional<SmtpServerSetting> ParseServerSetting(std::string_view text, std::string* pError) {
    std::string_view s = Trim(text);
    if (s.empty()) {
        SetError(pError, "no outgoing mail server is set");
        return std::nullopt;
    }
    if (HasLineBreak(s)) {
        SetError(pError, "the server setting holds a line break");
        return std::nullopt;
    }
    SmtpServerSetting setting;
    const size_t scheme = s.find("://");
    if (scheme != std::string_view::npos) {
        std::string name(s.substr(0, scheme));
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (name == "smtp") {
            setting.m_security = SmtpSecurity::StartTls;
            setting.m_nPort = 587;
        } else if (name == "smtps") {
            setting.m_security = SmtpSecurity::Tls;
            setting.m_nPort = 465;
        } else {
            SetError(pError, "unknown scheme \"" + name + "://\" (smtp:// or smtps://)");
            return std::nullopt;
        }
        s.remove_prefix(scheme + 3);
        if (!s.empty() && s.back() == '/') s.remove_suffix(1);
        if (s.find('/') != std::string_view::npos || s.find('?') != std::string_view::npos) {
            SetError(pError, "a path or query after the server is not understood");
            return std::nullopt;
        }
        const size_t at = s.rfind('@');
        if (at != std::string_view::npos) {
            auto user = PercentDecode(s.substr(0, at));
            if (!user || user->empty()) {
                SetError(pError, "the user name before \"@\" is empty or badly percent-encoded");
                return std::nullopt;
            }
            if (HasLineBreak(*user)) {
                SetError(pError, "the user name holds a line break");
                return std::nullopt;
            }
            setting.m_strUser = std::move(*user);
            s.remove_prefix(at + 1);
        }
    }
    if (!SplitHostPort(s, setting.m_strHost, setting.m_nPort, pError)) return std::nullopt;
    return setting;
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

void AppendWireLines(std::string& out, std::string_view text, bool bStuff) {
    out.reserve(out.size() + text.size() + text.size() / 32 + 2);
    const char* p = text.data();
    const char* const end = p + text.size();
    const char* lf = nullptr;  // the next LF at or after p, found once per LF
    // Every turn of the loop starts a line.
    while (p < end) {
        if (bStuff && *p == '.') out += '.';
        if (lf < p) {
            const void* found = std::memchr(p, '\n', static_cast<size_t>(end - p));
            lf = found ? static_cast<const char*>(found) : end;
        }
        const void* crFound = std::memchr(p, '\r', static_cast<size_t>(lf - p));
        const char* brk = crFound ? static_cast<const char*>(crFound) : lf;
        out.append(p, static_cast<size_t>(brk - p));
        if (brk == end) break;
        out += "\r\n";
        p = (*brk == '\r' && brk + 1 < end && brk[1] == '\n') ? brk + 2 : brk + 1;
    }
}

namespace {

// The longest line a 7-bit body may have, without its CR LF (RFC 5322).
constexpr size_t kMaxLine = 998;

// Byte by byte over [i, to), where the line being measured began at
// lineStart: true at the first byte above 127 or line too long; else
// lineStart is where the last line began.
bool ScanBytes(const char* p, size_t i, size_t to, size_t& lineStart) {
    for (; i < to; ++i) {
        const auto c = static_cast<unsigned char>(p[i]);
        if (c > 127) return true;
        if (c == '\n') {
            size_t len = i - lineStart;
            if (len > 0 && p[i - 1] == '\r') --len;
            if (len > kMaxLine) return true;
            lineStart = i + 1;
        }
    }
    return false;
}

bool NeedsBytes(const char* p, size_t n) {
    size_t lineStart = 0;
    return ScanBytes(p, 0, n, lineStart) || n - lineStart > kMaxLine;
}

// The vector scans go over chunks of 1 KiB in blocks of 32 or 64 bytes (one
// bit of Mask per byte), gathering the top bits of the chunk's bytes and
// counting the blocks in a row without an LF, with no branch on the block.
// A line of more than kMaxLine bytes covers at least kLfFree such blocks in
// a row, so only a chunk where a top bit is set, or where a block follows
// that many, is looked at again byte by byte: from the start of the line
// open at the chunk's start.
constexpr size_t kScanChunk = 1024;

template <class Mask>
class LfFreeRun {
public:
    static constexpr size_t kSize = sizeof(Mask) * 8;
    // The fewest whole blocks kMaxLine + 1 bytes in a row cover.
    static constexpr size_t kLfFree = (kMaxLine + 1 - (kSize - 1)) / kSize;

    [[gnu::always_inline]] void Block(Mask lfs) {
        m_maybeLong |= static_cast<unsigned>(m_run >= kLfFree);
        m_run = (m_run + 1) & (size_t{0} - static_cast<size_t>(lfs == 0));
    }
    // Whether a long line may end in, or run through, the blocks so far;
    // starts afresh with the next chunk.
    bool TakeMaybeLong() {
        const bool maybe = m_maybeLong != 0;
        m_maybeLong = 0;
        return maybe;
    }

private:
    size_t m_run = 0;
    unsigned m_maybeLong = 0;
};

// Where the line open at i began.
size_t LineStartAt(const char* p, size_t i) {
    if (i == 0) return 0;  // p may be null then
    const void* lf = memrchr(p, '\n', i);
    return lf ? static_cast<size_t>(static_cast<const char*>(lf) - p) + 1 : 0;
}

// The chunks through Chunk (true when a top bit is set in the chunk at i),
// the rest byte by byte. Chunk is called, not inlined, so it can be built
// for an instruction set the rest is not.
template <class Mask, bool (*Chunk)(const char* p, size_t i, LfFreeRun<Mask>& run)>
bool NeedsInChunks(const char* p, size_t n) {
    LfFreeRun<Mask> run;
    size_t i = 0;
    for (; i + kScanChunk <= n; i += kScanChunk) {
        if (Chunk(p, i, run) | run.TakeMaybeLong()) {
            size_t lineStart = LineStartAt(p, i);
            if (ScanBytes(p, i, i + kScanChunk, lineStart)) return true;
        }
    }
    size_t lineStart = LineStartAt(p, i);
    return ScanBytes(p, i, n, lineStart) || n - lineStart > kMaxLine;
}

#if defined(__SSE2__)
#define MERU_SCAN_SSE2 1

// One bit per byte of the 32 bytes a, b that equals c's.
inline uint32_t Matches32(__m128i a, __m128i b, __m128i c) {
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, c))) |
           (static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(b, c))) << 16);
}

bool ChunkSse2(const char* p, size_t i, LfFreeRun<uint32_t>& out) {
    LfFreeRun<uint32_t> run = out;  // in registers
    const __m128i lf = _mm_set1_epi8('\n');
    __m128i high = _mm_setzero_si128();
    for (const size_t end = i + kScanChunk; i < end; i += 32) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 16));
        high = _mm_or_si128(high, _mm_or_si128(x, y));
        run.Block(Matches32(x, y, lf));
    }
    out = run;
    return _mm_movemask_epi8(high) != 0;
}

#endif

#if defined(__x86_64__)
#define MERU_SCAN_AVX 1

__attribute__((target("avx2"))) bool ChunkAvx2(const char* p, size_t i, LfFreeRun<uint32_t>& out) {
    LfFreeRun<uint32_t> run = out;
    const __m256i lf = _mm256_set1_epi8('\n');
    __m256i high = _mm256_setzero_si256();
    for (const size_t end = i + kScanChunk; i < end; i += 32) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
        high = _mm256_or_si256(high, x);
        run.Block(static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(x, lf))));
    }
    out = run;
    return _mm256_movemask_epi8(high) != 0;
}

__attribute__((target("avx512bw"))) bool ChunkAvx512(const char* p, size_t i,
                                                     LfFreeRun<uint64_t>& out) {
    LfFreeRun<uint64_t> run = out;
    const __m512i lf = _mm512_set1_epi8('\n');
    __m512i high = _mm512_setzero_si512();
    for (const size_t end = i + kScanChunk; i < end; i += 64) {
        const __m512i x = _mm512_loadu_si512(p + i);
        high = _mm512_or_si512(high, x);
        run.Block(_mm512_cmpeq_epi8_mask(x, lf));
    }
    out = run;
    return _mm512_movepi8_mask(high) != 0;
}

#endif

using NeedsFn = bool (*)(const char* p, size_t n);

// Every scan this processor runs, the portable one first and the fastest
// last.
std::vector<NeedsFn> Scans() {
    std::vector<NeedsFn> scans{NeedsBytes};
#ifdef MERU_SCAN_SSE2
    scans.push_back(NeedsInChunks<uint32_t, ChunkSse2>);
#endif
#ifdef MERU_SCAN_AVX
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) scans.push_back(NeedsInChunks<uint32_t, ChunkAvx2>);
    if (__builtin_cpu_supports("avx512bw")) scans.push_back(NeedsInChunks<uint64_t, ChunkAvx512>);
#endif
    return scans;
}

const std::vector<NeedsFn>& AllScans() {
    static const std::vector<NeedsFn> all = Scans();
    return all;
}

}  // namespace

bool NeedsQuotedPrintable(std::string_view body) {
    static const NeedsFn fastest = AllScans().back();
    return fastest(body.data(), body.size());
}

size_t NeedsQuotedPrintableVariants() { return AllScans().size(); }

bool NeedsQuotedPrintableVariant(size_t k, std::string_view body) {
    return AllScans().at(k)(body.data(), body.size());
}

// The wire text is the body with bytes put in before some of its bytes,
// each decided by the byte and the one before it (before the first byte the
// body starts a line, as after an LF):
//   after a CR, a byte that is not an LF gets an LF (the lone CR's);
//   an LF not after a CR gets a CR;
//   a "." after a CR or an LF (the start of a line) gets another ".".
// A CR that ends the body gets its LF with it. So any place in the body is a
// place to stop and go on from.
//
// The block loops below form whole blocks while the body and the buffer have
// room for one, and leave the rest to FormBytes. A block is stored as it is;
// for each byte that gets bytes put in, those are written at its place and
// the rest of the block again after them. Each loop loads the next block
// whatever the last one held, so the loads never wait on the stores.
namespace {

// Byte by byte: at most 4 bytes out for one in.
void FormBytes(const char* p, size_t n, size_t& i, char*& o, char* end) {
    char before = i == 0 ? '\n' : p[i - 1];
    while (i < n && end - o >= 4) {
        const char c = p[i];
        if (before == '\r' && c != '\n') *o++ = '\n';
        if (c == '\n' && before != '\r') *o++ = '\r';
        if (c == '.' && (before == '\n' || before == '\r')) *o++ = '.';
        *o++ = c;
        if (c == '\r' && i + 1 == n) *o++ = '\n';
        before = c;
        ++i;
    }
}

// The places of one block that get bytes put in, one bit per byte.
template <typename Mask>
struct Insertions {
    Mask lf, cr, dot;  // an LF, a CR, a second "." goes before the byte
};

// From the block's LFs, CRs and dots and whether the byte before the block
// is a CR, an LF; carries those over to the next block.
template <typename Mask>
Insertions<Mask> Decide(Mask lfs, Mask crs, Mask dots, Mask& crBefore, Mask& lfBefore) {
    constexpr int kLast = 8 * sizeof(Mask) - 1;
    const Mask afterCr = static_cast<Mask>(crs << 1) | crBefore;
    const Mask afterBreak = afterCr | static_cast<Mask>(lfs << 1) | lfBefore;
    crBefore = crs >> kLast;
    lfBefore = lfs >> kLast;
    return {static_cast<Mask>(afterCr & ~lfs), static_cast<Mask>(lfs & ~afterCr),
            static_cast<Mask>(dots & afterBreak)};
}

// Most blocks get at most one byte put in (two go in only for a dot after a
// lone CR, or for two places in one block).
template <typename Mask>
inline bool AtMostOne(const Insertions<Mask>& ins) {
    const Mask places = ins.lf | ins.cr | ins.dot;
    return ((places & (places - 1)) | (ins.lf & ins.dot)) == 0;
}

// With at most one: the byte that goes in.
template <typename Mask>
inline char OneByte(const Insertions<Mask>& ins) {
    static constexpr char kByte[4] = {'.', '\r', '\n', '\n'};
    return kByte[(ins.cr != 0) | (ins.lf != 0) << 1];
}

// Any other block, already stored at o: each place gets its bytes and the
// rest of the block is copied again after them (Width bytes of body from
// the place, the block's size). Returns where the next block goes.
template <size_t Width, typename Mask>
inline char* PutEach(const char* b, char* o, const Insertions<Mask>& ins) {
    size_t added = 0;
    for (Mask places = ins.lf | ins.cr | ins.dot; places != 0; places &= places - 1) {
        const auto k = static_cast<size_t>(__builtin_ctzll(places));
        const Mask bit = Mask{1} << k;
        char* at = o + k + added;
        if ((ins.lf | ins.cr) & bit) {
            *at++ = (ins.lf & bit) ? '\n' : '\r';
            ++added;
        }
        if (ins.dot & bit) {
            *at++ = '.';
            ++added;
        }
        std::memcpy(at, b + k, Width);
    }
    return o + Width + added;
}

#if defined(__SSE2__)
#define MERU_WIRE_SSE2 1

// 32 bytes at a time: for each byte that gets bytes put in, those are
// written at its place and the rest of the block again after them. A block
// reads up to 63 bytes ahead; its last store ends at most 96 bytes after its
// start (every byte getting two).
void FormBlocksSse2(const char* p, size_t n, size_t& io, char*& oo, char* end) {
    // Local copies: a byte stored through o could otherwise be o itself.
    size_t i = io;
    char* o = oo;
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i dot = _mm_set1_epi8('.');
    uint32_t crBefore = i > 0 && p[i - 1] == '\r';
    uint32_t lfBefore = i == 0 || p[i - 1] == '\n';
    while (i + 64 <= n && end - o >= 128) {
        const char* const b = p + i;
        const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b));
        const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o), lo);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 16), hi);
        o = PutEach<32>(b, o,
                        Decide<uint32_t>(Matches32(lo, hi, lf), Matches32(lo, hi, cr),
                                         Matches32(lo, hi, dot), crBefore, lfBefore));
        i += 32;
    }
    io = i;
    oo = o;
}
#endif

#if defined(__x86_64__)
#define MERU_WIRE_AVX2 1

// One bit per byte of the 64 bytes a, b that equals c's.
__attribute__((target("avx2"))) inline uint64_t Matches64(__m256i a, __m256i b, __m256i c) {
    return static_cast<uint64_t>(
               static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a, c)))) |
           (static_cast<uint64_t>(
                static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(b, c))))
            << 32);
}

// The same 64 bytes at a time. A block reads up to 127 bytes ahead; its last
// store ends at most 255 bytes after its start.
__attribute__((target("avx2,bmi"))) void FormBlocksAvx2(const char* p, size_t n, size_t& io,
                                                        char*& oo, char* end) {
    // Local copies: a byte stored through o could otherwise be o itself.
    size_t i = io;
    char* o = oo;
    const __m256i lf = _mm256_set1_epi8('\n');
    const __m256i cr = _mm256_set1_epi8('\r');
    const __m256i dot = _mm256_set1_epi8('.');
    uint64_t crBefore = i > 0 && p[i - 1] == '\r';
    uint64_t lfBefore = i == 0 || p[i - 1] == '\n';
    while (i + 128 <= n && end - o >= 256) {
        const char* const b = p + i;
        const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b));
        const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + 32));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), lo);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(o + 32), hi);
        const Insertions<uint64_t> ins =
            Decide<uint64_t>(Matches64(lo, hi, lf), Matches64(lo, hi, cr), Matches64(lo, hi, dot),
                             crBefore, lfBefore);
        if (AtMostOne(ins)) [[likely]] {
            const uint64_t places = ins.lf | ins.cr | ins.dot;
            const auto k = static_cast<size_t>(_tzcnt_u64(places));  // 64 for none
            o[k] = OneByte(ins);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(o + k + 1),
                                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + k)));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(o + k + 33),
                                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + k + 32)));
            o += 64 + (places != 0);
        } else {
            o = PutEach<64>(b, o, ins);
        }
        i += 64;
    }
    io = i;
    oo = o;
}
#endif

using FormBlocksFn = void (*)(const char*, size_t, size_t&, char*&, char*);

// Every block loop this processor runs: none (bytes only) first, the
// fastest last.
std::vector<FormBlocksFn> FormBlockLoops() {
    std::vector<FormBlocksFn> loops{nullptr};
#ifdef MERU_WIRE_SSE2
    loops.push_back(FormBlocksSse2);
#endif
#ifdef MERU_WIRE_AVX2
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi"))
        loops.push_back(FormBlocksAvx2);
#endif
    return loops;
}

const std::vector<FormBlocksFn>& AllFormBlockLoops() {
    static const std::vector<FormBlocksFn> all = FormBlockLoops();
    return all;
}

size_t FormWith(FormBlocksFn blocks, std::string_view body, size_t from, char* out, size_t cap,
                size_t* pWritten) {
    const char* const p = body.data();
    const size_t n = body.size();
    size_t i = from;
    char* o = out;
    char* const end = out + cap;
    if (blocks) blocks(p, n, i, o, end);
    FormBytes(p, n, i, o, end);
    *pWritten = static_cast<size_t>(o - out);
    return i;
}

}  // namespace

size_t FormWireText(std::string_view body, size_t from, char* out, size_t cap, size_t* pWritten) {
    static const FormBlocksFn fastest = AllFormBlockLoops().back();
    return FormWith(fastest, body, from, out, cap, pWritten);
}

size_t FormWireTextVariants() { return AllFormBlockLoops().size(); }

size_t FormWireTextVariant(size_t k, std::string_view body, size_t from, char* out, size_t cap,
                           size_t* pWritten) {
    return FormWith(AllFormBlockLoops().at(k), body, from, out, cap, pWritten);
}

std::string NormaliseLineBreaks(std::string_view text) {
    std::string out;
    AppendWireLines(out, text, false);
    return out;
}

std::string ToWireText(std::string_view text) {
    std::string out;
    AppendWireLines(out, text, true);
    return out;
}

std::string DotStuff(std::string_view crlfText) {
    std::string out;
    out.reserve(crlfText.size() + 16);
    bool atLineStart = true;
    size_t i = 0;
    while (i < crlfText.size()) {
        if (atLineStart && crlfText[i] == '.') out += '.';
        const size_t eol = crlfText.find("\r\n", i);
        if (eol == std::string_view::npos) {
            out.append(crlfText.substr(i));
            break;
        }
        out.append(crlfText.substr(i, eol + 2 - i));
        i = eol + 2;
        atLineStart = true;
    }
    return out;
}

std::string QuotedPrintable(std::string_view crlfText) {
    std::string out;
    out.reserve(crlfText.size() + crlfText.size() / 2);
    size_t start = 0;
    while (true) {
        const size_t eol = crlfText.find("\r\n", start);
        const std::string_view line = crlfText.substr(
            start, eol == std::string_view::npos ? std::string_view::npos : eol - start);
        size_t col = 0;
        for (size_t i = 0; i < line.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(line[i]);
            const bool last = i + 1 == line.size();
            const bool literal =
                (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last);
            const size_t width = literal ? 1 : 3;
            // Keep room for the "=" of a soft break: a line is at most 76.
            if (col + width > (last ? 76u : 75u)) {
                out += "=\r\n";
                col = 0;
            }
            if (literal) {
                out += static_cast<char>(c);
            } else {
                out += '=';
                out += kHex[c >> 4];
                out += kHex[c & 15];
            }
            col += width;
        }
        if (eol == std::string_view::npos) break;
        out += "\r\n";
        start = eol + 2;
    }
    return out;
}

std::string Base64(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const uint32_t v = (uint32_t(uint8_t(bytes[i])) << 16) |
                           (uint32_t(uint8_t(bytes[i + 1])) << 8) | uint32_t(uint8_t(bytes[i + 2]));
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (i < bytes.size()) {
        uint32_t v = uint32_t(uint8_t(bytes[i])) << 16;
        if (i + 1 < bytes.size()) v |= uint32_t(uint8_t(bytes[i + 1])) << 8;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string EncodeHeaderText(std::string_view text) {
    if (IsAscii(text)) return std::string(text);
    // "=?UTF-8?B?" + base64 + "?=" within 75 characters: at most 60 base64
    // characters, so at most 45 bytes of text per word.
    constexpr size_t kMaxBytes = 45;
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        size_t end = std::min(text.size(), i + kMaxBytes);
        // Do not cut a UTF-8 character: back off over continuation bytes.
        while (end < text.size() && end > i &&
               (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            --end;
        if (end == i) end = std::min(text.size(), i + kMaxBytes);  // not UTF-8: cut anyway
        if (!out.empty()) out += "\r\n ";
        out += "=?UTF-8?B?" + Base64(text.substr(i, end - i)) + "?=";
        i = end;
    }
    return out;
}

std::string FormatMailDate(std::time_t t) {
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d +0000",
                  kDayNames[tm.tm_wday % 7], tm.tm_mday, kMonthNames[tm.tm_mon % 12],
                  tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

std::string MakeMessageId(std::string_view domain) {
    static std::atomic<unsigned> counter{0};
    // Opening a std::random_device takes tens of microseconds (here about
    // 30, near 1 % of sending a 10 MB message): it seeds one generator per
    // thread, once.
    thread_local std::mt19937_64 random = [] {
        std::random_device rd;
        std::seed_seq seed{rd(), rd(), rd(), rd()};
        return std::mt19937_64(seed);
    }();
    const uint64_t r = random() ^ counter.fetch_add(1);
    const auto now = std::chrono::duration_cast<std::chrono::microseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    char buf[64];
    std::snprintf(buf, sizeof buf, "<%llx.%016llx@", static_cast<unsigned long long>(now),
                  static_cast<unsigned long long>(r));
    std::string id = buf;
    id += domain.empty() ? std::string_view("localhost") : domain;
    id += '>';
    return id;
}

std::string LocalFqdn() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    std::string s = name;
    if (s.find('.') == std::string::npos || !ValidHostChars(s)) return {};
    return s;
}

std::string AddressLiteral(std::string_view numericAddress) {
    std::string s = numericAddress.find(':') != std::string_view::npos ? "[IPv6:" : "[";
    s.append(numericAddress);
    s += ']';
    return s;
}

}  // namespace meru
