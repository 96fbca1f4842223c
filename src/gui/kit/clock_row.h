#pragma once
#include <QDateTime>
#include <QObject>

class QDateEdit;
class QTimeEdit;
class QTimer;
class QWidget;

namespace meru {

// The date and time pickers that follow the clock once a second while their
// window is on show. A hidden window's clock rests (no wake-up every second
// in the tray) and is set again the moment the window is shown. A picker
// the user is editing is left alone.
class CClockRow : public QObject {
    Q_OBJECT
public:
    // Watches `window` for showing and hiding; the pickers may be null.
    CClockRow(QWidget* window, QDateEdit* date, QTimeEdit* time);

    // Sets the pickers to the current date and time.
    void Tick();
    bool IsRunning() const;
    // The time of the last tick.
    const QDateTime& Now() const { return m_now; }

signals:
    void ticked(const QDateTime& now);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_pWindow;
    QDateEdit* m_pDate;
    QTimeEdit* m_pTime;
    QTimer* m_pTimer;
    QDateTime m_now;
};

}  // namespace meru
