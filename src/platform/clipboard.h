#pragma once
// The system clipboard (the CLIPBOARD selection, never PRIMARY) behind a small
// interface, its Qt implementation, an in-memory fake for tests, and the link
// that keeps the clipboard history and the system clipboard together.
//
// Wiring in the main window (start-up order matters):
//
//   CQtClipboard clip;                       // or CFakeClipboard in tests
//   CClipboardLink link(clip, history);      // history: the CClipHistory
//   link.Seed();                             // before the data file is read
//   ... create the clipboard window ...
//   link.m_fnShow = [&](const ClipPublication& p) { /* editor, list, tray */ };
//   link.Apply(history.PublishClip());       // the clipboard window's start
//   link.Start();                            // last: follow every change
//   // commands: link.Apply(history.ClearAll());
//   //           if (auto p = history.SelectClip(n)) link.Apply(*p);
//
// Texts cross this interface as UTF-8 std::string, exactly as copied.
#include <functional>
#include <string>
#include <vector>

#include "core/clipboard/clip_history.h"

namespace meru {

class IClipboard {
public:
    virtual ~IClipboard() = default;
    // The plain text (text/plain) on the clipboard, UTF-8; "" when there is
    // none (a picture, nothing at all).
    virtual std::string Text() const = 0;
    // Puts the text on the clipboard as plain text, replacing everything.
    virtual void SetText(const std::string& utf8) = 0;
    // Empties the clipboard.
    virtual void Clear() = 0;
    // The MIME types the current content is offered in.
    virtual std::vector<std::string> Formats() const = 0;
    // The content carries x-kde-passwordManagerHint with the value "secret".
    virtual bool IsSecret() const = 0;
    // Nothing is on the clipboard: on X11 no program owns the selection (its
    // content died with the program that held it), elsewhere no format.
    virtual bool IsEmpty() const = 0;
    // Called after every change of the content, our own writes included
    // (those synchronously, from inside SetText and Clear). One callback; an
    // empty function removes it.
    virtual void SetChangedCallback(std::function<void()> fn) = 0;
};

// QClipboard in QClipboard::Clipboard mode. Needs a QGuiApplication.
class CQtClipboard final : public IClipboard {
public:
    CQtClipboard();
    ~CQtClipboard() override;
    CQtClipboard(const CQtClipboard&) = delete;
    CQtClipboard& operator=(const CQtClipboard&) = delete;

    std::string Text() const override;
    void SetText(const std::string& utf8) override;
    void Clear() override;
    std::vector<std::string> Formats() const override;
    bool IsSecret() const override;
    bool IsEmpty() const override;
    void SetChangedCallback(std::function<void()> fn) override;

private:
    struct Impl;
    Impl* m_pImpl;
};

// In memory, for tests. Other programs' actions are simulated with Copy,
// CopyPicture and OwnerGone; like Qt, SetText and Clear notify synchronously.
class CFakeClipboard final : public IClipboard {
public:
    std::string Text() const override { return m_strText; }
    void SetText(const std::string& utf8) override;
    void Clear() override;
    std::vector<std::string> Formats() const override { return m_aFormats; }
    bool IsSecret() const override { return m_bSecret; }
    bool IsEmpty() const override { return m_aFormats.empty(); }
    void SetChangedCallback(std::function<void()> fn) override { m_fnChanged = std::move(fn); }

    // Another program copies a text, offered as text/plain plus extraFormats;
    // bSecret adds x-kde-passwordManagerHint = secret.
    void Copy(const std::string& text, std::vector<std::string> extraFormats = {},
              bool bSecret = false);
    // Another program copies something without text.
    void CopyPicture();
    // The owning program ends: the clipboard becomes empty.
    void OwnerGone();

    int m_nSetText = 0;  // calls of SetText
    int m_nClear = 0;    // calls of Clear

private:
    void Notify() {
        if (m_fnChanged) m_fnChanged();
    }
    std::string m_strText;
    std::vector<std::string> m_aFormats;
    bool m_bSecret = false;
    std::function<void()> m_fnChanged;
};

// Keeps the history and the system clipboard together: every change of the
// clipboard goes through CaptureClipboard (our own writes are ignored through
// m_bPublishing, secret copies are not kept), a clipboard emptied because its
// owner went away gets the current entry back, and every publication is
// carried out here: m_fnShow for the window and the tray, then the clipboard
// write with m_bPublishing set around it.
class CClipboardLink {
public:
    CClipboardLink(IClipboard& clip, CClipHistory& history) : m_clip(clip), m_history(history) {}
    ~CClipboardLink() { Stop(); }
    CClipboardLink(const CClipboardLink&) = delete;
    CClipboardLink& operator=(const CClipboardLink&) = delete;

    // Start-up seeding from what is on the clipboard now. True when the text
    // became the first entry.
    bool Seed();
    // Follow the clipboard's changes from now on; Stop ends that.
    void Start();
    void Stop();
    // Shows a publication (m_fnShow) and carries out its clipboard part.
    void Apply(const ClipPublication& pub);
    // Writes the text of entry i (guarded), for callers that put an entry on
    // the clipboard outside a publication.
    void WriteEntry(int i);

    bool IsPublishing() const { return m_bPublishing; }
    // What the last notification led to (for tests and diagnostics).
    CaptureResult LastCapture() const { return m_eLast; }

    // Editor, entry list and tray icon for a publication; may be empty.
    std::function<void(const ClipPublication&)> m_fnShow;

private:
    void OnChanged();

    IClipboard& m_clip;
    CClipHistory& m_history;
    bool m_bPublishing = false;
    bool m_bStarted = false;
    CaptureResult m_eLast = CaptureResult::Empty;
};

}  // namespace meru
