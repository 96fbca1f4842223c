#pragma once
// The clipboard of a Wayland session read and written through the compositor's
// data-control protocol (zwlr_data_control_manager_v1: sway, Hyprland, labwc,
// KWin...). Unlike the clipboard of XWayland, it sees every copy whichever
// window has the focus. It has its own Wayland connection, separate from Qt's
// (which stays on xcb), watched by a socket notifier on the GUI thread.
#include <QObject>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/clipboard.h"

class QSocketNotifier;
class QTimer;

namespace meru {

// The MIME type a password manager marks its copies with ("secret").
inline constexpr const char* kPasswordHintType = "x-kde-passwordManagerHint";

// The text type to read from an offer of these types, best first
// (text/plain;charset=utf-8, UTF8_STRING, text/plain, TEXT, STRING); "" when
// no text is offered.
std::string ChooseTextType(const std::vector<std::string>& offered);

// What an offer sent in `type`, as UTF-8: STRING is Latin-1, the rest UTF-8.
std::string TextFromOffer(const std::string& type, std::string data);
// Our UTF-8 text as sent for `type`: Latin-1 for STRING (a character beyond
// it, or a broken sequence, becomes '?'), unchanged for the rest.
std::string TextForType(const std::string& type, const std::string& utf8);

// Reads one selection offer the way the history needs it: the password
// manager's hint first (a secret text is never read), then the text. Each
// transfer goes through a non-blocking pipe watched by a socket notifier; a
// text longer than the limit or a source that does not finish within the
// time-out ends the read as incomplete (no text).
class COfferReader : public QObject {
public:
    struct Result {
        std::vector<std::string> formats;
        std::string text;
        bool bSecret = false;
        // false: timed out, too long, or the transfer could not start
        bool bComplete = false;
    };
    struct Limits {
        size_t cbText = size_t(64) << 20;
        int msTimeout = 3000;
    };
    // Asks the source for a MIME type; returns the read end of the pipe the
    // data arrive on (the reader closes it), or -1.
    using Receive = std::function<int(const std::string& mime)>;
    using Done = std::function<void(const Result&)>;

    COfferReader(std::vector<std::string> formats, Receive receive, Limits limits, Done done,
                 QObject* parent = nullptr);
    ~COfferReader() override;
    COfferReader(const COfferReader&) = delete;
    COfferReader& operator=(const COfferReader&) = delete;

    // Starts the transfers; `done` is called once, possibly from here (nothing
    // to read), else from the event loop. It may delete the reader only
    // through deleteLater.
    void Start();
    // Start-up, before the event loop runs: reads in place for at most ms
    // milliseconds. True when the read is over.
    bool Wait(int ms);
    bool IsDone() const { return m_bDone; }

private:
    enum class Stage { Hint, Text };
    void Begin(Stage stage);
    void OnReadable();
    void StageDone();
    void Finish(bool bComplete);
    void CloseFd();

    Receive m_receive;
    Limits m_limits;
    Done m_done;
    Result m_result;
    Stage m_stage = Stage::Text;
    std::string m_strTextType;
    std::string m_buf;
    int m_fd = -1;
    QSocketNotifier* m_pNotifier = nullptr;
    QTimer* m_pTimer = nullptr;
    bool m_bDone = false;
};

// Serves one `send` request: writes the text into the pipe without blocking,
// the rest whenever the pipe has room, and closes it. A reader that closes
// its end early (no SIGPIPE) or stalls past the time-out ends the transfer.
// It deletes itself when done.
class CPipeWriter : public QObject {
public:
    // Takes the fd. `done(bComplete)` (optional) is called once at the end.
    CPipeWriter(int fd, std::shared_ptr<const std::string> text, int msTimeout,
                std::function<void(bool)> done, QObject* parent = nullptr);
    ~CPipeWriter() override;
    CPipeWriter(const CPipeWriter&) = delete;
    CPipeWriter& operator=(const CPipeWriter&) = delete;

private:
    void OnWritable();
    void Finish(bool bComplete);

    int m_fd;
    std::shared_ptr<const std::string> m_text;
    size_t m_off = 0;
    std::function<void(bool)> m_done;
    QSocketNotifier* m_pNotifier = nullptr;
    QTimer* m_pTimer = nullptr;
};

class CWaylandDataControlClipboard final : public IClipboard {
public:
    // Connects to $WAYLAND_DISPLAY and takes the first seat's clipboard, read
    // at once (Text() holds it on return). nullptr when there is no Wayland
    // session, no compositor or no data-control; `why` then says which.
    static std::unique_ptr<CWaylandDataControlClipboard> Open(std::string* why = nullptr);
    ~CWaylandDataControlClipboard() override;
    CWaylandDataControlClipboard(const CWaylandDataControlClipboard&) = delete;
    CWaylandDataControlClipboard& operator=(const CWaylandDataControlClipboard&) = delete;

    // What the last change held; a copy is announced (changed callback) once
    // its text has arrived.
    std::string Text() const override;
    void SetText(const std::string& utf8) override;
    void Clear() override;
    std::vector<std::string> Formats() const override;
    bool IsSecret() const override;
    bool IsEmpty() const override;
    void SetChangedCallback(std::function<void()> fn) override;

    struct Impl;

private:
    CWaylandDataControlClipboard();
    std::unique_ptr<Impl> m_pImpl;
};

// The clipboard MERU uses: data-control in a Wayland session whose compositor
// offers it (unless MERU_CLIPBOARD=x11), else Qt's (X11, XWayland in a
// Wayland session). `note` gets a line for standard error in a Wayland
// session, saying which one is in use; it stays empty elsewhere.
std::unique_ptr<IClipboard> CreateDesktopClipboard(std::string* note);

}  // namespace meru
