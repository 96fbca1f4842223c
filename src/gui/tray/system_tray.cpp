#include "gui/tray/system_tray.h"

#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QWidget>

#include "gui/kit/menu177.h"
#include "gui/kit/resources.h"
#include "gui/kit/window_tray.h"

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

bool CSystemTray::IsShown() const { return m_pIcon && !m_bRemoved && m_pIcon->isVisible(); }

int CSystemTray::HandleIconMessage(QSystemTrayIcon::ActivationReason reason) {
    if (!m_pMenu || m_pMenu->actions().isEmpty()) return 0;
    QAction* first = m_pMenu->actions().first();
    switch (reason) {
        case QSystemTrayIcon::Context:
            // The menu itself is shown by the tray icon (its context menu);
            // keep "&Restore main" the default item.
            m_pMenu->setDefaultAction(first);
            return 1;
        case QSystemTrayIcon::DoubleClick:
            if (m_fnSendCommand) m_fnSendCommand(CommandOf(first));
            return 1;
        default:
            return 1;
    }
}

bool CSystemTray::TrayAvailable() { return CDesktopWindowTray::Instance().TrayAvailable(); }

void CSystemTray::SetTrayAvailableForTesting(std::optional<bool> available) {
    CDesktopWindowTray::SetTrayAvailableForTesting(available);
}

void CSystemTray::HideToTray(QWidget* w) { CDesktopWindowTray::Instance().HideToTray(w); }

void CSystemTray::RestoreFromTray(QWidget* w) { CDesktopWindowTray::Instance().RestoreFromTray(w); }

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
