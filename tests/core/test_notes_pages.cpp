#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "core/notes/page_store.h"
#include "core/store/meru_data.h"

using namespace meru;

namespace {
std::vector<std::string> Pages(int n) {
    std::vector<std::string> v;
    for (int i = 1; i <= n; ++i) v.push_back("page " + std::to_string(i));
    return v;
}
}  // namespace

TEST(NotesPages, WorksInPlaceOnTheDataAndNeverHasNoPage) {
    CMeruData data;
    data.m_aPages.clear();
    CPageStore store(data.m_aPages);
    ASSERT_EQ(data.m_aPages, std::vector<std::string>{""});
    EXPECT_EQ(store.PageLabel(), "1/1");

    store.CommitEditorText("first\nsecond\n");
    EXPECT_EQ(data.m_aPages[0], "first\r\nsecond\r\n");  // what a save would write
    store.NextPage();
    EXPECT_EQ(data.m_aPages.size(), 2u);
}

TEST(NotesPages, PreviousStopsAtTheFirstAndNextGrowsPastTheLast) {
    std::vector<std::string> one = Pages(1);
    CPageStore single(one);
    EXPECT_FALSE(single.PreviousPage());
    EXPECT_EQ(single.CurPage(), 1);
    EXPECT_EQ(single.PageLabel(), "1/1");

    std::vector<std::string> pages = Pages(3);
    CPageStore store(pages);
    store.NextPage();  // 1 -> 2, nothing added
    EXPECT_EQ(store.PageLabel(), "2/3");
    ASSERT_TRUE(store.ShowPage(3));
    store.NextPage();  // the last page: a new empty page 4
    EXPECT_EQ(pages.size(), 4u);
    EXPECT_EQ(store.PageLabel(), "4/4");
    EXPECT_EQ(store.CurrentText(), "");
    store.NextPage();  // and again: no upper bound
    EXPECT_EQ(store.PageLabel(), "5/5");
    EXPECT_TRUE(store.PreviousPage());
    EXPECT_EQ(store.PageLabel(), "4/5");
    EXPECT_EQ(pages[2], "page 3");
}

TEST(NotesPages, ShowPageAndListChoiceRefuseNumbersOutsideTheStore) {
    std::vector<std::string> pages = Pages(3);
    CPageStore store(pages);
    ASSERT_TRUE(store.ShowPage(2));
    for (int n : {0, -1, 4}) EXPECT_FALSE(store.ShowPage(n)) << n;
    for (int sel : {-1, 3, 1000}) EXPECT_FALSE(store.ShowListSelection(sel)) << sel;
    EXPECT_EQ(store.CurPage(), 2);
    EXPECT_TRUE(store.ShowListSelection(0));
    EXPECT_EQ(store.CurPage(), 1);
    EXPECT_TRUE(store.ShowListSelection(2));
    EXPECT_EQ(store.CurrentText(), "page 3");
}

TEST(NotesPages, ClearRemovesTheCurrentPageOrEmptiesTheOnlyOne) {
    struct Case {
        int count, cur;
        std::vector<std::string> after;
        std::string label, shown;
        CPageStore::ClearOutcome outcome;
    };
    using O = CPageStore::ClearOutcome;
    const Case cases[] = {
        {3, 3, {"page 1", "page 2"}, "2/2", "page 2", O::Removed},
        {3, 1, {"page 2", "page 3"}, "1/2", "page 2", O::Removed},
        {3, 2, {"page 1", "page 3"}, "2/2", "page 3", O::Removed},
        {2, 2, {"page 1"}, "1/1", "page 1", O::Removed},
        {1, 1, {""}, "1/1", "", O::Emptied},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.cur) + " of " + std::to_string(c.count));
        std::vector<std::string> pages = Pages(c.count);
        CPageStore store(pages);
        ASSERT_TRUE(store.ShowPage(c.cur));
        EXPECT_EQ(store.ClearPage(), c.outcome);
        EXPECT_EQ(pages, c.after);
        EXPECT_EQ(store.PageLabel(), c.label);
        EXPECT_EQ(store.CurrentText(), c.shown);
    }
}

TEST(NotesPages, DeleteImmediatelyIsRememberedOnlyWithYes) {
    std::vector<std::string> pages = Pages(5);
    CPageStore store(pages);
    ASSERT_TRUE(store.ClearNeedsConfirmation());

    // Ticked but answered "No": nothing deleted, the next Clear asks again.
    EXPECT_FALSE(store.ConfirmClear(false, true));
    EXPECT_TRUE(store.ClearNeedsConfirmation());

    // "Si" without the tick: this Clear goes on, the next asks again.
    EXPECT_TRUE(store.ConfirmClear(true, false));
    EXPECT_TRUE(store.ClearNeedsConfirmation());

    // Ticked and "Si": from now on no question.
    EXPECT_TRUE(store.ConfirmClear(true, true));
    store.ClearPage();
    EXPECT_FALSE(store.ClearNeedsConfirmation());
    store.ClearPage();
    EXPECT_FALSE(store.ClearNeedsConfirmation());
    EXPECT_EQ(pages.size(), 3u);
}

TEST(NotesPages, AppendedPagesKeepTheCurrentPage) {
    std::vector<std::string> pages = Pages(2);
    CPageStore store(pages);
    ASSERT_TRUE(store.ShowPage(2));
    const std::vector<std::string> clips = {"clip one", "clip\r\ntwo"};
    store.AppendPages(clips);
    EXPECT_EQ(store.PageLabel(), "2/4");
    EXPECT_EQ(store.CurrentText(), "page 2");
    EXPECT_EQ(pages[3], "clip\r\ntwo");
}

TEST(NotesPages, NormaliseAfterThePagesWereReplaced) {
    std::vector<std::string> pages = Pages(4);
    CPageStore store(pages);
    ASSERT_TRUE(store.ShowPage(4));
    pages = Pages(2);
    store.Normalise();
    EXPECT_EQ(store.PageLabel(), "2/2");
    pages.clear();
    store.Normalise();
    EXPECT_EQ(store.PageLabel(), "1/1");
    EXPECT_EQ(pages.size(), 1u);
}

TEST(NotesPages, DateAndTimeTexts) {
    struct Case {
        int year, mon, day, hour, min, sec;
        const char* date;
        const char* time;
    };
    const Case cases[] = {
        {2004, 3, 7, 9, 5, 3, "07/03/04", "09:05:03"},
        {1999, 12, 31, 23, 59, 59, "31/12/99", "23:59:59"},
        {2000, 1, 1, 0, 0, 0, "01/01/00", "00:00:00"},
        {2026, 10, 25, 13, 7, 30, "25/10/26", "13:07:30"},
    };
    for (const auto& c : cases) {
        std::tm tm{};
        tm.tm_year = c.year - 1900;
        tm.tm_mon = c.mon - 1;
        tm.tm_mday = c.day;
        tm.tm_hour = c.hour;
        tm.tm_min = c.min;
        tm.tm_sec = c.sec;
        tm.tm_isdst = -1;
        EXPECT_EQ(FormatDate(tm), c.date);
        EXPECT_EQ(FormatTime(tm), c.time);
        // A time value is shown in local time: the same texts back.
        std::tm local = tm;
        const std::time_t t = std::mktime(&local);
        if (local.tm_hour != c.hour) continue;  // a local clock change skips this hour
        EXPECT_EQ(FormatDate(t), c.date);
        EXPECT_EQ(FormatTime(t), c.time);
    }
}
