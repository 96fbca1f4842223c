#include "core/text/text_codec.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace meru {
namespace {

// Code points of the bytes 0x80..0x9F; the rest of Windows-1252 equals Latin-1.
constexpr std::array<char32_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Decodes one character at s[i]; advances i. Returns nothing on malformed input.
std::optional<char32_t> NextCodePoint(std::string_view s, size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int extra;
    char32_t cp;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1;
        cp = b0 & 0x1Fu;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2;
        cp = b0 & 0x0Fu;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3;
        cp = b0 & 0x07u;
    } else {
        return std::nullopt;
    }
    if (i + static_cast<size_t>(extra) >= s.size()) return std::nullopt;
    for (int k = 1; k <= extra; ++k) {
        const auto b = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
        if ((b & 0xC0) != 0x80) return std::nullopt;
        cp = (cp << 6) | (b & 0x3Fu);
    }
    static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    i += static_cast<size_t>(extra) + 1;
    return cp;
}

}  // namespace

// ---------------------------------------------------------------- Windows-1252
//
// Loading and saving large files spend their time here, so both directions
// move runs of ASCII a block at a time and take every other byte from a table.

namespace {

// The UTF-8 form of every Windows-1252 byte, packed into 4 bytes in memory
// order, and its length.
struct Cp1252Table {
    std::array<uint32_t, 256> utf8{};
    std::array<uint8_t, 256> len{};
};

const Cp1252Table& Table() {
    static const Cp1252Table table = [] {
        Cp1252Table t;
        for (int b = 0; b < 256; ++b) {
            std::string u;
            AppendUtf8(u, b < 0x80   ? char32_t(b)
                          : b < 0xA0 ? kHigh[static_cast<size_t>(b - 0x80)]
                                     : char32_t(b));
            std::memcpy(&t.utf8[static_cast<size_t>(b)], u.data(), u.size());
            t.len[static_cast<size_t>(b)] = static_cast<uint8_t>(u.size());
        }
        return t;
    }();
    return table;
}

constexpr size_t kBlock = 16;

// Bit k set: byte k of the 16 at p has its high bit set.
inline unsigned HighMask(const char* p) {
#ifdef __SSE2__
    return static_cast<unsigned>(
        _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
#else
    unsigned m = 0;
    for (size_t k = 0; k < kBlock; ++k) m |= unsigned(static_cast<unsigned char>(p[k]) >> 7) << k;
    return m;
#endif
}

inline void Copy16(char* o, const char* p) { std::memcpy(o, p, kBlock); }

}  // namespace

bool IsAscii(std::string_view s) {
    size_t i = 0;
    for (; i + kBlock <= s.size(); i += kBlock)
        if (HighMask(s.data() + i)) return false;
    for (; i < s.size(); ++i)
        if (static_cast<unsigned char>(s[i]) & 0x80) return false;
    return true;
}

namespace {

// Bit k set: byte k of the 16 at p is one of 0x80..0x9F, the bytes whose
// characters lie outside Latin-1 (most take three UTF-8 bytes).
inline unsigned C1Mask(const char* p) {
#ifdef __SSE2__
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmplt_epi8(v, _mm_set1_epi8(-96))));
#else
    unsigned m = 0;
    for (size_t k = 0; k < kBlock; ++k) {
        const auto b = static_cast<unsigned char>(p[k]);
        m |= unsigned(b >= 0x80 && b < 0xA0) << k;
    }
    return m;
#endif
}

// The UTF-8 size of n Windows-1252 bytes: one byte each, one more for every
// byte with its high bit set, and one more again for the bytes 0x80..0x9F
// that become three.
size_t Utf8SizeOf(const char* p, size_t n) {
    const Cp1252Table& t = Table();
    size_t size = n;
    size_t i = 0;
    for (; i + kBlock <= n; i += kBlock) {
        const unsigned m = HighMask(p + i);
        if (!m) continue;
        size += static_cast<size_t>(std::popcount(m));
        for (unsigned c = C1Mask(p + i); c; c &= c - 1)
            size +=
                t.len[static_cast<unsigned char>(p[i + static_cast<size_t>(std::countr_zero(c))])] -
                2u;
    }
    for (; i < n; ++i) size += t.len[static_cast<unsigned char>(p[i])] - 1u;
    return size;
}

// Converts n bytes at p into o, a character at a time, storing each
// character's four table bytes whole: o needs 3 bytes of room past the result.
inline char* DecodeBytes(const Cp1252Table& t, const char* p, size_t n, char* o) {
    for (size_t k = 0; k < n; ++k) {
        const auto b = static_cast<unsigned char>(p[k]);
        std::memcpy(o, &t.utf8[b], 4);
        o += t.len[b];
    }
    return o;
}

