#include "platform/wayland_data_control.h"

#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string_view>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <wayland-client.h>
#include "wlr-data-control-unstable-v1-client-protocol.h"

namespace meru {

namespace {

// Our own sources carry this type with the write's serial, so that the
// selection event announcing them is known for ours.
constexpr std::string_view kOwnTypePrefix = "application/x-meru-source;serial=";
constexpr size_t kHintLimit = 256;
constexpr int kStartupReadMs = 1000;
constexpr int kConnectMs = 2000;
constexpr int kSendTimeoutMs = 10000;

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// "text/plain;charset=utf-8", also spelt "text/plain; charset=UTF-8".
bool IsUtf8Plain(std::string_view t) {
    std::string s;
    for (char c : t)
        if (c != ' ') s += c;
    return EqualsNoCase(s, "text/plain;charset=utf-8");
}

void SetNonBlocking(int fd) {
    const int fl = fcntl(fd, F_GETFL);
    if (fl >= 0) fcntl(fd, F_SETFL, fl | O_NONBLOCK);
}

// write() into a pipe whose reader may have gone: EPIPE instead of the
// SIGPIPE that would end the program.
ssize_t WriteNoSigpipe(int fd, const char* p, size_t n) {
    sigset_t pipeSet, old;
    sigemptyset(&pipeSet);
    sigaddset(&pipeSet, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    const bool bWasPending = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipeSet, &old);
    const ssize_t r = write(fd, p, n);
    const int err = errno;
    if (r < 0 && err == EPIPE && !bWasPending) {
        const timespec zero{0, 0};
        while (sigtimedwait(&pipeSet, nullptr, &zero) < 0 && errno == EINTR) {}
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    errno = err;
    return r;
}

}  // namespace

std::string ChooseTextType(const std::vector<std::string>& offered) {
    auto has = [&](std::string_view t) {
        return std::find(offered.begin(), offered.end(), t) != offered.end();
    };
    for (const std::string& t : offered)
        if (IsUtf8Plain(t)) return t;
    for (const char* t : {"UTF8_STRING", "text/plain", "TEXT", "STRING"})
        if (has(t)) return t;
    return {};
}

std::string TextFromOffer(const std::string& type, std::string data) {
    if (type != "STRING") return data;
    // Latin-1: every byte is the code point of the same value.
    std::string out;
    out.reserve(data.size());
    for (unsigned char c : data) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string TextForType(const std::string& type, const std::string& utf8) {
    if (type != "STRING") return utf8;
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        // The sequence's length from its lead byte; U+0080..U+00FF are the
        // two-byte sequences led by C2 and C3.
        const size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        const bool bWhole = i + len <= utf8.size() &&
                            std::all_of(utf8.begin() + i + 1, utf8.begin() + i + len, [](char t) {
                                return (static_cast<unsigned char>(t) & 0xC0) == 0x80;
                            });
        if (len == 2 && bWhole && (c == 0xC2 || c == 0xC3))
            out += static_cast<char>(((c & 0x03) << 6) |
                                     (static_cast<unsigned char>(utf8[i + 1]) & 0x3F));
        else
            out += '?';
        i += bWhole ? len : 1;
    }
    return out;
}

// ------------------------------------------------------------------ reader

COfferReader::COfferReader(std::vector<std::string> formats, Receive receive, Limits limits,
                           Done done, QObject* parent)
    : QObject(parent), m_receive(std::move(receive)), m_limits(limits), m_done(std::move(done)) {
    m_result.formats = std::move(formats);
    m_strTextType = ChooseTextType(m_result.formats);
}

COfferReader::~COfferReader() { CloseFd(); }

void COfferReader::CloseFd() {
    if (m_pNotifier) {
        m_pNotifier->setEnabled(false);
        m_pNotifier->deleteLater();
        m_pNotifier = nullptr;
    }
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

void COfferReader::Start() {
    m_pTimer = new QTimer(this);
    m_pTimer->setSingleShot(true);
    connect(m_pTimer, &QTimer::timeout, this, [this] { Finish(false); });
    m_pTimer->start(m_limits.msTimeout);
    const auto& f = m_result.formats;
    Begin(std::find(f.begin(), f.end(), kPasswordHintType) != f.end() ? Stage::Hint : Stage::Text);
}

void COfferReader::Begin(Stage stage) {
    m_stage = stage;
    m_buf.clear();
    const std::string mime = stage == Stage::Hint ? std::string(kPasswordHintType) : m_strTextType;
    if (mime.empty()) {
        Finish(true);  // no text on offer (a picture): complete, without text
        return;
    }
    m_fd = m_receive ? m_receive(mime) : -1;
    if (m_fd < 0) {
        Finish(false);
        return;
    }
    SetNonBlocking(m_fd);
    m_pNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, [this] { OnReadable(); });
}

void COfferReader::OnReadable() {
    if (m_bDone || m_fd < 0) return;
    const size_t cbLimit = m_stage == Stage::Hint ? kHintLimit : m_limits.cbText;
    char chunk[65536];
    for (;;) {
        const ssize_t n = read(m_fd, chunk, sizeof chunk);
        if (n > 0) {
            m_buf.append(chunk, static_cast<size_t>(n));
            if (m_buf.size() > cbLimit) {
                Finish(false);
                return;
            }
            continue;
        }
        if (n == 0) {
            CloseFd();
            StageDone();
            return;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) Finish(false);
        return;
    }
}

void COfferReader::StageDone() {
    if (m_stage == Stage::Hint) {
        std::string v = m_buf;
        while (!v.empty() && (v.back() == '\0' || v.back() == '\n' || v.back() == ' ' ||
                              v.back() == '\r' || v.back() == '\t'))
            v.pop_back();
        if (v == "secret") {
            m_result.bSecret = true;
            Finish(true);
            return;
        }
        Begin(Stage::Text);
        return;
    }
    m_result.text = TextFromOffer(m_strTextType, std::move(m_buf));
    m_buf.clear();
    Finish(true);
}

void COfferReader::Finish(bool bComplete) {
    if (m_bDone) return;
    m_bDone = true;
    CloseFd();
    if (m_pTimer) m_pTimer->stop();
    if (!bComplete) m_result.text.clear();
    m_result.bComplete = bComplete;
    if (m_done) m_done(m_result);  // last: it may hand the reader to deleteLater
}

bool COfferReader::Wait(int ms) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (!m_bDone) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 || m_fd < 0) {
            Finish(false);
            break;
        }
        pollfd p{m_fd, POLLIN, 0};
        const int r = poll(&p, 1, static_cast<int>(left));
        if (r < 0 && errno != EINTR) {
            Finish(false);
            break;
        }
        if (r > 0) OnReadable();
    }
    return m_bDone;
}

