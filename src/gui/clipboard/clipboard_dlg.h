#pragma once
#include <QString>
#include <functional>
#include <string>

#include "gui/kit/tool_window.h"
#include "core/clipboard/clip_history.h"

class QComboBox;
class QDateEdit;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStringListModel;
class QTimeEdit;
class QTimer;

namespace meru {

class CClipboardLink;
class CClockRow;

// The clipboard window (dialog 182): the history of copied texts, one entry
// at a time in the editor, the entry list, "<" and ">", search, delete,
// delete all and "<- Notes". It is also where every publication of the
// current entry ends up: the editor, the list, the tray icon and the system
// clipboard are brought in line with the history here.
//
// The history belongs to the main window; the window only holds references.
// The system clipboard is written through the link (CClipboardLink), which
// guards our own writes; the window shows each publication (m_fnShow).
class CClipboardDlg : public CToolWindow {
    Q_OBJECT
public:
    CClipboardDlg(const ToolWindowContext& context, CClipHistory& history, CClipboardLink& link);
    ~CClipboardDlg() override;

    // --- operations the main window uses ---------------------------------
    // Shows the current entry everywhere (editor, list, tray, clipboard).
    void PublishClip();
    // "ClipBoard n" and Ctrl+n (n = 1..5).
    void SelectClip(int n);
    // "Cancella Tutto" / button 1008.
    void ClearAll();
    // "Cancella" / button 1007.
    void DeleteCurrent();
    // Carries out what a decision of the history asks for, in order: editor,
    // list, tray icon (ShowPublication), then the system clipboard.
    void Apply(const ClipPublication& p);
    // Editor, list and tray icon of a publication; clears m_bEdited.
    void ShowPublication(const ClipPublication& p);

    // --- the window's own actions ------------------------------------------
    void ChooseEntry(int index);   // selection change in 1042
    void PreviousEntry();          // "<"
    void NextEntry();              // ">"
    void StoreEdited();            // the editor lost the focus
    void Find();                   // "Trova"

    // The editor holds a change by the user not yet stored in the history.
    bool m_bEdited = false;
    // The search text (edit 1004), as last read from the control.
    QString m_strFind;

    // The wrap-around question of the search; answers true for "Yes".
    // Tests put their own answer here; by default a message box asks.
    std::function<bool()> m_fnAskWrap;

    // The editor, showing the current entry (brought up to date first).
    QPlainTextEdit* Editor();
    QComboBox* EntryList() const { return m_pList; }
    QLineEdit* FindField() const { return m_pFind; }
    QDateEdit* DatePicker() const { return m_pDate; }
    QTimeEdit* TimePicker() const { return m_pTime; }
    QPushButton* Button(int id) const;

    static QString WrapQuestion();

signals:
    // "<- Notes": the user wants every entry in the notes.
    void notesRequested();
    // A publication changed the tray's picture (152, or 189-193 for entry 1-5).
    void trayIconChanged(int nIconId);

protected:
    QString TitleSuffix() const override { return QStringLiteral(" - CLIPBOARD"); }
    void OnInitDialog() override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void CreateControls();
    void OnEditorChanged();
    void OnNotes();
    void ShowEntryInEditor(int nCur);
    void SetEditorText(int nCur);
    void FlushEditor();
    void RebuildList(int nCur);
    void SelectListItem(int nCur);
    void SetTrayIcon(int nIconId);
    bool AskWrap();

    CClipHistory& m_history;
    CClipboardLink& m_link;

    QPlainTextEdit* m_pEditor = nullptr;
    QComboBox* m_pList = nullptr;
    QStringListModel* m_pListModel = nullptr;  // the entry list's items
    QLineEdit* m_pFind = nullptr;
    QDateEdit* m_pDate = nullptr;
    QTimeEdit* m_pTime = nullptr;
    CClockRow* m_pClock = nullptr;
    bool m_bSettingEditor = false;  // the editor's text is being set by the program
    // A hidden window lays out the current entry only when it is shown (or
    // its editor is asked for): a long copy costs nothing while in the tray.
    bool m_bEditorPending = false;
    int m_nEditorPending = -1;
};

}  // namespace meru
