#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/clipboard/clip_history.h"

using namespace meru;

namespace {

using Strings = std::vector<std::string>;

CClipHistory Filled(const Strings& texts) {
    CClipHistory h;
    for (const auto& t : texts) EXPECT_EQ(h.CaptureClipboard(t).eResult, CaptureResult::Added) << t;
    return h;
}

}  // namespace

// ---------------------------------------------------------------- seeding

TEST(ClipSeed, StartTextBecomesTheOnlyEntry) {
    struct Case {
        std::string text;
        bool bSecret;
        Strings expected;
    };
    const Case cases[] = {
        {"hello", false, {"hello"}},
        {"", false, {}},         // no text (or a picture) on the clipboard
        {"pa55word", true, {}},  // a password manager's copy is not kept
        {"a\r\nb\n\xE2\x82\xAC", false, {"a\r\nb\n\xE2\x82\xAC"}},  // kept byte for byte
    };
    for (const auto& c : cases) {
        CClipHistory h = Filled({"old"});
        EXPECT_EQ(h.Seed(c.text, c.bSecret), !c.expected.empty());
        EXPECT_EQ(h.History(), c.expected) << c.text;
        EXPECT_EQ(h.Current(), 0);
    }
}

TEST(ClipSeed, StartPublicationLeavesTheClipboardAlone) {
    // Seeded: the clipboard already holds exactly that text (maybe with richer
    // formats), so it is not rewritten.
    CClipHistory seeded;
    seeded.Seed("from before");
    ClipPublication p = seeded.PublishClip();
    EXPECT_EQ(p.nCur, 0);
    EXPECT_EQ(p.nTrayIcon, 189);
    EXPECT_EQ(p.eClipboard, ClipboardAction::Keep);
    EXPECT_EQ(seeded.PublishClip().eClipboard, ClipboardAction::Keep);  // step 11 publishes again

    // No text at start (say a picture): the clipboard is not emptied.
    CClipHistory empty;
    empty.Seed("");
    p = empty.PublishClip();
    EXPECT_EQ(p.nCur, -1);
    EXPECT_EQ(p.nTrayIcon, 152);
    EXPECT_TRUE(p.bEditor && p.bList && p.bTray);
    EXPECT_EQ(p.eClipboard, ClipboardAction::Keep);
}

// ---------------------------------------------------------------- capture

TEST(ClipCapture, DecisionTable) {
    struct Case {
        const char* what;
        std::string text;
        bool bSecret, bPublishing;
        CaptureResult result;
        Strings after;
        int nCurAfter;
    };
    // Start: {"a", "b", "c"} with "a" current.
    const Case cases[] = {
        {"new text", "d", false, false, CaptureResult::Added, {"a", "b", "c", "d"}, 3},
        {"own write", "d", false, true, CaptureResult::Publishing, {"a", "b", "c"}, 0},
        {"empty text / picture", "", false, false, CaptureResult::Empty, {"a", "b", "c"}, 0},
        {"secret", "d", true, false, CaptureResult::Secret, {"a", "b", "c"}, 0},
        {"duplicate of another", "c", false, false, CaptureResult::Duplicate, {"a", "b", "c"}, 0},
        {"case differs", "C", false, false, CaptureResult::Added, {"a", "b", "c", "C"}, 3},
        {"prefix of entry", "b ", false, false, CaptureResult::Added, {"a", "b", "c", "b "}, 3},
        {"line breaks kept",
         "x\r\ny",
         false,
         false,
         CaptureResult::Added,
         {"a", "b", "c", "x\r\ny"},
         3},
    };
    for (const auto& c : cases) {
        CClipHistory h = Filled({"a", "b", "c"});
        ASSERT_TRUE(h.SelectClip(1));
        ClipCapture cap = h.CaptureClipboard(c.text, c.bSecret, c.bPublishing);
        EXPECT_EQ(cap.eResult, c.result) << c.what;
        EXPECT_EQ(h.History(), c.after) << c.what;
        EXPECT_EQ(h.Current(), c.nCurAfter) << c.what;
        EXPECT_EQ(cap.pub.has_value(), c.result == CaptureResult::Added) << c.what;
    }
}

