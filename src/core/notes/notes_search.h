#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace meru {

// A match in the page store: page index (0-based) and the byte range of the
// match in that page's stored text.
struct SearchHit {
    size_t nPage = 0;
    size_t nBegin = 0;
    size_t nEnd = 0;

    bool operator==(const SearchHit&) const = default;
};

// Exact, case-sensitive search of one UTF-8 text in others, byte for byte.
// A match never begins or ends inside a UTF-8 character. The needle's
// skip table is built once, so one finder serves a whole notebook.
class CTextFinder {
public:
    explicit CTextFinder(std::string_view needle);

    // Byte offset of the first match at or after nFrom, or npos. An empty
    // needle matches at nFrom itself; nFrom beyond the text finds nothing.
    size_t Find(std::string_view text, size_t nFrom) const;

    static constexpr size_t npos = std::string_view::npos;

private:
    size_t FindBytes(std::string_view text, size_t nFrom) const;

    std::string m_strNeedle;
    // Shift of the window by the hash of its last two bytes; 0 = compare.
    std::array<uint32_t, 256> m_aShift{};
    size_t m_nShiftAfterMismatch = 1;
};

// One forward pass: from byte nFromByte of page nFromPage (0-based) to the end
// of the last page; every page after the first is searched from its start.
// Nothing when no page holds the text (the caller then asks whether to go on
// from the first page, and calls again with 0, 0).
std::optional<SearchHit> FindForward(std::span<const std::string> pages, std::string_view find,
                                     size_t nFromPage, size_t nFromByte);

}  // namespace meru
