// Feeds arbitrary bytes to the bookmark file reader. Whatever it accepts must
// survive an export and a second import unchanged.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "core/bookmarks/bookmark_html.h"

using namespace meru;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view html(reinterpret_cast<const char*>(data), size);
    const ParsedBookmarks first = ParseBookmarksHtml(html);
    if (!first.ok) {
        if (!first.links.empty() || first.error.empty()) {
            std::fprintf(stderr, "refused file without a message, or with links\n");
            std::abort();
        }
        return 0;
    }
    BookmarkGroups groups = DefaultGroups();
    groups[3].m_aBookmarks = first.links;
    const ParsedBookmarks again = ParseBookmarksHtml(ExportBookmarksHtml(groups));
    if (!again.ok || again.links != first.links) {
        std::fprintf(stderr, "export and import give other links\n");
        std::abort();
    }
    return 0;
}
