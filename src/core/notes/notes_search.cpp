#include "core/notes/notes_search.h"

#include <cstring>

namespace meru {
namespace {

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

// The byte search is Horspool's idea on pairs of bytes: the last two bytes of
// the window, hashed to 8 bits, tell how far the window may move so that the
// pair meets the rightmost place where the needle holds the same hash. A pair
// of ordinary text rarely occurs in a needle, so the window mostly moves by
// the needle's length less one, where a single byte (e, a blank) would
// often allow only a short step.
namespace {
inline size_t PairHash(unsigned char a, unsigned char b) {
    return (static_cast<size_t>(a) * 7u + b) & 0xFFu;
}
}  // namespace

CTextFinder::CTextFinder(std::string_view needle) : m_strNeedle(needle) {
    const size_t m = m_strNeedle.size();
    if (m < 3) return;  // one and two bytes are searched with memchr
    const auto* ne = reinterpret_cast<const unsigned char*>(m_strNeedle.data());
    const size_t last = m - 1;
    // Pairs (k - 1, k) for k = 1 .. m - 1; the rightmost k of each hash wins.
    m_aShift.fill(static_cast<uint32_t>(last));
    for (size_t k = 1; k < last; ++k)
        m_aShift[PairHash(ne[k - 1], ne[k])] = static_cast<uint32_t>(last - k);
    const size_t hLast = PairHash(ne[last - 1], ne[last]);
    // After a failed comparison, the next place the last pair's hash occurs.
    m_nShiftAfterMismatch = m_aShift[hLast];
    m_aShift[hLast] = 0;
}

size_t CTextFinder::FindBytes(std::string_view text, size_t nFrom) const {
    const size_t m = m_strNeedle.size();
    const size_t n = text.size();
    if (nFrom > n || n - nFrom < m) return npos;
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const auto* ne = reinterpret_cast<const unsigned char*>(m_strNeedle.data());
    if (m < 3) {
        // memchr for the first byte, then the second.
        size_t pos = nFrom;
        while (pos + m <= n) {
            const void* p = std::memchr(s + pos, ne[0], n - m + 1 - pos);
            if (!p) return npos;
            pos = static_cast<size_t>(static_cast<const unsigned char*>(p) - s);
            if (m == 1 || s[pos + 1] == ne[1]) return pos;
            ++pos;
        }
        return npos;
    }
    const size_t last = m - 1;
    const uint32_t full = static_cast<uint32_t>(last);
    size_t j = nFrom + last;  // the window's last byte
    while (j < n) {
        // Mostly the pair is not in the needle at all and the step is the
        // full one; a constant step keeps the next load independent of this
        // one's table look-up, so the loop runs at the speed of the loads.
        size_t shift = m_aShift[PairHash(s[j - 1], s[j])];
        while (shift == full) {
            j += full;
            if (j >= n) return npos;
            shift = m_aShift[PairHash(s[j - 1], s[j])];
        }
        if (shift != 0) {
            j += shift;
            continue;
        }
        const size_t pos = j - last;
        if (std::memcmp(s + pos, ne, last - 1) == 0 && s[j - 1] == ne[last - 1] && s[j] == ne[last])
            return pos;
        j += m_nShiftAfterMismatch;
    }
    return npos;
}

size_t CTextFinder::Find(std::string_view text, size_t nFrom) const {
    if (nFrom > text.size()) return npos;
    if (m_strNeedle.empty()) return nFrom;
    const size_t m = m_strNeedle.size();
    for (size_t pos = FindBytes(text, nFrom); pos != npos; pos = FindBytes(text, pos + 1)) {
        // Texts are UTF-8, so a needle that is itself whole characters can only
        // match whole characters; this guards against a needle that is not.
        const bool startsInside = IsContinuation(text[pos]);
        const bool endsInside = pos + m < text.size() && IsContinuation(text[pos + m]);
        if (!startsInside && !endsInside) return pos;
    }
    return npos;
}

std::optional<SearchHit> FindForward(std::span<const std::string> pages, std::string_view find,
                                     size_t nFromPage, size_t nFromByte) {
    const CTextFinder finder(find);
    size_t start = nFromByte;
    for (size_t i = nFromPage; i < pages.size(); ++i) {
        const size_t p = finder.Find(pages[i], start);
        if (p != CTextFinder::npos) return SearchHit{i, p, p + find.size()};
        start = 0;
    }
    return std::nullopt;
}

}  // namespace meru
