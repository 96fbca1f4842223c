#pragma once
// Bookmark files as every browser writes and reads them: the
// "NETSCAPE-Bookmark-file-1" HTML document, with <DT><H3> folders holding
// <DL> lists of <DT><A HREF="...">name</A> links.

#include <string>
#include <string_view>
#include <vector>

#include "core/bookmarks/bookmark.h"

namespace meru {

// All twenty groups as one file: a folder per group, named by the group,
// holding its bookmarks in their stored order. Names and addresses are
// escaped, so "&", "<", ">" and quotes come back as they were.
std::string ExportBookmarksHtml(const BookmarkGroups& groups);

// The links of a bookmark file, in document order, folders flattened.
struct ParsedBookmarks {
    bool ok = false;
    std::string error;             // why the file was refused, when !ok
    std::vector<CBookmark> links;  // empty when !ok
};

// Reads a bookmark file tolerantly (tags and attributes in any case and
// order, quoted or unquoted values, named and numeric entities, unclosed
// <DT>/<P>/<DL>, any nesting depth), in time linear in its size. It refuses,
// with a message for the user, a file that does not begin with the
// bookmark file's DOCTYPE, one that is not UTF-8 text, and one cut off
// inside a tag or a link. Links without an address are left out.
ParsedBookmarks ParseBookmarksHtml(std::string_view html);

struct ImportCount {
    std::size_t added = 0;
    std::size_t skipped = 0;  // address already in the group
};

// Appends the links whose address is not yet in `group` (a link repeated in
// the file is added once).
ImportCount MergeBookmarks(CBookmarkGroup& group, const std::vector<CBookmark>& links);

// "3 bookmarks added, 1 skipped (already in the group)."
std::string ImportSummary(const ImportCount& count);

}  // namespace meru
