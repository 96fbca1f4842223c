#include "gui/kit/meru_window.h"

#include <QContextMenuEvent>
#include <QMenu>

#include "gui/kit/about_dlg.h"
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
    m_pClient->setFixedSize(m_du.Size(tpl.cx, tpl.cy));
    setCentralWidget(m_pClient);
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

}  // namespace meru
