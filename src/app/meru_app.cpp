#include "app/meru_app.h"

#include <QApplication>
#include <QDir>
#include <QSessionManager>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "app/app_root.h"
#include "app/clipboard_handover.h"
#include "gui/kit/resources.h"
#include "gui/main/main_dlg.h"
#include "platform/command_channel.h"
#include "platform/signal_pipe.h"
#include "platform/single_instance.h"

namespace meru {

namespace {
// The run whose data an exit handler saves; set only while Run() is on the stack.
CAppRoot* g_pRootAtExit = nullptr;
}  // namespace

CMeruApp::CommandLine CMeruApp::ParseCommandLine(const QStringList& args) {
    CommandLine cmd;
    for (const QString& a : args) {
        if (a.startsWith(QLatin1Char('-'))) {
            const QString word = a.mid(a.startsWith(QLatin1String("--")) ? 2 : 1);
            if (word.compare(QLatin1String("Embedding"), Qt::CaseInsensitive) == 0 ||
                word.compare(QLatin1String("Automation"), Qt::CaseInsensitive) == 0)
                cmd.bAutomation = true;
            continue;
        }
        if (cmd.strFile.isEmpty()) cmd.strFile = a;
    }
    return cmd;
}

QString CMeruApp::DataPath(const CommandLine& cmd) {
    if (!cmd.strFile.isEmpty()) return cmd.strFile;
    return QDir::currentPath() + QStringLiteral("/meru.mer");
}

int CMeruApp::Run(int& argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("meru"));
    QApplication::setWindowIcon(res::Icon(res::kIconMeru));

    // Qt took its own options (-display, -platform ...) out of argv.
    QStringList args = QApplication::arguments();
    if (!args.isEmpty()) args.removeFirst();
    const CommandLine cmd = ParseCommandLine(args);

    m_strVersion = QStringLiteral("MERU version 2.2");

    bool bInEventLoop = false;
    AppServices services;
    services.exitProcess = [&bInEventLoop](int code) {
        if (bInEventLoop) {
            QCoreApplication::exit(code);
        } else {
            // Still starting (a start-up dialog is open): nothing was loaded,
            // nothing needs saving.
            std::fflush(stderr);
            ::_exit(code);
        }
    };

    CAppRoot root(m_strVersion, DataPath(cmd), services);

    // Signals are saved like Exit; they wait in the pipe until the notifier
    // is there.
    if (CSignalPipe::ReadFd() >= 0) {
        auto* notifier = new QSocketNotifier(CSignalPipe::ReadFd(), QSocketNotifier::Read, &root);
        QObject::connect(notifier, &QSocketNotifier::activated, &root, [&root] {
            if (const int sig = CSignalPipe::Take()) root.OnTerminationSignal(sig);
        });
    }
    // The desktop session ends: save as Exit does.
    QObject::connect(
        &app, &QGuiApplication::commitDataRequest, &root, [&root](QSessionManager& manager) {
            const SaveOutcome out = root.SaveForSessionEnd();
            if (out.status == SaveStatus::Failed) {
                const QString text = QObject::tr("Il file dei dati non è stato salvato:\n%1\n%2")
                                         .arg(root.DataPath(), QString::fromStdString(out.reason));
                if (manager.allowsInteraction()) {
                    root.ShowMessage(QMessageBox::Critical, text);
                    manager.release();
                } else {
                    root.SaveOrRescue("session end");
                }
            }
        });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &root, [&root] {
        if (root.HasEnded()) return;
        root.SaveOrRescue("quit");
    });
    // Qt's X11 plugin ends the process with exit() when the display goes
    // away (logout without a session manager, the X server killed): the
    // event loop never returns, but exit handlers run. Save there.
    g_pRootAtExit = &root;
    struct ClearAtReturn {
        ~ClearAtReturn() { g_pRootAtExit = nullptr; }
    } clearAtReturn;
    static bool s_bRegistered = false;
    if (!s_bRegistered) {
        s_bRegistered = true;
        std::atexit([] {
            CAppRoot* pRoot = g_pRootAtExit;
            g_pRootAtExit = nullptr;
            if (pRoot && !pRoot->HasEnded()) pRoot->SaveOrRescue("display lost");
        });
    }

    // The main window comes up first; the hidden tool windows follow.
    if (!root.Create(/*bDeferToolWindows=*/true)) return 0;  // not a data file of this program
    root.MainWindow().show();

    // Commands from "meru --select/--show/--exit" (the desktop's own
    // shortcuts under Wayland). What may open a window or a dialog is queued,
    // so the sender gets its answer at once.
    auto* server = new CCommandServer(
        [&root](const std::string& line) { return root.OnChannelCommand(line); }, &root);
    std::string why;
    if (!server->Listen(CommandSocketPath(CSingleInstance::DefaultLockPath()), &why))
        std::fprintf(stderr,
                     "meru: commands from \"meru --select\" and the like will not work: %s\n",
                     why.c_str());

    bInEventLoop = true;
    const int code = QApplication::exec();
    bInEventLoop = false;
    // The clipboard to a clipboard manager, if one runs, without keeping
    // the ended program on screen for long.
    root.MainWindow().hide();
    HandClipboardToManager(kClipboardManagerWaitMs);
    return code;
}

}  // namespace meru
