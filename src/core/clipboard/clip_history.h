#pragma once
// The clipboard history: every distinct text copied on the desktop while the
// program runs, oldest first, and the current entry (the one on the system
// clipboard, shown in the clipboard window and by the tray icon). Never saved.
//
// This class only decides; it touches no clipboard and no widget. Each
// operation that changes what must be shown returns a ClipPublication telling
// the caller what to do. The decision assumes the caller carries it out (the
// history remembers what it told the caller to put on the clipboard):
//
//   CClipHistory h;
//   h.Seed(clipboardTextAtStart, bSecret);          // main window start-up
//   ClipPublication p = h.PublishClip();            // clipboard window init
//   // on every clipboard change (unless we are writing it ourselves):
//   ClipCapture c = h.CaptureClipboard(text, bSecret);
//   if (c.pub) Show(*c.pub);
//   // Ctrl+n, menu 32777..32781:       if (auto p = h.SelectClip(n)) Show(*p);
//   // "Cancella" / "Cancella Tutto":   Show(h.DeleteCurrent()); Show(h.ClearAll());
//   // combo 1042, "<", ">":            if (auto p = h.ChooseEntry(i)) Show(*p);
//   //                                  likewise h.PreviousEntry(), h.NextEntry()
//   // editor 1000 loses focus (edited): Show(h.StoreEdited(text));
//   // "Trova": FindClip(...) / SearchClips(...), then Show(h.ShowFound(match))
//   // "<- Notes":                      ClipPagesForNotes(h.History())
//
// where Show(p) does, in this order:
//   if (p.bEditor)   editor 1000 = p.nCur < 0 ? "" : h.Entry(p.nCur)
//   if (p.bList)     combo 1042 = h.Labels(), select p.nCur (-1: none)
//   else             select item p.nCur (already there; "<" and ">" move it)
//   if (p.bTray)     tray ChangeIcon(p.nTrayIcon)
//   switch (p.eClipboard): Write -> set the clipboard to h.Entry(p.nCur) with
//                          m_bPublishing set around the write; Empty -> empty
//                          it (guarded the same way); Keep -> leave it alone
//   m_bEdited = false
// (CClipboardLink in platform/clipboard.h does the clipboard part and calls
// the window for the rest.)
//
// Texts are UTF-8, kept exactly as copied (no line-break conversion, any
// characters). Positions are byte offsets into the UTF-8 text.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace meru {

// Tray icon resources for the current entry.
inline constexpr int kClipTrayIconPlain = 152;   // history empty, or entry 6 and above
inline constexpr int kClipTrayIconDigit1 = 189;  // entries 1..5: 189..193
inline constexpr int kClipLabelChars = 30;       // characters of an entry in its label
// Bytes of an entry's beginning that decide its label: a UTF-8 character
// takes at most 4 bytes, so MakeClipLabel of this prefix is the label of the
// whole text, however long.
inline constexpr size_t kClipLabelSourceBytes = 4 * kClipLabelChars;

enum class ClipboardAction {
    Keep,   // the clipboard already holds what it should (or nothing of ours is to be removed)
    Write,  // put the text of entry nCur on it as plain text
    Empty,  // empty it
};

struct ClipPublication {
    int nCur = -1;  // current entry, -1 when the history is empty
    int nTrayIcon = kClipTrayIconPlain;
    bool bEditor = true;  // show entry nCur in the editor (empty text when nCur < 0)
    bool bList = true;    // rebuild the entry list from Labels() and select nCur
    bool bTray = true;    // set the tray icon nTrayIcon
    ClipboardAction eClipboard = ClipboardAction::Keep;

    bool operator==(const ClipPublication&) const = default;
};

enum class CaptureResult {
    Publishing,  // our own write: ignored
    Empty,       // no text (picture, empty text, no owner): ignored
    Secret,      // marked secret by a password manager: ignored
    Duplicate,   // equal to an entry already in the history: nothing changes
    Added,       // appended as the new current entry; pub tells what to show
};

struct ClipCapture {
    CaptureResult eResult = CaptureResult::Empty;
    std::optional<ClipPublication> pub;  // set when eResult == Added
};

struct ClipMatch {
    int nEntry = 0;   // index of the entry
    size_t nPos = 0;  // byte offset of the match in that entry
    size_t nLen = 0;  // byte length of the search text

    bool operator==(const ClipMatch&) const = default;
};

// "%d - %s": number n, then the text with every CR and every LF turned into a
// space, cut to its first 30 characters (never splitting a character).
std::string MakeClipLabel(int n, std::string_view text);

// Tray icon for the current index: 189..193 for 0..4, otherwise 152.
int ClipTrayIcon(int nCur);

// The entries as notes pages: every line break (CR LF, lone LF, lone CR)
// becomes CR LF; nothing else changes.
std::vector<std::string> ClipPagesForNotes(const std::vector<std::string>& history);

