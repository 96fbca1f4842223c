#pragma once
// Ctrl+1..5 through the desktop's GlobalShortcuts portal
// (org.freedesktop.portal.GlobalShortcuts on the session bus), the way a
// program gets global keys in a Wayland session where it cannot grab them
// (KDE Plasma offers it; the user confirms the keys in the desktop's dialog).
//
// Everything is asynchronous: the portal's version is read, a shortcuts
// session is created, the five shortcuts "select-1".."select-5" are bound
// with "CTRL+1".."CTRL+5" as preferred triggers, and each step's answer comes
// later as the Request's Response signal. The GUI thread never waits, not
// even while the user looks at the confirmation dialog. Start() therefore
// returns nothing at first; what came of it arrives through the outcome
// callback: the numbers the desktop bound, or none and why not; and once
// more, with none, should the desktop end the session later.
//
//   CPortalGlobalShortcuts keys(QDBusConnection::sessionBus());
//   keys.SetCallback([&](int n) { /* make entry n current */ });
//   keys.SetOutcomeCallback([&](const std::vector<int>& bound, const std::string& why) {...});
//   keys.Start();
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/x11_hotkeys.h"

namespace meru {

class CPortalGlobalShortcuts final : public QObject, public IGlobalHotkeys {
    Q_OBJECT
public:
    // `bound`: the numbers 1..5 the desktop bound (in order); when empty,
    // `why` says for a user why the portal gave none.
    using Outcome = std::function<void(const std::vector<int>& bound, const std::string& why)>;

    explicit CPortalGlobalShortcuts(const QDBusConnection& bus, QObject* parent = nullptr);
    ~CPortalGlobalShortcuts() override;

    void SetCallback(std::function<void(int n)> fn) override;
    void SetOutcomeCallback(Outcome fn);
    // Begins the handshake; returns the bound numbers only when an earlier
    // handshake already ended bound, otherwise nothing (see the outcome).
    std::vector<int> Start() override;
    // Closes the portal session (the desktop forgets the keys' delivery to
    // us) and drops any handshake under way.
    void Stop() override;

    // The shortcut id for number n, and back (0 for an id not ours).
    static QString ShortcutId(int n);
    static int NumberOf(const QString& id);

private slots:
    void OnResponse(uint response, const QVariantMap& results, const QDBusMessage& msg);
    void OnActivated(const QDBusObjectPath& session, const QString& id, qulonglong timestamp,
                     const QVariantMap& options);
    void OnSessionClosed(const QVariantMap& details, const QDBusMessage& msg);

private:
    enum class Step { Idle, Probing, Creating, Binding, Bound, Failed };

    void Probe();
    void CreateSession();
    void BindShortcuts();
    // Calls `method` of the portal with `args` (whose options carry
    // `token` as handle_token) and waits for the Request's Response.
    void Request(const QString& method, const QList<QVariant>& args, const QString& token);
    void Fail(const std::string& why);
    QString NewToken();

    QDBusConnection m_bus;
    Step m_step = Step::Idle;
    // Bumped by Stop(): answers to an abandoned handshake are ignored.
    unsigned m_nGeneration = 0;
    unsigned m_nTokens = 0;
    QString m_strRequestPath;  // the Request whose Response we wait for
    QString m_strSession;      // the session handle, once created
    std::vector<int> m_aBound;
    std::function<void(int)> m_fn;
    Outcome m_outcome;
};

// The global keys for this desktop session, with the fallbacks in order:
// in a Wayland session the portal when the session bus offers it and it
// binds at least one key, else the X11 grab (which reaches only X11
// programs there), and "meru --select N" bound in the desktop's own
// shortcut settings beyond that; in an X11 session the grab alone. In a
// Wayland session it says once on standard error which is in use.
// Call after the QApplication exists.
std::unique_ptr<IGlobalHotkeys> CreateDesktopHotkeys();

}  // namespace meru
