#include "core/bookmarks/bookmark_html.h"

#include <cstdint>
#include <unordered_set>

namespace meru {
namespace {

void Escape(std::string& out, std::string_view text) {
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool ValidUtf8(std::string_view s) {
    std::size_t i = 0;
    const std::size_t n = s.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            if (c == 0) return false;
            ++i;
            continue;
        }
        std::size_t len;
        std::uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else
            return false;
        if (i + len > n) return false;
        for (std::size_t k = 1; k < len; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        i += len;
    }
    return true;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// Decodes the character references browsers write (and a few more); an
// unknown or malformed one stays as it stands.
std::string DecodeEntities(std::string_view s) {
    static constexpr struct {
        std::string_view name;
        std::uint32_t cp;
    } kNamed[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", 0xA0},
    };
    std::string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] != '&') {
            out += s[i++];
            continue;
        }
        // References are short; do not look far for the ';'.
        std::size_t semi = s.substr(i + 1, 12).find(';');
        if (semi != std::string_view::npos) semi += i + 1;
        if (semi == std::string_view::npos) {
            out += s[i++];
            continue;
        }
        const std::string_view ref = s.substr(i + 1, semi - i - 1);
        bool done = false;
        if (ref.size() >= 2 && ref[0] == '#') {
            std::uint32_t cp = 0;
            bool hex = ref[1] == 'x' || ref[1] == 'X';
            std::size_t k = hex ? 2 : 1;
            bool any = false, bad = false;
            for (; k < ref.size(); ++k) {
                const char c = ref[k];
                int d;
                if (c >= '0' && c <= '9')
                    d = c - '0';
                else if (hex && c >= 'a' && c <= 'f')
                    d = c - 'a' + 10;
                else if (hex && c >= 'A' && c <= 'F')
                    d = c - 'A' + 10;
                else {
                    bad = true;
                    break;
                }
                any = true;
                cp = cp * (hex ? 16 : 10) + std::uint32_t(d);
                if (cp > 0x10FFFF) cp = 0x110000;  // stays out of range, no overflow
            }
            if (any && !bad) {
                AppendUtf8(out, cp);
                done = true;
            }
        } else {
            for (const auto& e : kNamed)
                if (EqualsNoCase(ref, e.name)) {
                    AppendUtf8(out, e.cp);
                    done = true;
                    break;
                }
        }
        if (done) {
            i = semi + 1;
        } else {
            out += s[i++];
        }
    }
    return out;
}

std::string Trimmed(std::string_view s) {
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
    return std::string(s);
}

}  // namespace

std::string ExportBookmarksHtml(const BookmarkGroups& groups) {
    std::string out =
        "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
        "<!-- This is an automatically generated file.\n"
        "     It will be read and overwritten.\n"
        "     DO NOT EDIT! -->\n"
        "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
        "<TITLE>Bookmarks</TITLE>\n"
        "<H1>Bookmarks</H1>\n"
        "<DL><p>\n";
    for (const CBookmarkGroup& g : groups) {
        out += "    <DT><H3>";
        Escape(out, g.m_strName);
        out += "</H3>\n    <DL><p>\n";
        for (const CBookmark& b : g.m_aBookmarks) {
            out += "        <DT><A HREF=\"";
            Escape(out, b.m_strURL);
            out += "\">";
            Escape(out, b.m_strName);
            out += "</A>\n";
        }
        out += "    </DL><p>\n";
    }
    out += "</DL><p>\n";
    return out;
}

