#include "platform/portal_shortcuts.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QList>
#include <QMetaType>
#include <QRandomGenerator>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

#include "platform/session_platform.h"

// One entry of the a(sa{sv}) shortcut lists the portal takes and gives back.
namespace meru::portal {
struct Shortcut {
    QString id;
    QVariantMap props;
};
}  // namespace meru::portal
Q_DECLARE_METATYPE(meru::portal::Shortcut)

namespace meru::portal {
QDBusArgument& operator<<(QDBusArgument& arg, const Shortcut& s) {
    arg.beginStructure();
    arg << s.id << s.props;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, Shortcut& s) {
    arg.beginStructure();
    arg >> s.id >> s.props;
    arg.endStructure();
    return arg;
}
}  // namespace meru::portal

namespace meru {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kSession = QStringLiteral("org.freedesktop.portal.Session");

void RegisterTypes() {
    static const bool once = [] {
        qDBusRegisterMetaType<portal::Shortcut>();
        qDBusRegisterMetaType<QList<portal::Shortcut>>();
        return true;
    }();
    (void)once;
}

// A handle in a result: a string as the portal documents it, or an object
// path as some backends send it.
QString PathOf(const QVariant& v) {
    if (v.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return v.value<QDBusObjectPath>().path();
    return v.toString();
}

}  // namespace

CPortalGlobalShortcuts::CPortalGlobalShortcuts(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), m_bus(bus) {
    RegisterTypes();
    // Listened to once, for the object's life, and told apart by path: the
    // paths name our connection, our requests and our session, and nothing
    // is connected or disconnected while an answer may be on its way.
    if (m_bus.isConnected()) {
        m_bus.connect(QString(), QString(), kRequest, QStringLiteral("Response"), this,
                      SLOT(OnResponse(uint, QVariantMap, QDBusMessage)));
        m_bus.connect(QString(), kPath, kInterface, QStringLiteral("Activated"), this,
                      SLOT(OnActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
        m_bus.connect(QString(), QString(), kSession, QStringLiteral("Closed"), this,
                      SLOT(OnSessionClosed(QVariantMap, QDBusMessage)));
    }
}

CPortalGlobalShortcuts::~CPortalGlobalShortcuts() {
    Stop();
    if (QCoreApplication::instance() && m_bus.isConnected()) {
        m_bus.disconnect(QString(), QString(), kRequest, QStringLiteral("Response"), this,
                         SLOT(OnResponse(uint, QVariantMap, QDBusMessage)));
        m_bus.disconnect(QString(), kPath, kInterface, QStringLiteral("Activated"), this,
                         SLOT(OnActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
        m_bus.disconnect(QString(), QString(), kSession, QStringLiteral("Closed"), this,
                         SLOT(OnSessionClosed(QVariantMap, QDBusMessage)));
    }
}

void CPortalGlobalShortcuts::SetCallback(std::function<void(int)> fn) { m_fn = std::move(fn); }
void CPortalGlobalShortcuts::SetOutcomeCallback(Outcome fn) { m_outcome = std::move(fn); }

QString CPortalGlobalShortcuts::ShortcutId(int n) {
    return QStringLiteral("select-") + QString::number(n);
}

int CPortalGlobalShortcuts::NumberOf(const QString& id) {
    for (int n = 1; n <= 5; ++n)
        if (id == ShortcutId(n)) return n;
    return 0;
}

std::vector<int> CPortalGlobalShortcuts::Start() {
    if (m_step == Step::Bound) return m_aBound;
    if (m_step == Step::Probing || m_step == Step::Creating || m_step == Step::Binding) return {};
    ++m_nGeneration;
    m_step = Step::Probing;
    Probe();
    return {};
}

void CPortalGlobalShortcuts::Stop() {
    ++m_nGeneration;
    m_strRequestPath.clear();
    if (!m_strSession.isEmpty() && QCoreApplication::instance() && m_bus.isConnected()) {
        // No answer is awaited: the session ends with our connection anyway.
        m_bus.send(QDBusMessage::createMethodCall(kService, m_strSession, kSession,
                                                  QStringLiteral("Close")));
    }
    m_strSession.clear();
    m_aBound.clear();
    m_step = Step::Idle;
}

void CPortalGlobalShortcuts::Probe() {
    const unsigned gen = m_nGeneration;
    if (!m_bus.isConnected()) {
        // Told through the event loop like every other outcome.
        QTimer::singleShot(0, this, [this, gen] {
            if (gen == m_nGeneration) Fail("no session bus");
        });
        return;
    }
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kInterface << QStringLiteral("version");
    auto* watch = new QDBusPendingCallWatcher(m_bus.asyncCall(get), this);
    connect(watch, &QDBusPendingCallWatcher::finished, this, [this, watch, gen] {
        watch->deleteLater();
        if (gen != m_nGeneration) return;
        const QDBusMessage reply = watch->reply();
        if (reply.type() == QDBusMessage::ErrorMessage) {
            const QString err = reply.errorName();
            if (err == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
                err == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
                Fail("none runs on the session bus");
            else if (err == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
                     err == QLatin1String("org.freedesktop.DBus.Error.Timeout"))
                Fail("it did not answer");
            else
                Fail("it offers no global shortcuts");
            return;
        }
        const QVariant v = reply.arguments().value(0).value<QDBusVariant>().variant();
        bool ok = false;
        const uint version = v.toUInt(&ok);
        if (!ok || version == 0) {
            Fail("it offers no global shortcuts");
            return;
        }
        CreateSession();
    });
}

QString CPortalGlobalShortcuts::NewToken() {
    // A valid object path element, unique within this run and unlikely to
    // meet a token of an earlier run.
    return QStringLiteral("meru_%1_%2")
        .arg(++m_nTokens)
        .arg(QRandomGenerator::global()->generate() & 0xffffff, 6, 16, QLatin1Char('0'));
}

void CPortalGlobalShortcuts::CreateSession() {
    m_step = Step::Creating;
    const QString token = NewToken();
    QVariantMap options;
    options.insert(QStringLiteral("handle_token"), token);
    options.insert(QStringLiteral("session_handle_token"), NewToken());
    Request(QStringLiteral("CreateSession"), {options}, token);
}

void CPortalGlobalShortcuts::BindShortcuts() {
    m_step = Step::Binding;
    QList<portal::Shortcut> list;
    for (int n = 1; n <= 5; ++n) {
        QVariantMap props;
        props.insert(QStringLiteral("description"),
                     QStringLiteral("Put clipboard history entry %1 on the clipboard").arg(n));
        props.insert(QStringLiteral("preferred_trigger"), QStringLiteral("CTRL+%1").arg(n));
        list.push_back({ShortcutId(n), props});
    }
    const QString token = NewToken();
    QVariantMap options;
    options.insert(QStringLiteral("handle_token"), token);
    // No parent window: MERU runs through X11, and a portal can place its
    // dialog without one.
    Request(QStringLiteral("BindShortcuts"),
            {QVariant::fromValue(QDBusObjectPath(m_strSession)), QVariant::fromValue(list),
             QString(), options},
            token);
}

void CPortalGlobalShortcuts::Request(const QString& method, const QList<QVariant>& args,
                                     const QString& token) {
    // The Request object's path is known before the call: listen first, so
    // that an answer given at once is not missed.
    QString sender = m_bus.baseService();
    if (sender.startsWith(QLatin1Char(':'))) sender.remove(0, 1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    m_strRequestPath = kPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;

    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    call.setArguments(args);
    const unsigned gen = m_nGeneration;
    auto* watch = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watch, &QDBusPendingCallWatcher::finished, this, [this, watch, gen] {
        watch->deleteLater();
        if (gen != m_nGeneration) return;
        const QDBusMessage reply = watch->reply();
        if (reply.type() == QDBusMessage::ErrorMessage) {
            Fail("it failed: " + reply.errorMessage().toStdString());
            return;
        }
        // Older portals name the Request differently: follow the one given.
        const QString handle = PathOf(reply.arguments().value(0));
        if (!handle.isEmpty() && !m_strRequestPath.isEmpty()) m_strRequestPath = handle;
    });
}

void CPortalGlobalShortcuts::OnResponse(uint response, const QVariantMap& results,
                                        const QDBusMessage& msg) {
    if (m_strRequestPath.isEmpty() || msg.path() != m_strRequestPath) return;
    m_strRequestPath.clear();
    if (m_step == Step::Creating) {
        if (response != 0) {
            Fail("it refused a shortcuts session");
            return;
        }
        const QString session = PathOf(results.value(QStringLiteral("session_handle")));
        if (!session.startsWith(QLatin1Char('/'))) {
            Fail("it gave no shortcuts session");
            return;
        }
        m_strSession = session;
        BindShortcuts();
        return;
    }
    if (m_step != Step::Binding) return;
    if (response != 0) {
        // 1: the user cancelled the desktop's dialog; 2: anything else.
        Fail(response == 1 ? "the keys were not confirmed" : "it refused to bind the keys");
        return;
    }
    bool bBound[6] = {};
    const auto it = results.find(QStringLiteral("shortcuts"));
    if (it == results.end()) {
        // A success that does not list them: all that were asked for.
        for (int n = 1; n <= 5; ++n) bBound[n] = true;
    } else if (it->canConvert<QDBusArgument>()) {
        QList<portal::Shortcut> list;
        it->value<QDBusArgument>() >> list;
        for (const portal::Shortcut& s : list) bBound[NumberOf(s.id)] = true;
    }
    m_aBound.clear();
    for (int n = 1; n <= 5; ++n)
        if (bBound[n]) m_aBound.push_back(n);
    if (m_aBound.empty()) {
        Fail("it bound none of the keys");
        return;
    }
    m_step = Step::Bound;
    if (m_outcome) m_outcome(m_aBound, {});
}

void CPortalGlobalShortcuts::OnActivated(const QDBusObjectPath& session, const QString& id,
                                         qulonglong, const QVariantMap&) {
    if (m_step != Step::Bound || session.path() != m_strSession) return;
    const int n = NumberOf(id);
    if (n && m_fn) m_fn(n);
}

// The desktop may end the session later (the user withdrew the keys, the
// portal restarted): then the keys are dead and the grab must take over.
void CPortalGlobalShortcuts::OnSessionClosed(const QVariantMap&, const QDBusMessage& msg) {
    if (m_strSession.isEmpty() || msg.path() != m_strSession) return;
    m_strSession.clear();  // gone already: nothing to close
    Fail("it ended the shortcuts session");
}

void CPortalGlobalShortcuts::Fail(const std::string& why) {
    Stop();
    m_step = Step::Failed;
    if (m_outcome) m_outcome({}, why);
}

namespace {

void Tell(const std::string& line) {
    std::fputs(("meru: global keys: " + line + "\n").c_str(), stderr);
    std::fflush(stderr);
}

std::string Numbers(const std::vector<int>& ns) {
    std::string s;
    for (int n : ns) s += (s.empty() ? "" : ", ") + std::to_string(n);
    return s;
}

// The portal first; should it bind nothing, the X11 grab.
class CDesktopHotkeys final : public IGlobalHotkeys {
public:
    CDesktopHotkeys() : m_portal(QDBusConnection::sessionBus()) {
        m_portal.SetOutcomeCallback([this](const std::vector<int>& bound, const std::string& why) {
            OnOutcome(bound, why);
        });
    }

    void SetCallback(std::function<void(int)> fn) override {
        m_fn = std::move(fn);
        m_portal.SetCallback(m_fn);
        if (m_pGrab) m_pGrab->SetCallback(m_fn);
    }

    std::vector<int> Start() override { return m_pGrab ? m_pGrab->Start() : m_portal.Start(); }

    void Stop() override {
        m_portal.Stop();
        if (m_pGrab) m_pGrab->Stop();
    }

private:
    void OnOutcome(const std::vector<int>& bound, const std::string& why) {
        if (!bound.empty()) {
            if (bound.size() == 5)
                Tell(
                    "desktop portal (Ctrl+1..5, or the keys chosen for MERU in the desktop's "
                    "shortcut settings)");
            else
                Tell("desktop portal, for history entries " + Numbers(bound) +
                     " only; bind \"meru --select N\" in the desktop's shortcut settings for the "
                     "others");
            return;
        }
        m_pGrab = CreateGlobalHotkeys();
        m_pGrab->SetCallback(m_fn);
        const bool bGrab = !m_pGrab->Start().empty();
        if (bGrab)
            Tell("X11 grab, reaching X11 (XWayland) programs only (desktop portal: " + why +
                 "); bind \"meru --select N\" in the desktop's shortcut settings to use "
                 "Ctrl+1..5 everywhere");
        else
            Tell("none (desktop portal: " + why +
                 "; no X11 grab); bind \"meru --select N\" in the desktop's shortcut settings "
                 "to use Ctrl+1..5");
    }

    CPortalGlobalShortcuts m_portal;
    std::unique_ptr<IGlobalHotkeys> m_pGrab;
    std::function<void(int)> m_fn;
};

}  // namespace

std::unique_ptr<IGlobalHotkeys> CreateDesktopHotkeys() {
    const bool bWayland =
        ChoosePlatform(std::getenv("QT_QPA_PLATFORM"), std::getenv("WAYLAND_DISPLAY"),
                       std::getenv("XDG_SESSION_TYPE"))
            .bWaylandSession;
    if (!bWayland) return CreateGlobalHotkeys();
    return std::make_unique<CDesktopHotkeys>();
}

}  // namespace meru
