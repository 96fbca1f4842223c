#pragma once
#include <initializer_list>

namespace meru {

// Turns asynchronous signals (SIGTERM, SIGHUP, SIGINT) into bytes on a socket
// that the GUI thread watches, so the work for a signal runs in the event loop
// and not inside the handler. Install it first thing in main().
class CSignalPipe {
public:
    // Creates the socket pair and installs the handler for `signalList`.
    // Returns false (and changes nothing) when the socket pair cannot be made.
    static bool Install(std::initializer_list<int> signalList);
    // The end to watch for reading (a QSocketNotifier); -1 before Install.
    static int ReadFd();
    // Reads one signal number that arrived; 0 when none is waiting.
    static int Take();
};

}  // namespace meru