TEST(ClipCapture, AddedEntryIsPublishedWithoutRewritingTheClipboard) {
    CClipHistory h;
    ClipCapture cap = h.CaptureClipboard("first");
    ASSERT_TRUE(cap.pub);
    EXPECT_EQ(*cap.pub, (ClipPublication{0, 189, true, true, true, ClipboardAction::Keep}));
    for (int i = 2; i <= 6; ++i) cap = h.CaptureClipboard("text " + std::to_string(i));
    // Six captures: the sixth is current and the tray shows the plain icon.
    ASSERT_TRUE(cap.pub);
    EXPECT_EQ(cap.pub->nCur, 5);
    EXPECT_EQ(cap.pub->nTrayIcon, 152);
    EXPECT_EQ(cap.pub->eClipboard, ClipboardAction::Keep);
    // Ctrl+1 then shows the digit 1 and puts entry 1 on the clipboard.
    auto sel = h.SelectClip(1);
    ASSERT_TRUE(sel);
    EXPECT_EQ(sel->nTrayIcon, 189);
    EXPECT_EQ(sel->eClipboard, ClipboardAction::Write);
}

TEST(ClipCapture, DuplicateKeepsTheCurrentEntryAndKnowsTheClipboard) {
    CClipHistory h = Filled({"a", "b", "c"});
    ASSERT_TRUE(h.SelectClip(3));
    EXPECT_EQ(h.CaptureClipboard("a").eResult, CaptureResult::Duplicate);
    EXPECT_EQ(h.Current(), 2);  // "c" stays current while the clipboard holds "a"
    // Choosing "a" now need not rewrite the clipboard: it already holds "a".
    EXPECT_EQ(h.SelectClip(1)->eClipboard, ClipboardAction::Keep);
    // After a picture was copied, choosing it again must write it.
    h.CaptureClipboard("");
    EXPECT_EQ(h.SelectClip(1)->eClipboard, ClipboardAction::Write);
}

TEST(ClipCapture, ExactTextOfAnyCharactersIsKept) {
    const Strings texts = {
        "\xE6\xBC\xA2\xE5\xAD\x97",      // CJK
        "\xF0\x9F\x98\x80 emoji",        // outside the BMP
        "\xE2\x82\xAC \xC3\xA9",         // Windows-1252 letters
        std::string("nul\0inside", 10),  // NUL byte
        "tab\tCR\rLF\nCRLF\r\n",
    };
    CClipHistory h = Filled(texts);
    EXPECT_EQ(h.History(), texts);
    for (const auto& t : texts) EXPECT_EQ(h.CaptureClipboard(t).eResult, CaptureResult::Duplicate);
}

TEST(ClipCapture, OwnerGoneRestoresTheCurrentEntry) {
    CClipHistory empty;
    EXPECT_FALSE(empty.ClipboardEmptied());

    CClipHistory h = Filled({"a", "b"});
    ASSERT_TRUE(h.SelectClip(1));
    auto p = h.ClipboardEmptied();
    ASSERT_TRUE(p);
    EXPECT_EQ(p->nCur, 0);
    EXPECT_EQ(p->eClipboard, ClipboardAction::Write);
    EXPECT_FALSE(p->bEditor || p->bList || p->bTray);  // nothing else changes
    EXPECT_EQ(h.Current(), 0);
    EXPECT_EQ(h.Count(), 2);
}

