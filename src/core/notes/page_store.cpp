#include "core/notes/page_store.h"

#include <ctime>
#include <utility>

namespace meru {
namespace {

// One editor position's worth of stored text at byte i: its byte length and
// the UTF-16 units it takes in the editor. CR LF is one position; a character
// outside the Basic Multilingual Plane is two units; a byte that does not
// start a well-formed UTF-8 sequence counts alone, as one unit.
struct Step {
    size_t nBytes;
    size_t nUnits;
};

Step StepAt(std::string_view s, size_t i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b == '\r' && i + 1 < s.size() && s[i + 1] == '\n') return {2, 1};
    if (b < 0x80) return {1, 1};
    size_t len = 0;
    if (b >= 0xC2 && b <= 0xDF)
        len = 2;
    else if (b >= 0xE0 && b <= 0xEF)
        len = 3;
    else if (b >= 0xF0 && b <= 0xF4)
        len = 4;
    if (len == 0 || i + len > s.size()) return {1, 1};
    for (size_t k = 1; k < len; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return {1, 1};
    return {len, len == 4 ? size_t{2} : size_t{1}};
}

std::string FormatTm(const std::tm& t, const char* format) {
    char buf[32];
    const size_t n = std::strftime(buf, sizeof buf, format, &t);
    return std::string(buf, n);
}

std::tm LocalTime(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

}  // namespace

std::string StoredToEditorText(std::string_view stored) {
    std::string out;
    out.reserve(stored.size());
    for (size_t i = 0; i < stored.size(); ++i) {
        const char c = stored[i];
        if (c == '\r') {
            out.push_back('\n');
            if (i + 1 < stored.size() && stored[i + 1] == '\n') ++i;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string EditorToStoredText(std::string_view editor) {
    std::string out;
    out.reserve(editor.size() + editor.size() / 16);
    for (size_t i = 0; i < editor.size(); ++i) {
        const char c = editor[i];
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            if (c == '\r' && i + 1 < editor.size() && editor[i + 1] == '\n') ++i;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

size_t EditorToStoredOffset(std::string_view stored, size_t nPos) {
    size_t i = 0;
    size_t u = 0;
    while (i < stored.size() && u < nPos) {
        const Step st = StepAt(stored, i);
        if (u + st.nUnits > nPos) break;  // inside a surrogate pair
        u += st.nUnits;
        i += st.nBytes;
    }
    return i;
}

size_t StoredToEditorOffset(std::string_view stored, size_t nByte) {
    size_t i = 0;
    size_t u = 0;
    while (i < stored.size()) {
        const Step st = StepAt(stored, i);
        if (i + st.nBytes > nByte) break;
        i += st.nBytes;
        u += st.nUnits;
    }
    return u;
}

size_t EditorLength(std::string_view stored) { return StoredToEditorOffset(stored, stored.size()); }

std::string LineText() { return std::string(kLineLength, '_'); }

std::string FormatDate(const std::tm& t) { return FormatTm(t, "%d/%m/%y"); }
std::string FormatTime(const std::tm& t) { return FormatTm(t, "%H:%M:%S"); }
std::string FormatDate(std::time_t t) { return FormatDate(LocalTime(t)); }
std::string FormatTime(std::time_t t) { return FormatTime(LocalTime(t)); }

CPageStore::CPageStore(std::vector<std::string>& aPages) : m_aPages(aPages) { Normalise(); }

void CPageStore::Normalise() {
    if (m_aPages.empty()) m_aPages.emplace_back();
    if (m_nCurPage < 1) m_nCurPage = 1;
    if (m_nCurPage > PageCount()) m_nCurPage = PageCount();
}

std::string CPageStore::PageLabel() const {
    return std::to_string(m_nCurPage) + "/" + std::to_string(PageCount());
}

void CPageStore::CommitEditorText(std::string_view editorText) {
    CommitPage(EditorToStoredText(editorText));
}

void CPageStore::CommitPage(std::string stored) {
    m_aPages[static_cast<size_t>(m_nCurPage - 1)] = std::move(stored);
}

bool CPageStore::ShowPage(int n) {
    if (n < 1 || n > PageCount()) return false;
    m_nCurPage = n;
    return true;
}

bool CPageStore::PreviousPage() {
    if (m_nCurPage <= 1) return false;
    --m_nCurPage;
    return true;
}

void CPageStore::NextPage() {
    ++m_nCurPage;
    if (m_nCurPage > PageCount()) m_aPages.emplace_back();
}

bool CPageStore::ConfirmClear(bool bYes, bool bDeleteNowTicked) {
    m_bDeleteNow = bYes && bDeleteNowTicked;
    return bYes;
}

CPageStore::ClearOutcome CPageStore::ClearPage() {
    if (m_aPages.size() == 1) {
        // The last page is never removed: it is emptied. (The editor shows it
        // empty at once; storing it empty now keeps store and editor alike.)
        m_aPages.front().clear();
        m_nCurPage = 1;
        return ClearOutcome::Emptied;
    }
    m_aPages.erase(m_aPages.begin() + (m_nCurPage - 1));
    if (m_nCurPage > PageCount()) m_nCurPage = PageCount();
    return ClearOutcome::Removed;
}

void CPageStore::AppendPages(std::span<const std::string> pages) {
    m_aPages.insert(m_aPages.end(), pages.begin(), pages.end());
}

bool CPageStore::ShowListSelection(int nSel) {
    if (nSel < 0 || nSel >= PageCount()) return false;
    return ShowPage(nSel + 1);
}

std::optional<SearchHit> CPageStore::SearchFromCurrent(std::string_view find,
                                                       size_t nFromByte) const {
    return FindForward(m_aPages, find, static_cast<size_t>(m_nCurPage - 1), nFromByte);
}

std::optional<SearchHit> CPageStore::SearchFromFirstPage(std::string_view find) const {
    return FindForward(m_aPages, find, 0, 0);
}

}  // namespace meru
