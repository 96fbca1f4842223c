#include "platform/launcher.h"

#include <QDesktopServices>
#include <QProcess>

namespace meru {

bool CDesktopLauncher::openUrl(const QUrl& url) { return QDesktopServices::openUrl(url); }

bool CDesktopLauncher::startDetached(const QString& program, const QStringList& args,
                                     const QString& workingDir) {
    return QProcess::startDetached(program, args, workingDir);
}

bool CFakeLauncher::openUrl(const QUrl& url) {
    calls.push_back({Call::Url, url, {}, {}, {}});
    return result;
}

bool CFakeLauncher::startDetached(const QString& program, const QStringList& args,
                                  const QString& workingDir) {
    calls.push_back({Call::Process, {}, program, args, workingDir});
    return result;
}

}  // namespace meru