class CClipHistory {
public:
    // --- reading --------------------------------------------------------
    const std::vector<std::string>& History() const { return m_aClipHistory; }
    int Count() const { return static_cast<int>(m_aClipHistory.size()); }
    bool IsEmpty() const { return m_aClipHistory.empty(); }
    const std::string& Entry(int i) const { return m_aClipHistory.at(static_cast<size_t>(i)); }
    // m_nClipCur as it is (PublishClip brings it into range).
    int Current() const { return m_nClipCur; }
    std::vector<std::string> Labels() const;
    std::string Label(int i) const { return MakeClipLabel(i + 1, Entry(i)); }

    // --- start-up -------------------------------------------------------
    // Seeding from the clipboard text found at start: a non-empty text that is
    // not marked secret becomes the only entry. m_nClipCur = 0. Returns whether
    // an entry was made (the main window publishes once more in that case).
    // The clipboard then holds exactly that entry, so publishing it does not
    // rewrite it (other formats on it survive).
    bool Seed(std::string_view text, bool bSecret = false);

    // --- the publication ------------------------------------------------
    // Brings m_nClipCur into range and tells what to show: editor, list,
    // tray and the clipboard. With an empty history the clipboard is emptied
    // only when it holds one of our texts (a picture copied before start-up
    // or since survives).
    ClipPublication PublishClip();

    // --- clipboard changes ------------------------------------------------
    // A change of the system clipboard. bPublishing: the change is our own
    // write. text: the plain text on it ("" when none). bSecret: the content
    // carries x-kde-passwordManagerHint = secret.
    // An added text becomes current; its publication keeps the clipboard as it
    // is (it already holds exactly that text, possibly with richer formats).
    ClipCapture CaptureClipboard(std::string_view text, bool bSecret = false,
                                 bool bPublishing = false);
    // The clipboard lost its content because its owner went away. Returns the
    // write that puts back the entry the clipboard held last (a repeated copy
    // of an older entry makes that entry current), else the current entry;
    // nothing with an empty history.
    std::optional<ClipPublication> ClipboardEmptied();

    // --- selection --------------------------------------------------------
    // Ctrl+n and "ClipBoard n" (n = 1..5): entry min(n, count); nothing with an
    // empty history (or n < 1).
    std::optional<ClipPublication> SelectClip(int n);
    // An item chosen in the entry list (index i; out of range: nothing). Editor,
    // tray and clipboard; the list is not rebuilt.
    std::optional<ClipPublication> ChooseEntry(int i);
    // "<" and ">": the neighbour of the current entry, as ChooseEntry, plus the
    // list selection (bList is false: the caller only selects item nCur).
    std::optional<ClipPublication> PreviousEntry();
    std::optional<ClipPublication> NextEntry();

    // --- changes ----------------------------------------------------------
    // "Cancella": removes the current entry (if in range), then publishes.
    ClipPublication DeleteCurrent();
    // "Cancella Tutto": removes every entry, m_nClipCur = 0, publishes.
    ClipPublication ClearAll();
    // The editor lost the focus holding a change: the text replaces entry
    // m_nClipCur (with an empty history it becomes the first entry) and goes
    // to the clipboard. Only the clipboard part is set in the result. An edited
    // entry may be empty or equal another one.
    ClipPublication StoreEdited(std::string_view text);

    // --- search ("Trova") -------------------------------------------------
    // One pass: entries from nFromEntry to the last, looking for strFind from
    // byte nFromPos in the first of them and from 0 in the others. Exact,
    // case-sensitive byte comparison; an empty text matches at the start
    // position; a start beyond an entry's length finds nothing in it.
    std::optional<ClipMatch> FindClip(std::string_view strFind, int nFromEntry,
                                      size_t nFromPos) const;
    // The whole search: a pass from (m_nClipCur, nFromPos); each time a pass
    // finds nothing, askWrap() is asked ("continue from the first entry?");
    // true runs a pass from entry 0, position 0, false ends with nothing.
    std::optional<ClipMatch> SearchClips(std::string_view strFind, size_t nFromPos,
                                         const std::function<bool()>& askWrap) const;
    // Makes the found entry current and publishes it (everything, like PublishClip).
    ClipPublication ShowFound(const ClipMatch& match);

private:
    ClipPublication Publish(bool bCapture);
    ClipPublication ChooseAndWrite(int i);
    ClipboardAction WriteAction(int i) const;
    void Append(std::string_view text, size_t nHash);

    std::vector<std::string> m_aClipHistory;
    std::vector<size_t> m_aHashes;  // hash of each entry, for the duplicate check
    int m_nClipCur = 0;
    // Index of the entry whose exact text the system clipboard holds, -1 when
    // it holds something else (a picture, a secret, nothing, unknown).
    int m_nOnClipboard = -1;
    // The clipboard holds the text of an entry that has been removed.
    bool m_bRemovedOnClipboard = false;
};

}  // namespace meru
