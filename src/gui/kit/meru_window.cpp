#include "gui/kit/meru_window.h"

#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <algorithm>
#include <cstdlib>
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
    m_design = m_du.Size(tpl.cx, tpl.cy);
    m_pClient->setFixedSize(m_design);
    setCentralWidget(m_pClient);
    // Fixed: no resizing, no maximise.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void CMeruWindow::SetResizable(const std::vector<QWidget*>& stretch) {
    m_bResizable = true;
    m_aPlaced.clear();
    QSize room = m_design;  // how far the window may shrink: the editor keeps some lines
    for (QObject* o : m_pClient->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (!w || w->isWindow()) continue;
        const bool bStretch = std::find(stretch.begin(), stretch.end(), w) != stretch.end();
        m_aPlaced.push_back({w, w->geometry(), bStretch});
        if (bStretch) room = room.boundedTo(w->size() - QSize(m_du.X(60), m_du.Y(40)));
    }
    layout()->setSizeConstraint(QLayout::SetDefaultConstraint);
    // Narrower, the controls of the top row would run into each other: only
    // the height gives way (the screens too small are the low ones).
    m_pClient->setMinimumSize(m_design.width(), m_design.height() - std::max(0, room.height()));
    m_pClient->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    m_pClient->installEventFilter(this);
}

bool CMeruWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pClient && event->type() == QEvent::Resize && m_bResizable) Relayout();
    return QMainWindow::eventFilter(watched, event);
}

void CMeruWindow::Relayout() {
    const int dx = m_pClient->width() - m_design.width();
    const int dy = m_pClient->height() - m_design.height();
    // Which edge a control keeps its distance to: 0 the left (top) one, 2 the
    // right (bottom) one, 1 neither (it stays in the middle).
    auto side = [](int nFrom, int nTo, int nWhole) {
        const int nMid2 = nFrom + nTo, nWhole2 = nWhole;
        if (std::abs(nMid2 - nWhole2) <= nWhole / 50) return 1;
        return nMid2 < nWhole2 ? 0 : 2;
    };
    for (const Placed& p : m_aPlaced) {
        if (!p.w) continue;
        QRect r = p.design;
        if (p.stretch) {
            r.setWidth(std::max(1, r.width() + dx));
            r.setHeight(std::max(1, r.height() + dy));
        } else {
            r.translate(side(r.left(), r.right() + 1, m_design.width()) * dx / 2,
                        side(r.top(), r.bottom() + 1, m_design.height()) * dy / 2);
        }
        p.w->setGeometry(r);
    }
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
