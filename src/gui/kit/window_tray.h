#pragma once
#include <optional>

class QWidget;

namespace meru {

// Hiding a window into the notification area and bringing it back. Where no
// tray host is there to hide into, hiding minimises instead, so a window can
// never become unreachable.
class IWindowTray {
public:
    virtual ~IWindowTray() = default;
    // Whether a tray host is there to hide windows into.
    virtual bool TrayAvailable() const = 0;
    // Hidden, without a taskbar entry (minimised where there is no tray). A
    // window that is not on show is left alone.
    virtual void HideToTray(QWidget* w) = 0;
    // Shown (in its normal state when it was minimised), raised and activated.
    virtual void RestoreFromTray(QWidget* w) = 0;
};

// The desktop's notification area, as QSystemTrayIcon sees it. One per process.
class CDesktopWindowTray final : public IWindowTray {
public:
    static CDesktopWindowTray& Instance();

    bool TrayAvailable() const override;
    void HideToTray(QWidget* w) override;
    void RestoreFromTray(QWidget* w) override;

    // Tests decide whether a tray is there (nullopt: ask the desktop).
    static void SetTrayAvailableForTesting(std::optional<bool> available);
};

}  // namespace meru
