#pragma once
#include <QObject>

#include "core/clipboard/clip_history.h"
#include "platform/clipboard.h"

namespace meru {

// Keeps the history and the system clipboard together: every change of the
// clipboard goes through CaptureClipboard (our own writes are ignored through
// m_bPublishing, secret copies are not kept), a clipboard emptied because its
// owner went away gets the current entry back, and every publication is
// carried out here: `published` for the window and the tray, then the clipboard
// write with m_bPublishing set around it.
class CClipboardLink : public QObject {
    Q_OBJECT
public:
    CClipboardLink(IClipboard& clip, CClipHistory& history) : m_clip(clip), m_history(history) {}
    ~CClipboardLink() override { Stop(); }
    CClipboardLink(const CClipboardLink&) = delete;
    CClipboardLink& operator=(const CClipboardLink&) = delete;

    // Start-up seeding from what is on the clipboard now. True when the text
    // became the first entry.
    bool Seed();
    // Follow the clipboard's changes from now on; Stop ends that.
    void Start();
    void Stop();
    // Announces a publication (published) and carries out its clipboard part.
    void Apply(const ClipPublication& pub);
    // Writes the text of entry i (guarded), for callers that put an entry on
    // the clipboard outside a publication.
    void WriteEntry(int i);

    bool IsPublishing() const { return m_bPublishing; }
    // What the last notification led to (for tests and diagnostics).
    CaptureResult LastCapture() const { return m_eLast; }

signals:
    // Editor, entry list and tray icon are to show this publication; sent
    // before the clipboard is written.
    void published(const ClipPublication& pub);

private:
    void OnChanged();

    IClipboard& m_clip;
    CClipHistory& m_history;
    bool m_bPublishing = false;
    bool m_bStarted = false;
    CaptureResult m_eLast = CaptureResult::Empty;
};

}  // namespace meru
