#pragma once
// The application (with all its windows) on a new data file, its clipboard
// and shortcuts faked: what the window benchmarks drive.
#include <QMessageBox>
#include <QString>
#include <QTemporaryDir>
#include <memory>

#include "app/app_root.h"
#include "support/fakes.h"

namespace meru::bench {

struct Organiser {
    QTemporaryDir dir;
    CFakeClipboard clip;
    CFakeGlobalHotkeys keys;
    std::unique_ptr<CAppRoot> main;

    Organiser() {
        AppServices s;
        s.clipboard = &clip;
        s.hotkeys = &keys;
        s.showMessage = [](QMessageBox::Icon, const QString&) {};
        s.exitProcess = [](int) {};
        main = std::make_unique<CAppRoot>(QStringLiteral("MERU version 2.2"),
                                          dir.filePath(QStringLiteral("bench.mer")), s);
        main->Create();
    }
};

}  // namespace meru::bench
