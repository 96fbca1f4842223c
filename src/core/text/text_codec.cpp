#include "core/text/text_codec.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
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

std::string Cp1252ToUtf8(std::string_view bytes) {
    const Cp1252Table& t = Table();
    const char* p = bytes.data();
    const size_t n = bytes.size();
    // First pass: the exact size (each byte with its high bit set grows).
    size_t size = n;
    size_t i = 0;
    for (; i + kBlock <= n; i += kBlock) {
        for (unsigned m = HighMask(p + i); m; m &= m - 1)
            size +=
                t.len[static_cast<unsigned char>(p[i + static_cast<size_t>(std::countr_zero(m))])] -
                1u;
    }
    for (; i < n; ++i) size += t.len[static_cast<unsigned char>(p[i])] - 1u;
    if (size == n) return std::string(bytes);

    std::string out(size + kBlock, '\0');  // slack: blocks and characters are stored whole
    char* o = out.data();
    i = 0;
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
        const auto b = static_cast<unsigned char>(p[i++]);
        std::memcpy(o, &t.utf8[b], 4);
        o += t.len[b];
    }
    for (; i < n; ++i) {
        const auto b = static_cast<unsigned char>(p[i]);
        std::memcpy(o, &t.utf8[b], 4);
        o += t.len[b];
    }
    out.resize(size);
    return out;
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
