#pragma once
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace meru {

// Characters of a page the page list shows at most.
inline constexpr size_t kPageListChars = 80;

// The page list's line for page nPage (1-based): the page's first 80
// characters followed by "...", as "%d\t%s". When that holds a line feed, the
// line ends just before it (and before the carriage return of a CR LF), so
// only the first line is shown and no "..." follows it. Characters are
// Unicode characters; none is ever split.
std::string PageListLine(size_t nPage, std::string_view page);

// The lines of every page, in store order.
std::vector<std::string> PageListLines(std::span<const std::string> pages);

}  // namespace meru
