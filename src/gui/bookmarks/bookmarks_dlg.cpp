#include "gui/bookmarks/bookmarks_dlg.h"

#include <QComboBox>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabBar>
#include <QUrl>
#include <algorithm>

#include "gui/bookmarks/bookmark_list_page.h"
#include "gui/bookmarks/rename_group_dlg.h"
#include "gui/bookmarks/url_dlg.h"
#include "gui/kit/message_box.h"
#include "gui/kit/resources.h"
#include "core/bookmarks/bookmark_html.h"
#include "core/store/datafile.h"
#include "platform/launcher.h"

namespace meru {

namespace {

constexpr CMeruWindow::Template kTemplate205{447, 292, "System", 8};

QString FromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
std::string ToUtf8(const QString& s) {
    const QByteArray b = s.toUtf8();
    return std::string(b.constData(), size_t(b.size()));
}

}  // namespace

CBookmarksDlg::CBookmarksDlg(const ToolWindowContext& context, BookmarkGroups& groups,
                             BrowserSetting& browser, ILauncher& launcher,
                             std::function<std::string()> clipboardText)
    : CToolWindow(context, kTemplate205),
      m_aGroups(groups),
      m_browser(browser),
      m_book(groups),
      m_launcher(launcher),
      m_fnClipboardText(std::move(clipboardText)) {
    m_fnShowMessage = [this](QMessageBox::Icon icon, const QString& text) {
        QMessageBox box(icon, BoxCaption(), text, QMessageBox::Ok, this);
        box.exec();
    };
    m_fnChooseImportFile = [this] {
        return QFileDialog::getOpenFileName(
            this, QStringLiteral("Import bookmarks"), QString(),
            QStringLiteral("Bookmark files (*.html *.htm);;All files (*)"));
    };
    m_fnChooseExportFile = [this] {
        return QFileDialog::getSaveFileName(
            this, QStringLiteral("Export bookmarks"), QStringLiteral("bookmarks.html"),
            QStringLiteral("Bookmark files (*.html *.htm);;All files (*)"));
    };
}

CBookmarksDlg::~CBookmarksDlg() = default;

QPushButton* CBookmarksDlg::Button(int id) const {
    return Client()->findChild<QPushButton*>(QString::number(id));
}

void CBookmarksDlg::ShowMessage(QMessageBox::Icon icon, const QString& text) {
    if (m_fnShowMessage) m_fnShowMessage(icon, text);
}

void CBookmarksDlg::OnInitDialog() {
    const CDialogUnits& du = Du();
    QWidget* client = Client();

    auto* frame = new QGroupBox(QStringLiteral("Bookmarks"), client);
    frame->setGeometry(du.Rect(3, 0, 441, 285));
    frame->lower();

    struct ButtonSpec {
        int id;
        const char* caption;
        int x;
        int face;
    };
    // Left to right, which is also the keyboard's order: Url comes first
    // and has the focus when the window opens.
    static constexpr ButtonSpec kButtons[] = {
        {1008, "Url", 10, 197},
        {1010, "Mod", 25, 131},
        {1007, "Cancella", 40, 156},
        {1009, "Dir", 55, 135},
    };
    for (const ButtonSpec& b : kButtons) {
        auto* btn = new QPushButton(client);
        btn->setObjectName(QString::number(b.id));
        btn->setAutoDefault(false);
        const QRect r = du.Rect(b.x, 10, 13, 12);
        btn->setGeometry(r);
        const int side = std::max(8, std::min(r.width(), r.height()) - 4);
        // The shared button faces (131, 156), else our own pictures.
        QIcon face = res::Icon(b.face);
        if (face.isNull()) face = QIcon(res::Bitmap(b.face, {side, side}));
        const QString caption = QString::fromLatin1(b.caption);
        if (face.isNull()) {
            btn->setText(caption);
        } else {
            btn->setIcon(face);
            btn->setIconSize({side, side});
        }
        btn->setToolTip(caption);
        btn->setAccessibleName(caption);
    }
    connect(Button(1008), &QPushButton::clicked, this, &CBookmarksDlg::AddBookmark);
    connect(Button(1010), &QPushButton::clicked, this, &CBookmarksDlg::ModifyBookmark);
    connect(Button(1007), &QPushButton::clicked, this, &CBookmarksDlg::DeleteBookmark);
    connect(Button(1009), &QPushButton::clicked, this, &CBookmarksDlg::RenameGroup);

    m_pGroups = new QComboBox(client);
    m_pGroups->setObjectName(QStringLiteral("1080"));
    m_pGroups->setGeometry(du.Rect(71, 10, 204, 12));
    // Typing into the field renames nothing and adds nothing.
    m_pGroups->setEditable(true);
    m_pGroups->setInsertPolicy(QComboBox::NoInsert);
    m_pGroups->setCompleter(nullptr);
    m_pGroups->setMaxVisibleItems(20);
    connect(m_pGroups, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) SelectGroup(index);
    });

    // The tab control: twenty vertical tabs at its left, the list page beside them.
    auto* tabArea = new QWidget(client);
    tabArea->setObjectName(QStringLiteral("1075"));
    tabArea->setGeometry(du.Rect(10, 25, 430, 238));
    m_pTabs = new QTabBar(tabArea);
    m_pTabs->setShape(QTabBar::RoundedWest);
    m_pTabs->setUsesScrollButtons(true);
    m_pTabs->setExpanding(false);
    // Tabs are drawn in the window colour; the pattern brush has none (it
    // would paint them black).
    QPalette tabColours = m_pTabs->palette();
    tabColours.setColor(QPalette::Window, QColor(232, 229, 220));
    tabColours.setColor(QPalette::Button, QColor(232, 229, 220));
    m_pTabs->setPalette(tabColours);
    for (int i = 0; i < kGroupCount; ++i) m_pTabs->addTab(QStringLiteral("Grp.%1").arg(i + 1));
    connect(m_pTabs, &QTabBar::currentChanged, this, [this](int index) {
        if (index >= 0) SelectGroup(index);
    });

    m_pPage = new CBookmarkListPage(m_book, *this, tabArea);
    m_pTabArea = tabArea;
    PlaceTabs();
    m_pPage->show();
    tabArea->installEventFilter(this);

    // Resizable: the frame and the tab control take the change; the buttons
    // and the group list keep to the top-left corner.
    SetResizable({frame, tabArea});
    RefreshWindow();
}

