#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "core/bookmarks/bookmark_groups.h"

using namespace meru;

namespace {

std::vector<std::string> Names(const CBookmarkGroup& g) {
    std::vector<std::string> out;
    for (const auto& b : g.m_aBookmarks) out.push_back(b.m_strName);
    return out;
}

// Group 0: "a", "b", "c"; group 1: "x".
BookmarkGroups Sample() {
    BookmarkGroups groups = DefaultGroups();
    groups[0].m_aBookmarks = {{"c", "c.org"}, {"a", "a.org"}, {"b", "b.org"}};
    groups[1].m_aBookmarks = {{"x", "x.org"}};
    return groups;
}

}  // namespace

TEST(BookmarkRows, NumberedFromOneAfterSortingByBytes) {
    CBookmarkGroup g;
    g.m_aBookmarks = {{"zeta", ""}, {"", "empty.org"}, {"\xC3\xA0 la carte", ""}, {"Zeta", ""}};
    const std::vector<std::string> rows = RefreshBookmarkRows(g);
    // Upper case before lower case, non-ASCII after ASCII, the empty name first.
    EXPECT_EQ(rows,
              (std::vector<std::string>{"1. ", "2. Zeta", "3. zeta", "4. \xC3\xA0 la carte"}));
    EXPECT_EQ(Names(g), (std::vector<std::string>{"", "Zeta", "zeta", "\xC3\xA0 la carte"}));
    EXPECT_EQ(BookmarkRowText(9, "x"), "10. x");
}

TEST(BookmarkBook, SelectedRowSurvivesGroupChangesDeletesAndRefills) {
    BookmarkGroups groups = Sample();
    CBookmarkBook book(groups);
    EXPECT_EQ(book.CurrentGroup(), 0);
    EXPECT_EQ(book.SelectedRow(), -1);
    EXPECT_FALSE(book.Modify("n", "u"));
    EXPECT_FALSE(book.Delete());

    book.Rows();  // a, b, c
    book.SetSelectedRow(2);
    EXPECT_EQ(book.Selected()->m_strName, "c");

    // A shorter group: nothing highlighted, Mod and Cancella do nothing.
    book.SetCurrentGroup(1);
    book.Rows();
    EXPECT_EQ(book.SelectedRow(), 2);
    EXPECT_EQ(book.HighlightedRow(), -1);
    EXPECT_EQ(book.Selected(), nullptr);
    EXPECT_FALSE(book.Modify("n", "u"));
    EXPECT_FALSE(book.Delete());
    EXPECT_EQ(groups[1].m_aBookmarks, (std::vector<CBookmark>{{"x", "x.org"}}));

    // Back again: the same row index acts on that group's bookmark.
    book.SetCurrentGroup(0);
    EXPECT_EQ(book.HighlightedRow(), 2);
    EXPECT_TRUE(book.Modify("a2", "changed.org"));
    book.Rows();  // a, a2, b: the highlight stays at row 2, now "b"
    EXPECT_EQ(book.HighlightedRow(), 2);
    EXPECT_EQ(book.Selected()->m_strName, "b");

    // Deleting a row that is not the last: the same index marks the next one.
    book.SetSelectedRow(0);
    EXPECT_TRUE(book.Delete());
    EXPECT_EQ(Names(groups[0]), (std::vector<std::string>{"a2", "b"}));
    EXPECT_EQ(book.Selected()->m_strName, "a2");

    // Deleting the last row: nothing highlighted afterwards.
    book.SetSelectedRow(1);
    EXPECT_TRUE(book.Delete());
    EXPECT_EQ(book.HighlightedRow(), -1);
    EXPECT_FALSE(book.Delete());
    EXPECT_EQ(Names(groups[0]), (std::vector<std::string>{"a2"}));

    // Out-of-range group indexes are ignored.
    book.SetCurrentGroup(20);
    book.SetCurrentGroup(-1);
    EXPECT_EQ(book.CurrentGroup(), 0);
}

TEST(BookmarkBook, AddAppendsAndTheNextRefreshSortsRenameAcceptsEmpty) {
    BookmarkGroups groups = Sample();
    CBookmarkBook book(groups);
    book.Rows();
    book.SetSelectedRow(0);
    book.Add({"Aardvark", "aa.org"});
    EXPECT_EQ(groups[0].m_aBookmarks.back().m_strName, "Aardvark");  // appended
    EXPECT_EQ(book.Rows(), (std::vector<std::string>{"1. Aardvark", "2. a", "3. b", "4. c"}));
    EXPECT_EQ(book.Selected()->m_strName, "Aardvark");  // same row, another bookmark

    book.SetCurrentGroup(4);
    book.RenameCurrent("");
    EXPECT_EQ(groups[4].m_strName, "");
    EXPECT_EQ(groups[3].m_strName, "Group 4");
}

TEST(BrowserLaunchPlan, AddressAndProgramPerSetting) {
    struct Case {
        std::string url;
        BrowserSetting browser;
        bool bDefault;
        std::string program, workingDir, address;
    };
    const Case cases[] = {
        {"example.org", {}, true, "", "", "http://example.org"},
        {"HTTP://Example.org/A", {}, true, "", "", "HTTP://Example.org/A"},
        // A scheme other than http is kept (not "http://https://...").
        {"https://example.org", {}, true, "", "", "https://example.org"},
        {"ftp://files.example.org", {}, true, "", "", "ftp://files.example.org"},
        {"", {}, true, "", "", "http://"},
        {"example.org",
         {"firefox", "/opt/firefox"},
         false,
         "/opt/firefox/firefox",
         "/opt/firefox",
         "http://example.org"},
        {"x.org", {"b", ""}, false, "/b", "", "http://x.org"},
    };
    for (const Case& c : cases) {
        const BrowserLaunch l = PlanBrowserLaunch({"name", c.url}, c.browser);
        EXPECT_EQ(l.bDefaultBrowser, c.bDefault) << c.url;
        EXPECT_EQ(l.program, c.program) << c.url;
        EXPECT_EQ(l.workingDir, c.workingDir) << c.url;
        EXPECT_EQ(l.address, c.address) << c.url;
    }
}

TEST(BrowserLaunchPlan, StartProblemNamesTheSystemsReason) {
    char tmpl[] = "/tmp/meru-browser-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    const std::string exe = dir + "/browser", plain = dir + "/notes.txt";
    std::ofstream(exe) << "#!/bin/sh\n";
    std::ofstream(plain) << "text\n";
    ASSERT_EQ(::chmod(exe.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(plain.c_str(), 0644), 0);

    auto problem = [](const std::string& folder, const std::string& program) {
        return BrowserStartProblem(PlanBrowserLaunch({"n", "x.org"}, {program, folder}));
    };
    EXPECT_EQ(problem(dir, "browser"), std::nullopt);
    EXPECT_EQ(problem(dir, "missing"), std::optional<std::string>("No such file or directory"));
    EXPECT_EQ(problem(dir + "/gone", "browser"),
              std::optional<std::string>("No such file or directory"));
    EXPECT_EQ(problem(dir, "notes.txt"), std::optional<std::string>("Permission denied"));
    EXPECT_EQ(problem("/", tmpl + 1), std::optional<std::string>("Is a directory"));
    // The default browser is the desktop's business.
    EXPECT_EQ(BrowserStartProblem(PlanBrowserLaunch({"n", "x"}, {})), std::nullopt);

    std::remove(exe.c_str());
    std::remove(plain.c_str());
    ::rmdir(dir.c_str());
}
