#pragma once

namespace meru {

// What became of the selections the program owned when it ended.
enum class Handover {
    NotX11,        // no X display: nothing to hand over
    NothingOwned,  // neither the clipboard nor the primary selection was ours
    NoManager,     // no clipboard manager runs: the content ends with us
    Saved,         // the clipboard manager took the clipboard's content
    NoAnswer,      // the manager did not answer in time; we ended anyway
};

// Called once the event loop has ended, before the application object goes.
//
// When the program owns a selection, Qt's X11 clipboard asks a clipboard
// manager (the owner of CLIPBOARD_MANAGER) to save the clipboard as the
// application object is destroyed, and waits up to five seconds for its
// answer with nothing else running: a manager that never answers keeps
// Exit waiting for all that time. Here the same request is made with the
// event loop running (the manager fetches the content from us meanwhile)
// and waited for at most `nMaxWaitMs`; then the program gives up its
// selections, so Qt has nothing left to hand over and ends at once.
Handover HandClipboardToManager(int nMaxWaitMs);

// How long Exit waits for a clipboard manager: one that works answers in
// milliseconds, even for megabytes.
constexpr int kClipboardManagerWaitMs = 1000;

}  // namespace meru