// How far past the result the conversions below may write.
constexpr size_t kDecodeSlack = 16;

// Portable conversion: ASCII runs a block at a time, every other byte from
// the table. Returns the end of the result.
char* DecodeBlocks(const char* p, size_t n, char* o) {
    const Cp1252Table& t = Table();
    size_t i = 0;
    while (i + kBlock <= n) {
        const unsigned m = HighMask(p + i);
        Copy16(o, p + i);
        if (!m) {
            o += kBlock;
            i += kBlock;
            continue;
        }
        const auto ascii = static_cast<size_t>(std::countr_zero(m));
        o += ascii;
        i += ascii;
        o = DecodeBytes(t, p + i, 1, o);
        ++i;
    }
    return DecodeBytes(t, p + i, n - i, o);
}

#if defined(__x86_64__)
#define MERU_CP1252_SSSE3 1

// For each pattern of high bits in 8 bytes: the shuffle that packs the 16
// bytes [lead 0, trail 0, lead 1, trail 1, ...] into the UTF-8 of the 8
// characters, keeping the lead byte only where the high bit is set. The
// result is 8 + (number of high bits) bytes long.
struct ExpandTable {
    alignas(16) std::array<std::array<uint8_t, 16>, 256> shuffle{};
    std::array<uint8_t, 256> len{};
};

constexpr ExpandTable MakeExpandTable() {
    ExpandTable t;
    for (unsigned m = 0; m < 256; ++m) {
        size_t k = 0;
        for (unsigned j = 0; j < 8; ++j) {
            if (m & (1u << j)) t.shuffle[m][k++] = static_cast<uint8_t>(2 * j);
            t.shuffle[m][k++] = static_cast<uint8_t>(2 * j + 1);
        }
        t.len[m] = static_cast<uint8_t>(k);
        for (; k < 16; ++k) t.shuffle[m][k] = 0x80;  // zero
    }
    return t;
}

constexpr ExpandTable kExpand = MakeExpandTable();

// Each Latin-1 byte b (0xA0..0xFF) becomes 0xC2/0xC3 (0xC0 | b >> 6) and
// 0x80 | (b & 0x3F), ASCII bytes stay one byte: a block is widened in
// registers to [lead, trail] pairs and each half of 8 characters packed by
// the shuffle of its high bits. Halves holding any of 0x80..0x9F go through
// the table instead. No branch depends on where the accented letters fall.

// The UTF-8 of 8 characters from their [lead, trail] pairs; m: their high bits.
__attribute__((target("ssse3"))) inline char* PutHalf(char* o, __m128i pairs, unsigned m) {
    const __m128i s = _mm_load_si128(reinterpret_cast<const __m128i*>(kExpand.shuffle[m].data()));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_shuffle_epi8(pairs, s));
    return o + kExpand.len[m];
}

// One block of 16 bytes.
__attribute__((target("ssse3"))) inline char* DecodeBlockSsse3(const Cp1252Table& t, const char* p,
                                                               char* o) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // Signed compares: 0x80..0x9F lie below 0xA0, 0xC0..0xFF above 0xBF.
    const auto c1 = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmplt_epi8(v, _mm_set1_epi8(-96))));
    const auto m = static_cast<unsigned>(_mm_movemask_epi8(v));
    const __m128i high = _mm_cmplt_epi8(v, _mm_setzero_si128());
    const __m128i trail = _mm_andnot_si128(_mm_and_si128(high, _mm_set1_epi8(0x40)), v);
    const __m128i lead =
        _mm_sub_epi8(_mm_set1_epi8(static_cast<char>(0xC2)), _mm_cmpgt_epi8(v, _mm_set1_epi8(-65)));
    const __m128i lo = _mm_unpacklo_epi8(lead, trail), hi = _mm_unpackhi_epi8(lead, trail);
    if (!c1) [[likely]]
        return PutHalf(PutHalf(o, lo, m & 0xFF), hi, m >> 8);
    o = (c1 & 0xFF) ? DecodeBytes(t, p, 8, o) : PutHalf(o, lo, m & 0xFF);
    return (c1 >> 8) ? DecodeBytes(t, p + 8, 8, o) : PutHalf(o, hi, m >> 8);
}

__attribute__((target("ssse3"))) char* DecodeSsse3(const char* p, size_t n, char* o) {
    const Cp1252Table& t = Table();
    size_t i = 0;
    for (; i + kBlock <= n; i += kBlock) o = DecodeBlockSsse3(t, p + i, o);
    return DecodeBytes(t, p + i, n - i, o);
}

