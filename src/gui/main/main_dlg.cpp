#include "gui/main/main_dlg.h"

#include <QCloseEvent>
#include <QHideEvent>
#include <QShowEvent>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QTimeEdit>
#include <QTimer>
#include <cstdio>

#include "gui/kit/menu177.h"
#include "gui/kit/resources.h"
#include "gui/bookmarks/bookmarks_dlg.h"
#include "gui/clipboard/clipboard_dlg.h"
#include "gui/contacts/contacts_dlg.h"
#include "gui/mail/mail_compose_dlg.h"
#include "gui/notes/meru_dlg.h"
#include "platform/clipboard.h"
#include "platform/launcher.h"
#include "platform/x11_hotkeys.h"
#include "gui/store/password_dlg.h"
#include "gui/tray/system_tray.h"

namespace meru {

namespace {

constexpr CMeruWindow::Template kTemplate170{272, 85, "MS Sans Serif", 8};

struct ButtonSpec {
    int id;
    const char* caption;
    int x, y, cx, cy;
    int bitmap;  // 0: a text button
};

constexpr ButtonSpec kButtons[] = {
    {1065, "Password", 208, 7, 57, 11, 0},
    {1031, "Appunti", 7, 27, 57, 51, 174},
    {1032, "Bookmarks", 74, 27, 57, 51, 176},
    {1033, "Contacts", 141, 27, 57, 51, 181},
    {1036, "Clipboard", 208, 27, 57, 51, 180},
};

QString FromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

}  // namespace

CMainDlg::CMainDlg(MainDlgServices services)
    : CMeruWindow(kTemplate170), m_services(std::move(services)) {
    if (m_services.launcher) {
        m_pLauncher = m_services.launcher;
    } else {
        m_pOwnLauncher = std::make_unique<CDesktopLauncher>();
        m_pLauncher = m_pOwnLauncher.get();
    }
    setWindowTitle(QStringLiteral("Mer versione 2.1"));
    CreateControls();
}

CMainDlg::~CMainDlg() {
    m_pNotes.reset();
    m_pClipboard.reset();
    m_pBookmarks.reset();
    m_pContacts.reset();
}

void CMainDlg::CreateControls() {
    setMenuBar(MenuBar177(this));
    const CDialogUnits& du = Du();

    m_pDate = new QDateEdit(Client());
    m_pDate->setObjectName(QStringLiteral("1034"));
    m_pDate->setCalendarPopup(true);
    m_pDate->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
    m_pDate->setGeometry(du.Rect(7, 7, 62, 15));

    m_pTime = new QTimeEdit(Client());
    m_pTime->setObjectName(QStringLiteral("1035"));
    m_pTime->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    m_pTime->setGeometry(du.Rect(76, 7, 50, 15));

    for (const ButtonSpec& b : kButtons) {
        auto* btn = new QPushButton(Client());
        btn->setObjectName(QString::number(b.id));
        btn->setAutoDefault(false);  // Enter never starts a command here
        const QString caption = QString::fromLatin1(b.caption);
        const QRect r = du.Rect(b.x, b.y, b.cx, b.cy);
        btn->setGeometry(r);
        if (b.bitmap) {
            const QSize pic(r.width() - 12, r.height() - 12);
            const int side = qMax(8, qMin(pic.width(), pic.height()));
            btn->setIcon(QIcon(res::Bitmap(b.bitmap, {side, side})));
            btn->setIconSize({side, side});
            btn->setToolTip(caption);
            btn->setAccessibleName(caption);
        } else {
            btn->setText(caption);
        }
        const int id = b.id;
        connect(btn, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
    }

    auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(esc, &QShortcut::activated, this, [this] { OnCommand(ID_EXIT); });
}

QPushButton* CMainDlg::Button(int id) const {
    return Client()->findChild<QPushButton*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

QMenuBar* CMainDlg::MenuBar177(QWidget* owner) {
    return BuildMenuBar177(owner, [this](int id) { OnCommand(id); });
}

QMenu* CMainDlg::Menu177(QWidget* parent) {
    return BuildMenu177Popup(parent, [this](int id) { OnCommand(id); });
}

bool CMainDlg::Create(bool bDeferToolWindows) {
    setWindowTitle(m_strVersion + QStringLiteral(" - [") + m_strDataPath + QStringLiteral("]"));
    if (m_pTray) m_pTray->SetMenu(Menu177(this), [this](int id) { OnCommand(id); });

    OnTimer();
    // The clock ticks while the pickers can be seen; a window in the tray
    // does not wake up every second for nothing.
    m_pClock = new QTimer(this);
    m_pClock->setInterval(1000);
    connect(m_pClock, &QTimer::timeout, this, &CMainDlg::OnTimer);
    if (isVisible()) m_pClock->start();

    // The clipboard history starts with what the clipboard holds now.
    IClipboard* clip = m_services.clipboard;
    if (!clip) {
        m_pOwnClipboard = std::make_unique<CQtClipboard>();
        clip = m_pOwnClipboard.get();
    }
    m_pClipLink = std::make_unique<CClipboardLink>(*clip, m_clipHistory);
    m_bClipSeeded = m_pClipLink->Seed();
    m_pHotkeys = m_services.hotkeys;
    if (!m_pHotkeys) {
        m_pOwnHotkeys = CreateGlobalHotkeys();
        m_pHotkeys = m_pOwnHotkeys.get();
    }

    if (!LoadData()) {
        if (m_pTray) m_pTray->DeleteIcon();
        return false;
    }
    if (m_load.status != LoadStatus::ReadError && m_load.status != LoadStatus::CannotOpen) {
        if (bDeferToolWindows) {
            m_bToolWindowsPending = true;
            // Should no paint come (no window manager maps us), do not wait long.
            QTimer::singleShot(500, this, &CMainDlg::FinishStartup);
        } else {
            CreateToolWindows();
        }
    }
    return true;
}

void CMainDlg::FinishStartup() {
    if (!m_bToolWindowsPending || m_bEnded) return;
    m_bToolWindowsPending = false;
    CreateToolWindows();
}

void CMainDlg::paintEvent(QPaintEvent* event) {
    CMeruWindow::paintEvent(event);
    // The window is on the screen: now the rest of the start-up.
    if (m_bToolWindowsPending) QTimer::singleShot(0, this, &CMainDlg::FinishStartup);
}

std::optional<std::string> CMainDlg::AskStartupPassword() {
    if (m_services.promptStartupPassword) return m_services.promptStartupPassword();
    CPasswordDlg dlg(this);
    dlg.SetRefuseHandler([this](const QString& text) { ShowMessage(QMessageBox::Warning, text); });
    if (dlg.exec() != QDialog::Accepted) return std::nullopt;
    return dlg.m_strPassword.toStdString();
}

bool CMainDlg::LoadData() {
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
            if (!m_load.message.empty()) ShowMessage(QMessageBox::Warning, FromUtf8(m_load.message));
            break;
        case LoadStatus::NoFile:
            break;
    }
    return true;
}

void CMainDlg::CreateToolWindows() {
    ToolWindowContext ctx;
    ctx.strVersion = m_strVersion;
    ctx.commands = [this](int id) { OnCommand(id); };
    ctx.pFocusBack = this;
    m_pNotes = std::make_unique<CMeruDlg>(ctx, m_data.m_aPages, m_strDataPath, *m_pLauncher);
    m_pNotes->Create();
    m_pClipboard = std::make_unique<CClipboardDlg>(ctx, m_clipHistory, *m_pClipLink);
    connect(m_pClipboard.get(), &CClipboardDlg::notesRequested, this,
            &CMainDlg::AppendClipsToNotes);
    connect(m_pClipboard.get(), &CClipboardDlg::trayIconChanged, this, [this](int nIconId) {
        if (m_pTray) m_pTray->ChangeIcon(nIconId);
    });
    // Ctrl+1..5 anywhere on the desktop: the keys are grabbed, not polled.
    if (m_pHotkeys) {
        m_pHotkeys->SetCallback([this](int n) { SelectClip(n); });
        m_pHotkeys->Start();
    }
    m_pClipboard->Create();
    m_pBookmarks = std::make_unique<CBookmarksDlg>(ctx, m_data.m_aGroups, m_data.m_browser);
    m_pBookmarks->Create();
    ContactsServices contacts;
    contacts.clipboard = m_services.clipboard ? m_services.clipboard : m_pOwnClipboard.get();
    contacts.launcher = m_pLauncher;
    contacts.composeMail = [](QWidget* parent, bool bFullForm, const ComposedMail& prefill,
                              MailSettings& settings) -> std::optional<ComposedMail> {
        CMailComposeDlg dlg(parent);
        dlg.m_nMode = bFullForm ? CMailComposeDlg::kFull : CMailComposeDlg::kReduced;
        dlg.BindSettings(settings);
        dlg.m_strTo = prefill.m_strTo;
        dlg.m_strBody = prefill.m_strBody;
        if (dlg.exec() != QDialog::Accepted) return std::nullopt;
        return dlg.Mail();
    };
    // contacts.makeMailSender: the SMTP client is plugged in here.
    m_pContacts = std::make_unique<CContactsDlg>(ctx, m_data.m_aContacts, m_data.m_mail,
                                                 m_strDataPath, std::move(contacts));
    m_pContacts->Create();

    if (m_bClipSeeded) m_pClipboard->PublishClip();
    m_pClipLink->Start();
}

void CMainDlg::DestroyToolWindows() {
    if (m_pClipLink) m_pClipLink->Stop();
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

bool CMainDlg::OnCommand(int id) {
    FinishStartup();  // a command can only come once the window is up
    switch (id) {
        case 1031:
        case ID_NOTES: ShowToolWindow(m_pNotes.get()); return true;
        case 1036:
        case ID_CLIPBOARD_OPEN: ShowToolWindow(m_pClipboard.get()); return true;
        case 1032:
        case ID_BOOKMARKS: ShowToolWindow(m_pBookmarks.get()); return true;
        case 1033:
        case ID_CONTACTS: ShowToolWindow(m_pContacts.get()); return true;
        case ID_RESTORE_MAIN: ShowToolWindow(this); return true;
        case 1065: OnPassword(); return true;
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

void CMainDlg::ShowToolWindow(QWidget* w) {
    if (!w) {
        ShowMessage(QMessageBox::Warning,
                    tr("The data file\n%1\ncould not be read, so this window is not "
                       "available in this run.\nMERU will not write to the file.")
                        .arg(m_strDataPath));
        return;
    }
    CSystemTray::RestoreFromTray(w);
}

void CMainDlg::SelectClip(int n) {
    if (m_pClipboard) m_pClipboard->SelectClip(n);
}

void CMainDlg::ClearAllClips() {
    if (m_pClipboard) m_pClipboard->ClearAll();
}

void CMainDlg::AppendClipsToNotes() {
    if (!m_pNotes || !m_pClipboard) return;
    m_pNotes->AppendPages(ClipPagesForNotes(m_clipHistory.History()));
    m_pClipboard->HideToTray();
    ShowToolWindow(m_pNotes.get());
}
void CMainDlg::ChooseBrowser() {
    std::optional<QString> chosen;
    if (m_services.chooseBrowserProgram) {
        chosen = m_services.chooseBrowserProgram();
    } else {
        const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Browser"));
        if (!path.isEmpty()) chosen = path;
    }
    if (!chosen || chosen->isEmpty()) return;
    // Nothing about the file is checked: the next launch will tell.
    const qsizetype slash = chosen->lastIndexOf(QLatin1Char('/'));
    m_data.m_browser.m_strProgram = chosen->mid(slash + 1).toStdString();
    m_data.m_browser.m_strFolder = slash < 0 ? std::string() : chosen->left(slash).toStdString();
}

SaveOutcome CMainDlg::SaveForSessionEnd() {
    if (m_pNotes) m_pNotes->CommitPage();
    if (!m_pFile) return {SaveStatus::NotAllowed, {}};
    return m_pFile->SaveData(m_data);
}

void CMainDlg::ExitProgram() {
    const SaveOutcome out = SaveForSessionEnd();
    if (out.status == SaveStatus::Failed) {
        ShowMessage(QMessageBox::Critical,
                    tr("Il file dei dati non è stato salvato:\n%1\n%2\n\n"
                       "MERU keeps running so that nothing is lost.")
                        .arg(m_strDataPath, FromUtf8(out.reason)));
        return;
    }
    m_bEnded = true;
    DestroyToolWindows();
    if (m_services.exitProcess) {
        m_services.exitProcess(0);
    } else {
        QCoreApplication::exit(0);
    }
}

void CMainDlg::OnTerminationSignal(int sig) {
    const SaveOutcome out = m_bEnded ? SaveOutcome{SaveStatus::NotAllowed, {}} : SaveForSessionEnd();
    int code = 0;
    if (out.status == SaveStatus::Failed) {
        std::fprintf(stderr, "meru: signal %d: the data file %s was not saved: %s\n", sig,
                     m_strDataPath.toLocal8Bit().constData(), out.reason.c_str());
        code = 1;
    }
    m_bEnded = true;
    if (m_services.exitProcess) {
        m_services.exitProcess(code);
    } else {
        QCoreApplication::exit(code);
    }
}

void CMainDlg::OnPassword() {
    std::optional<QString> typed;
    if (m_services.editPassword) {
        typed = m_services.editPassword(FromUtf8(m_data.m_strPassword));
    } else {
        CPasswordDlg dlg(this);
        dlg.m_strPassword = FromUtf8(m_data.m_strPassword);
        dlg.SetRefuseHandler([this](const QString& text) { ShowMessage(QMessageBox::Warning, text); });
        if (dlg.exec() == QDialog::Accepted) typed = dlg.m_strPassword;
    }
    if (!typed) return;
    if (!CPasswordDlg::IsAcceptable(*typed)) {
        ShowMessage(QMessageBox::Warning, CPasswordDlg::RefusalText());
        return;
    }
    m_data.m_strPassword = typed->toStdString();
}

void CMainDlg::OnTimer() {
    const QDateTime now = QDateTime::currentDateTime();
    m_pDate->setDate(now.date());
    m_pTime->setTime(now.time());
}

void CMainDlg::ShowMessage(QMessageBox::Icon icon, const QString& text) {
    if (m_services.showMessage) {
        m_services.showMessage(icon, text);
        return;
    }
    QMessageBox box(icon, QStringLiteral("meru"), text, QMessageBox::Ok, isVisible() ? this : nullptr);
    box.exec();
}

void CMainDlg::showEvent(QShowEvent* event) {
    CMeruWindow::showEvent(event);
    if (m_pClock && !m_pClock->isActive()) {
        OnTimer();
        m_pClock->start();
    }
}

void CMainDlg::hideEvent(QHideEvent* event) {
    CMeruWindow::hideEvent(event);
    if (m_pClock && !event->spontaneous()) m_pClock->stop();
}

void CMainDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
    CSystemTray::HideToTray(this);
}

void CMainDlg::changeEvent(QEvent* event) {
    CMeruWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() &&
        CSystemTray::TrayAvailable()) {
        QTimer::singleShot(0, this, [this] {
            if (isMinimized()) CSystemTray::HideToTray(this);
        });
    }
}

}  // namespace meru
