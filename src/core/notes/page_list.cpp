#include "core/notes/page_list.h"

#include <charconv>

#include "core/text/text_codec.h"

namespace meru {

std::string PageListLine(size_t nPage, std::string_view page) {
    std::string_view head = page.substr(0, Utf8PrefixBytes(page, kPageListChars));
    bool cut = false;
    if (const size_t lf = head.find('\n'); lf != std::string_view::npos) {
        // The line break goes, with the CR in front of it when it is a CR LF.
        // A lone LF keeps the character before it.
        head = head.substr(0, lf > 0 && head[lf - 1] == '\r' ? lf - 1 : lf);
        cut = true;
    }
    char number[24];
    const auto [end, ec] = std::to_chars(number, number + sizeof number, nPage);
    const size_t nNumber = static_cast<size_t>(end - number);
    std::string line;
    line.reserve(nNumber + 1 + head.size() + 3);
    line.append(number, nNumber);
    line += '\t';
    line += head;
    if (!cut) line += "...";
    return line;
}

std::vector<std::string> PageListLines(std::span<const std::string> pages) {
    std::vector<std::string> lines;
    lines.reserve(pages.size());
    for (size_t i = 0; i < pages.size(); ++i) lines.push_back(PageListLine(i + 1, pages[i]));
    return lines;
}

}  // namespace meru
