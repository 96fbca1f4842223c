#pragma once
#include <QString>

#include "gui/kit/meru_window.h"

class QLabel;

namespace meru {

class CMainDlg;

// Base of the notes, clipboard, bookmarks and contacts windows. A tool window
// carries menu 177 as its menu bar (every command goes to the main window),
// the signature label "Tessalunde", the version text plus a fixed suffix as its
// title, and hides into the tray when closed, minimised or left with Esc,
// giving the keyboard focus back to the main window.
//
// A derived window places its controls on Client() with Du() in
// OnInitDialog() and names its title's suffix in TitleSuffix(). The main
// window constructs it, then calls Create() once; it stays hidden until
// the main window shows it.
class CToolWindow : public CMeruWindow {
    Q_OBJECT
public:
    CToolWindow(CMainDlg& main, const Template& tpl);

    // Title, controls (OnInitDialog). The window stays hidden.
    void Create();

    CMainDlg& Main() const { return m_main; }
    QString VersionText() const override;
    QLabel* Signature() const { return m_pSignature; }

    // Hides the window into the tray and gives the focus to the main window.
    void HideToTray();

protected:
    // " - NOTES - [path]", " - CLIPBOARD" ...
    virtual QString TitleSuffix() const = 0;
    // Builds the window's own controls.
    virtual void OnInitDialog() {}

    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    CMainDlg& m_main;
    QLabel* m_pSignature;
};

}  // namespace meru