TEST(ClipCapture, OwnerGonePutsBackTheTextCopiedLast) {
    // "a", "b", then "a" again: the repeat is no new entry, but it is what
    // the clipboard held when its owner went away, so it is what comes back.
    CClipHistory h;
    h.CaptureClipboard("a");
    h.CaptureClipboard("b");
    EXPECT_EQ(h.CaptureClipboard("a").eResult, CaptureResult::Duplicate);
    auto p = h.ClipboardEmptied();
    ASSERT_TRUE(p);
    EXPECT_EQ(p->eClipboard, ClipboardAction::Write);
    ASSERT_EQ(p->nCur, 0);
    EXPECT_EQ(h.Entry(p->nCur), "a");
    // "a" is now the current entry everywhere: editor and tray follow, the
    // list only moves its selection.
    EXPECT_EQ(h.Current(), 0);
    EXPECT_TRUE(p->bEditor && p->bTray);
    EXPECT_FALSE(p->bList);
    EXPECT_EQ(p->nTrayIcon, kClipTrayIconDigit1);
    // Gone a second time (the restored text is ours now): still "a".
    auto again = h.ClipboardEmptied();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->nCur, 0);
}

// ---------------------------------------------------------------- selection

TEST(ClipSelect, NumberToEntryTable) {
    struct Case {
        int nEntries, n, expected;  // expected current index, -1: nothing happens
    };
    const Case cases[] = {
        {0, 1, -1}, {0, 5, -1},                           // empty history: nothing
        {2, 1, 0},  {2, 2, 1},  {2, 3, 1},  {2, 5, 1},    // beyond the count: the newest
        {7, 5, 4},  {7, 1, 0},  {3, 0, -1}, {3, -2, -1},  // not a shortcut number
    };
    for (const auto& c : cases) {
        CClipHistory h;
        for (int i = 0; i < c.nEntries; ++i) h.CaptureClipboard("e" + std::to_string(i));
        const int before = h.Current();
        auto p = h.SelectClip(c.n);
        EXPECT_EQ(p.has_value(), c.expected >= 0) << c.nEntries << " " << c.n;
        EXPECT_EQ(h.Current(), c.expected >= 0 ? c.expected : before);
        if (p) {
            EXPECT_EQ(p->nCur, c.expected);
            EXPECT_EQ(p->nTrayIcon, 189 + c.expected);
            EXPECT_TRUE(p->bEditor && p->bList && p->bTray);
        }
    }
}

TEST(ClipSelect, RepeatedSelectionWritesOnce) {
    CClipHistory h = Filled({"a", "b", "c"});
    EXPECT_EQ(h.SelectClip(2)->eClipboard, ClipboardAction::Write);
    EXPECT_EQ(h.SelectClip(2)->eClipboard, ClipboardAction::Keep);   // key held down
    EXPECT_EQ(h.SelectClip(3)->eClipboard, ClipboardAction::Write);  // "b" is on it now
}

TEST(ClipSelect, PreviousNextAndChoose) {
    CClipHistory h = Filled({"a", "b", "c"});
    ASSERT_TRUE(h.SelectClip(1));
    auto p = h.NextEntry();
    ASSERT_TRUE(p);
    EXPECT_EQ(*p, (ClipPublication{1, 190, true, false, true, ClipboardAction::Write}));
    ASSERT_TRUE(h.NextEntry());
    EXPECT_EQ(h.Current(), 2);
    EXPECT_FALSE(h.NextEntry());  // third ">" does nothing
    EXPECT_EQ(h.Current(), 2);
    ASSERT_TRUE(h.ChooseEntry(0));
    EXPECT_FALSE(h.PreviousEntry());  // "<" on entry 1 does nothing
    EXPECT_FALSE(h.ChooseEntry(3));
    EXPECT_FALSE(h.ChooseEntry(-1));
    EXPECT_EQ(h.Current(), 0);

    CClipHistory empty;
    EXPECT_FALSE(empty.NextEntry());
    EXPECT_FALSE(empty.PreviousEntry());
}

// ---------------------------------------------------------------- delete / clear

