#include "platform/session_platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace meru {

namespace {
bool Set(const char* s) { return s && *s; }
}  // namespace

PlatformChoice ChoosePlatform(const char* qpa, const char* waylandDisplay,
                              const char* sessionType) {
    PlatformChoice c;
    c.bWaylandSession =
        Set(waylandDisplay) || (Set(sessionType) && std::strcmp(sessionType, "wayland") == 0);
    if (!Set(qpa)) {
        c.bSetXcb = true;
        c.bOnXcb = true;
    } else {
        // "xcb", or a list such as "xcb;wayland" that tries xcb first.
        c.bOnXcb =
            std::strncmp(qpa, "xcb", 3) == 0 && (qpa[3] == '\0' || qpa[3] == ';' || qpa[3] == ':');
    }
    return c;
}

std::string PlatformNote(const PlatformChoice& c) {
    if (!c.bWaylandSession) return {};
    if (c.bOnXcb)
        return "meru: Wayland session: MERU runs through XWayland. The \"global keys\" line "
               "says how Ctrl+1..5 are taken and the \"clipboard\" line how copies are seen; "
               "where Ctrl+1..5 do not reach MERU, bind \"meru --select N\" to the desktop's "
               "own shortcuts (see the README).\n";
    return "meru: Wayland session on the Qt platform set in QT_QPA_PLATFORM: Ctrl+1..5 work "
           "only through the desktop's shortcut portal (the \"global keys\" line says), and "
           "copies made while MERU is not focused are seen only through the compositor's "
           "data-control (the \"clipboard\" line says); unset QT_QPA_PLATFORM to run through "
           "XWayland, or bind \"meru --select N\" to the desktop's own shortcuts.\n";
}

PlatformChoice ApplyPlatformChoice(bool bTell) {
    const PlatformChoice c =
        ChoosePlatform(std::getenv("QT_QPA_PLATFORM"), std::getenv("WAYLAND_DISPLAY"),
                       std::getenv("XDG_SESSION_TYPE"));
    if (c.bSetXcb) ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    const std::string note = PlatformNote(c);
    if (bTell && !note.empty()) {
        std::fputs(note.c_str(), stderr);
        std::fflush(stderr);
    }
    return c;
}

}  // namespace meru