// Per byte 0x80..0x8F (by its low four bits), then 0x90..0x9F: 0xFF where its
// character takes three UTF-8 bytes.
constexpr std::array<uint8_t, 16> ThreeByteRow(size_t row) {
    std::array<uint8_t, 16> r{};
    for (size_t k = 0; k < 16; ++k) r[k] = kHigh[16 * row + k] >= 0x800 ? 0xFF : 0;
    return r;
}
alignas(16) constexpr std::array<uint8_t, 16> kThree8 = ThreeByteRow(0);
alignas(16) constexpr std::array<uint8_t, 16> kThree9 = ThreeByteRow(1);

// Utf8SizeOf with the per-byte growth summed in registers: every byte with its
// high bit set adds one, the three-byte ones among 0x80..0x9F one more.
__attribute__((target("ssse3"))) size_t Utf8SizeSsse3(const char* p, size_t n) {
    const __m128i c1Below = _mm_set1_epi8(-96);
    const __m128i low4 = _mm_set1_epi8(0x0F);
    const __m128i bit4 = _mm_set1_epi8(0x10);
    const __m128i three8 = _mm_load_si128(reinterpret_cast<const __m128i*>(kThree8.data()));
    const __m128i three9 = _mm_load_si128(reinterpret_cast<const __m128i*>(kThree9.data()));
    size_t size = n;
    size_t i = 0;
    while (i + kBlock <= n) {
        // Each block adds at most 2 to a byte counter: flush before 255.
        const size_t end = i + std::min((n - i) / kBlock, size_t{127}) * kBlock;
        __m128i acc = _mm_setzero_si128();
        for (; i < end; i += kBlock) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const __m128i high = _mm_cmplt_epi8(v, _mm_setzero_si128());
            const __m128i c1 = _mm_cmplt_epi8(v, c1Below);
            const __m128i idx = _mm_and_si128(v, low4);
            const __m128i nine = _mm_cmpeq_epi8(_mm_and_si128(v, bit4), bit4);
            const __m128i three =
                _mm_or_si128(_mm_and_si128(nine, _mm_shuffle_epi8(three9, idx)),
                             _mm_andnot_si128(nine, _mm_shuffle_epi8(three8, idx)));
            acc = _mm_sub_epi8(acc, high);
            acc = _mm_sub_epi8(acc, _mm_and_si128(three, c1));
        }
        const __m128i sums = _mm_sad_epu8(acc, _mm_setzero_si128());
        size += static_cast<size_t>(_mm_cvtsi128_si64(sums)) +
                static_cast<size_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
    }
    const Cp1252Table& t = Table();
    for (; i < n; ++i) size += t.len[static_cast<unsigned char>(p[i])] - 1u;
    return size;
}
#endif

using DecodeFn = char* (*)(const char*, size_t, char*);
using SizeFn = size_t (*)(const char*, size_t);

struct Cp1252Decoder {
    SizeFn size;
    DecodeFn decode;
};

// Every conversion this processor runs, the portable one first and the
// fastest last.
std::vector<Cp1252Decoder> Decoders() {
    std::vector<Cp1252Decoder> d{{Utf8SizeOf, DecodeBlocks}};
#ifdef MERU_CP1252_SSSE3
    __builtin_cpu_init();
    if (__builtin_cpu_supports("ssse3")) d.push_back({Utf8SizeSsse3, DecodeSsse3});
#endif
    return d;
}

const std::vector<Cp1252Decoder>& AllDecoders() {
    static const std::vector<Cp1252Decoder> all = Decoders();
    return all;
}

// Texts up to kScratchText bytes are converted into a scratch buffer and
// copied out once at their final size; longer ones are measured first and
// converted in place. Short texts use the stack, the others a buffer of the
// thread's own (a frame of 48 KB could step over the stack's guard page).
constexpr size_t kShortText = 512;
constexpr size_t kScratchText = 16 * 1024;

std::string Decode(std::string_view bytes, const Cp1252Decoder& d) {
    const char* p = bytes.data();
    const size_t n = bytes.size();
    if (n <= kShortText) {
        char buf[3 * kShortText + kDecodeSlack];
        return std::string(buf, static_cast<size_t>(d.decode(p, n, buf) - buf));
    }
    if (n <= kScratchText) {
        thread_local const std::unique_ptr<char[]> scratch(
            new char[3 * kScratchText + kDecodeSlack]);
        char* buf = scratch.get();
        return std::string(buf, static_cast<size_t>(d.decode(p, n, buf) - buf));
    }
    const size_t size = d.size(p, n);
    if (size == n) return std::string(bytes);
    // Allocated once, with room for the conversion's whole-block stores.
    std::string out(size + kDecodeSlack, '\0');
    d.decode(p, n, out.data());
    out.resize(size);
    return out;
}

}  // namespace