void CBookmarksDlg::PlaceTabs() {
    // The tabs down the left side of the tab control, the list page beside them.
    const int tabWidth = m_pTabs->sizeHint().width();
    m_pTabs->setGeometry(0, 0, tabWidth, m_pTabArea->height());
    const int x = std::max(50, tabWidth + 2);
    m_pPage->setGeometry(x, 2, m_pTabArea->width() - x - 2, m_pTabArea->height() - 4);
}

bool CBookmarksDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pTabArea && event->type() == QEvent::Resize) PlaceTabs();
    return CToolWindow::eventFilter(watched, event);
}

void CBookmarksDlg::RefreshWindow() {
    {
        const QSignalBlocker block(m_pGroups);
        QStringList names;
        for (const CBookmarkGroup& g : m_aGroups) names.push_back(FromUtf8(g.m_strName));
        m_pGroups->clear();
        m_pGroups->addItems(names);
        m_pGroups->setCurrentIndex(m_book.CurrentGroup());
    }
    {
        const QSignalBlocker block(m_pTabs);
        m_pTabs->setCurrentIndex(m_book.CurrentGroup());
    }
    if (m_pPage) m_pPage->Refresh();
}

void CBookmarksDlg::SelectGroup(int group) {
    m_book.SetCurrentGroup(group);
    RefreshWindow();
}

void CBookmarksDlg::AddBookmark() {
    CUrlDlg dlg(this);
    if (m_fnClipboardText) dlg.m_strURL = FromUtf8(m_fnClipboardText());
    if (dlg.exec() != QDialog::Accepted) return;
    m_book.Add({ToUtf8(dlg.m_strName), ToUtf8(dlg.m_strURL)});
    RefreshWindow();
}

