#pragma once
#include <cstddef>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/notes/notes_search.h"

namespace meru {

// ---------------------------------------------------------------------------
// Stored text and editor text
//
// A page is stored as UTF-8 with CR LF line breaks. The editor works on the
// same text with LF line breaks, and the Qt editor (QPlainTextEdit /
// QTextCursor) counts positions in UTF-16 code units: an emoji outside the
// Basic Multilingual Plane takes two positions, a line break one.
//
// The helpers below speak exactly that unit, so the Qt side passes
// QTextCursor::position() / anchor() straight in and feeds the results straight
// back to QTextCursor::setPosition(), with no conversion of its own.
//
// Line breaks: CR LF, a lone CR and a lone LF each count as one editor
// position (the Qt editor turns every one of them into a paragraph break), so
// the text StoredToEditorText() returns has exactly the positions the editor
// shows.
//
// On the Qt side, read the editor's text back with
// document()->toRawText() and QChar::ParagraphSeparator (U+2029) replaced by
// '\n', not with toPlainText(): toPlainText() turns every no-break space
// (U+00A0) into a blank and every U+2028 into a line break, which would change
// the user's text at each commit. (Checked with Qt 6.4: setPlainText() makes
// CR LF, lone CR and LF one paragraph break each; a character outside the BMP
// takes two cursor positions.)
// ---------------------------------------------------------------------------

// Stored text -> editor text: CR LF and lone CR become LF.
std::string StoredToEditorText(std::string_view stored);
// Editor text -> stored text: every line break (LF, CR LF, lone CR) becomes CR LF.
std::string EditorToStoredText(std::string_view editor);

// Byte offset in the stored text of editor position nPos (UTF-16 units).
// A position inside a surrogate pair snaps back to the start of its
// character; a position past the end gives the text's size.
size_t EditorToStoredOffset(std::string_view stored, size_t nPos);
// Editor position (UTF-16 units) of a byte offset into the stored text. An
// offset inside a character, or between the CR and the LF of a line break,
// snaps back to the start of that character or line break; one past the end
// gives the editor length.
size_t StoredToEditorOffset(std::string_view stored, size_t nByte);
// Number of editor positions (UTF-16 units) of a stored text.
size_t EditorLength(std::string_view stored);

// ---------------------------------------------------------------------------
// Insertions (Linea, Insert Data, Insert Time)
// ---------------------------------------------------------------------------

inline constexpr size_t kLineLength = 102;

// The line of 102 underscores, without a line break.
std::string LineText();
// "%d/%m/%y" and "%H:%M:%S" of a broken-down time.
std::string FormatDate(const std::tm& t);
std::string FormatTime(const std::tm& t);
// The same for a time value, in local time.
std::string FormatDate(std::time_t t);
std::string FormatTime(std::time_t t);

// ---------------------------------------------------------------------------
// The page store m_aPages and the current page m_nCurPage
//
// The pages belong to the data (CMeruData::m_aPages); the store works on them
// in place, so every change is at once what a save writes. Page numbers are
// 1-based as the user sees them.
// ---------------------------------------------------------------------------

class CPageStore {
public:
    // Brings a store without pages to one empty page and shows page 1.
    explicit CPageStore(std::vector<std::string>& aPages);

    CPageStore(const CPageStore&) = delete;
    CPageStore& operator=(const CPageStore&) = delete;

    int PageCount() const { return static_cast<int>(m_aPages.size()); }
    int CurPage() const { return m_nCurPage; }
    const std::vector<std::string>& Pages() const { return m_aPages; }
    // Text of page n (1 <= n <= PageCount()), stored form.
    const std::string& PageText(int n) const { return m_aPages[static_cast<size_t>(n - 1)]; }
    const std::string& CurrentText() const { return PageText(m_nCurPage); }
    // Current page in editor form (LF line breaks): what the editor shows.
    std::string CurrentEditorText() const { return StoredToEditorText(CurrentText()); }
    // The page indicator, "%d/%d": current page and page count.
    std::string PageLabel() const;

    // CommitPage: the editor's whole text becomes the current page. The editor
    // form has LF line breaks; it is stored with CR LF.
    void CommitEditorText(std::string_view editorText);
    // The same with a text already in stored form.
    void CommitPage(std::string stored);

    // ShowPage: page n becomes current. False (and nothing changes) when n is
    // not a page number.
    bool ShowPage(int n);
    // "<": previous page; false on page 1, where nothing happens.
    bool PreviousPage();
    // ">": next page; on the last page an empty page is appended first.
    void NextPage();

    // Clear. The confirmation question is the caller's:
    //   if (store.ClearNeedsConfirmation()) {
    //       run the dialog;
    //       if (!store.ConfirmClear(answeredYes, deleteNowTicked)) return;
    //   }
    //   store.ClearPage(); show store.CurrentEditorText()
    bool ClearNeedsConfirmation() const { return !m_bDeleteNow; }
    // Takes the dialog's answer: "Delete immediately" is remembered only
    // together with "Si". Returns whether to go on with the clear.
    bool ConfirmClear(bool bYes, bool bDeleteNowTicked);
    enum class ClearOutcome {
        Emptied,  // the only page was emptied; it stays as page 1
        Removed,  // the current page was removed; the one now current is shown
    };
    ClearOutcome ClearPage();
    bool DeleteNow() const { return m_bDeleteNow; }

    // Pages appended from outside ("<- Notes"); the current page stays.
    void AppendPages(std::span<const std::string> pages);

    // The page list's choice: m_nSel (0-based, -1 for none). Shows page
    // nSel + 1 when it exists; false (nothing changes) otherwise.
    bool ShowListSelection(int nSel);

    // Search from the current page, starting at byte nFromByte of it, to the
    // last page. Nothing found: the caller asks whether to go on from the
    // first page and, if so, calls SearchFromFirstPage(), as often as the user
    // says yes. A hit is not shown yet: the caller shows it with
    // ShowPage(hit.nPage + 1) and selects [nBegin, nEnd) mapped with
    // StoredToEditorOffset.
    std::optional<SearchHit> SearchFromCurrent(std::string_view find, size_t nFromByte) const;
    std::optional<SearchHit> SearchFromFirstPage(std::string_view find) const;

    // Makes the store valid again after the pages were replaced from outside:
    // at least one page, current page within range.
    void Normalise();

private:
    std::vector<std::string>& m_aPages;
    int m_nCurPage = 1;
    bool m_bDeleteNow = false;  // "Delete immediately", for this run only
};

}  // namespace meru
