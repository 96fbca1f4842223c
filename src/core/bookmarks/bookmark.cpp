#include "core/bookmarks/bookmark.h"

namespace meru {

BookmarkGroups DefaultGroups() {
    BookmarkGroups groups;
    for (int n = 0; n < kGroupCount; ++n)
        groups[static_cast<size_t>(n)].m_strName = "Group " + std::to_string(n + 1);
    return groups;
}

}  // namespace meru