TEST(ClipDelete, Table) {
    struct Case {
        Strings start;
        int nSelect;  // SelectClip before deleting, 0 = none
        Strings after;
        int nCur;
        int nTray;
    };
    const Case cases[] = {
        {{"a", "b", "c", "d"}, 0, {"a", "b", "c"}, 2, 191},  // newest current: entry 3 follows
        {{"a", "b", "c", "d"}, 2, {"a", "c", "d"}, 1, 190},  // the next one moves up
        {{"a", "b", "c", "d"}, 1, {"b", "c", "d"}, 0, 189},
        {{"a"}, 0, {}, -1, 152},
    };
    for (const auto& c : cases) {
        CClipHistory h = Filled(c.start);
        if (c.nSelect) h.SelectClip(c.nSelect);
        ClipPublication p = h.DeleteCurrent();
        EXPECT_EQ(h.History(), c.after);
        EXPECT_EQ(p.nCur, c.nCur);
        EXPECT_EQ(p.nTrayIcon, c.nTray);
        EXPECT_TRUE(p.bEditor && p.bList && p.bTray);
        // The deleted text was on the clipboard: it is replaced or emptied.
        EXPECT_EQ(p.eClipboard, c.after.empty() ? ClipboardAction::Empty : ClipboardAction::Write);
        EXPECT_EQ(h.Current(), c.after.empty() ? 0 : c.nCur);
    }
}

TEST(ClipDelete, ClipboardHoldingAnotherEntryOrAPicture) {
    // The clipboard holds "b" (copied again) while "d" is deleted: "c" goes on it.
    CClipHistory h = Filled({"a", "b", "c", "d"});
    h.CaptureClipboard("b");
    EXPECT_EQ(h.DeleteCurrent().eClipboard, ClipboardAction::Write);
    // Deleting "a" while "b" (index shifts) is on the clipboard and current.
    CClipHistory g = Filled({"a", "b"});
    g.SelectClip(1);
    g.CaptureClipboard("b");
    EXPECT_EQ(g.DeleteCurrent().eClipboard, ClipboardAction::Keep);
    EXPECT_EQ(g.History(), (Strings{"b"}));
    // Last entry deleted while the clipboard holds a picture: the picture stays.
    CClipHistory p = Filled({"a"});
    p.CaptureClipboard("");
    EXPECT_EQ(p.DeleteCurrent().eClipboard, ClipboardAction::Keep);
    // Deleting with an empty history publishes without touching the clipboard.
    EXPECT_EQ(p.DeleteCurrent().eClipboard, ClipboardAction::Keep);
}

TEST(ClipClear, EmptiesHistoryAndClipboard) {
    CClipHistory h = Filled({"a", "b", "c"});
    h.SelectClip(2);
    ClipPublication p = h.ClearAll();
    EXPECT_TRUE(h.IsEmpty());
    EXPECT_EQ(h.Current(), 0);
    EXPECT_EQ(p, (ClipPublication{-1, 152, true, true, true, ClipboardAction::Empty}));
    // Clearing again: nothing of ours is on the clipboard any more.
    EXPECT_EQ(h.ClearAll().eClipboard, ClipboardAction::Keep);
    // Capture works again from scratch.
    EXPECT_EQ(h.CaptureClipboard("a").eResult, CaptureResult::Added);
    EXPECT_EQ(h.Current(), 0);
}

// ---------------------------------------------------------------- editing

TEST(ClipEdit, StoreEditedEntry) {
    CClipHistory h = Filled({"a", "b", "c"});
    h.SelectClip(2);
    ClipPublication p = h.StoreEdited("B!");
    EXPECT_EQ(h.History(), (Strings{"a", "B!", "c"}));
    EXPECT_EQ(p.nCur, 1);
    EXPECT_EQ(p.eClipboard, ClipboardAction::Write);
    EXPECT_FALSE(p.bEditor || p.bList || p.bTray);
    // An edit may make an entry empty or equal to another one.
    h.StoreEdited("a");
    EXPECT_EQ(h.History(), (Strings{"a", "a", "c"}));
    // The capture still refuses new duplicates of the edited text.
    EXPECT_EQ(h.CaptureClipboard("B!").eResult, CaptureResult::Added);
    EXPECT_EQ(h.CaptureClipboard("a").eResult, CaptureResult::Duplicate);

    CClipHistory empty;
    p = empty.StoreEdited("typed");
    EXPECT_EQ(empty.History(), (Strings{"typed"}));
    EXPECT_EQ(p.nCur, 0);
    EXPECT_EQ(p.eClipboard, ClipboardAction::Write);
}

