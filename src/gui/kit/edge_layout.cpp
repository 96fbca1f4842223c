#include "gui/kit/edge_layout.h"

#include <QDialog>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>
#include <QWidget>
#include <algorithm>
#include <cstdlib>

#include "gui/kit/meru_window.h"

namespace meru {

CEdgeLayout::CEdgeLayout(QWidget* container, QSize design, const std::vector<QWidget*>& stretch,
                         QSize keep)
    : QObject(container), m_pContainer(container), m_design(design) {
    QSize room = design;
    for (QObject* o : container->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (!w || w->isWindow()) continue;
        const bool bStretch = std::find(stretch.begin(), stretch.end(), w) != stretch.end();
        m_aPlaced.push_back({w, w->geometry(), bStretch});
        if (bStretch) room = room.boundedTo(w->size() - keep);
    }
    m_minimum = QSize(design.width(), design.height() - std::max(0, room.height()));
    container->installEventFilter(this);
}

bool CEdgeLayout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pContainer && event->type() == QEvent::Resize) Relayout();
    return QObject::eventFilter(watched, event);
}

void CEdgeLayout::Relayout() {
    const int dx = m_pContainer->width() - m_design.width();
    const int dy = m_pContainer->height() - m_design.height();
    // Which edge a control keeps its distance to: 0 the left (top) one, 2 the
    // right (bottom) one, 1 neither (it stays in the middle).
    auto side = [](int nFrom, int nTo, int nWhole) {
        const int nMid2 = nFrom + nTo;
        if (std::abs(nMid2 - nWhole) <= nWhole / 50) return 1;
        return nMid2 < nWhole ? 0 : 2;
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

QSize FittedSize(const QWidget* w, QSize want, const QScreen* screen) {
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return want;
    // The frame the window manager adds; before the first showing (or
    // without a window manager) it is not known yet: some room for one.
    QSize extra = w->frameGeometry().size() - w->size();
    if (extra.width() <= 0 && extra.height() <= 0) extra = QSize(8, 32);
    return (screen->availableGeometry().size() - extra)
        .boundedTo(want)
        .expandedTo(w->minimumSize())
        .expandedTo(w->minimumSizeHint())
        .boundedTo(w->maximumSize());
}

namespace {

// Fits and centres its dialog each time the dialog is shown.
class CDialogFitter : public QObject {
public:
    CDialogFitter(QDialog* dlg, QSize design) : QObject(dlg), m_pDlg(dlg), m_design(design) {
        dlg->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_pDlg && event->type() == QEvent::Show && !event->spontaneous() &&
            !m_bPlaced) {
            m_bPlaced = true;
            const QWidget* parent = m_pDlg->parentWidget();
            const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
            m_pDlg->resize(FittedSize(m_pDlg, m_design, screen));
            CentreOnScreen(m_pDlg, screen);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QDialog* m_pDlg;
    QSize m_design;
    bool m_bPlaced = false;
};

}  // namespace

void MakeResizableDialog(QDialog* dlg, QSize design, const std::vector<QWidget*>& stretch,
                         QSize keep) {
    dlg->setMinimumSize(0, 0);
    dlg->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    dlg->resize(design);
    auto* layout = new CEdgeLayout(dlg, design, stretch, keep);
    dlg->setMinimumSize(layout->MinimumSize());
    new CDialogFitter(dlg, design);
}

}  // namespace meru