void CBookmarksDlg::AddDroppedLink(const QString& url, const QString& title) {
    CUrlDlg dlg(this);
    dlg.m_strName = title;
    dlg.m_strURL = url;
    if (dlg.exec() != QDialog::Accepted) return;
    m_book.Add({ToUtf8(dlg.m_strName), ToUtf8(dlg.m_strURL)});
    RefreshWindow();
}

void CBookmarksDlg::ModifyBookmark() {
    CBookmark* b = m_book.Selected();
    if (!b) return;
    CUrlDlg dlg(this);
    dlg.m_strName = FromUtf8(b->m_strName);
    dlg.m_strURL = FromUtf8(b->m_strURL);
    if (dlg.exec() != QDialog::Accepted) return;
    m_book.Modify(ToUtf8(dlg.m_strName), ToUtf8(dlg.m_strURL));
    m_pPage->Refresh();
}

void CBookmarksDlg::DeleteBookmark() {
    if (m_book.Delete()) m_pPage->Refresh();
}

void CBookmarksDlg::RenameGroup() {
    CRenameGroupDlg dlg(this);
    dlg.m_strAttualName = dlg.m_strNewName = FromUtf8(m_book.Current().m_strName);
    if (dlg.exec() != QDialog::Accepted) return;
    m_book.RenameCurrent(ToUtf8(dlg.m_strNewName));
    RefreshWindow();
}

void CBookmarksDlg::OpenBookmark() {
    const CBookmark* b = m_book.Selected();
    if (!b) return;
    const BrowserLaunch launch = PlanBrowserLaunch(*b, m_browser);
    const QString address = FromUtf8(launch.address);
    if (launch.bDefaultBrowser) {
        if (!m_launcher.openUrl(QUrl(address)))
            ShowMessage(
                QMessageBox::Warning,
                QStringLiteral(
                    "Impossibile aprire l'indirizzo\n%1\n\n"
                    "No default browser could be started. Choose one with Settings > Browser.")
                    .arg(address));
        return;
    }
    const QString program = FromUtf8(launch.program);
    std::optional<std::string> problem = BrowserStartProblem(launch);
    if (!problem && !m_launcher.startDetached(program, {address}, FromUtf8(launch.workingDir)))
        problem = "The system could not start it.";
    if (problem)
        ShowMessage(QMessageBox::Warning, QStringLiteral("Impossibile avviare il browser\n%1\n%2")
                                              .arg(program, FromUtf8(*problem)));
}

void CBookmarksDlg::ImportBookmarks() {
    const QString path = m_fnChooseImportFile ? m_fnChooseImportFile() : QString();
    if (!path.isEmpty()) ImportBookmarksFrom(path);
}

void CBookmarksDlg::ExportBookmarks() {
    const QString path = m_fnChooseExportFile ? m_fnChooseExportFile() : QString();
    if (!path.isEmpty()) ExportBookmarksTo(path);
}

void CBookmarksDlg::ImportBookmarksFrom(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ShowMessage(QMessageBox::Warning, QStringLiteral("%1\n%2").arg(path, file.errorString()));
        return;
    }
    const QByteArray bytes = file.readAll();
    const ParsedBookmarks parsed =
        ParseBookmarksHtml(std::string_view(bytes.constData(), size_t(bytes.size())));
    if (!parsed.ok) {
        ShowMessage(
            QMessageBox::Warning,
            QStringLiteral("%1\n%2\n\nNothing was imported.").arg(path, FromUtf8(parsed.error)));
        return;
    }
    const ImportCount count = MergeBookmarks(m_book.Current(), parsed.links);
    RefreshWindow();
    ShowMessage(QMessageBox::Information, FromUtf8(ImportSummary(count)));
}

void CBookmarksDlg::ExportBookmarksTo(const QString& path) {
    const std::string html = ExportBookmarksHtml(m_aGroups);
    if (auto reason = WriteFileAtomically(QFile::encodeName(path).toStdString(), html))
        ShowMessage(QMessageBox::Warning, QStringLiteral("%1\n%2").arg(path, FromUtf8(*reason)));
}

}  // namespace meru