TEST(ClipEdit, UnchangedTextIsNotRewritten) {
    CClipHistory h = Filled({"a", "b"});
    EXPECT_EQ(h.StoreEdited("b").eClipboard, ClipboardAction::Keep);
    EXPECT_EQ(h.StoreEdited("b2").eClipboard, ClipboardAction::Write);
}

// ---------------------------------------------------------------- labels

TEST(ClipLabel, Table) {
    struct Case {
        int n;
        std::string text, label;
    };
    const std::string e = "\xC3\xA8";  // è, two bytes
    const Case cases[] = {
        {1, "hello", "1 - hello"},
        {12, "", "12 - "},
        {3, "one\r\ntwo\r\nthree", "3 - one  two  three"},  // CR LF: two spaces
        {4, "a\nb\rc", "4 - a b c"},
        {5, "123456789012345678901234567890XYZ", "5 - 123456789012345678901234567890"},
        {6, "line one is long enough\r\nto be cut here", "6 - line one is long enough  to be"},
        {7, std::string(29, 'x') + e + "y", "7 - " + std::string(29, 'x') + e},  // never split
        {8, std::string(30, 'x') + e, "8 - " + std::string(30, 'x')},
        {9, "\xF0\x9F\x98\x80" + std::string(40, '!'),
         "9 - \xF0\x9F\x98\x80" + std::string(29, '!')},
    };
    for (const auto& c : cases) EXPECT_EQ(MakeClipLabel(c.n, c.text), c.label) << c.text;

    CClipHistory h = Filled({"x", "y\r\nz"});
    EXPECT_EQ(h.Labels(), (Strings{"1 - x", "2 - y  z"}));
}

// A label is formed from the beginning of a huge entry only: the prefix of
// kClipLabelSourceBytes gives the label of the whole text, and no shorter one
// does for a text of 4-byte characters.
TEST(ClipLabel, BeginningDecidesTheLabel) {
    const std::string smile = "\xF0\x9F\x98\x80", e = "\xC3\xA8";
    std::string smiles, mixed;
    for (int i = 0; i < 40; ++i) smiles += smile;
    for (int i = 0; i < 40; ++i) mixed += (i % 3 == 0 ? e : i % 3 == 1 ? smile : "\r\n");
    const std::string texts[] = {
        "",
        "short",
        std::string(29, 'x') + "\r\n" + std::string(1000, 'y'),
        std::string(200, 'a'),
        smiles,
        mixed,
        std::string(29, 'x') + smile + std::string(10, 'z'),
    };
    for (const std::string& text : texts) {
        const std::string head = text.substr(0, kClipLabelSourceBytes);
        EXPECT_EQ(MakeClipLabel(7, head), MakeClipLabel(7, text)) << text;
    }
    EXPECT_NE(MakeClipLabel(1, smiles.substr(0, kClipLabelSourceBytes - 1)),
              MakeClipLabel(1, smiles));
}

TEST(ClipTray, IconForIndex) {
    const std::pair<int, int> cases[] = {{-1, 152}, {0, 189}, {1, 190}, {2, 191},
                                         {3, 192},  {4, 193}, {5, 152}, {99, 152}};
    for (auto [i, icon] : cases) EXPECT_EQ(ClipTrayIcon(i), icon) << i;
}

// ---------------------------------------------------------------- search

