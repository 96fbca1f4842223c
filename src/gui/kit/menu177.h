#pragma once
#include <functional>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

namespace meru {

// Commands of menu 177, the one command set of the program. Every window
// carries it as its menu bar; its first pop-up is the tray menu. The main
// window carries out every command, wherever it is chosen.
enum Command : int {
    ID_RESTORE_MAIN = 32772,
    ID_EXIT = 32773,
    ID_CLIPBOARD_1 = 32777,  // .. ID_CLIPBOARD_1 + 4 = "ClipBoard 5"
    ID_CLIPBOARD_5 = 32781,
    ID_CLIPBOARD_OPEN = 32782,
    ID_BOOKMARKS = 32783,
    ID_CONTACTS = 32784,
    ID_NOTES = 32785,
    ID_CLIPBOARD_CLEAR = 32790,
    ID_BROWSER = 32791,
};

// Receives the command id of a chosen item.
using CommandSink = std::function<void(int)>;

// Menu 177 as a menu bar for `owner`: "&Menu" and "Settings".
QMenuBar* BuildMenuBar177(QWidget* owner, const CommandSink& sink);
// Its first pop-up, "&Menu", as a stand-alone menu (the tray menu).
QMenu* BuildMenu177Popup(QWidget* parent, const CommandSink& sink);
// The command id an action of these menus carries (its data); 0 for others.
int CommandOf(const QAction* action);
// The action of `menu` (searched through its sub-menus) carrying command `id`.
QAction* FindCommand(const QWidget* menu, int id);

}  // namespace meru
