#include "notes/page_list.h"

#include "store/text_codec.h"

namespace meru {

std::string PageListLine(size_t nPage, std::string_view page) {
    const std::string_view head = page.substr(0, Utf8PrefixBytes(page, kPageListChars));
    std::string line = std::to_string(nPage);
    line.reserve(line.size() + 1 + head.size() + 3);
    line += '\t';
    line += head;
    line += "...";
    const size_t lf = line.find('\n');
    if (lf != std::string::npos) {
        // The line break goes, with the CR in front of it when it is a CR LF.
        // A lone LF keeps the character before it.
        size_t cut = lf;
        if (cut > 0 && line[cut - 1] == '\r') --cut;
        line.resize(cut);
    }
    return line;
}

std::vector<std::string> PageListLines(std::span<const std::string> pages) {
    std::vector<std::string> lines;
    lines.reserve(pages.size());
    for (size_t i = 0; i < pages.size(); ++i) lines.push_back(PageListLine(i + 1, pages[i]));
    return lines;
}

}  // namespace meru
