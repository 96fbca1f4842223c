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

class CStepTextLoader;

class CClipboardLink;
class CClockRow;

// The clipboard window (dialog 182): the history of copied texts, one entry
// at a time in the editor, the entry list, "<" and ">", search, delete,
// delete all and "<- Notes".
//
// The history and the link belong to the application; the window only holds
// references. Its actions ask the history and hand the publication to the
// link (CClipboardLink), which writes the system clipboard, guarding our own
// writes, and announces it: the window shows every publication, whoever
// caused it (its own buttons, Ctrl+n, a copy in another program).
class CClipboardDlg : public CToolWindow {
    Q_OBJECT
public:
    // Control ids of template 182; a control's object name is its id.
    enum Control : int {
        IDC_EDITOR = 1000,
        IDC_NEXT = 1001,
        IDC_PREV = 1002,
        IDC_FIND_TEXT = 1004,
        IDC_FIND = 1006,
        IDC_DELETE = 1007,
        IDC_DELETE_ALL = 1008,
        IDC_DATE = 1034,
        IDC_TIME = 1035,
        IDC_INSERT_DATE = 1037,
        IDC_INSERT_TIME = 1039,
        IDC_LIST = 1042,
        IDC_NOTES = 1044,
    };

    CClipboardDlg(const ToolWindowContext& context, CClipHistory& history, CClipboardLink& link);
    ~CClipboardDlg() override;

    // Shows the current entry everywhere (editor, list, tray, clipboard).
    void PublishClip();
    // Button 1008 "Cancella tutto".
    void ClearAll();
    // "Cancella" / button 1007.
    void DeleteCurrent();
    // Carries out what a decision of the history asks for, in order: editor,
    // list, tray icon (the link's announcement), then the system clipboard.
    void Apply(const ClipPublication& p);
    // Editor and list of a publication; clears m_bEdited.
    void ShowPublication(const ClipPublication& p);

    // --- the window's own actions ------------------------------------------
    void ChooseEntry(int index);  // selection change in 1042
    void PreviousEntry();         // "<"
    void NextEntry();             // ">"
    void StoreEdited();           // the editor lost the focus
    void Find();                  // "Trova"

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
    CStepTextLoader* m_pLoader = nullptr;  // shows an entry in steps
    bool m_bSettingEditor = false;         // the editor's text is being set by the program
    // A hidden window lays out the current entry only when it is shown (or
    // its editor is asked for): a long copy costs nothing while in the tray.
    bool m_bEditorPending = false;
    int m_nEditorPending = -1;
};

}  // namespace meru
