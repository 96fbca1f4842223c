#include "gui/kit/window_tray.h"

#include <QSystemTrayIcon>
#include <QWidget>

namespace meru {

namespace {
std::optional<bool> g_trayOverride;
}  // namespace

CDesktopWindowTray& CDesktopWindowTray::Instance() {
    static CDesktopWindowTray tray;
    return tray;
}

bool CDesktopWindowTray::TrayAvailable() const {
    if (g_trayOverride) return *g_trayOverride;
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void CDesktopWindowTray::SetTrayAvailableForTesting(std::optional<bool> available) {
    g_trayOverride = available;
}

void CDesktopWindowTray::HideToTray(QWidget* w) {
    // A window that is not on show is in the tray already (minimising it
    // would bring a never-shown window onto the screen).
    if (!w || !w->isVisible()) return;
    if (TrayAvailable()) {
        w->hide();  // a hidden top-level window has no taskbar entry
    } else {
        w->showMinimized();
    }
}

void CDesktopWindowTray::RestoreFromTray(QWidget* w) {
    if (!w) return;
    if (w->windowState() & Qt::WindowMinimized) {
        w->showNormal();  // hidden while minimised: back in its normal state
    } else {
        w->show();
    }
    w->raise();
    w->activateWindow();
}

}  // namespace meru
