#include "gui/tray/system_tray.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>

#include "gui/kit/menu177.h"
#include "gui/kit/resources.h"

namespace meru {

namespace {
CSystemTray* g_pInstalled = nullptr;  // the icon whose place FindTrayRect reports
}  // namespace

CSystemTray::CSystemTray(QObject* parent) : QObject(parent) {}

CSystemTray::~CSystemTray() {
    DeleteIcon();
    if (g_pInstalled == this) g_pInstalled = nullptr;
}

bool CSystemTray::Install(QWidget* pParent, const QString& strTooltip, int nIconId, int nId) {
    if (m_pIcon) return false;
    m_nId = nId;
    m_nIconId = nIconId;
    (void)pParent;  // the icon belongs to this object, whichever window it serves
    m_pIcon = new QSystemTrayIcon(res::Icon(nIconId), this);
    m_pIcon->setToolTip(strTooltip);
    connect(m_pIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason r) { HandleIconMessage(r); });
    // When the tray host goes away and comes back (a panel restart), Qt
    // embeds the icon again by itself as long as it stays visible.
    m_pIcon->show();
    // The icon's widget in an XEmbed tray is made (and made again when the
    // tray host is replaced) inside Qt, so it is watched from the application.
    qApp->installEventFilter(this);
    m_bRemoved = false;
    g_pInstalled = this;
    return true;
}

void CSystemTray::SetMenu(QMenu* pMenu, std::function<void(int)> sendCommand) {
    m_pMenu = pMenu;
    m_fnSendCommand = std::move(sendCommand);
    if (pMenu && !pMenu->actions().isEmpty()) {
        QAction* first = pMenu->actions().first();
        pMenu->setDefaultAction(first);  // drawn bold
    }
    if (m_pIcon) m_pIcon->setContextMenu(pMenu);
}

bool CSystemTray::ChangeIcon(int nIconId) {
    const QIcon icon = res::Icon(nIconId);
    if (icon.isNull() || !m_pIcon) return false;
    m_nIconId = nIconId;
    m_pIcon->setIcon(icon);
    return true;
}

bool CSystemTray::DeleteIcon() {
    if (m_bRemoved || !m_pIcon) return true;
    m_pIcon->hide();
    m_pIcon->setContextMenu(nullptr);
    m_bRemoved = true;
    return true;
}

bool CSystemTray::eventFilter(QObject* pWatched, QEvent* pEvent) {
    // Qt's XEmbed tray icon turns a second right-click within the
    // double-click time into a double-click that it ignores, so right-click,
    // Esc, right-click brought no menu. A right-button double-click on the
    // icon opens the menu as the press would have.
    if (pEvent->type() == QEvent::MouseButtonDblClick && m_pIcon && !m_bRemoved &&
        pWatched->objectName() == QLatin1String("QSystemTrayIconSys")) {
        auto* pMouse = static_cast<QMouseEvent*>(pEvent);
        if (pMouse->button() == Qt::RightButton && m_pIcon->contextMenu()) {
            m_pIcon->contextMenu()->popup(pMouse->globalPosition().toPoint());
            HandleIconMessage(QSystemTrayIcon::Context);
            return true;
        }
    }
    return QObject::eventFilter(pWatched, pEvent);
}

bool CSystemTray::IsXEmbed() {
    // Qt draws an XEmbed tray icon in a widget of its own; a StatusNotifierItem
    // has none (the panel draws it).
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("QSystemTrayIconSys")) return true;
    return false;
}

bool CSystemTray::IsShown() const { return m_pIcon && !m_bRemoved && m_pIcon->isVisible(); }

int CSystemTray::HandleIconMessage(QSystemTrayIcon::ActivationReason reason) {
    if (!m_pMenu || m_pMenu->actions().isEmpty()) return 0;
    QAction* first = m_pMenu->actions().first();
    switch (reason) {
        case QSystemTrayIcon::Context:
            // Keep "&Restore main" the default item.
            m_pMenu->setDefaultAction(first);
            // In an XEmbed tray Qt shows the menu itself, and most
            // StatusNotifierItem panels show their own copy of it (read over
            // D-Bus) without asking. A panel that asks the item to show its
            // menu instead (swaybar, for one) reaches Qt only as this
            // activation, and Qt shows nothing: the menu opens here, at the
            // pointer, which is on the icon that was right-clicked.
            if (!IsXEmbed() && !m_pMenu->isVisible()) m_pMenu->popup(QCursor::pos());
            return 1;
        case QSystemTrayIcon::DoubleClick:
            if (m_fnSendCommand) m_fnSendCommand(CommandOf(first));
            return 1;
        case QSystemTrayIcon::Trigger:
            // A StatusNotifierItem panel (Plasma, Xfce, GNOME's AppIndicator)
            // passes on a click, single or double, only as an activation: that
            // restores the main window there, the panel's own convention. In
            // an XEmbed tray Qt sends it for every single click, which does
            // nothing; the double-click restores.
            if (!IsXEmbed() && m_fnSendCommand) m_fnSendCommand(CommandOf(first));
            return 1;
        default: return 1;
    }
}

void CSystemTray::FindTrayRect(QRect& rect) {
    if (g_pInstalled && g_pInstalled->m_pIcon) {
        const QRect g = g_pInstalled->m_pIcon->geometry();
        if (!g.isEmpty()) {
            rect = g;
            return;
        }
    }
    QRect area(0, 0, 1024, 768);
    if (QScreen* s = QGuiApplication::primaryScreen()) area = s->availableGeometry();
    rect = QRect(area.right() - 150 + 1, area.bottom() - 30 + 1, 150, 30);
}

}  // namespace meru
