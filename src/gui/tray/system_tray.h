#pragma once
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QSystemTrayIcon>
#include <functional>

class QWidget;

namespace meru {

// The program's one icon in the notification area and its menu. Hiding
// windows into the tray is the window kit's (CDesktopWindowTray).
class CSystemTray : public QObject {
    Q_OBJECT
public:
    explicit CSystemTray(QObject* parent = nullptr);
    ~CSystemTray() override;  // removes the icon

    // Puts the icon `nIconId` (a picture number, e.g. 152) with `strTooltip`
    // into the notification area. `nId` names the menu shown on right-click
    // (177). Returns whether the icon could be created; an icon made while no
    // tray host runs is embedded as soon as one appears.
    bool Install(QWidget* pParent, const QString& strTooltip, int nIconId, int nId);
    // The menu shown on right-click (its first item is made the bold default
    // item) and where the double-click sends that first item's command.
    void SetMenu(QMenu* pMenu, std::function<void(int)> sendCommand);
    // Shows picture `nIconId` instead of the current one.
    bool ChangeIcon(int nIconId);
    // Takes the icon out of the notification area. A second call does nothing.
    bool DeleteIcon();
    // Clicks on the icon. Returns 1 when handled, 0 when ignored.
    int HandleIconMessage(QSystemTrayIcon::ActivationReason reason);

    bool IsShown() const;
    // The icon sits in an XEmbed tray (Qt's own icon window), not on a
    // StatusNotifierItem panel.
    static bool IsXEmbed();
    int CurrentIconId() const { return m_nIconId; }
    QMenu* Menu() const { return m_pMenu; }
    QSystemTrayIcon* Icon() const { return m_pIcon; }

    // Screen rectangle of the icon; where unknown, 150 x 30 in the
    // bottom-right corner of the available screen area.
    static void FindTrayRect(QRect& rect);

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    QPointer<QSystemTrayIcon> m_pIcon;
    QPointer<QMenu> m_pMenu;
    std::function<void(int)> m_fnSendCommand;
    int m_nIconId = 0;
    int m_nId = 0;
    bool m_bRemoved = true;
};

}  // namespace meru
