#pragma once
#include <QPointer>
#include <QString>

#include "gui/kit/menu177.h"
#include "gui/kit/meru_window.h"

class QLabel;

namespace meru {

class IWindowTray;

// What a tool window needs of its surroundings; the composition root fills it
// in once and hands the same one to every tool window.
struct ToolWindowContext {
    // "MERU version 2.2": the first part of the title and the About box's line.
    QString strVersion;
    // Where the commands of menu 177, the window's menu bar, go.
    CommandSink commands;
    // Hiding into the notification area; null: the desktop's own.
    IWindowTray* pTray = nullptr;
    // The window that gets the keyboard focus back when a tool window hides
    // into the tray (the main window); may be null.
    QPointer<QWidget> pFocusBack;
};

// Base of the notes, clipboard, bookmarks and contacts windows. A tool window
// carries menu 177 as its menu bar, the signature label "Tessalunde", the
// version text plus a fixed suffix as its title, opens centred on the screen
// the first time it is shown, and hides into the tray when closed, minimised
// or left with Esc, giving the keyboard focus back to the main window.
//
// A derived window places its controls on Client() with Du() in
// OnInitDialog() and names its title's suffix in TitleSuffix(). The owner
// constructs it, then calls Create() once; it stays hidden until shown.
class CToolWindow : public CMeruWindow {
    Q_OBJECT
public:
    CToolWindow(const ToolWindowContext& context, const Template& tpl);

    // Title, controls (OnInitDialog). The window stays hidden.
    void Create();

    QString VersionText() const override { return m_context.strVersion; }
    QLabel* Signature() const { return m_pSignature; }
    IWindowTray& Tray() const;

    // Hides the window into the tray and gives the focus to the main window.
    void HideToTray();

protected:
    // " - NOTES - [path]", " - CLIPBOARD" ...
    virtual QString TitleSuffix() const = 0;
    // Builds the window's own controls.
    virtual void OnInitDialog() {}

    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    ToolWindowContext m_context;
    QLabel* m_pSignature;
    bool m_bPlaced = false;  // centred on its first showing
};

}  // namespace meru
