#pragma once
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/clipboard/clip_history.h"
#include "core/mail/mail_sender.h"
#include "core/store/datafile.h"
#include "core/store/meru_data.h"

class QWidget;

namespace meru {

class CBookmarksDlg;
class CClipboardDlg;
class CClipboardLink;
class CContactsDlg;
class CMainDlg;
class CMeruDlg;
class CPageStore;
class CSystemTray;
class IClipboard;
class IGlobalHotkeys;
class ILauncher;

// What the application asks of its surroundings. Every member may be left
// empty: the program then uses the real thing (dialogs, message boxes, the
// desktop's clipboard and shortcuts, QCoreApplication::exit). Tests put
// recorders and fakes here.
struct AppServices {
    // The password check at start-up: the typed password, or nothing when
    // the user cancelled.
    std::function<std::optional<std::string>()> promptStartupPassword;
    // The Password command: the new password (empty removes it), or nothing
    // when the user cancelled. Gets the current password.
    std::function<std::optional<QString>(const QString& current)> editPassword;
    // A message box with caption "meru".
    std::function<void(QMessageBox::Icon icon, const QString& text)> showMessage;
    // Exit could not save the data file: what the user wants done.
    enum class SaveFailedChoice { SaveAs, ExitWithoutSaving, Cancel };
    std::function<SaveFailedChoice(const QString& text)> askSaveFailed;
    // Another file to save the data in (full path), or nothing on Cancel.
    std::function<std::optional<QString>(const QString& current)> chooseSavePath;
    // Yes/No: "exit and lose the changes?"
    std::function<bool(const QString& text)> confirmDiscard;
    // Ends the process with `code` (the final save is done).
    std::function<void(int code)> exitProcess;
    // Settings > Browser: the program file the user chose (full path), or
    // nothing when the choice was cancelled.
    std::function<std::optional<QString>()> chooseBrowserProgram;
    // The notes window's MAIL button: the reduced "MailTo" form's To and
    // Subject, or nothing on Cancel.
    std::function<std::optional<ComposedMail>(QWidget* parent)> composeMail;
    // Makes the SMTP client the contacts window's mail is sent with; empty:
    // the real one.
    MailClientFactory mailClient;
    // Starts browsers and mail programs; not owned.
    ILauncher* launcher = nullptr;
    // The system clipboard and the global shortcuts Ctrl+1..5; not owned.
    IClipboard* clipboard = nullptr;
    IGlobalHotkeys* hotkeys = nullptr;
};

// One run of the organiser, put together: owns the data and the data file,
// the clipboard history and its link to the system clipboard, the global
// shortcuts, the tray icon, the main window and the four tool windows. The
// windows get what they work on and the services they use; what they ask for
// (a command of menu 177, "<- Notes", a mail) comes here by signals, and the
// root carries it out.
class CAppRoot : public QObject {
    Q_OBJECT
public:
    CAppRoot(const QString& strVersion, const QString& strDataPath, AppServices services = {});
    ~CAppRoot() override;

    // Start-up: tray icon, clock, clipboard seeding, LoadData, tool windows.
    // Returns false when the data file is not of this program: the tray icon
    // is gone already and the process must end with exit code 0 at once.
    // With `bDeferToolWindows` the (hidden) tool windows and the clipboard
    // subscription are made by FinishStartup() instead, once the main window
    // has been painted: the user sees it without waiting for windows that
    // are not on show yet.
    bool Create(bool bDeferToolWindows = false);
    // Makes what Create() left for later; does nothing when nothing is left.
    void FinishStartup();

    // Carries out command `id` of menu 177 or a button of the main window.
    // Returns false for an id the program does not know.
    bool OnCommand(int id);
    // Shows a window from the tray. A tool window that does not exist (the
    // data could not be read) is explained to the user instead.
    void ShowToolWindow(QWidget* w);
    // Saves and ends the program. When the save fails the user chooses:
    // save to another file (which is the data file from then on), exit
    // without saving (after a confirmation), or keep running.
    void ExitProgram();
    // The Password command.
    void OnPassword();
    // A request from the command channel ("select N", "show WINDOW",
    // "exit"); returns the answer ("ok" or "error: ..."). Shows and Exit are
    // carried out once the answer is sent.
    std::string OnChannelCommand(const std::string& line);
    // Clipboard history commands: "ClipBoard n" and Ctrl+n, "Cancella Tutto".
    void SelectClip(int n);
    void ClearAllClips();
    // Settings > Browser: the program bookmarks are opened with, and its
    // folder (the chosen path up to its last "/"), used as its working folder.
    void ChooseBrowser();
    // "<- Notes": every clipboard entry becomes a new page of the notes; the
    // notes window comes to the front.
    void AppendClipsToNotes();
    // The notes window's MAIL: the reduced form, then the mailto: hand-off.
    void ComposeMailFromNotes();

