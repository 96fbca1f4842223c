#include <QApplication>
#include <QMessageBox>
#include <csignal>
#include <cstdio>

#include "app/meru_app.h"
#include "app/usage.h"
#include "platform/command_channel.h"
#include "platform/session_platform.h"
#include "platform/signal_pipe.h"
#include "platform/single_instance.h"

int main(int argc, char** argv) {
    // --help and --version print and end before anything else: no lock,
    // no display, no data file.
    if (const auto code = meru::HandleInfoOptions(argc, argv, stdout)) return *code;

    // --select, --show and --exit go to the copy that runs on this display;
    // this process ends with its answer.
    if (const meru::ParsedCommand cmd = meru::ParseCommandSwitches(argc, argv); cmd.bPresent) {
        if (!cmd.strError.empty()) {
            std::fprintf(stderr, "meru: %s\n", cmd.strError.c_str());
            return 2;
        }
        return meru::SendCommand(meru::CSingleInstance::DefaultLockPath(), cmd.strLine, stderr);
    }

    // First: from here on a SIGTERM, SIGHUP or SIGINT waits for the event
    // loop, which saves like Exit.
    meru::CSignalPipe::Install({SIGTERM, SIGHUP, SIGINT});

    // X11 (XWayland under Wayland) unless the user chose a Qt platform:
    // decided before any QApplication exists.
    const bool bTellLater = meru::ApplyPlatformChoice(/*bTell=*/false).bWaylandSession;

    // One copy per user and display. A second start ends at once and
    // touches nothing.
    meru::CSingleInstance instance;
    switch (instance.Acquire(meru::CSingleInstance::DefaultLockPath())) {
        case meru::CSingleInstance::Result::Running: return 0;
        case meru::CSingleInstance::Result::Error: {
            // Never run unlocked: two copies would overwrite each other's data.
            const QString why = QString::fromStdString(instance.Reason());
            std::fprintf(stderr, "meru: cannot take the single-instance lock: %s\n",
                         instance.Reason().c_str());
            QApplication app(argc, argv);
            QMessageBox box(
                QMessageBox::Critical, QStringLiteral("meru"),
                QStringLiteral("MERU non può partire: il blocco contro una seconda copia "
                               "non è disponibile.\n\n") +
                    why,
                QMessageBox::Ok);
            box.exec();
            return 1;
        }
        case meru::CSingleInstance::Result::Acquired: break;
    }
    // What works in a Wayland session, said once by the copy that runs.
    if (bTellLater) meru::ApplyPlatformChoice(/*bTell=*/true);

    meru::CMeruApp app;
    return app.Run(argc, argv);
}
