#pragma once
#include <QMainWindow>
#include <QString>

#include "gui/kit/dialog_units.h"

class QMenu;

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

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QWidget* m_pClient;
    CDialogUnits m_du;
};

}  // namespace meru
