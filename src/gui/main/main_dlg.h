#pragma once
#include <QMessageBox>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "gui/kit/meru_window.h"
#include "core/clipboard/clip_history.h"
#include "core/store/datafile.h"
#include "core/store/meru_data.h"

class QDateEdit;
class QMenu;
class QMenuBar;
class QPushButton;
class QTimeEdit;
class QTimer;

namespace meru {

class CBookmarksDlg;
class CClipboardDlg;
class CClipboardLink;
class CContactsDlg;
class CMeruDlg;
class CSystemTray;
class IClipboard;
class IGlobalHotkeys;
class ILauncher;

// What the main window asks of its surroundings. Every member may be left
// empty: the program then uses the real thing (dialogs, message boxes,
// QCoreApplication::exit). Tests put recorders here.
struct MainDlgServices {
    // The password check at start-up: the typed password, or nothing when
    // the user cancelled.
    std::function<std::optional<std::string>()> promptStartupPassword;
    // The Password command: the new password (empty removes it), or nothing
    // when the user cancelled. Gets the current password.
    std::function<std::optional<QString>(const QString& current)> editPassword;
    // A message box with caption "meru".
    std::function<void(QMessageBox::Icon icon, const QString& text)> showMessage;
    // Ends the process with `code` (the main window has finished its work).
    std::function<void(int code)> exitProcess;
    // Settings > Browser: the program file the user chose (full path), or
    // nothing when the choice was cancelled.
    std::function<std::optional<QString>()> chooseBrowserProgram;
    // Starts browsers and mail programs; not owned.
    ILauncher* launcher = nullptr;
    // The system clipboard and the global shortcuts Ctrl+1..5; not owned.
    IClipboard* clipboard = nullptr;
    IGlobalHotkeys* hotkeys = nullptr;
};

// The main window (dialog 170): owns all data of the run, loads the data file
// while it initialises, creates the four tool windows, carries out every
// command of menu 177 wherever it is chosen, and saves at Exit.
class CMainDlg : public CMeruWindow {
    Q_OBJECT
public:
    explicit CMainDlg(MainDlgServices services = {});
    ~CMainDlg() override;

    // Set before Create().
    QString m_strVersion;
    QString m_strDataPath;
    CSystemTray* m_pTray = nullptr;

    // The dialog's initialisation: controls, clock, LoadData, tool windows.
    // Returns false when the data file is not of this program: the tray icon
    // is gone already and the process must end with exit code 0 at once.
    // With `bDeferToolWindows` the (hidden) tool windows and the clipboard
    // subscription are made by FinishStartup() instead, which the window
    // calls itself once it has been painted: the user sees the main window
    // without waiting for windows that are not on show yet.
    bool Create(bool bDeferToolWindows = false);
    // Makes what Create() left for later; does nothing when nothing is left.
    void FinishStartup();

    // Carries out command `id` of menu 177 or a button of this window.
    // Returns false for an id the program does not know.
    bool OnCommand(int id);
    // Menu 177 for any window's menu bar; its commands come here.
    QMenuBar* MenuBar177(QWidget* owner);
    // Its first pop-up, the tray menu.
    QMenu* Menu177(QWidget* parent);

    // Shows a window from the tray: a tool window or this window itself.
    // A tool window that does not exist (the data could not be read) is
    // explained to the user instead.
    void ShowToolWindow(QWidget* w);
    // Saves and ends the program. A save that fails is reported and the
    // program keeps running.
    void ExitProgram();
    // The Password command (button 1065).
    void OnPassword();
    // The clock tick: both pickers show the current date and time.
    void OnTimer();

    // The desktop session is saving (commitDataRequest) or the program is
    // told to end (signal, aboutToQuit): saves as Exit does (nothing while
    // saving is not allowed). Returns the outcome; does not end anything.
    SaveOutcome SaveForSessionEnd();
    // SIGTERM, SIGINT or SIGHUP: save, then end (exit code 1 when the save
    // failed, after telling why on standard error).
    void OnTerminationSignal(int sig);
    // True once the final save is done (Exit or a signal).
    bool HasEnded() const { return m_bEnded; }

    // Clipboard history commands.
    virtual void SelectClip(int n);
    virtual void ClearAllClips();
    // Settings > Browser: the program bookmarks are opened with, and its
    // folder (the chosen path up to its last "/"), used as its working folder.
    virtual void ChooseBrowser();
    // "<- Notes": every clipboard entry becomes a new page of the notes; the
    // notes window comes to the front.
    void AppendClipsToNotes();
    // The clipboard history (m_aClipHistory, m_nClipCur); never saved.
    CClipHistory& ClipHistory() { return m_clipHistory; }

    QString VersionText() const override { return m_strVersion; }
    void ShowMessage(QMessageBox::Icon icon, const QString& text);

    // The run's data and the file they come from.
    CMeruData m_data;
    bool MaySave() const { return m_pFile && m_pFile->MaySave(); }
    const LoadOutcome& LastLoad() const { return m_load; }
    // The tool windows were created (not after a failed read).
    bool HasToolWindows() const { return m_pNotes != nullptr; }

    CMeruDlg* Notes() const { return m_pNotes.get(); }
    CClipboardDlg* Clipboard() const { return m_pClipboard.get(); }
    CBookmarksDlg* Bookmarks() const { return m_pBookmarks.get(); }
    CContactsDlg* Contacts() const { return m_pContacts.get(); }
    ILauncher& Launcher() const { return *m_pLauncher; }

    QDateEdit* DatePicker() const { return m_pDate; }
    QTimeEdit* TimePicker() const { return m_pTime; }
    QPushButton* Button(int id) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void CreateControls();
    bool LoadData();
    void CreateToolWindows();
    void DestroyToolWindows();
    std::optional<std::string> AskStartupPassword();

    MainDlgServices m_services;
    bool m_bToolWindowsPending = false;
    std::unique_ptr<ILauncher> m_pOwnLauncher;
    ILauncher* m_pLauncher = nullptr;
    std::unique_ptr<CDataFile> m_pFile;

    CClipHistory m_clipHistory;
    std::unique_ptr<IClipboard> m_pOwnClipboard;
    std::unique_ptr<CClipboardLink> m_pClipLink;
    std::unique_ptr<IGlobalHotkeys> m_pOwnHotkeys;
    IGlobalHotkeys* m_pHotkeys = nullptr;
    bool m_bClipSeeded = false;
    LoadOutcome m_load;
    bool m_bEnded = false;

    std::unique_ptr<CMeruDlg> m_pNotes;
    std::unique_ptr<CClipboardDlg> m_pClipboard;
    std::unique_ptr<CBookmarksDlg> m_pBookmarks;
    std::unique_ptr<CContactsDlg> m_pContacts;

    QDateEdit* m_pDate = nullptr;
    QTimeEdit* m_pTime = nullptr;
    QTimer* m_pClock = nullptr;
};

}  // namespace meru
