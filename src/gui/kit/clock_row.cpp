#include "gui/kit/clock_row.h"

#include <QDateEdit>
#include <QEvent>
#include <QTimeEdit>
#include <QTimer>

namespace meru {

CClockRow::CClockRow(QWidget* window, QDateEdit* date, QTimeEdit* time)
    : QObject(window), m_pWindow(window), m_pDate(date), m_pTime(time), m_pTimer(new QTimer(this)) {
    m_pTimer->setInterval(1000);
    connect(m_pTimer, &QTimer::timeout, this, &CClockRow::Tick);
    window->installEventFilter(this);
    Tick();
    if (window->isVisible()) m_pTimer->start();
}

void CClockRow::Tick() {
    m_now = QDateTime::currentDateTime();
    if (m_pDate && !m_pDate->hasFocus()) m_pDate->setDate(m_now.date());
    if (m_pTime && !m_pTime->hasFocus()) m_pTime->setTime(m_now.time());
    emit ticked(m_now);
}

bool CClockRow::IsRunning() const { return m_pTimer->isActive(); }

bool CClockRow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pWindow) {
        if (event->type() == QEvent::Show && !m_pTimer->isActive()) {
            Tick();
            m_pTimer->start();
        } else if (event->type() == QEvent::Hide && !event->spontaneous()) {
            // A spontaneous hide is the window manager iconifying the window;
            // hiding into the tray comes from us.
            m_pTimer->stop();
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace meru
