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
//   keys->SetCallback([&](int n) { /* make entry n current */ });
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

}  // namespace meru
