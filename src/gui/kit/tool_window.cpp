#include "gui/kit/tool_window.h"

#include <QCloseEvent>
#include <QLabel>
#include <QShortcut>
#include <QTimer>

#include "gui/main/main_dlg.h"
#include "gui/tray/system_tray.h"

namespace meru {

CToolWindow::CToolWindow(CMainDlg& main, const Template& tpl)
    : CMeruWindow(tpl), m_main(main) {
    setMenuBar(main.MenuBar177(this));

    m_pSignature = new QLabel(QStringLiteral("Tessalunde"), Client());
    m_pSignature->setAlignment(Qt::AlignCenter);
    m_pSignature->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_pSignature->setGeometry(Du().Rect(200, 269, 47, 10));

    auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(esc, &QShortcut::activated, this, &CToolWindow::HideToTray);
}

void CToolWindow::Create() {
    setWindowTitle(VersionText() + TitleSuffix());
    OnInitDialog();
}

QString CToolWindow::VersionText() const { return m_main.m_strVersion; }

void CToolWindow::HideToTray() {
    CSystemTray::HideToTray(this);
    if (m_main.isVisible() && !m_main.isMinimized()) m_main.activateWindow();
}

void CToolWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    HideToTray();
}

void CToolWindow::changeEvent(QEvent* event) {
    CMeruWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() &&
        CSystemTray::TrayAvailable()) {
        // Hide after the state change has been carried out.
        QTimer::singleShot(0, this, [this] {
            if (isMinimized()) HideToTray();
        });
    }
}

}  // namespace meru