std::string Cp1252ToUtf8(std::string_view bytes) {
    static const Cp1252Decoder fastest = AllDecoders().back();
    return Decode(bytes, fastest);
}

size_t Cp1252ToUtf8Variants() { return AllDecoders().size(); }

std::string Cp1252ToUtf8Variant(size_t k, std::string_view bytes) {
    return Decode(bytes, AllDecoders().at(k));
}

std::optional<size_t> Utf8ToCp1252(std::string_view s, char* const out) {
    const Cp1252Table& t = Table();
    const char* p = s.data();
    const size_t n = s.size();
    char* o = out;
    size_t i = 0;
    while (i < n) {
        if (i + kBlock <= n) {
            const unsigned m = HighMask(p + i);
            Copy16(o, p + i);
            if (!m) {
                o += kBlock;
                i += kBlock;
                continue;
            }
            const auto ascii = static_cast<size_t>(std::countr_zero(m));
            o += ascii;
            i += ascii;
        }
        const auto b = static_cast<unsigned char>(p[i]);
        if (b < 0x80) {
            *o++ = static_cast<char>(b);
            ++i;
            continue;
        }
        // U+00A0..U+00FF: the byte is the code point.
        if ((b == 0xC2 || b == 0xC3) && i + 1 < n &&
            (static_cast<unsigned char>(p[i + 1]) & 0xC0) == 0x80) {
            const unsigned cp = ((b & 0x1Fu) << 6) | (static_cast<unsigned char>(p[i + 1]) & 0x3Fu);
            if (cp >= 0xA0) {
                *o++ = static_cast<char>(cp);
                i += 2;
                continue;
            }
        }
        // Otherwise only the exact UTF-8 of one of the bytes 0x80..0x9F fits.
        const size_t len = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : 0;
        if (len == 0 || i + len > n) return std::nullopt;
        uint32_t seq = 0;
        std::memcpy(&seq, p + i, len);
        unsigned k = 0x80;
        while (k < 0xA0 && !(t.len[k] == len && t.utf8[k] == seq)) ++k;
        if (k == 0xA0) return std::nullopt;
        *o++ = static_cast<char>(k);
        i += len;
    }
    return static_cast<size_t>(o - out);
}

std::optional<std::string> Utf8ToCp1252(std::string_view utf8) {
    std::string out(utf8.size() + kBlock, '\0');
    const std::optional<size_t> n = Utf8ToCp1252(utf8, out.data());
    if (!n) return std::nullopt;
    out.resize(*n);
    return out;
}

std::string Utf16LeToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    const size_t n = bytes.size() / 2;
    auto unit = [&](size_t k) {
        return static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * k]) |
                                     (static_cast<unsigned char>(bytes[2 * k + 1]) << 8));
    };
    for (size_t k = 0; k < n; ++k) {
        const char16_t u = unit(k);
        if (u >= 0xD800 && u <= 0xDBFF && k + 1 < n) {
            const char16_t v = unit(k + 1);
            if (v >= 0xDC00 && v <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(v) - 0xDC00));
                ++k;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF)
            AppendUtf8(out, 0xFFFD);
        else
            AppendUtf8(out, u);
    }
    return out;
}

std::string Utf8ToUtf16Le(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() * 2);
    auto put = [&](char32_t u) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>((u >> 8) & 0xFF));
    };
    size_t i = 0;
    while (i < utf8.size()) {
        auto cp = NextCodePoint(utf8, i);
        if (!cp) {  // malformed byte: keep a replacement character
            ++i;
            put(0xFFFD);
            continue;
        }
        if (*cp >= 0x10000) {
            const char32_t v = *cp - 0x10000;
            put(0xD800 + (v >> 10));
            put(0xDC00 + (v & 0x3FF));
        } else {
            put(*cp);
        }
    }
    return out;
}

size_t Utf8Length(std::string_view utf8) {
    // Bytes that do not continue a character (10xxxxxx), a word at a time.
    size_t cont = 0, i = 0;
    for (; i + 8 <= utf8.size(); i += 8) {
        uint64_t w;
        std::memcpy(&w, utf8.data() + i, 8);
        cont += static_cast<size_t>(std::popcount(w & ~(w << 1) & 0x8080808080808080ull));
    }
    for (; i < utf8.size(); ++i) cont += (static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80;
    return utf8.size() - cont;
}

size_t Utf8PrefixBytes(std::string_view utf8, size_t nChars) {
    size_t chars = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) {
            if (chars == nChars) return i;
            ++chars;
        }
    }
    return utf8.size();
}

}  // namespace meru
