#include "platform/x11_hotkeys.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace meru {

namespace {

constexpr xcb_keysym_t kKeysymDigit1 = 0x31;  // XK_1 .. XK_5 = 0x31 .. 0x35
constexpr xcb_keysym_t kKeysymNumLock = 0xff7f;

// A digit key: keycode -> number 1..5.
struct DigitKey {
    xcb_keycode_t code;
    int n;
};

class CNoHotkeys final : public IGlobalHotkeys {
public:
    void SetCallback(std::function<void(int)>) override {}
    std::vector<int> Start() override { return {}; }
    void Stop() override {}
};

class CX11Hotkeys final : public IGlobalHotkeys, public QAbstractNativeEventFilter {
public:
    explicit CX11Hotkeys(xcb_connection_t* c) : m_pConn(c) {
        const xcb_setup_t* setup = xcb_get_setup(c);
        for (auto it = xcb_setup_roots_iterator(setup); it.rem; xcb_screen_next(&it))
            m_aRoots.push_back(it.data->root);
        // Layout changes made through XKB (setxkbmap, a desktop's layout
        // switcher) come as XKB events, not as the core MappingNotify.
        if (auto* ext =
                xcb_query_extension_reply(c, xcb_query_extension(c, 9, "XKEYBOARD"), nullptr)) {
            if (ext->present) m_nXkbEvent = ext->first_event;
            free(ext);
        }
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~CX11Hotkeys() override {
        if (QCoreApplication::instance()) {
            QCoreApplication::instance()->removeNativeEventFilter(this);
            Stop();
        }
    }

    void SetCallback(std::function<void(int)> fn) override { m_fn = std::move(fn); }

    std::vector<int> Start() override {
        Stop();
        m_bActive = true;
        ReadKeyboard();
        const uint16_t ctrl = XCB_MOD_MASK_CONTROL, lock = XCB_MOD_MASK_LOCK;
        std::vector<uint16_t> mods = {ctrl, uint16_t(ctrl | lock)};
        if (m_nNumLockMask && m_nNumLockMask != lock) {
            mods.push_back(uint16_t(ctrl | m_nNumLockMask));
            mods.push_back(uint16_t(ctrl | lock | m_nNumLockMask));
        }
        struct Pending {
            xcb_void_cookie_t cookie;
            xcb_window_t root;
            xcb_keycode_t code;
            uint16_t mods;
            int n;
        };
        std::vector<Pending> pending;
        for (xcb_window_t root : m_aRoots)
            for (const DigitKey& k : m_aKeys)
                for (uint16_t m : mods)
                    pending.push_back(
                        {xcb_grab_key_checked(m_pConn, 0, root, m, k.code, XCB_GRAB_MODE_ASYNC,
                                              XCB_GRAB_MODE_ASYNC),
                         root, k.code, m, k.n});
        bool bOk[6] = {}, bTaken[6] = {};
        for (const Pending& p : pending) {
            if (xcb_generic_error_t* e = xcb_request_check(m_pConn, p.cookie)) {
                if (p.mods == ctrl) bTaken[p.n] = true;  // BadAccess (10): another client
                free(e);
            } else {
                m_aGrabs.push_back({p.root, p.code, p.mods});
                if (p.mods == ctrl) bOk[p.n] = true;
            }
        }
        xcb_flush(m_pConn);
        std::vector<int> working;
        std::string taken;
        int nTaken = 0;
        for (int n = 1; n <= 5; ++n) {
            if (bOk[n]) {
                working.push_back(n);
            } else if (bTaken[n]) {
                taken += (nTaken++ ? ", Ctrl+" : "Ctrl+") + std::to_string(n);
            }
        }
        if (nTaken && !m_bToldTaken) {
            m_bToldTaken = true;
            std::fprintf(
                stderr, "meru: %s %s already taken by another program; %s\n", taken.c_str(),
                nTaken > 1 ? "are" : "is",
                nTaken > 1 ? "those shortcuts stay with it" : "that shortcut stays with it");
        }
        return working;
    }

    void Stop() override {
        m_bActive = false;
        for (const Grab& g : m_aGrabs) xcb_ungrab_key(m_pConn, g.code, g.root, g.mods);
        if (!m_aGrabs.empty()) xcb_flush(m_pConn);
        m_aGrabs.clear();
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (!m_bActive || eventType != "xcb_generic_event_t") return false;
        auto* ev = static_cast<xcb_generic_event_t*>(message);
        const uint8_t type = ev->response_type & 0x7f;
        if (type == XCB_MAPPING_NOTIFY) {
            auto* mn = reinterpret_cast<xcb_mapping_notify_event_t*>(ev);
            if (mn->request != XCB_MAPPING_POINTER) RegrabLater();
            return false;
        }
        if (m_nXkbEvent && type == m_nXkbEvent) {
            // The XKB event's kind is its second byte: 0 = a new keyboard
            // description, 1 = a changed key map. Qt reads them too.
            const uint8_t xkbType = reinterpret_cast<const uint8_t*>(ev)[1];
            if (xkbType == kXkbNewKeyboardNotify || xkbType == kXkbMapNotify) RegrabLater();
            return false;
        }
        if (type != XCB_KEY_PRESS) return false;
        auto* kp = reinterpret_cast<xcb_key_press_event_t*>(ev);
        if (!(kp->state & XCB_MOD_MASK_CONTROL) || !IsRoot(kp->event)) return false;
        for (const DigitKey& k : m_aKeys) {
            if (k.code == kp->detail) {
                if (m_fn) m_fn(k.n);
                return true;
            }
        }
        return false;
    }

private:
    static constexpr uint8_t kXkbNewKeyboardNotify = 0;
    static constexpr uint8_t kXkbMapNotify = 1;

    // Keyboard layout or modifiers changed: the digits may sit on other
    // keycodes now. Grab again once the event is handled (a burst of
    // notifications gives one new grab).
    void RegrabLater() {
        if (m_bRegrabPending) return;
        m_bRegrabPending = true;
        std::weak_ptr<int> alive = m_pAlive;
        QTimer::singleShot(0, QCoreApplication::instance(), [this, alive] {
            if (alive.expired()) return;
            m_bRegrabPending = false;
            if (m_bActive) Start();
        });
    }

    struct Grab {
        xcb_window_t root;
        xcb_keycode_t code;
        uint16_t mods;
    };

    bool IsRoot(xcb_window_t w) const {
        for (xcb_window_t r : m_aRoots)
            if (r == w) return true;
        return false;
    }

    // Which keycodes carry the digits 1..5 (in the first two columns, so a
    // layout with the digits on the shifted level, like French, works too),
    // and which modifier bit NumLock sets.
    void ReadKeyboard() {
        m_aKeys.clear();
        m_nNumLockMask = 0;
        const xcb_setup_t* setup = xcb_get_setup(m_pConn);
        const xcb_keycode_t first = setup->min_keycode;
        const uint8_t count = static_cast<uint8_t>(setup->max_keycode - first + 1);
        xcb_get_keyboard_mapping_reply_t* km = xcb_get_keyboard_mapping_reply(
            m_pConn, xcb_get_keyboard_mapping(m_pConn, first, count), nullptr);
        if (!km) return;
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(km);
        const int per = km->keysyms_per_keycode;
        const int total = xcb_get_keyboard_mapping_keysyms_length(km);
        std::vector<xcb_keycode_t> numLockCodes;
        for (int i = 0; per > 0 && (i + 1) * per <= total; ++i) {
            const auto code = static_cast<xcb_keycode_t>(first + i);
            const xcb_keysym_t* row = syms + i * per;
            for (int col = 0; col < per && col < 2; ++col) {
                if (row[col] >= kKeysymDigit1 && row[col] < kKeysymDigit1 + 5) {
                    m_aKeys.push_back({code, static_cast<int>(row[col] - kKeysymDigit1) + 1});
                    break;
                }
            }
            for (int col = 0; col < per; ++col)
                if (row[col] == kKeysymNumLock) numLockCodes.push_back(code);
        }
        free(km);

        xcb_get_modifier_mapping_reply_t* mm =
            xcb_get_modifier_mapping_reply(m_pConn, xcb_get_modifier_mapping(m_pConn), nullptr);
        if (!mm) return;
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mm);
        const int perMod = mm->keycodes_per_modifier;
        for (int mod = 0; mod < 8 && !m_nNumLockMask; ++mod)
            for (int j = 0; j < perMod; ++j)
                for (xcb_keycode_t nl : numLockCodes)
                    if (codes[mod * perMod + j] == nl && nl != 0)
                        m_nNumLockMask = static_cast<uint16_t>(1u << mod);
        free(mm);
    }

    xcb_connection_t* m_pConn;
    std::vector<xcb_window_t> m_aRoots;
    std::vector<DigitKey> m_aKeys;
    std::vector<Grab> m_aGrabs;
    uint16_t m_nNumLockMask = 0;
    uint8_t m_nXkbEvent = 0;  // the XKB extension's first event code, 0 without XKB
    bool m_bActive = false;
    bool m_bToldTaken = false;
    std::function<void(int)> m_fn;
    bool m_bRegrabPending = false;
    // Lets a deferred re-grab know this object still exists.
    std::shared_ptr<int> m_pAlive = std::make_shared<int>(0);
};

}  // namespace

std::unique_ptr<IGlobalHotkeys> CreateGlobalHotkeys() {
    if (auto* app = qGuiApp) {
        if (auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>()) {
            if (xcb_connection_t* c = x11->connection()) return std::make_unique<CX11Hotkeys>(c);
        }
    }
    return std::make_unique<CNoHotkeys>();
}

}  // namespace meru
