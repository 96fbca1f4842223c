#pragma once
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <memory>

namespace meru::test {

// Runs `act` on the first modal dialog of type T that shows up (polling, so a
// slow machine only waits longer). The action must close that dialog. Gives
// up after 10 s, closing whatever is modal, so a fault fails instead of hanging.
template <class T>
void WhenModal(std::function<void(T*)> act) {
    auto* pTimer = new QTimer;
    pTimer->setInterval(10);
    auto elapsed = std::make_shared<QElapsedTimer>();
    elapsed->start();
    QObject::connect(pTimer, &QTimer::timeout, [pTimer, act, elapsed] {
        if (auto* p = qobject_cast<T*>(QApplication::activeModalWidget())) {
            pTimer->stop();
            pTimer->deleteLater();
            act(p);
        } else if (elapsed->elapsed() > 10000) {
            pTimer->stop();
            pTimer->deleteLater();
            if (auto* w = QApplication::activeModalWidget()) w->close();
        }
    });
    pTimer->start();
}

}  // namespace meru::test
