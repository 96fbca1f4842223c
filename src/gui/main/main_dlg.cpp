#include "gui/main/main_dlg.h"

#include <QCloseEvent>
#include <QDateEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTimeEdit>
#include <QTimer>

#include "gui/kit/clock_row.h"
#include "gui/kit/menu177.h"
#include "gui/kit/resources.h"
#include "gui/kit/window_tray.h"

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
    {CMainDlg::IDC_PASSWORD, "Password", 208, 7, 57, 11, 0},
    {CMainDlg::IDC_NOTES, "Appunti", 7, 27, 57, 51, 174},
    {CMainDlg::IDC_BOOKMARKS, "Bookmarks", 74, 27, 57, 51, 176},
    {CMainDlg::IDC_CONTACTS, "Contacts", 141, 27, 57, 51, 181},
    {CMainDlg::IDC_CLIPBOARD, "Clipboard", 208, 27, 57, 51, 180},
};

}  // namespace

CMainDlg::CMainDlg(const QString& strVersion, IWindowTray* pTray)
    : CMeruWindow(kTemplate170), m_strVersion(strVersion), m_pTray(pTray) {
    setWindowTitle(QStringLiteral("Mer versione 2.1"));
    CreateControls();
}

void CMainDlg::SetDataPath(const QString& strDataPath) {
    setWindowTitle(m_strVersion + QStringLiteral(" - [") + strDataPath + QStringLiteral("]"));
}

void CMainDlg::CreateControls() {
    setMenuBar(BuildMenuBar177(this, [this](int id) { emit command(id); }));
    const CDialogUnits& du = Du();

    m_pDate = new QDateEdit(Client());
    m_pDate->setObjectName(QString::number(IDC_DATE));
    m_pDate->setCalendarPopup(true);
    m_pDate->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
    m_pDate->setGeometry(du.Rect(7, 7, 62, 15));

    m_pTime = new QTimeEdit(Client());
    m_pTime->setObjectName(QString::number(IDC_TIME));
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
        connect(btn, &QPushButton::clicked, this, [this, id] { emit command(id); });
    }

    auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(esc, &QShortcut::activated, this, [this] { emit command(ID_EXIT); });

    // The clock ticks while the pickers can be seen; a window in the tray
    // does not wake up every second for nothing.
    m_pClock = new CClockRow(this, m_pDate, m_pTime);
}

QPushButton* CMainDlg::Button(int id) const {
    return Client()->findChild<QPushButton*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

bool CMainDlg::ClockRunning() const { return m_pClock->IsRunning(); }

IWindowTray& CMainDlg::Tray() const { return m_pTray ? *m_pTray : CDesktopWindowTray::Instance(); }

void CMainDlg::paintEvent(QPaintEvent* event) {
    CMeruWindow::paintEvent(event);
    emit painted();
}

void CMainDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
    Tray().HideToTray(this);
}

void CMainDlg::changeEvent(QEvent* event) {
    CMeruWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && Tray().TrayAvailable()) {
        QTimer::singleShot(0, this, [this] {
            if (isMinimized()) Tray().HideToTray(this);
        });
    }
}

}  // namespace meru
