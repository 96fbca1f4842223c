#include "gui/kit/meru_window.h"

#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <algorithm>
#include <QMenu>

#include "gui/kit/about_dlg.h"
#include "gui/kit/edge_layout.h"
#include "gui/kit/resources.h"

namespace meru {

CMeruWindow::CMeruWindow(const Template& tpl, QWidget* parent)
    : QMainWindow(parent),
      m_pClient(new QWidget(this)),
      m_du(CDialogUnits::TemplateFont(tpl.face, tpl.pointSize)) {
    setFont(CDialogUnits::TemplateFont(tpl.face, tpl.pointSize));
    setWindowIcon(res::Icon(res::kIconMeru));
    QPalette pal = m_pClient->palette();
    pal.setBrush(QPalette::Window, res::PatternBrush());
    pal.setColor(QPalette::WindowText, Qt::black);
    m_pClient->setPalette(pal);
    m_pClient->setAutoFillBackground(true);
    m_design = m_du.Size(tpl.cx, tpl.cy);
    m_pClient->setFixedSize(m_design);
    setCentralWidget(m_pClient);
    // Fixed: no resizing, no maximise.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void CMeruWindow::SetResizable(const std::vector<QWidget*>& stretch) {
    m_bResizable = true;
    // The editor keeps some lines however low the window gets.
    auto* edges = new CEdgeLayout(m_pClient, m_design, stretch, QSize(m_du.X(60), m_du.Y(40)));
    layout()->setSizeConstraint(QLayout::SetDefaultConstraint);
    m_pClient->setMinimumSize(edges->MinimumSize());
    m_pClient->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

QMenu* CMeruWindow::BuildSystemMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    QAction* about = menu->addAction(AboutCaption());
    about->setData(kAboutItem);
    connect(about, &QAction::triggered, this, [this] { ShowAbout(); });
    return menu;
}

void CMeruWindow::ShowAbout() {
    CAboutDlg dlg(VersionText(), this);
    dlg.exec();
}

void CMeruWindow::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = BuildSystemMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
    event->accept();
}

void CentreOnScreen(QWidget* w, const QScreen* screen) {
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect avail = screen->availableGeometry();
    // (Before the first showing the frame is the window itself.)
    QRect frame(w->pos(), w->frameGeometry().size().expandedTo(w->size()));
    frame.moveCenter(avail.center());
    w->move(std::max(frame.left(), avail.left()), std::max(frame.top(), avail.top()));
}

}  // namespace meru