// ------------------------------------------------------------------ writer

CPipeWriter::CPipeWriter(int fd, std::shared_ptr<const std::string> text, int msTimeout,
                         std::function<void(bool)> done, QObject* parent)
    : QObject(parent), m_fd(fd), m_text(std::move(text)), m_done(std::move(done)) {
    SetNonBlocking(m_fd);
    m_pTimer = new QTimer(this);
    m_pTimer->setSingleShot(true);
    connect(m_pTimer, &QTimer::timeout, this, [this] { Finish(false); });
    m_pTimer->start(msTimeout);
    m_pNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Write, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, [this] { OnWritable(); });
}

CPipeWriter::~CPipeWriter() {
    if (m_fd >= 0) close(m_fd);
}

void CPipeWriter::OnWritable() {
    if (m_fd < 0) return;
    const std::string& s = m_text ? *m_text : std::string();
    while (m_off < s.size()) {
        const ssize_t n = WriteNoSigpipe(m_fd, s.data() + m_off, s.size() - m_off);
        if (n > 0) {
            m_off += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;  // wait for room
        Finish(false);                                                   // EPIPE and the like
        return;
    }
    Finish(true);
}

void CPipeWriter::Finish(bool bComplete) {
    if (m_fd < 0) return;
    m_pNotifier->setEnabled(false);
    m_pTimer->stop();
    close(m_fd);
    m_fd = -1;
    if (m_done) m_done(bComplete);
    deleteLater();
}

// ------------------------------------------------------------------ Wayland

struct CWaylandDataControlClipboard::Impl {
    wl_display* pDisplay = nullptr;
    wl_registry* pRegistry = nullptr;
    wl_seat* pSeat = nullptr;
    zwlr_data_control_manager_v1* pManager = nullptr;
    zwlr_data_control_device_v1* pDevice = nullptr;
    QObject anchor;  // parent of the notifier, the reader and the writers
    QSocketNotifier* pNotifier = nullptr;
    bool bBroken = false;
    // The globals we look for, as the registry announces them.
    uint32_t nSeatName = 0;
    uint32_t nManagerName = 0;

    // Offers introduced (data_offer, offer...) and not yet made the selection.
    std::map<zwlr_data_control_offer_v1*, std::vector<std::string>> mapNew;
    zwlr_data_control_offer_v1* pCurrent = nullptr;

    // What the clipboard holds, as last learnt.
    std::vector<std::string> formats;
    std::string text;
    bool bSecret = false;
    bool bEmpty = true;
    COfferReader* pReader = nullptr;
    // The offer being read (kept until the read ends, even when replaced)
    // and the selection that came meanwhile (pCurrent, of these types).
    zwlr_data_control_offer_v1* pReadOffer = nullptr;
    bool bQueued = false;
    std::vector<std::string> queuedTypes;

    // Our sources still alive (the selection or being replaced), by serial.
    struct Source {
        zwlr_data_control_source_v1* p;
        unsigned serial;
        std::shared_ptr<const std::string> text;
    };
    std::vector<Source> sources;
    unsigned nSerial = 0;
    // Our last write not yet seen coming back: a selection event before it
    // announces a copy the write has already replaced. The sync callback ends
    // the wait should no echo come.
    unsigned nPendingSerial = 0;
    bool bPendingNull = false;
    wl_callback* pSync = nullptr;

    std::function<void()> fnChanged;

    ~Impl();
    void Notify() {
        if (fnChanged) fnChanged();
    }
    void Flush() {
        if (pDisplay) wl_display_flush(pDisplay);
    }
    void OnReadable();
    void OnSelection(zwlr_data_control_offer_v1* offer);
    void CancelRead();
    void Release(zwlr_data_control_offer_v1* offer);
    void TakeUp(std::vector<std::string> types);
    void StartSync();
    void OnRead(const COfferReader::Result& res);
    int Receive(zwlr_data_control_offer_v1* offer, const std::string& mime);
    bool Roundtrip(int ms);
    void Fail(const char* what);
};

namespace {

unsigned OwnSerial(const std::vector<std::string>& types) {
    for (const std::string& t : types)
        if (t.starts_with(kOwnTypePrefix))
            return static_cast<unsigned>(
                std::strtoul(t.c_str() + kOwnTypePrefix.size(), nullptr, 10));
    return 0;
}

std::vector<std::string> TextTypes() {
    return {"text/plain;charset=utf-8", "UTF8_STRING", "text/plain", "TEXT", "STRING"};
}

using Impl = CWaylandDataControlClipboard::Impl;

void OfferType(void* data, zwlr_data_control_offer_v1* offer, const char* mime) {
    auto* d = static_cast<Impl*>(data);
    auto it = d->mapNew.find(offer);
    if (it != d->mapNew.end() && mime) it->second.emplace_back(mime);
}
const zwlr_data_control_offer_v1_listener kOfferListener = {OfferType};

void DeviceDataOffer(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
    auto* d = static_cast<Impl*>(data);
    d->mapNew[offer];
    zwlr_data_control_offer_v1_add_listener(offer, &kOfferListener, d);
}
void DeviceSelection(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
    static_cast<Impl*>(data)->OnSelection(offer);
}
void DeviceFinished(void* data, zwlr_data_control_device_v1*) {
    static_cast<Impl*>(data)->Fail("the compositor ended the clipboard control");
}
void DevicePrimary(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
    // Not asked for (version 1), but should it come: PRIMARY is not ours.
    auto* d = static_cast<Impl*>(data);
    if (offer) {
        d->mapNew.erase(offer);
        zwlr_data_control_offer_v1_destroy(offer);
    }
}
const zwlr_data_control_device_v1_listener kDeviceListener = {DeviceDataOffer, DeviceSelection,
                                                              DeviceFinished, DevicePrimary};

void SourceSend(void* data, zwlr_data_control_source_v1* src, const char* mime, int32_t fd) {
    auto* d = static_cast<Impl*>(data);
    auto it = std::find_if(d->sources.begin(), d->sources.end(),
                           [src](const Impl::Source& s) { return s.p == src; });
    if (it == d->sources.end() || (mime && std::string_view(mime).starts_with(kOwnTypePrefix))) {
        close(fd);  // the marker type carries nothing
        return;
    }
    auto text = it->text;
    if (mime && std::string_view(mime) == "STRING")
        text = std::make_shared<const std::string>(TextForType(mime, *it->text));
    new CPipeWriter(fd, std::move(text), kSendTimeoutMs, {}, &d->anchor);
}
void SourceCancelled(void* data, zwlr_data_control_source_v1* src) {
    auto* d = static_cast<Impl*>(data);
    auto it = std::find_if(d->sources.begin(), d->sources.end(),
                           [src](const Impl::Source& s) { return s.p == src; });
    if (it != d->sources.end()) {
        // A write cancelled before it was seen coming back will not come back.
        if (it->serial == d->nPendingSerial) d->nPendingSerial = 0;
        d->sources.erase(it);
    }
    zwlr_data_control_source_v1_destroy(src);
}
const zwlr_data_control_source_v1_listener kSourceListener = {SourceSend, SourceCancelled};

void SyncDone(void* data, wl_callback* cb, uint32_t) {
    auto* d = static_cast<Impl*>(data);
    if (d->pSync == cb) {
        d->pSync = nullptr;
        d->nPendingSerial = 0;
        d->bPendingNull = false;
    }
    wl_callback_destroy(cb);
}
const wl_callback_listener kSyncListener = {SyncDone};

void RegistryGlobal(void* data, wl_registry*, uint32_t name, const char* iface, uint32_t version) {
    auto* g = static_cast<Impl*>(data);
    const std::string_view i(iface);
    if (i == wl_seat_interface.name && g->nSeatName == 0) g->nSeatName = name;
    if (i == zwlr_data_control_manager_v1_interface.name && version >= 1) {
        g->nManagerName = name;
    }
}
void RegistryGlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistryListener = {RegistryGlobal, RegistryGlobalRemove};

}  // namespace

Impl::~Impl() {
    CancelRead();
    delete pNotifier;
    pNotifier = nullptr;
    if (pSync) wl_callback_destroy(pSync);
    for (auto& [offer, types] : mapNew) zwlr_data_control_offer_v1_destroy(offer);
    if (pCurrent) zwlr_data_control_offer_v1_destroy(pCurrent);
    for (const Source& s : sources) zwlr_data_control_source_v1_destroy(s.p);
    if (pDevice) zwlr_data_control_device_v1_destroy(pDevice);
    if (pManager) zwlr_data_control_manager_v1_destroy(pManager);
    if (pSeat) wl_seat_destroy(pSeat);
    if (pRegistry) wl_registry_destroy(pRegistry);
    if (pDisplay) {
        wl_display_flush(pDisplay);
        wl_display_disconnect(pDisplay);
    }
}

void Impl::Fail(const char* what) {
    if (bBroken) return;
    bBroken = true;
    if (pNotifier) pNotifier->setEnabled(false);
    fprintf(stderr, "clipboard: Wayland data-control stopped (%s); copies are no longer seen\n",
            what);
}

void Impl::OnReadable() {
    if (bBroken) return;
    while (wl_display_prepare_read(pDisplay) != 0) {
        if (wl_display_dispatch_pending(pDisplay) < 0) return Fail("connection error");
    }
    wl_display_flush(pDisplay);
    if (wl_display_read_events(pDisplay) < 0) return Fail("the compositor went away");
    if (wl_display_dispatch_pending(pDisplay) < 0) return Fail("connection error");
    Flush();
}

bool Impl::Roundtrip(int ms) {
    // wl_display_roundtrip without the risk of waiting for ever on a
    // compositor that does not answer.
    bool bDone = false;
    static const wl_callback_listener kDone = {[](void* data, wl_callback* cb, uint32_t) {
        if (data) *static_cast<bool*>(data) = true;
        wl_callback_destroy(cb);
    }};
    wl_callback* cb = wl_display_sync(pDisplay);
    wl_callback_add_listener(cb, &kDone, &bDone);
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (!bDone) {
        if (wl_display_dispatch_pending(pDisplay) < 0) return false;
        if (bDone) break;
        while (wl_display_prepare_read(pDisplay) != 0) wl_display_dispatch_pending(pDisplay);
        if (bDone) {
            wl_display_cancel_read(pDisplay);
            break;
        }
        wl_display_flush(pDisplay);
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{wl_display_get_fd(pDisplay), POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) {
            wl_display_cancel_read(pDisplay);
            if (!bDone) wl_proxy_set_user_data(reinterpret_cast<wl_proxy*>(cb), nullptr);
            return false;
        }
        if (wl_display_read_events(pDisplay) < 0) return false;
    }
    return wl_display_dispatch_pending(pDisplay) >= 0;
}

void Impl::StartSync() {
    if (pSync) wl_callback_destroy(pSync);
    pSync = wl_display_sync(pDisplay);
    wl_callback_add_listener(pSync, &kSyncListener, this);
}

int Impl::Receive(zwlr_data_control_offer_v1* offer, const std::string& mime) {
    if (bBroken || !offer) return -1;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return -1;
    zwlr_data_control_offer_v1_receive(offer, mime.c_str(), fds[1]);
    close(fds[1]);  // sent: the source writes into its own copy
    Flush();
    return fds[0];
}

void Impl::Release(zwlr_data_control_offer_v1* offer) {
    if (offer && offer != pCurrent && offer != pReadOffer)
        zwlr_data_control_offer_v1_destroy(offer);
}

void Impl::CancelRead() {
    delete pReader;
    pReader = nullptr;
    zwlr_data_control_offer_v1* old = pReadOffer;
    pReadOffer = nullptr;
    Release(old);
    bQueued = false;
}

void Impl::OnSelection(zwlr_data_control_offer_v1* offer) {
    std::vector<std::string> types;
    if (offer) {
        auto it = mapNew.find(offer);
        if (it != mapNew.end()) {
            types = std::move(it->second);
            mapNew.erase(it);
        }
    }
    zwlr_data_control_offer_v1* old = pCurrent;
    pCurrent = offer;
    Release(old);

    if (const unsigned own = OwnSerial(types)) {
        // One of our writes coming back: its text is known, and the change
        // was announced when it was made. An older one, with a newer write
        // on its way, changes nothing.
        if (nPendingSerial && own != nPendingSerial) return;
        nPendingSerial = 0;
        CancelRead();
        auto src = std::find_if(sources.begin(), sources.end(),
                                [own](const Source& s) { return s.serial == own; });
        if (src != sources.end() && src->text) text = *src->text;
        std::erase_if(types, [](const std::string& t) { return t.starts_with(kOwnTypePrefix); });
        formats = std::move(types);
        bSecret = false;
        bEmpty = false;
        return;
    }
    if (!offer && bPendingNull) {
        bPendingNull = false;  // our Clear coming back
        return;
    }
    if (nPendingSerial || bPendingNull) return;  // replaced by our write already

    if (pReader) {
        // A copy still being read is not thrown away: its source has sent it
        // (a program that serves one paste and ends, or ends right after
        // copying, empties the clipboard at once). The newest selection is
        // taken up when the read is over; those in between are gone anyway.
        queuedTypes = std::move(types);
        bQueued = true;
        return;
    }
    TakeUp(std::move(types));
}

void Impl::TakeUp(std::vector<std::string> types) {
    bQueued = false;
    if (!pCurrent) {
        formats.clear();
        text.clear();
        bSecret = false;
        bEmpty = true;
        Notify();
        return;
    }
    pReadOffer = pCurrent;
    pReader = new COfferReader(
        std::move(types), [this](const std::string& mime) { return Receive(pReadOffer, mime); },
        COfferReader::Limits{}, [this](const COfferReader::Result& res) { OnRead(res); }, &anchor);
    pReader->Start();  // may finish at once (no text on offer)
}

void Impl::OnRead(const COfferReader::Result& res) {
    // Only the current reader reports: one cancelled is deleted unfinished.
    if (pReader) pReader->deleteLater();
    pReader = nullptr;
    zwlr_data_control_offer_v1* old = pReadOffer;
    pReadOffer = nullptr;
    Release(old);
    formats = res.formats;
    text = res.text;
    bSecret = res.bSecret;
    bEmpty = false;
    if (!res.bComplete)
        fprintf(stderr, "clipboard: a copy could not be read (too long, or no answer in time)\n");
    Notify();
    // What came meanwhile, unless the callback has written the clipboard.
    if (bQueued && !pReader) TakeUp(std::move(queuedTypes));
}

// ------------------------------------------------------------------ the clipboard

CWaylandDataControlClipboard::CWaylandDataControlClipboard() : m_pImpl(std::make_unique<Impl>()) {}

CWaylandDataControlClipboard::~CWaylandDataControlClipboard() = default;

std::unique_ptr<CWaylandDataControlClipboard> CWaylandDataControlClipboard::Open(std::string* why) {
    auto say = [why](const char* s) {
        if (why) *why = s;
        return nullptr;
    };
    const char* wd = std::getenv("WAYLAND_DISPLAY");
    // wl_display_connect(NULL) would try wayland-0 even outside a Wayland session.
    if (!wd || !*wd) return say("no Wayland session");
    std::unique_ptr<CWaylandDataControlClipboard> self(new CWaylandDataControlClipboard);
    Impl& d = *self->m_pImpl;
    d.pDisplay = wl_display_connect(nullptr);
    if (!d.pDisplay) return say("the Wayland compositor cannot be reached");
    d.pRegistry = wl_display_get_registry(d.pDisplay);
    wl_registry_add_listener(d.pRegistry, &kRegistryListener, &d);
    if (!d.Roundtrip(kConnectMs)) return say("the Wayland compositor does not answer");
    if (!d.nManagerName) return say("the compositor offers no data-control");
    if (!d.nSeatName) return say("the compositor has no seat");
    d.pSeat =
        static_cast<wl_seat*>(wl_registry_bind(d.pRegistry, d.nSeatName, &wl_seat_interface, 1));
    // Version 1 is all we use: version 2 adds PRIMARY, which MERU leaves alone.
    d.pManager = static_cast<zwlr_data_control_manager_v1*>(
        wl_registry_bind(d.pRegistry, d.nManagerName, &zwlr_data_control_manager_v1_interface, 1));
    d.pDevice = zwlr_data_control_manager_v1_get_data_device(d.pManager, d.pSeat);
    zwlr_data_control_device_v1_add_listener(d.pDevice, &kDeviceListener, &d);
    // The first selection event comes with the device: what is on the
    // clipboard now, read at once so that the history can start with it.
    if (!d.Roundtrip(kConnectMs)) return say("the Wayland compositor does not answer");
    if (d.pReader) d.pReader->Wait(kStartupReadMs);
    d.pNotifier =
        new QSocketNotifier(wl_display_get_fd(d.pDisplay), QSocketNotifier::Read, &d.anchor);
    Impl* pd = &d;
    QObject::connect(d.pNotifier, &QSocketNotifier::activated, &d.anchor,
                     [pd] { pd->OnReadable(); });
    // Events read during the waits above are dispatched; the rest arrive
    // through the notifier.
    wl_display_dispatch_pending(d.pDisplay);
    d.Flush();
    return self;
}

std::string CWaylandDataControlClipboard::Text() const { return m_pImpl->text; }

void CWaylandDataControlClipboard::SetText(const std::string& utf8) {
    Impl& d = *m_pImpl;
    d.CancelRead();
    if (!d.bBroken) {
        const unsigned serial = ++d.nSerial;
        zwlr_data_control_source_v1* src =
            zwlr_data_control_manager_v1_create_data_source(d.pManager);
        zwlr_data_control_source_v1_add_listener(src, &kSourceListener, &d);
        for (const std::string& t : TextTypes()) zwlr_data_control_source_v1_offer(src, t.c_str());
        const std::string own = std::string(kOwnTypePrefix) + std::to_string(serial);
        zwlr_data_control_source_v1_offer(src, own.c_str());
        zwlr_data_control_device_v1_set_selection(d.pDevice, src);
        d.sources.push_back({src, serial, std::make_shared<const std::string>(utf8)});
        d.nPendingSerial = serial;
        d.bPendingNull = false;
        d.StartSync();
        d.Flush();
    }
    d.text = utf8;
    d.formats = TextTypes();
    d.bSecret = false;
    d.bEmpty = false;
    d.Notify();
}

void CWaylandDataControlClipboard::Clear() {
    Impl& d = *m_pImpl;
    d.CancelRead();
    if (!d.bBroken) {
        zwlr_data_control_device_v1_set_selection(d.pDevice, nullptr);
        d.nPendingSerial = 0;
        d.bPendingNull = true;
        d.StartSync();
        d.Flush();
    }
    d.text.clear();
    d.formats.clear();
    d.bSecret = false;
    d.bEmpty = true;
    d.Notify();
}

std::vector<std::string> CWaylandDataControlClipboard::Formats() const { return m_pImpl->formats; }

bool CWaylandDataControlClipboard::IsSecret() const { return m_pImpl->bSecret; }

bool CWaylandDataControlClipboard::IsEmpty() const { return m_pImpl->bEmpty; }

void CWaylandDataControlClipboard::SetChangedCallback(std::function<void()> fn) {
    m_pImpl->fnChanged = std::move(fn);
}

// ------------------------------------------------------------------ choice

std::unique_ptr<IClipboard> CreateDesktopClipboard(std::string* note) {
    const char* wd = std::getenv("WAYLAND_DISPLAY");
    const bool bWayland = wd && *wd;
    const char* forced = std::getenv("MERU_CLIPBOARD");
    const bool bForceX11 = forced && std::string_view(forced) == "x11";
    std::string why = "MERU_CLIPBOARD=x11";
    if (bWayland && !bForceX11) {
        if (auto dc = CWaylandDataControlClipboard::Open(&why)) {
            if (note)
                *note =
                    "clipboard: Wayland data-control (copies are seen whichever window has the "
                    "focus)";
            return dc;
        }
    }
    if (bWayland && note) {
        const QString platform = QGuiApplication::platformName();
        if (platform == QLatin1String("xcb"))
            *note = "clipboard: X11 through XWayland (" + why +
                    "); unless the compositor passes every copy on to XWayland, copies made in "
                    "Wayland programs reach the history only while an X11 window has the focus";
        else
            *note = "clipboard: Qt's own on the " + platform.toStdString() + " platform (" + why +
                    "); copies made while MERU is not focused may not be seen";
    }
    return std::make_unique<CQtClipboard>();
}

}  // namespace meru
