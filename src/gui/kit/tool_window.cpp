#include "gui/kit/tool_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QKeyEvent>
#include <QTimer>

#include "gui/kit/edge_layout.h"
#include "gui/kit/window_tray.h"

namespace meru {

CToolWindow::CToolWindow(const ToolWindowContext& context, const Template& tpl)
    : CMeruWindow(tpl), m_context(context) {
    setMenuBar(BuildMenuBar177(this, m_context.commands));

    m_pSignature = new QLabel(QStringLiteral("Tessalunde"), Client());
    m_pSignature->setAlignment(Qt::AlignCenter);
    m_pSignature->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_pSignature->setGeometry(Du().Rect(200, 269, 47, 10));
}

void CToolWindow::keyPressEvent(QKeyEvent* event) {
    // Esc leaves the window only when no control used it: an open combo list
    // or calendar is a pop-up of its own, takes the key and just closes.
    // (A window-wide shortcut would also fire for the key that closes it.)
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        HideToTray();
        return;
    }
    CMeruWindow::keyPressEvent(event);
}

void CToolWindow::Create() {
    setWindowTitle(VersionText() + TitleSuffix());
    OnInitDialog();
}

IWindowTray& CToolWindow::Tray() const {
    return m_context.pTray ? *m_context.pTray : CDesktopWindowTray::Instance();
}

void CToolWindow::HideToTray() {
    Tray().HideToTray(this);
    QWidget* main = m_context.pFocusBack;
    if (main && main->isVisible() && !main->isMinimized()) main->activateWindow();
}

void CToolWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    HideToTray();
}

void CToolWindow::changeEvent(QEvent* event) {
    CMeruWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && Tray().TrayAvailable()) {
        // Hide after the state change has been carried out.
        QTimer::singleShot(0, this, [this] {
            if (isMinimized()) HideToTray();
        });
    }
}

void CToolWindow::showEvent(QShowEvent* event) {
    if (!m_bPlaced && !event->spontaneous()) {
        m_bPlaced = true;
        const QScreen* screen = m_context.pFocusBack ? m_context.pFocusBack->screen()
                                                     : QGuiApplication::primaryScreen();
        if (IsResizable()) {
            // Opened at its described size where that fits, else as large
            // as the screen's free area allows.
            const QSize want(
                DesignSize().width(),
                DesignSize().height() + (menuBar() ? menuBar()->sizeHint().height() : 0));
            resize(FittedSize(this, want, screen));
        }
        CentreOnScreen(this, screen);
    }
    CMeruWindow::showEvent(event);
}

}  // namespace meru
