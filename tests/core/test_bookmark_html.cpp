#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/bookmarks/bookmark_html.h"

using namespace meru;

namespace {

const std::string kHead = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n";

std::vector<CBookmark> Links(const std::string& html) {
    const ParsedBookmarks p = ParseBookmarksHtml(html);
    EXPECT_TRUE(p.ok) << p.error;
    return p.links;
}

}  // namespace

TEST(BookmarkHtml, ExportThenImportGivesBackEveryTextInStoredOrder) {
    BookmarkGroups groups = DefaultGroups();
    groups[0].m_strName = "News & <Views> \"quoted\"";
    groups[0].m_aBookmarks = {
        {"Tom & Jerry <cartoons>", "https://example.org/?a=1&b=\"2\"&c='3'"},
        {"", "example.org"},
        {"Caff\xC3\xA8 \xE2\x98\x95 \xF0\x9F\x98\x80", "http://xn--caff-dra.example/\xC3\xA8"},
        {"&amp; stays literal", "http://x.org/#&lt;"},
    };
    groups[19].m_aBookmarks = {{"last", "last.org"}};

    const std::string html = ExportBookmarksHtml(groups);
    // One folder per group, named by the group, escaped.
    EXPECT_NE(html.find("<DT><H3>News &amp; &lt;Views&gt; &quot;quoted&quot;</H3>"),
              std::string::npos);
    EXPECT_NE(html.find("<DT><H3>Group 20</H3>"), std::string::npos);
    EXPECT_EQ(html.find("<A HREF=\"https://example.org/?a=1&b"), std::string::npos);

    std::vector<CBookmark> expected = groups[0].m_aBookmarks;
    expected.push_back(groups[19].m_aBookmarks[0]);
    EXPECT_EQ(Links(html), expected);
}

// Files as browsers write them, and the liberties HTML allows.
TEST(BookmarkHtml, ReadsWhatBrowsersWrite) {
    struct Case {
        const char* what;
        std::string html;
        std::vector<CBookmark> links;
    };
    const Case cases[] = {
        {"Firefox-style, nested folders flattened, attributes before HREF",
         "\xEF\xBB\xBF<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<!-- This is an automatically generated "
         "file. -->\n"
         "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; "
         "charset=UTF-8\">\n<TITLE>Bookmarks</TITLE>\n"
         "<H1>Bookmarks Menu</H1>\n<DL><p>\n"
         "    <DT><H3 ADD_DATE=\"1\" LAST_MODIFIED=\"2\">Outer</H3>\n    <DL><p>\n"
         "        <DT><A ADD_DATE=\"1700000000\" HREF=\"https://a.example/\" "
         "ICON=\"data:image/png;base64,AA==\">A &amp; B</A>\n"
         "        <DT><H3>Inner</H3>\n        <DL><p>\n"
         "            <DT><A HREF=\"https://b.example/\" TAGS=\"x\">\xC3\x9C"
         "ber</A>\n"
         "        </DL><p>\n    </DL><p>\n</DL>\n",
         {{"A & B", "https://a.example/"},
          {"\xC3\x9C"
           "ber",
           "https://b.example/"}}},
        {"lower case, single quotes, unquoted values, blanks around =",
         "<!doctype netscape-bookmark-file-1>\n<dl><dt><a add_date=1 href = "
         "'http://c.example/?q=\"x\"'>c</a>"
         "<dt><a href=http://d.example/path>d</a></dl>",
         {{"c", "http://c.example/?q=\"x\""}, {"d", "http://d.example/path"}}},
        {"entities: named, decimal, hex, unknown kept, and a '>' inside a quoted value",
         kHead + "<DT><A HREF=\"http://e.example/?a=1&amp;b=2&#38;c=&#x33;\" TITLE=\"a>b\">"
                 "&lt;e&gt; &#39;q&#x27; &quot;&nbsp;&bogus; &#xZZ; &</A>",
         {{"<e> 'q' \"\xC2\xA0&bogus; &#xZZ; &", "http://e.example/?a=1&b=2&c=3"}}},
        {"a link left open ends at the next tag; links without an address are left out",
         kHead + "<DL><DT><A HREF=\"http://f.example/\">f<DT><A NAME=\"x\">no href</A>"
                 "<DT><A HREF=\"\">empty</A><DT><A HREF=\"g.example\">  g  </A></DL>",
         {{"f", "http://f.example/"}, {"g", "g.example"}}},
        {"no links at all", kHead + "<DL><p></DL><p>", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Links(c.html), c.links);
    }
}

