#pragma once
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <vector>

class QDialog;
class QScreen;
class QWidget;

namespace meru {

// Keeps the controls of a resizable container where its template put them:
// the controls in `stretch` (an editor or a list, the frame around it) take
// the change of size, every other control keeps its distance to its nearest
// edges (one in the middle stays in the middle). The places are the
// controls' geometries at construction, for a container of `design` size;
// the stretching controls never shrink by more than `keep` less than their
// template size.
class CEdgeLayout : public QObject {
    Q_OBJECT
public:
    CEdgeLayout(QWidget* container, QSize design, const std::vector<QWidget*>& stretch, QSize keep);

    // How far the container may shrink: only the height gives way (narrower,
    // the controls of a top row would run into each other).
    QSize MinimumSize() const { return m_minimum; }

    // Places the controls for the container's current size.
    void Relayout();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Placed {
        QPointer<QWidget> w;
        QRect design;
        bool stretch;
    };
    QWidget* m_pContainer;
    QSize m_design;
    QSize m_minimum;
    std::vector<Placed> m_aPlaced;
};

// The size a resizable top-level window opens at: `want` (its whole size,
// without the window manager's frame) where that fits into the free area of
// `screen`, else the largest that fits; never below the window's minimum.
QSize FittedSize(const QWidget* w, QSize want, const QScreen* screen);

// Makes a dialog whose controls are already placed (at its template size,
// `design`) resizable: the controls in `stretch` take the change, the rest
// keep to their edges, and on every showing it opens at its template size
// where the screen has room for it, else as large as fits, centred on the
// screen of its parent (the primary screen without one) the first time it
// is shown; later showings keep the place and size the user left it at.
void MakeResizableDialog(QDialog* dlg, QSize design, const std::vector<QWidget*>& stretch,
                         QSize keep);

}  // namespace meru
