#pragma once
#include <QDateTime>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "gui/kit/tool_window.h"
#include "gui/notes/help_window.h"
#include "core/notes/page_store.h"

class QDateEdit;
class QLineEdit;
class QPlainTextEdit;
class QPrinter;
class QPushButton;
class QTimeEdit;
class QTimer;

namespace meru {

class CClockRow;
class CStepTextLoader;
class ILauncher;

// The notes window (dialog 102): the paged notebook. One page is shown in the
// editor at a time; what is typed reaches the page store at every commit
// (focus leaving the editor, paging, hiding, Exit).
class CMeruDlg : public CToolWindow {
    Q_OBJECT
public:
    // The store and the launcher belong to the application.
    CMeruDlg(const ToolWindowContext& context, CPageStore& store, const QString& strDataPath,
             ILauncher& launcher);
    ~CMeruDlg() override;

    // The data file was saved under another name: the title follows it.
    void SetDataPath(const QString& strDataPath);

    // Copies the editor's text into the current page (when it was edited).
    void CommitPage();
    // Shows page n (1 <= n <= page count) in the editor and gives it the focus.
    void ShowPage(int n);
    // Pages were appended to the store from outside ("<- Notes"): the page
    // shown stays, the indicator counts the new pages.
    void PagesAppended();

    int CurPage() const { return m_store.CurPage(); }
    int PageCount() const { return m_store.PageCount(); }
    bool DeleteNow() const { return m_store.DeleteNow(); }

    QString m_strDataPath;
    // Typed text is copied into the page this long after the last change.
    static constexpr int kCommitDelayMs = 400;
    QTimer* m_pCommitTimer = nullptr;
    QString m_strPageLabel;  // "%d/%d", shown by control 1003
    QDateTime m_timeDate;    // date picker 1034, refreshed every second
    QDateTime m_timeTime;    // time picker 1035

    // What the window asks of the user. Each may be replaced (tests do);
    // by default they run the real dialogs.
    //   Clear's "Are you sure?": true for "Si", with the check box's state.
    std::function<bool(bool& bDeleteNowTicked)> m_fnConfirmClear;
    //   The search's "go on from the first page?": true for Yes.
    std::function<bool()> m_fnAskWrapAround;
    //   The page list: the chosen index (0-based), or nothing on Cancel.
    std::function<std::optional<int>(const std::vector<std::string>& pages)> m_fnPageList;
    //   The print dialog: false when the user cancels.
    std::function<bool(QPrinter& printer)> m_fnChoosePrinter;

    // Prints a text on every page it needs, word-wrapped, in the printer's
    // default font. False when the printer reported an error.
    static bool PrintText(QPrinter& printer, const QString& text);

    // The editor's text with LF line breaks, exactly as typed (a long page
    // still being loaded is loaded completely first).
    QString EditorText();
    // A long page is put into the editor in steps; true until the last one.
    bool Loading() const;
    void FinishLoading();

    // Controls, by their template ids.
    QPlainTextEdit* Editor() const { return m_pEditor; }
    QLineEdit* FindEdit() const { return m_pFind; }
    QLineEdit* PageIndicator() const { return m_pPageLabel; }
    QDateEdit* DatePicker() const { return m_pDate; }
    QTimeEdit* TimePicker() const { return m_pTime; }
    QPushButton* Button(int id) const;
    CHelpWindow* HelpWindow() const { return m_pHelp; }
    bool ClockRunning() const;

    // Button handlers.
    void OnPrevPage();
    void OnNextPage();
    void OnClear();
    void OnLine();
    void OnInsertDate();
    void OnInsertTime();
    void OnUrl();
    void OnMail();
    void OnFind();
    void OnPageList();
    void OnPrint();
    void OnHelp();
    void OnTimer(const QDateTime& now);

signals:
    // MAIL: the user wants to write a mail through the desktop's mail program.
    void mailRequested();

protected:
    QString TitleSuffix() const override;
    void OnInitDialog() override;
    void hideEvent(QHideEvent* pEvent) override;
    void showEvent(QShowEvent* pEvent) override;
    void changeEvent(QEvent* pEvent) override;
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    QPushButton* AddButton(int id, const QString& caption, int faceId, int x, int y, int cx,
                           int cy);
    // Inserts a text after the end of the editor's selection.
    void InsertAfterSelection(const QString& text);
    void UpdatePageLabel();
    // Width the page indicator has for its text, in pixels.
    int PageLabelRoom() const;
    // The store's current page into the editor and the indicator; focus to the editor.
    void ShowCurrentPage();
    void LoadEditor();
    void SelectStored(size_t nBegin, size_t nEnd);

    ILauncher& m_launcher;
    CPageStore& m_store;
    QPlainTextEdit* m_pEditor = nullptr;
    QLineEdit* m_pFind = nullptr;
    QLineEdit* m_pPageLabel = nullptr;
    QDateEdit* m_pDate = nullptr;
    QTimeEdit* m_pTime = nullptr;
    CClockRow* m_pClock = nullptr;
    std::vector<std::pair<int, QPushButton*>> m_aButtons;
    QPointer<CHelpWindow> m_pHelp;

    CStepTextLoader* m_pLoader = nullptr;  // puts a long page into the editor in steps
    bool m_bLoading = false;               // our own changes to the editor, not the user's
    bool m_bEdited = false;                // the user changed the editor since the last commit
};

}  // namespace meru