TEST(BookmarkHtml, RefusesForeignAndDamagedFilesWithAMessage) {
    struct Case {
        const char* what;
        std::string html;
        const char* message;
    };
    const Case cases[] = {
        {"empty", "", "not a bookmark file"},
        {"a web page", "<!DOCTYPE html><html><a href=\"http://x\">x</a></html>",
         "not a bookmark file"},
        {"JSON", "{\"roots\": {}}", "not a bookmark file"},
        {"Latin-1 bytes", kHead + "<A HREF=\"http://x\">caf\xE9</A>", "not UTF-8"},
        {"a NUL byte", kHead + std::string("<A HREF=\"http://x\">a\0b</A>", 26), "not UTF-8"},
        {"cut inside a tag", kHead + "<DL><DT><A HREF=\"http://x.example/", "a tag"},
        {"cut inside a link", kHead + "<DL><DT><A HREF=\"http://x.example/\">Na", "a link"},
        {"cut inside a link after a stray <",
         kHead + "<A HREF=\"http://o.example/\">o</A><A HREF=\"http://x/\">a <", "a link"},
        {"cut inside a comment", kHead + "<!-- never closed <A HREF=\"http://x\">x</A>",
         "a comment"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ParsedBookmarks p = ParseBookmarksHtml(c.html);
        EXPECT_FALSE(p.ok);
        EXPECT_TRUE(p.links.empty());
        EXPECT_NE(p.error.find(c.message), std::string::npos) << p.error;
    }
}

// Large and hostile input finishes (in linear time) without a crash; the
// test's time-out catches a hang.
TEST(BookmarkHtml, HostileInputFinishes) {
    {
        std::string html = kHead + "<DL><p>\n";
        for (int i = 0; i < 100000; ++i)
            html += "<DT><A HREF=\"http://h" + std::to_string(i) + ".example/\">n" +
                    std::to_string(i) + "</A>\n";
        html += "</DL>";
        const auto links = Links(html);
        ASSERT_EQ(links.size(), 100000u);
        EXPECT_EQ(links[99999].m_strURL, "http://h99999.example/");
    }
    {
        std::string html = kHead;
        for (int i = 0; i < 10000; ++i) html += "<DT><H3>f</H3><DL><p>";
        html += "<DT><A HREF=\"http://deep.example/\">deep</A>";
        for (int i = 0; i < 10000; ++i) html += "</DL><p>";
        EXPECT_EQ(Links(html), (std::vector<CBookmark>{{"deep", "http://deep.example/"}}));
    }
    {
        // 50 MB of text: a name of blanks and ampersands without ';', then
        // stray '<' outside any tag.
        std::string html = kHead + "<A HREF=\"http://big.example/\">";
        const std::string chunk = "& &amp &#x &# x ";
        while (html.size() < 45u * 1024 * 1024) html += chunk;
        html += "</A>";
        while (html.size() < 50u * 1024 * 1024) html += "a < b <= c ";
        const auto links = Links(html);
        ASSERT_EQ(links.size(), 1u);
        EXPECT_GT(links[0].m_strName.size(), 40u * 1024 * 1024);
    }
    {
        // Unclosed tags and quotes everywhere: refused or read, never stuck.
        std::string html = kHead;
        for (int i = 0; i < 200000; ++i) html += "<DT><A HREF=\"x";
        EXPECT_FALSE(ParseBookmarksHtml(html).ok);
        std::string equals = kHead + "<A";
        equals.append(1000000, '=');
        EXPECT_FALSE(ParseBookmarksHtml(equals).ok);
    }
}

TEST(BookmarkHtml, ImportSkipsAddressesAlreadyInTheGroup) {
    CBookmarkGroup g;
    g.m_aBookmarks = {{"old", "http://a.example/"}};
    const ImportCount count = MergeBookmarks(g, {{"again", "http://a.example/"},
                                                 {"new", "http://b.example/"},
                                                 {"twice", "http://b.example/"},
                                                 {"case differs", "http://A.example/"}});
    EXPECT_EQ(count.added, 2u);
    EXPECT_EQ(count.skipped, 2u);
    EXPECT_EQ(g.m_aBookmarks, (std::vector<CBookmark>{{"old", "http://a.example/"},
                                                      {"new", "http://b.example/"},
                                                      {"case differs", "http://A.example/"}}));
    EXPECT_EQ(ImportSummary(count), "2 bookmarks added, 2 skipped (already in the group).");
    EXPECT_EQ(ImportSummary({1, 0}), "1 bookmark added, 0 skipped (already in the group).");
}