ParsedBookmarks ParseBookmarksHtml(std::string_view html) {
    ParsedBookmarks result;
    std::string_view s = html;
    if (s.starts_with("\xEF\xBB\xBF")) s.remove_prefix(3);
    std::size_t start = 0;
    while (start < s.size() && IsSpace(s[start])) ++start;
    // The DOCTYPE, in any case, with any blanks around its words.
    {
        std::size_t k = start;
        auto word = [&](std::string_view w) {
            if (!EqualsNoCase(s.substr(k, w.size()), w)) return false;
            k += w.size();
            return true;
        };
        auto blanks = [&] {
            const std::size_t from = k;
            while (k < s.size() && IsSpace(s[k])) ++k;
            return k > from;
        };
        const bool ours = word("<!DOCTYPE") && blanks() && word("NETSCAPE-Bookmark-file-1") &&
                          (blanks(), word(">"));
        if (!ours) {
            result.error =
                "This is not a bookmark file: it does not start with "
                "<!DOCTYPE NETSCAPE-Bookmark-file-1>.";
            return result;
        }
    }
    if (!ValidUtf8(s)) {
        result.error = "The bookmark file is damaged: it is not UTF-8 text.";
        return result;
    }
    const std::string kCut = "The bookmark file is damaged: it ends in the middle of ";

    bool inLink = false;  // between <A HREF> and the next tag
    std::string href;
    std::size_t textFrom = 0;
    std::size_t i = start;
    const std::size_t n = s.size();
    while (i < n) {
        const std::size_t lt = s.find('<', i);
        if (lt == std::string_view::npos) break;
        // As in HTML, '<' starts a tag only before a letter, "/", "!" or "?";
        // otherwise it is text ("a < b").
        const char next = lt + 1 < n ? s[lt + 1] : '\0';
        const bool letter = (next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z');
        const bool closingTag =
            next == '/' && lt + 2 < n &&
            ((s[lt + 2] >= 'a' && s[lt + 2] <= 'z') || (s[lt + 2] >= 'A' && s[lt + 2] <= 'Z'));
        if (!letter && !closingTag && next != '!' && next != '?') {
            i = lt + 1;
            continue;
        }
        if (inLink) {
            std::string name = Trimmed(DecodeEntities(s.substr(textFrom, lt - textFrom)));
            if (!href.empty()) result.links.push_back({std::move(name), std::move(href)});
            href.clear();
            inLink = false;
        }
        // Comments run to "-->".
        if (s.substr(lt, 4) == "<!--") {
            const std::size_t end = s.find("-->", lt + 4);
            if (end == std::string_view::npos) {
                result.error = kCut + "a comment.";
                result.links.clear();
                return result;
            }
            i = end + 3;
            continue;
        }
        // The tag's name ("!DOCTYPE" and "?xml" included).
        std::size_t k = lt + 1;
        if (closingTag) ++k;
        const std::size_t nameFrom = k;
        while (k < n && !IsSpace(s[k]) && s[k] != '>' && s[k] != '/') ++k;
        const std::string_view tag = s.substr(nameFrom, k - nameFrom);
        const bool isLink = !closingTag && EqualsNoCase(tag, "a");
        // Attributes up to '>' (a '>' inside a quoted value does not end it).
        std::string hrefValue;
        bool hasHref = false;
        bool closed = false;
        while (k < n) {
            while (k < n && (IsSpace(s[k]) || s[k] == '/')) ++k;
            if (k >= n) break;
            if (s[k] == '>') {
                closed = true;
                ++k;
                break;
            }
            const std::size_t an = k;
            while (k < n && !IsSpace(s[k]) && s[k] != '=' && s[k] != '>' && s[k] != '/') ++k;
            const std::string_view attr = s.substr(an, k - an);
            if (attr.empty()) {  // a stray '=' or the like
                ++k;
                continue;
            }
            std::size_t v = k;
            while (v < n && IsSpace(s[v])) ++v;
            std::string_view value;
            if (v < n && s[v] == '=') {
                ++v;
                while (v < n && IsSpace(s[v])) ++v;
                if (v < n && (s[v] == '"' || s[v] == '\'')) {
                    const char q = s[v];
                    const std::size_t end = s.find(q, v + 1);
                    if (end == std::string_view::npos) {
                        k = n;
                        break;
                    }
                    value = s.substr(v + 1, end - v - 1);
                    k = end + 1;
                } else {
                    const std::size_t vf = v;
                    while (v < n && !IsSpace(s[v]) && s[v] != '>') ++v;
                    value = s.substr(vf, v - vf);
                    k = v;
                }
            }
            if (isLink && !hasHref && EqualsNoCase(attr, "href")) {
                hasHref = true;
                hrefValue = Trimmed(DecodeEntities(value));
            }
        }
        if (!closed) {
            result.error = kCut + "a tag.";
            result.links.clear();
            return result;
        }
        i = k;
        if (isLink) {
            inLink = true;
            href = std::move(hrefValue);
            textFrom = i;
        }
    }
    if (inLink) {
        result.error = kCut + "a link.";
        result.links.clear();
        return result;
    }
    result.ok = true;
    return result;
}

ImportCount MergeBookmarks(CBookmarkGroup& group, const std::vector<CBookmark>& links) {
    ImportCount count;
    std::unordered_set<std::string> known;
    for (const CBookmark& b : group.m_aBookmarks) known.insert(b.m_strURL);
    for (const CBookmark& link : links) {
        if (known.insert(link.m_strURL).second) {
            group.m_aBookmarks.push_back(link);
            ++count.added;
        } else {
            ++count.skipped;
        }
    }
    return count;
}

std::string ImportSummary(const ImportCount& count) {
    auto many = [](std::size_t n, const char* one, const char* more) {
        return std::to_string(n) + " " + (n == 1 ? one : more);
    };
    return many(count.added, "bookmark added", "bookmarks added") + ", " +
           std::to_string(count.skipped) + " skipped (already in the group).";
}

}  // namespace meru
