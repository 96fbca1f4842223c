#include "app/app_root.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <cstdio>

#include "core/mail/mailto.h"
#include "core/notes/page_store.h"
#include "core/store/file_io.h"
#include "gui/bookmarks/bookmarks_dlg.h"
#include "gui/clipboard/clip_link.h"
#include "gui/clipboard/clipboard_dlg.h"
#include "gui/contacts/contacts_dlg.h"
#include "gui/kit/menu177.h"
#include "gui/kit/message_box.h"
#include "gui/kit/resources.h"
#include "gui/kit/tool_window.h"
#include "gui/kit/window_tray.h"
#include "gui/mail/mail_compose_dlg.h"
#include "gui/main/main_dlg.h"
#include "gui/notes/meru_dlg.h"
#include "gui/store/password_dlg.h"
#include "gui/tray/system_tray.h"
#include "platform/clipboard.h"
#include "platform/launcher.h"
#include "platform/portal_shortcuts.h"
#include "platform/wayland_data_control.h"
#include "platform/x11_hotkeys.h"

namespace meru {

namespace {

QString FromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// Menu 177 is the tray's menu; its id names it when the icon is installed.
constexpr int kMenu177 = 177;

}  // namespace

CAppRoot::CAppRoot(const QString& strVersion, const QString& strDataPath, AppServices services)
    : m_services(std::move(services)), m_strVersion(strVersion), m_strDataPath(strDataPath) {
    if (m_services.launcher) {
        m_pLauncher = m_services.launcher;
    } else {
        m_pOwnLauncher = std::make_unique<CDesktopLauncher>();
        m_pLauncher = m_pOwnLauncher.get();
    }
    m_pTray = std::make_unique<CSystemTray>();
    m_pMain = std::make_unique<CMainDlg>(m_strVersion);
    connect(m_pMain.get(), &CMainDlg::command, this, &CAppRoot::OnCommand);
    connect(m_pMain.get(), &CMainDlg::painted, this, [this] {
        // The main window is on the screen: now the rest of the start-up.
        if (m_bToolWindowsPending) QTimer::singleShot(0, this, &CAppRoot::FinishStartup);
    });
}

CAppRoot::~CAppRoot() {
    m_pNotes.reset();
    m_pClipboard.reset();
    m_pBookmarks.reset();
    m_pContacts.reset();
    m_pMain.reset();
}

bool CAppRoot::Create(bool bDeferToolWindows) {
    m_pTray->Install(m_pMain.get(), m_strVersion, res::kIconTray, kMenu177);
    m_pMain->SetDataPath(m_strDataPath);
    const CommandSink sink = [this](int id) { OnCommand(id); };
    m_pTray->SetMenu(BuildMenu177Popup(m_pMain.get(), sink), sink);

    // The clipboard history starts with what the clipboard holds now.
    IClipboard* clip = m_services.clipboard;
    if (!clip) {
        // In a Wayland session the compositor's data-control when it has it.
        std::string note;
        m_pOwnClipboard = CreateDesktopClipboard(&note);
        if (!note.empty()) std::fprintf(stderr, "%s\n", note.c_str());
        clip = m_pOwnClipboard.get();
    }
    m_pClipLink = std::make_unique<CClipboardLink>(*clip, m_clipHistory);
    // Every publication sets the tray's picture: the entry's digit or the plain icon.
    connect(m_pClipLink.get(), &CClipboardLink::published, this, [this](const ClipPublication& p) {
        if (p.bTray) m_pTray->ChangeIcon(p.nTrayIcon);
    });
    m_bClipSeeded = m_pClipLink->Seed();
    m_pHotkeys = m_services.hotkeys;
    if (!m_pHotkeys) {
        // The X11 grab, or in a Wayland session the desktop's portal first.
        m_pOwnHotkeys = CreateDesktopHotkeys();
        m_pHotkeys = m_pOwnHotkeys.get();
    }

    if (!LoadData()) {
        m_pTray->DeleteIcon();
        return false;
    }
    if (m_load.status != LoadStatus::ReadError && m_load.status != LoadStatus::CannotOpen) {
        if (bDeferToolWindows) {
            m_bToolWindowsPending = true;
            // Should no paint come (no window manager maps us), do not wait long.
            QTimer::singleShot(500, this, &CAppRoot::FinishStartup);
        } else {
            CreateToolWindows();
        }
    }
    return true;
}

void CAppRoot::FinishStartup() {
    if (!m_bToolWindowsPending || m_bEnded) return;
    m_bToolWindowsPending = false;
    CreateToolWindows();
}

std::optional<std::string> CAppRoot::AskStartupPassword() {
    if (m_services.promptStartupPassword) return m_services.promptStartupPassword();
    CPasswordDlg dlg(m_pMain.get());
    dlg.SetRefuseHandler([this](const QString& text) { ShowMessage(QMessageBox::Warning, text); });
    // The main window is not on the screen yet to centre it on.
    if (!m_pMain->isVisible()) CentreOnScreen(&dlg, m_pMain->screen());
    if (dlg.exec() != QDialog::Accepted) return std::nullopt;
    return dlg.m_strPassword.toStdString();
}

bool CAppRoot::LoadData() {
    // The path as the file system spells it (the locale's encoding).
    m_pFile = std::make_unique<CDataFile>(QFile::encodeName(m_strDataPath).toStdString());
    m_load = m_pFile->LoadData(m_data, [this] { return AskStartupPassword(); });
    switch (m_load.status) {
        case LoadStatus::BadTag:
        case LoadStatus::BadVersion:
            ShowMessage(QMessageBox::Warning, FromUtf8(m_load.message));
            return false;
        case LoadStatus::ReadError:
            ShowMessage(QMessageBox::Critical, FromUtf8(m_load.message));
            break;
        case LoadStatus::CannotOpen:
            ShowMessage(QMessageBox::Warning,
                        tr("Impossibile leggere il file dei dati\n%1\n%2\n\n"
                           "MERU runs without your data and will not write to this file.")
                            .arg(m_strDataPath, FromUtf8(m_load.reason)));
            break;
        case LoadStatus::Loaded:
            if (!m_load.message.empty())
                ShowMessage(QMessageBox::Warning, FromUtf8(m_load.message));
            break;
        case LoadStatus::NoFile: break;
    }
    return true;
}

std::string CAppRoot::ClipboardText() const {
    const IClipboard* clip = m_services.clipboard ? m_services.clipboard : m_pOwnClipboard.get();
    return clip ? clip->Text() : std::string();
}

void CAppRoot::CreateToolWindows() {
    ToolWindowContext ctx;
    ctx.strVersion = m_strVersion;
    ctx.commands = [this](int id) { OnCommand(id); };
    ctx.pFocusBack = m_pMain.get();

    m_pPages = std::make_unique<CPageStore>(m_data.m_aPages);
    m_pNotes = std::make_unique<CMeruDlg>(ctx, *m_pPages, m_strDataPath, *m_pLauncher);
    connect(m_pNotes.get(), &CMeruDlg::mailRequested, this, &CAppRoot::ComposeMailFromNotes);
    m_pNotes->Create();

    m_pClipboard = std::make_unique<CClipboardDlg>(ctx, m_clipHistory, *m_pClipLink);
    connect(m_pClipboard.get(), &CClipboardDlg::notesRequested, this,
            &CAppRoot::AppendClipsToNotes);
    // Ctrl+1..5 anywhere on the desktop: the keys are grabbed, not polled.
    m_pHotkeys->SetCallback([this](int n) { SelectClip(n); });
    m_pHotkeys->Start();
    m_pClipboard->Create();

    m_pBookmarks = std::make_unique<CBookmarksDlg>(
        ctx, m_data.m_aGroups, m_data.m_browser, *m_pLauncher, [this] { return ClipboardText(); });
    m_pBookmarks->Create();
    ContactsServices contacts;
    contacts.clipboard = m_services.clipboard ? m_services.clipboard : m_pOwnClipboard.get();
    contacts.launcher = m_pLauncher;
    const MailClientFactory mailClient =
        m_services.mailClient ? m_services.mailClient : MailClientFactory(&MakeSmtpClient);
    contacts.composeMail = [mailClient](QWidget* parent, bool bFullForm,
                                        const ComposedMail& prefill,
                                        MailSettings& settings) -> std::optional<ComposedMail> {
        CMailComposeDlg dlg(parent);
        dlg.m_nMode = bFullForm ? CMailComposeDlg::kFull : CMailComposeDlg::kReduced;
        dlg.BindSettings(settings);
        if (bFullForm) dlg.SetMailClientFactory(mailClient);
        dlg.m_strTo = prefill.m_strTo;
        dlg.m_strBody = prefill.m_strBody;
        if (dlg.exec() != QDialog::Accepted) return std::nullopt;
        return dlg.Mail();
    };
    m_pContacts = std::make_unique<CContactsDlg>(ctx, m_data.m_aContacts, m_data.m_mail,
                                                 m_strDataPath, std::move(contacts));
    m_pContacts->Create();

    if (m_bClipSeeded) m_pClipboard->PublishClip();
    m_pClipLink->Start();
}

void CAppRoot::DestroyToolWindows() {
    if (m_pClipLink) m_pClipLink->Stop();
    if (m_pHotkeys) m_pHotkeys->Stop();
    // Exit may have been chosen in one of these windows' own menu bar, which
    // is still busy delivering the command: let them go once it returns.
    for (CToolWindow* w : {static_cast<CToolWindow*>(m_pNotes.release()),
                           static_cast<CToolWindow*>(m_pClipboard.release()),
                           static_cast<CToolWindow*>(m_pBookmarks.release()),
                           static_cast<CToolWindow*>(m_pContacts.release())}) {
        if (w) {
            w->hide();
            w->deleteLater();
        }
    }
}

bool CAppRoot::OnCommand(int id) {
    FinishStartup();  // a command can only come once the main window is up
    switch (id) {
        case CMainDlg::IDC_NOTES:
        case ID_NOTES: ShowToolWindow(m_pNotes.get()); return true;
        case CMainDlg::IDC_CLIPBOARD:
        case ID_CLIPBOARD_OPEN: ShowToolWindow(m_pClipboard.get()); return true;
        case CMainDlg::IDC_BOOKMARKS:
        case ID_BOOKMARKS: ShowToolWindow(m_pBookmarks.get()); return true;
        case CMainDlg::IDC_CONTACTS:
        case ID_CONTACTS: ShowToolWindow(m_pContacts.get()); return true;
        case ID_RESTORE_MAIN: ShowToolWindow(m_pMain.get()); return true;
        case CMainDlg::IDC_PASSWORD: OnPassword(); return true;
        case ID_CLIPBOARD_CLEAR: ClearAllClips(); return true;
        case ID_BROWSER: ChooseBrowser(); return true;
        case ID_EXIT: ExitProgram(); return true;
        default:
            if (id >= ID_CLIPBOARD_1 && id <= ID_CLIPBOARD_5) {
                SelectClip(id - ID_CLIPBOARD_1 + 1);
                return true;
            }
            return false;
    }
}

std::string CAppRoot::OnChannelCommand(const std::string& line) {
    FinishStartup();
    if (line.size() == 8 && line.compare(0, 7, "select ") == 0 && line[7] >= '1' &&
        line[7] <= '5') {
        if (!m_pClipboard) return "error: the clipboard history is not available in this run";
        SelectClip(line[7] - '0');
        return "ok";
    }
    int id = 0;
    if (line == "exit")
        id = ID_EXIT;
    else if (line == "show main")
        id = ID_RESTORE_MAIN;
    else if (line == "show notes")
        id = ID_NOTES;
    else if (line == "show clipboard")
        id = ID_CLIPBOARD_OPEN;
    else if (line == "show bookmarks")
        id = ID_BOOKMARKS;
    else if (line == "show contacts")
        id = ID_CONTACTS;
    if (!id) return "error: unknown command \"" + line.substr(0, 40) + "\"";
    QTimer::singleShot(0, this, [this, id] { OnCommand(id); });
    return "ok";
}

void CAppRoot::ShowToolWindow(QWidget* w) {
    if (!w) {
        ShowMessage(QMessageBox::Warning,
                    tr("The data file\n%1\ncould not be read, so this window is not "
                       "available in this run.\nMERU will not write to the file.")
                        .arg(m_strDataPath));
        return;
    }
    m_pMain->Tray().RestoreFromTray(w);
}

void CAppRoot::SelectClip(int n) {
    // Without the clipboard window (the data could not be read) the history
    // is not published anywhere.
    if (!m_pClipboard) return;
    if (auto p = m_clipHistory.SelectClip(n)) m_pClipLink->Apply(*p);
}

void CAppRoot::ClearAllClips() {
    if (!m_pClipboard) return;
    m_pClipLink->Apply(m_clipHistory.ClearAll());
}

void CAppRoot::AppendClipsToNotes() {
    if (!m_pNotes || !m_pClipboard) return;
    m_pPages->AppendPages(ClipPagesForNotes(m_clipHistory.History()));
    m_pNotes->PagesAppended();
    m_pClipboard->HideToTray();
    ShowToolWindow(m_pNotes.get());
}

void CAppRoot::ComposeMailFromNotes() {
    std::optional<ComposedMail> mail;
    if (m_services.composeMail) {
        mail = m_services.composeMail(m_pNotes.get());
    } else {
        CMailComposeDlg dlg(m_pNotes.get());
        dlg.m_nMode = CMailComposeDlg::kReduced;
        if (dlg.exec() == QDialog::Accepted) mail = dlg.Mail();
    }
    if (!mail) return;
    const std::string url = FormMailtoUrl(mail->m_strTo, mail->m_strSubject);
    m_pLauncher->openUrl(QUrl::fromEncoded(QByteArray::fromStdString(url), QUrl::StrictMode));
}

void CAppRoot::ChooseBrowser() {
    std::optional<QString> chosen;
    if (m_services.chooseBrowserProgram) {
        chosen = m_services.chooseBrowserProgram();
    } else {
        const QString path = QFileDialog::getOpenFileName(m_pMain.get(), QStringLiteral("Browser"));
        if (!path.isEmpty()) chosen = path;
    }
    if (!chosen || chosen->isEmpty()) return;
    // Nothing about the file is checked: the next launch will tell.
    const qsizetype slash = chosen->lastIndexOf(QLatin1Char('/'));
    m_data.m_browser.m_strProgram = chosen->mid(slash + 1).toStdString();
    m_data.m_browser.m_strFolder = slash < 0 ? std::string() : chosen->left(slash).toStdString();
}

SaveOutcome CAppRoot::SaveForSessionEnd() {
    if (m_pNotes) m_pNotes->CommitPage();
    if (!m_pFile) return {SaveStatus::NotAllowed, {}};
    return m_pFile->SaveData(m_data);
}

void CAppRoot::EndProcess(int code) {
    if (m_services.exitProcess) {
        m_services.exitProcess(code);
    } else {
        QCoreApplication::exit(code);
    }
}

void CAppRoot::ExitProgram() {
    for (;;) {
        const SaveOutcome out = SaveForSessionEnd();
        if (out.status != SaveStatus::Failed) break;
        const QString text = tr("Il file dei dati non è stato salvato:\n%1\n%2")
                                 .arg(m_strDataPath, FromUtf8(out.reason));
        using Choice = AppServices::SaveFailedChoice;
        Choice choice = Choice::Cancel;
        if (m_services.askSaveFailed) {
            choice = m_services.askSaveFailed(text);
        } else {
            QMessageBox box(QMessageBox::Critical, BoxCaption(), text, QMessageBox::NoButton,
                            m_pMain->isVisible() ? m_pMain.get() : nullptr);
            QPushButton* saveAs = box.addButton(tr("Save &as..."), QMessageBox::AcceptRole);
            QPushButton* discard =
                box.addButton(tr("E&xit without saving"), QMessageBox::DestructiveRole);
            QPushButton* cancel = box.addButton(QMessageBox::Cancel);
            box.setDefaultButton(saveAs);
            box.setEscapeButton(cancel);
            box.exec();
            if (box.clickedButton() == saveAs) choice = Choice::SaveAs;
            if (box.clickedButton() == discard) choice = Choice::ExitWithoutSaving;
        }
        if (choice == Choice::Cancel) return;  // keeps running, nothing lost
        if (choice == Choice::SaveAs) {
            if (SaveToAnotherFile()) break;
            continue;  // cancelled or failed: ask again
        }
        const QString question =
            tr("Exit without saving?\nEverything changed since MERU started (notes, "
               "bookmarks, contacts, settings) is lost; %1 stays as it was.")
                .arg(m_strDataPath);
        const bool bSure =
            m_services.confirmDiscard
                ? m_services.confirmDiscard(question)
                : QMessageBox::question(m_pMain->isVisible() ? m_pMain.get() : nullptr,
                                        BoxCaption(), question, QMessageBox::Yes | QMessageBox::No,
                                        QMessageBox::No) == QMessageBox::Yes;
        if (bSure) break;
    }
    m_bEnded = true;
    DestroyToolWindows();
    EndProcess(0);
}

bool CAppRoot::SaveToAnotherFile() {
    std::optional<QString> chosen;
    if (m_services.chooseSavePath) {
        chosen = m_services.chooseSavePath(m_strDataPath);
    } else {
        const QString path = QFileDialog::getSaveFileName(
            m_pMain->isVisible() ? m_pMain.get() : nullptr, tr("Save the data as"),
            QDir::homePath() + QStringLiteral("/meru.mer"), tr("MERU data (*.mer);;All files (*)"));
        if (!path.isEmpty()) chosen = path;
    }
    if (!chosen || chosen->isEmpty() || !m_pFile) return false;
    const std::string old = m_pFile->Path();
    m_pFile->Retarget(QFile::encodeName(*chosen).toStdString());
    if (m_pNotes) m_pNotes->CommitPage();
    const SaveOutcome out = m_pFile->SaveData(m_data);
    if (out.status == SaveStatus::Failed) {
        m_pFile->Retarget(old);
        ShowMessage(
            QMessageBox::Critical,
            tr("Il file dei dati non è stato salvato:\n%1\n%2").arg(*chosen, FromUtf8(out.reason)));
        return false;
    }
    // The new file is the data file for the rest of the run.
    m_strDataPath = *chosen;
    m_pMain->SetDataPath(m_strDataPath);
    if (m_pNotes) m_pNotes->SetDataPath(m_strDataPath);
    return true;
}

QString CAppRoot::RescueFolder() {
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/meru");
}

CAppRoot::Kept CAppRoot::SaveOrRescue(const char* why) {
    const SaveOutcome out = SaveForSessionEnd();
    if (out.status != SaveStatus::Failed) return Kept::Saved;
    std::fprintf(stderr, "meru: %s: the data file %s was not saved: %s\n", why,
                 m_strDataPath.toLocal8Bit().constData(), out.reason.c_str());
    const QString folder = RescueFolder();
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "meru: no rescue copy: cannot create %s\n",
                     folder.toLocal8Bit().constData());
        return Kept::Lost;
    }
    QFile::setPermissions(folder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString name =
        QStringLiteral("meru-rescue-%1-%2.mer")
            .arg(QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-hhmmss")))
            .arg(QCoreApplication::applicationPid());
    const QString path = folder + QLatin1Char('/') + name;
    std::string bytes;
    try {
        bytes = SerializeData(m_data);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "meru: no rescue copy: %s\n", e.what());
        return Kept::Lost;
    }
    if (auto reason = WriteFileAtomically(QFile::encodeName(path).toStdString(), bytes)) {
        std::fprintf(stderr, "meru: no rescue copy %s: %s\n", path.toLocal8Bit().constData(),
                     reason->c_str());
        return Kept::Lost;
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    std::fprintf(stderr, "meru: the data were saved to the rescue copy %s\n",
                 path.toLocal8Bit().constData());
    std::fflush(stderr);
    return Kept::Rescued;
}

void CAppRoot::OnTerminationSignal(int sig) {
    int code = 0;
    if (!m_bEnded) {
        const std::string why = "signal " + std::to_string(sig);
        if (SaveOrRescue(why.c_str()) != Kept::Saved) code = 1;
    }
    m_bEnded = true;
    EndProcess(code);
}

void CAppRoot::OnPassword() {
    std::optional<QString> typed;
    if (m_services.editPassword) {
        typed = m_services.editPassword(FromUtf8(m_data.m_strPassword));
    } else {
        CPasswordDlg dlg(m_pMain.get(), CPasswordDlg::Mode::Set);
        dlg.m_strPassword = FromUtf8(m_data.m_strPassword);
        dlg.SetRefuseHandler(
            [this](const QString& text) { ShowMessage(QMessageBox::Warning, text); });
        if (dlg.exec() == QDialog::Accepted) typed = dlg.m_strPassword;
    }
    if (!typed) return;
    if (!CPasswordDlg::IsAcceptable(*typed)) {
        ShowMessage(QMessageBox::Warning, CPasswordDlg::RefusalText());
        return;
    }
    m_data.m_strPassword = typed->toStdString();
}

void CAppRoot::ShowMessage(QMessageBox::Icon icon, const QString& text) {
    if (m_services.showMessage) {
        m_services.showMessage(icon, text);
        return;
    }
    QWidget* parent = m_pMain->isVisible() ? m_pMain.get() : nullptr;
    QMessageBox box(icon, BoxCaption(), text, QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace meru
