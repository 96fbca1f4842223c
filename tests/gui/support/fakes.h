#pragma once
// In-memory stand-ins for the platform services, for tests and benchmarks.
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <string>
#include <vector>

#include "platform/clipboard.h"
#include "platform/launcher.h"
#include "platform/x11_hotkeys.h"

namespace meru {

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

// Records every request and starts nothing; tests read `calls`.
class CFakeLauncher final : public ILauncher {
public:
    struct Call {
        enum Kind { Url, Process } kind;
        QUrl url;
        QString program;
        QStringList args;
        QString workingDir;
    };
    std::vector<Call> calls;
    bool result = true;  // what every request reports

    bool openUrl(const QUrl& url) override;
    bool startDetached(const QString& program, const QStringList& args,
                       const QString& workingDir) override;
};

// For tests: Press(n) stands for the user pressing Ctrl+n.
class CFakeGlobalHotkeys final : public IGlobalHotkeys {
public:
    void SetCallback(std::function<void(int n)> fn) override { m_fn = std::move(fn); }
    std::vector<int> Start() override {
        m_bStarted = true;
        return {1, 2, 3, 4, 5};
    }
    void Stop() override { m_bStarted = false; }
    void Press(int n) {
        if (m_bStarted && m_fn && n >= 1 && n <= 5) m_fn(n);
    }
    bool IsStarted() const { return m_bStarted; }

private:
    std::function<void(int n)> m_fn;
    bool m_bStarted = false;
};

}  // namespace meru
