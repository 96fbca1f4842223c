#include "core/bookmarks/bookmark_groups.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "core/bookmarks/url.h"
#include "core/common/name_sort.h"

namespace meru {

std::string BookmarkRowText(std::size_t index, const std::string& name) {
    return std::to_string(index + 1) + ". " + name;
}

std::vector<std::string> RefreshBookmarkRows(CBookmarkGroup& group) {
    SortByName(group.m_aBookmarks,
               [](const CBookmark& b) -> const std::string& { return b.m_strName; });
    std::vector<std::string> rows;
    rows.reserve(group.m_aBookmarks.size());
    for (std::size_t i = 0; i < group.m_aBookmarks.size(); ++i)
        rows.push_back(BookmarkRowText(i, group.m_aBookmarks[i].m_strName));
    return rows;
}

void CBookmarkBook::SetCurrentGroup(int group) {
    if (group >= 0 && group < kGroupCount) m_nCurGroup = group;
}

int CBookmarkBook::HighlightedRow() const { return Selected() ? m_nSelRow : -1; }

CBookmark* CBookmarkBook::Selected() const {
    auto& marks = Current().m_aBookmarks;
    if (m_nSelRow < 0 || static_cast<std::size_t>(m_nSelRow) >= marks.size()) return nullptr;
    return &marks[static_cast<std::size_t>(m_nSelRow)];
}

void CBookmarkBook::Add(CBookmark bookmark) {
    Current().m_aBookmarks.push_back(std::move(bookmark));
}

bool CBookmarkBook::Modify(const std::string& name, const std::string& url) {
    CBookmark* b = Selected();
    if (!b) return false;
    b->m_strName = name;
    b->m_strURL = url;
    return true;
}

bool CBookmarkBook::Delete() {
    if (!Selected()) return false;
    auto& marks = Current().m_aBookmarks;
    marks.erase(marks.begin() + m_nSelRow);
    return true;
}

BrowserLaunch PlanBrowserLaunch(const CBookmark& bookmark, const BrowserSetting& browser) {
    BrowserLaunch l;
    l.address = FormBrowserAddress(bookmark.m_strURL);
    if (!browser.m_strProgram.empty()) {
        l.bDefaultBrowser = false;
        l.program = browser.m_strFolder + "/" + browser.m_strProgram;
        l.workingDir = browser.m_strFolder;
    }
    return l;
}

std::optional<std::string> BrowserStartProblem(const BrowserLaunch& launch) {
    if (launch.bDefaultBrowser) return std::nullopt;
    struct stat st {};
    if (::stat(launch.program.c_str(), &st) != 0) return std::string(std::strerror(errno));
    if (S_ISDIR(st.st_mode)) return std::string(std::strerror(EISDIR));
    if (::access(launch.program.c_str(), X_OK) != 0) return std::string(std::strerror(errno));
    if (!launch.workingDir.empty()) {
        struct stat dir {};
        if (::stat(launch.workingDir.c_str(), &dir) != 0)
            return launch.workingDir + ": " + std::strerror(errno);
        if (!S_ISDIR(dir.st_mode)) return launch.workingDir + ": " + std::strerror(ENOTDIR);
    }
    return std::nullopt;
}

}  // namespace meru