TEST(ClipSearch, OnePass) {
    CClipHistory h = Filled({"alpha beta", "gamma", "ABC", "beta \xE2\x82\xAC"});
    struct Case {
        std::string find;
        int nEntry;
        size_t nPos;
        std::optional<ClipMatch> expected;
    };
    const Case cases[] = {
        {"beta", 0, 0, ClipMatch{0, 6, 4}},
        {"beta", 0, 7, ClipMatch{3, 0, 4}},  // past the first match: next entry, from 0
        {"abc", 0, 0, std::nullopt},         // case-sensitive
        {"ABC", 3, 0, std::nullopt},         // before the start entry: not this pass
        {"", 1, 3, ClipMatch{1, 3, 0}},      // empty text matches at the start
        {"", 1, 99, ClipMatch{2, 0, 0}},     // start beyond the entry: nothing there
        {"gamma", 1, 6, std::nullopt},       // start past the end of "gamma"
        {"\xE2\x82\xAC", 0, 0, ClipMatch{3, 5, 3}},
        {"beta", -4, 0, ClipMatch{0, 6, 4}},
    };
    for (const auto& c : cases) {
        auto m = h.FindClip(c.find, c.nEntry, c.nPos);
        EXPECT_EQ(m, c.expected) << c.find << " from " << c.nEntry << "/" << c.nPos;
    }
}

TEST(ClipSearch, WrapAroundIsAskedAfterEveryEmptyPass) {
    CClipHistory h = Filled({"a", "needle", "c", "d"});
    ASSERT_TRUE(h.SelectClip(4));
    int asked = 0;
    // Found in entry 2 only after the question is answered Yes.
    auto m = h.SearchClips("needle", 0, [&] {
        ++asked;
        return true;
    });
    ASSERT_TRUE(m);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(*m, (ClipMatch{1, 0, 6}));
    ClipPublication p = h.ShowFound(*m);
    EXPECT_EQ(h.Current(), 1);
    EXPECT_EQ(p.nCur, 1);
    EXPECT_EQ(p.eClipboard, ClipboardAction::Write);  // the found entry lands on the clipboard
    EXPECT_TRUE(p.bList);

    // No: nothing found, nothing changes.
    asked = 0;
    EXPECT_FALSE(h.SearchClips("needle", 1, [&] {
        ++asked;
        return false;
    }));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(h.Current(), 1);

    // Found nowhere: the question returns after each pass until No.
    asked = 0;
    EXPECT_FALSE(h.SearchClips("absent", 0, [&] { return ++asked < 3; }));
    EXPECT_EQ(asked, 3);

    // Empty history: the question comes at once.
    CClipHistory empty;
    asked = 0;
    EXPECT_FALSE(empty.SearchClips("x", 0, [&] {
        ++asked;
        return false;
    }));
    EXPECT_EQ(asked, 1);

    // A match before the caret in the current entry needs the wrap-around.
    CClipHistory one = Filled({"xx yy xx"});
    asked = 0;
    m = one.SearchClips("xx", 7, [&] {
        ++asked;
        return true;
    });
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(m, (ClipMatch{0, 0, 2}));
    // Repeated searches walk through the matches.
    m = one.SearchClips("xx", m->nPos + m->nLen, [] { return false; });
    EXPECT_EQ(m, (ClipMatch{0, 6, 2}));
}

// ---------------------------------------------------------------- "<- Notes"

TEST(ClipNotes, EntriesBecomeCrLfPages) {
    const Strings history = {"plain", "a\nb",  "a\r\nb", "a\rb",
                             "\n\n",  "end\r", "",       "\xE2\x82\xAC\n"};
    const Strings pages = {"plain",    "a\r\nb",  "a\r\nb", "a\r\nb",
                           "\r\n\r\n", "end\r\n", "",       "\xE2\x82\xAC\r\n"};
    EXPECT_EQ(ClipPagesForNotes(history), pages);
    CClipHistory h = Filled({"x\ny"});
    EXPECT_EQ(ClipPagesForNotes(h.History()), (Strings{"x\r\ny"}));
    EXPECT_EQ(h.Entry(0), "x\ny");  // the history itself is not changed
}
