#pragma once
// Which Qt platform MERU runs on. The global shortcuts and the capture of
// every copy need X11: under Wayland, Qt's own wayland plugin gets neither
// while MERU is unfocused, so MERU asks for xcb (XWayland) unless the user
// chose a platform in QT_QPA_PLATFORM.
#include <string>

namespace meru {

struct PlatformChoice {
    bool bSetXcb = false;          // set QT_QPA_PLATFORM=xcb before Qt starts
    bool bWaylandSession = false;  // the desktop is a Wayland session
    bool bOnXcb = false;           // MERU will run through X11 / XWayland
};

// `qpa` = $QT_QPA_PLATFORM, `waylandDisplay` = $WAYLAND_DISPLAY,
// `sessionType` = $XDG_SESSION_TYPE (each may be null).
PlatformChoice ChoosePlatform(const char* qpa, const char* waylandDisplay, const char* sessionType);

// The one note for standard error in a Wayland session (empty otherwise).
std::string PlatformNote(const PlatformChoice& choice);

// Reads the environment and sets QT_QPA_PLATFORM when it is unset; with
// `bTell`, writes the note to standard error. Call before the QApplication
// is made.
PlatformChoice ApplyPlatformChoice(bool bTell);

}  // namespace meru
