#include "platform/launcher.h"

#include <QDesktopServices>
#include <QProcess>

namespace meru {

bool CDesktopLauncher::openUrl(const QUrl& url) { return QDesktopServices::openUrl(url); }

bool CDesktopLauncher::startDetached(const QString& program, const QStringList& args,
                                     const QString& workingDir) {
    return QProcess::startDetached(program, args, workingDir);
}

}  // namespace meru
