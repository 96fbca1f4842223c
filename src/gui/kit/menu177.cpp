#include "gui/kit/menu177.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace meru {

namespace {

void AddItem(QMenu* menu, int id, const QString& caption, const CommandSink& sink) {
    QAction* a = menu->addAction(caption);
    a->setData(id);
    QObject::connect(a, &QAction::triggered, menu, [sink, id] { sink(id); });
}

void FillMenu(QMenu* menu, const CommandSink& sink) {
    AddItem(menu, ID_RESTORE_MAIN, QStringLiteral("&Restore main"), sink);
    menu->addSeparator();
    AddItem(menu, ID_NOTES, QStringLiteral("&Notes"), sink);
    QMenu* clip = menu->addMenu(QStringLiteral("&ClipBoard"));
    AddItem(clip, ID_CLIPBOARD_OPEN, QStringLiteral("Open"), sink);
    AddItem(clip, ID_CLIPBOARD_CLEAR, QStringLiteral("Cancella Tutto"), sink);
    clip->addSeparator();
    for (int n = 1; n <= 5; ++n)
        AddItem(clip, ID_CLIPBOARD_1 + n - 1, QStringLiteral("ClipBoard %1\tCtrl+%1").arg(n), sink);
    AddItem(menu, ID_BOOKMARKS, QStringLiteral("&Bookmarks"), sink);
    AddItem(menu, ID_CONTACTS, QStringLiteral("C&ontacts"), sink);
    menu->addSeparator();
    AddItem(menu, ID_EXIT, QStringLiteral("&Exit\tEsc"), sink);
}

}  // namespace

QMenuBar* BuildMenuBar177(QWidget* owner, const CommandSink& sink) {
    auto* bar = new QMenuBar(owner);
    FillMenu(bar->addMenu(QStringLiteral("&Menu")), sink);
    QMenu* settings = bar->addMenu(QStringLiteral("Settings"));
    AddItem(settings, ID_BROWSER, QStringLiteral("Browser"), sink);
    return bar;
}

QMenu* BuildMenu177Popup(QWidget* parent, const CommandSink& sink) {
    auto* menu = new QMenu(QStringLiteral("&Menu"), parent);
    FillMenu(menu, sink);
    return menu;
}

int CommandOf(const QAction* action) {
    if (!action) return 0;
    bool ok = false;
    const int id = action->data().toInt(&ok);
    return ok ? id : 0;
}

QAction* FindCommand(const QWidget* menu, int id) {
    if (!menu) return nullptr;
    for (QAction* a : menu->actions()) {
        if (CommandOf(a) == id) return a;
        if (QAction* found = FindCommand(a->menu(), id)) return found;
    }
    return nullptr;
}

}  // namespace meru
