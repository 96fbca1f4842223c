#pragma once
// The global shortcuts Ctrl+1 to Ctrl+5: the digits of the main keyboard (not
// the keypad) with either Ctrl, whichever program has the focus and whether or
// not our windows are shown.
//
// On X11 the keys are grabbed on the root window through Qt's own xcb
// connection (also with CapsLock and NumLock on) and their presses arrive
// through Qt's event loop: nothing polls. A key already held by another
// program is reported once on standard error; the other keys still work.
// Under Wayland this reaches only programs that run through XWayland.
// Off X11 (the offscreen platform of the tests) the object does nothing.
//
//   auto keys = CreateGlobalHotkeys();          // after the QApplication exists
//   keys->SetCallback([&](int n) { if (auto p = history.SelectClip(n)) link.Apply(*p); });
//   keys->Start();
//
// While a key is held, the X server's auto-repeat delivers further presses,
// each calling the callback again.
#include <functional>
#include <memory>
#include <vector>

namespace meru {

class IGlobalHotkeys {
public:
    virtual ~IGlobalHotkeys() = default;
    // Called with n = 1..5 on the GUI thread for each press of Ctrl+n.
    virtual void SetCallback(std::function<void(int n)> fn) = 0;
    // Takes the keys; returns the numbers that work (empty off X11).
    virtual std::vector<int> Start() = 0;
    // Gives the keys back (also done on destruction).
    virtual void Stop() = 0;
};

// The X11 implementation when Qt runs on xcb, otherwise one that does nothing.
std::unique_ptr<IGlobalHotkeys> CreateGlobalHotkeys();

// For tests: Press(n) stands for the user pressing Ctrl+n.
class CFakeGlobalHotkeys final : public IGlobalHotkeys {
public:
    void SetCallback(std::function<void(int n)> fn) override { m_fn = std::move(fn); }
    std::vector<int> Start() override {
        m_bStarted = true;
        return {1, 2, 3, 4, 5};
    }
    void Stop() override { m_bStarted = false; }
    void Press(int n) {
        if (m_bStarted && m_fn && n >= 1 && n <= 5) m_fn(n);
    }
    bool IsStarted() const { return m_bStarted; }

private:
    std::function<void(int n)> m_fn;
    bool m_bStarted = false;
};

}  // namespace meru
