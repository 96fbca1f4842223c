#pragma once
#include <array>
#include <string>
#include <vector>

namespace meru {

struct CBookmark {
    std::string m_strName;
    std::string m_strURL;

    bool operator==(const CBookmark&) const = default;
};

struct CBookmarkGroup {
    std::string m_strName;
    std::vector<CBookmark> m_aBookmarks;

    bool operator==(const CBookmarkGroup&) const = default;
};

inline constexpr int kGroupCount = 20;
using BookmarkGroups = std::array<CBookmarkGroup, kGroupCount>;

// The twenty start groups, named "Group 1" to "Group 20", without bookmarks.
BookmarkGroups DefaultGroups();

// The browser setting: program to start with an address, and its folder.
struct BrowserSetting {
    std::string m_strProgram;
    std::string m_strFolder;

    bool operator==(const BrowserSetting&) const = default;
};

}  // namespace meru
