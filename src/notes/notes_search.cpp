#include "notes/notes_search.h"

#include <cstring>

namespace meru {
namespace {

bool IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

CTextFinder::CTextFinder(std::string_view needle) : m_strNeedle(needle) {
    // Horspool's table: how far the window may move when its last byte is b.
    const size_t m = m_strNeedle.size();
    m_aSkip.fill(m == 0 ? 1 : m);
    for (size_t i = 0; i + 1 < m; ++i)
        m_aSkip[static_cast<unsigned char>(m_strNeedle[i])] = m - 1 - i;
}

size_t CTextFinder::FindBytes(std::string_view text, size_t nFrom) const {
    const size_t m = m_strNeedle.size();
    const size_t n = text.size();
    if (nFrom > n || n - nFrom < m) return npos;
    const char* const s = text.data();
    if (m == 1) {
        const void* p = std::memchr(s + nFrom, m_strNeedle[0], n - nFrom);
        return p ? static_cast<size_t>(static_cast<const char*>(p) - s) : npos;
    }
    const char* const pat = m_strNeedle.data();
    const char last = pat[m - 1];
    const char first = pat[0];
    size_t pos = nFrom;
    const size_t lastStart = n - m;
    while (pos <= lastStart) {
        const char c = s[pos + m - 1];
        if (c == last && s[pos] == first && std::memcmp(s + pos + 1, pat + 1, m - 2) == 0)
            return pos;
        pos += m_aSkip[static_cast<unsigned char>(c)];
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
