#pragma once
#include <QString>

#include "gui/kit/meru_window.h"

class QDateEdit;
class QPushButton;
class QTimeEdit;

namespace meru {

class CClockRow;
class IWindowTray;

// The main window (dialog 170): the clock, the Password button and the four
// buttons that open the tool windows, with menu 177 as its menu bar. It
// carries out nothing itself: every button, menu command and Esc is sent out
// as a command, which the application carries out.
class CMainDlg : public CMeruWindow {
    Q_OBJECT
public:
    // Control ids of template 170 (the buttons are commands too).
    enum Control : int {
        IDC_NOTES = 1031,
        IDC_BOOKMARKS = 1032,
        IDC_CONTACTS = 1033,
        IDC_DATE = 1034,
        IDC_TIME = 1035,
        IDC_CLIPBOARD = 1036,
        IDC_PASSWORD = 1065,
    };

    // `pTray` hides the window into the notification area; null: the
    // desktop's own.
    explicit CMainDlg(const QString& strVersion, IWindowTray* pTray = nullptr);

    // The title names the data file: "MERU version 2.2 - [path]".
    void SetDataPath(const QString& strDataPath);

    QString VersionText() const override { return m_strVersion; }
    QDateEdit* DatePicker() const { return m_pDate; }
    QTimeEdit* TimePicker() const { return m_pTime; }
    QPushButton* Button(int id) const;
    bool ClockRunning() const;
    IWindowTray& Tray() const;

signals:
    // A button, a command of the menu bar, or Esc (ID_EXIT).
    void command(int id);
    // The window was painted: it is on the screen.
    void painted();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void CreateControls();

    QString m_strVersion;
    IWindowTray* m_pTray;
    QDateEdit* m_pDate = nullptr;
    QTimeEdit* m_pTime = nullptr;
    CClockRow* m_pClock = nullptr;
};

}  // namespace meru
