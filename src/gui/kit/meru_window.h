#pragma once
#include <QMainWindow>
#include <QPointer>
#include <QRect>
#include <QString>
#include <vector>

#include "gui/kit/dialog_units.h"

class QMenu;
class QScreen;

namespace meru {

// What every window of the program shares: icon 128, the tiled background of
// bitmap 172 with black static texts, a client area of a fixed size in dialog
// units (controls are placed on it through Du()), and the right-click menu of
// the background with "Infor&mazioni su MERU..." opening the About box.
class CMeruWindow : public QMainWindow {
    Q_OBJECT
public:
    // The window's template: size in dialog units and font.
    struct Template {
        int cx;
        int cy;
        const char* face;
        int pointSize;
    };

    CMeruWindow(const Template& tpl, QWidget* parent = nullptr);

    // The area below the menu bar where the controls live.
    QWidget* Client() const { return m_pClient; }
    const CDialogUnits& Du() const { return m_du; }

    // The right-click menu of the background (the About item).
    QMenu* BuildSystemMenu(QWidget* parent);
    // Opens the About box with this window's version text.
    virtual void ShowAbout();
    // The version text the About box shows ("MERU version 2.2").
    virtual QString VersionText() const = 0;

    static QString AboutCaption() { return QStringLiteral("Infor&mazioni su MERU..."); }
    // The id its action carries.
    static constexpr int kAboutItem = 16;

    bool IsResizable() const { return m_bResizable; }
    // The client area's size in the template.
    QSize DesignSize() const { return m_design; }

protected:
    // A window is of a fixed size (no maximise), as its template is. A large
    // window calls this once its controls are placed: it may then be resized
    // (and opened smaller where the screen is small); the controls in
    // `stretch` (the editor or list, the frame around it) take the change,
    // every other control keeps its distance to its nearest edges (one in
    // the middle stays in the middle).
    void SetResizable(const std::vector<QWidget*>& stretch);

    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QWidget* m_pClient;
    CDialogUnits m_du;
    QSize m_design;
    bool m_bResizable = false;
};

// Moves top-level `w` so that its frame is centred in the free area of `screen` (null:
// the primary screen), never above or left of it.
void CentreOnScreen(QWidget* w, const QScreen* screen);

}  // namespace meru
