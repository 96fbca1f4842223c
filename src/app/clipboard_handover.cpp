#include "app/clipboard_handover.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QClipboard>
#include <QEventLoop>
#include <QGuiApplication>
#include <QSignalBlocker>
#include <QTimer>
#include <cstdlib>
#include <cstring>

#include <xcb/xcb.h>

namespace meru {

namespace {

xcb_atom_t Intern(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    if (!r) return XCB_ATOM_NONE;
    const xcb_atom_t atom = r->atom;
    std::free(r);
    return atom;
}

xcb_window_t SelectionOwner(xcb_connection_t* c, xcb_atom_t selection) {
    xcb_get_selection_owner_reply_t* r =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    if (!r) return XCB_NONE;
    const xcb_window_t owner = r->owner;
    std::free(r);
    return owner;
}

// Ends `loop` when the manager's answer to our window arrives.
class CAnswerFilter final : public QAbstractNativeEventFilter {
public:
    CAnswerFilter(xcb_window_t requestor, QEventLoop& loop)
        : m_requestor(requestor), m_loop(loop) {}

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        const auto* ev = static_cast<const xcb_generic_event_t*>(message);
        if ((ev->response_type & 0x7f) != XCB_SELECTION_NOTIFY) return false;
        const auto* sn = static_cast<const xcb_selection_notify_event_t*>(message);
        if (sn->requestor != m_requestor) return false;
        m_bAnswered = true;
        m_loop.quit();
        return true;
    }
    bool Answered() const { return m_bAnswered; }

private:
    xcb_window_t m_requestor;
    QEventLoop& m_loop;
    bool m_bAnswered = false;
};

}  // namespace

Handover HandClipboardToManager(int nMaxWaitMs) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c) return Handover::NotX11;
    QClipboard* clipboard = QGuiApplication::clipboard();
    const bool bClipboard = clipboard->ownsClipboard();
    if (!bClipboard && !clipboard->ownsSelection()) return Handover::NothingOwned;

    const xcb_atom_t manager = Intern(c, "CLIPBOARD_MANAGER");
    if (manager == XCB_ATOM_NONE || SelectionOwner(c, manager) == XCB_NONE)
        return Handover::NoManager;  // Qt asks no one either

    Handover result = Handover::NoAnswer;
    // What a manager saves is the clipboard; the primary selection alone
    // gives it nothing to fetch from us.
    if (bClipboard) {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        const xcb_window_t requestor = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, requestor, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        QEventLoop loop;
        CAnswerFilter filter(requestor, loop);
        qGuiApp->installNativeEventFilter(&filter);
        xcb_convert_selection(c, requestor, manager, Intern(c, "SAVE_TARGETS"),
                              Intern(c, "MERU_CLIPBOARD_SAVED"), XCB_CURRENT_TIME);
        xcb_flush(c);
        QTimer::singleShot(nMaxWaitMs, &loop, &QEventLoop::quit);
        loop.exec();
        qGuiApp->removeNativeEventFilter(&filter);
        xcb_destroy_window(c, requestor);
        xcb_flush(c);
        if (filter.Answered()) result = Handover::Saved;
    }

    // Nothing of ours is left for Qt to hand over (and to wait for). The
    // history must not take the emptied clipboard for a new entry.
    const QSignalBlocker quiet(clipboard);
    if (clipboard->ownsClipboard()) clipboard->clear(QClipboard::Clipboard);
    if (clipboard->ownsSelection()) clipboard->clear(QClipboard::Selection);
    return result;
}

}  // namespace meru