    // The desktop session is saving (commitDataRequest) or the program is
    // told to end (signal, aboutToQuit): saves as Exit does (nothing while
    // saving is not allowed). Returns the outcome; does not end anything.
    SaveOutcome SaveForSessionEnd();
    // SIGTERM, SIGINT or SIGHUP: save, then end (exit code 1 when the save
    // failed, after telling why on standard error and writing a rescue copy).
    void OnTerminationSignal(int sig);
    // Where no one can answer (session end, a signal, the display lost):
    // saves, and when that fails writes the data (same format and password)
    // to a new file in $XDG_STATE_HOME/meru/ and names it on standard error.
    // `why` starts the message.
    enum class Kept { Saved, Rescued, Lost };
    Kept SaveOrRescue(const char* why);
    // The folder rescue copies go to.
    static QString RescueFolder();
    // True once the final save is done (Exit or a signal).
    bool HasEnded() const { return m_bEnded; }

    void ShowMessage(QMessageBox::Icon icon, const QString& text);

    // The run's data; the windows work on it in place.
    CMeruData m_data;
    bool MaySave() const { return m_pFile && m_pFile->MaySave(); }
    const LoadOutcome& LastLoad() const { return m_load; }
    const QString& DataPath() const { return m_strDataPath; }
    // The tool windows were created (not after a failed read).
    bool HasToolWindows() const { return m_pNotes != nullptr; }

    // The clipboard history (never saved) and its link to the clipboard.
    CClipHistory& ClipHistory() { return m_clipHistory; }
    CClipboardLink& ClipLink() { return *m_pClipLink; }

    CMainDlg& MainWindow() const { return *m_pMain; }
    CSystemTray& Tray() const { return *m_pTray; }
    CMeruDlg* Notes() const { return m_pNotes.get(); }
    CClipboardDlg* Clipboard() const { return m_pClipboard.get(); }
    CBookmarksDlg* Bookmarks() const { return m_pBookmarks.get(); }
    CContactsDlg* Contacts() const { return m_pContacts.get(); }
    ILauncher& Launcher() const { return *m_pLauncher; }

private:
    bool LoadData();
    void CreateToolWindows();
    void DestroyToolWindows();
    void EndProcess(int code);
    // Saves the data to the file the user picks; false on Cancel or failure
    // (reported).
    bool SaveToAnotherFile();
    std::optional<std::string> AskStartupPassword();

    AppServices m_services;
    QString m_strVersion;
    QString m_strDataPath;
    bool m_bToolWindowsPending = false;
    bool m_bEnded = false;

    std::unique_ptr<ILauncher> m_pOwnLauncher;
    ILauncher* m_pLauncher = nullptr;
    std::unique_ptr<CDataFile> m_pFile;
    LoadOutcome m_load;

    CClipHistory m_clipHistory;
    std::unique_ptr<IClipboard> m_pOwnClipboard;
    // What the system clipboard holds now (UTF-8), for windows that pre-fill
    // a field from it.
    std::string ClipboardText() const;
    std::unique_ptr<CClipboardLink> m_pClipLink;
    std::unique_ptr<IGlobalHotkeys> m_pOwnHotkeys;
    IGlobalHotkeys* m_pHotkeys = nullptr;
    bool m_bClipSeeded = false;

    std::unique_ptr<CSystemTray> m_pTray;
    std::unique_ptr<CMainDlg> m_pMain;
    std::unique_ptr<CPageStore> m_pPages;
    std::unique_ptr<CMeruDlg> m_pNotes;
    std::unique_ptr<CClipboardDlg> m_pClipboard;
    std::unique_ptr<CBookmarksDlg> m_pBookmarks;
    std::unique_ptr<CContactsDlg> m_pContacts;
};

}  // namespace meru
