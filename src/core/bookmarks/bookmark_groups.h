#pragma once
// The rules of the twenty bookmark groups, without any window: the rows the
// list shows, the row the user last selected, adding, changing, deleting
// and renaming, and what opening a bookmark starts.

#include <optional>
#include <string>
#include <vector>

#include "core/bookmarks/bookmark.h"

namespace meru {

// "%d. %s": the 1-based position and the name.
std::string BookmarkRowText(std::size_t index, const std::string& name);

// Sorts the group in place by name (the order the exchange sort leaves) and
// returns its rows in that order. Called at every refresh of the list.
std::vector<std::string> RefreshBookmarkRows(CBookmarkGroup& group);

// The state the bookmarks window works on: the groups, the current group
// and the list's selected row. The selected row is only ever set by the
// user's choice in the list: changing group, deleting or refilling leave it
// as it is, so it may point past the end of the current group, in which
// case nothing is highlighted and Mod, Cancella and opening do nothing.
class CBookmarkBook {
public:
    explicit CBookmarkBook(BookmarkGroups& groups) : m_groups(groups) {}

    BookmarkGroups& Groups() const { return m_groups; }

    int CurrentGroup() const { return m_nCurGroup; }
    // Indexes outside 0..19 are ignored.
    void SetCurrentGroup(int group);
    CBookmarkGroup& Current() const { return m_groups[static_cast<std::size_t>(m_nCurGroup)]; }

    int SelectedRow() const { return m_nSelRow; }
    void SetSelectedRow(int row) { m_nSelRow = row; }

    // The row to highlight in the current group, or -1 when the selected row
    // is not one of its rows.
    int HighlightedRow() const;
    // The bookmark at the selected row of the current group, if there is one.
    CBookmark* Selected() const;

    // Sorts the current group and gives its rows.
    std::vector<std::string> Rows() const { return RefreshBookmarkRows(Current()); }

    // "Url": appends to the current group.
    void Add(CBookmark bookmark);
    // "Mod" / "Cancella": false (and nothing changes) without a selected
    // bookmark.
    bool Modify(const std::string& name, const std::string& url);
    bool Delete();
    // "Dir": any name, the empty one too.
    void RenameCurrent(const std::string& name) { Current().m_strName = name; }

private:
    BookmarkGroups& m_groups;
    int m_nCurGroup = 0;
    int m_nSelRow = -1;
};

// What opening a bookmark starts.
struct BrowserLaunch {
    // No browser chosen: the desktop's default browser opens `address`.
    bool bDefaultBrowser = true;
    std::string program;     // full path of the chosen browser
    std::string workingDir;  // its folder (empty: ours)
    std::string address;     // the only argument
};

// The launch for `bookmark` with `browser` (program and folder as the Browser
// setting keeps them). The address is formed by FormBrowserAddress.
BrowserLaunch PlanBrowserLaunch(const CBookmark& bookmark, const BrowserSetting& browser);

// Why `launch` cannot start, in the system's words ("No such file or
// directory", "Permission denied", ...), or nothing when the program exists,
// may be executed and its folder exists. The default browser is not checked.
std::optional<std::string> BrowserStartProblem(const BrowserLaunch& launch);

}  // namespace meru
