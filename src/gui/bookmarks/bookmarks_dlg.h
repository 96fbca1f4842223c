#pragma once
#include <QMessageBox>
#include <QString>
#include <functional>
#include <string>

#include "gui/kit/tool_window.h"
#include "core/bookmarks/bookmark.h"
#include "core/bookmarks/bookmark_groups.h"

class QComboBox;
class QPushButton;
class QTabBar;

namespace meru {

class CBookmarkListPage;
class ILauncher;

// The bookmarks window (dialog 205): twenty groups of web addresses, one at
// a time in the list page, chosen by the vertical tabs "Grp.1".."Grp.20" or
// by the drop-down of group names; "Url" adds, "Mod" changes, "Cancella"
// deletes the selected bookmark, "Dir" renames the group; a double click
// opens the bookmark in the chosen browser or the desktop's default one.
//
// The groups and the browser setting belong to the main window's data; the
// window changes them in place.
class CBookmarksDlg : public CToolWindow {
    Q_OBJECT
public:
    // `clipboardText` gives the clipboard's text for "Url".
    CBookmarksDlg(const ToolWindowContext& context, BookmarkGroups& groups, BrowserSetting& browser,
                  ILauncher& launcher, std::function<std::string()> clipboardText);
    ~CBookmarksDlg() override;

    BookmarkGroups& m_aGroups;  // owned by the main window's data
    BrowserSetting& m_browser;  // owned by the main window's data
    CBookmarkBook m_book;       // current group and selected row

    // --- what the controls do ----------------------------------------------
    void SelectGroup(int group);  // a tab or a drop-down entry
    void AddBookmark();           // "Url"
    void ModifyBookmark();        // "Mod"
    void DeleteBookmark();        // "Cancella"
    void RenameGroup();           // "Dir"
    void OpenBookmark();          // double click
    // A link dropped on the list: the Url dialog, filled with it.
    void AddDroppedLink(const QString& url, const QString& title);
    // The list's context menu.
    void ImportBookmarks();
    void ExportBookmarks();
    void ImportBookmarksFrom(const QString& path);
    void ExportBookmarksTo(const QString& path);

    // Drop-down and list page in line with the data.
    void RefreshWindow();

    // Where the window talks to the user; tests put recorders here.
    std::function<void(QMessageBox::Icon, const QString&)> m_fnShowMessage;
    std::function<QString()> m_fnChooseImportFile;  // "" = cancelled
    std::function<QString()> m_fnChooseExportFile;  // "" = cancelled

    QTabBar* TabBar() const { return m_pTabs; }
    QComboBox* GroupList() const { return m_pGroups; }
    CBookmarkListPage* ListPage() const { return m_pPage; }
    QPushButton* Button(int id) const;

protected:
    QString TitleSuffix() const override { return QStringLiteral(" - BOOKMARKS"); }
    void OnInitDialog() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowMessage(QMessageBox::Icon icon, const QString& text);

    ILauncher& m_launcher;
    std::function<std::string()> m_fnClipboardText;
    void PlaceTabs();

    QWidget* m_pTabArea = nullptr;
    QTabBar* m_pTabs = nullptr;
    QComboBox* m_pGroups = nullptr;
    CBookmarkListPage* m_pPage = nullptr;
};

}  // namespace meru
