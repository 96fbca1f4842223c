#pragma once
#include <QString>
#include <QStringList>
#include <QUrl>

namespace meru {

// Starting other programs: the desktop's handler for an address (browser,
// mail program) or a program of the user's choice, never through a shell.
class ILauncher {
public:
    virtual ~ILauncher() = default;
    // Opens `url` with the desktop's default program for it.
    virtual bool openUrl(const QUrl& url) = 0;
    // Starts `program` with `args` in `workingDir` (empty: ours) without waiting.
    virtual bool startDetached(const QString& program, const QStringList& args,
                               const QString& workingDir) = 0;
};

// QDesktopServices and QProcess.
class CDesktopLauncher final : public ILauncher {
public:
    bool openUrl(const QUrl& url) override;
    bool startDetached(const QString& program, const QStringList& args,
                       const QString& workingDir) override;
};

}  // namespace meru
