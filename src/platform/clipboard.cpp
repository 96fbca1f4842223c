#include "platform/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QObject>
#include <QString>

#include <xcb/xcb.h>

namespace meru {

namespace {

constexpr const char* kSecretHint = "x-kde-passwordManagerHint";

QString ToQString(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string ToUtf8(const QString& s) {
    const QByteArray b = s.toUtf8();
    return std::string(b.constData(), static_cast<size_t>(b.size()));
}

}  // namespace

// ------------------------------------------------------------------ Qt

struct CQtClipboard::Impl {
    QClipboard* pClipboard = nullptr;
    QMetaObject::Connection conn;
    std::function<void()> fnChanged;
    // On X11: our connection and the CLIPBOARD atom, to ask who owns it.
    xcb_connection_t* pXcb = nullptr;
    xcb_atom_t atomClipboard = XCB_ATOM_NONE;
};

CQtClipboard::CQtClipboard() : m_pImpl(new Impl) {
    m_pImpl->pClipboard = QGuiApplication::clipboard();
    if (auto* x11 =
            qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
        if (xcb_connection_t* c = x11->connection()) {
            static const char kName[] = "CLIPBOARD";
            xcb_intern_atom_reply_t* r =
                xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof kName - 1, kName), nullptr);
            if (r) {
                m_pImpl->pXcb = c;
                m_pImpl->atomClipboard = r->atom;
                free(r);
            }
        }
    }
    Impl* impl = m_pImpl;
    impl->conn =
        QObject::connect(impl->pClipboard, &QClipboard::changed, [impl](QClipboard::Mode mode) {
            if (mode == QClipboard::Clipboard && impl->fnChanged) impl->fnChanged();
        });
}

CQtClipboard::~CQtClipboard() {
    QObject::disconnect(m_pImpl->conn);
    delete m_pImpl;
}

std::string CQtClipboard::Text() const {
    return ToUtf8(m_pImpl->pClipboard->text(QClipboard::Clipboard));
}

void CQtClipboard::SetText(const std::string& utf8) {
    m_pImpl->pClipboard->setText(ToQString(utf8), QClipboard::Clipboard);
}

void CQtClipboard::Clear() { m_pImpl->pClipboard->clear(QClipboard::Clipboard); }

std::vector<std::string> CQtClipboard::Formats() const {
    std::vector<std::string> out;
    if (const QMimeData* md = m_pImpl->pClipboard->mimeData(QClipboard::Clipboard))
        for (const QString& f : md->formats()) out.push_back(ToUtf8(f));
    return out;
}

bool CQtClipboard::IsSecret() const {
    const QMimeData* md = m_pImpl->pClipboard->mimeData(QClipboard::Clipboard);
    // Ask for the hint's data only when it is offered: on X11 every request
    // is a round trip to the owning program.
    if (!md || !md->hasFormat(QLatin1String(kSecretHint))) return false;
    QByteArray value = md->data(QLatin1String(kSecretHint));
    while (value.endsWith('\0')) value.chop(1);  // some owners send a C string
    return value.trimmed() == "secret";
}

bool CQtClipboard::IsEmpty() const {
    if (m_pImpl->pXcb) {
        xcb_get_selection_owner_reply_t* r = xcb_get_selection_owner_reply(
            m_pImpl->pXcb, xcb_get_selection_owner(m_pImpl->pXcb, m_pImpl->atomClipboard), nullptr);
        if (r) {
            const bool bNoOwner = r->owner == XCB_WINDOW_NONE;
            free(r);
            return bNoOwner;
        }
    }
    const QMimeData* md = m_pImpl->pClipboard->mimeData(QClipboard::Clipboard);
    return !md || md->formats().isEmpty();
}

void CQtClipboard::SetChangedCallback(std::function<void()> fn) {
    m_pImpl->fnChanged = std::move(fn);
}

}  // namespace meru
