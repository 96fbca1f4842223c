#pragma once
#include "gui/kit/tool_window.h"
#include "core/bookmarks/bookmark.h"

namespace meru {

// The bookmarks window (dialog 205): twenty groups of web addresses.
class CBookmarksDlg : public CToolWindow {
    Q_OBJECT
public:
    CBookmarksDlg(const ToolWindowContext& context, BookmarkGroups& groups, BrowserSetting& browser);

    BookmarkGroups& m_aGroups;   // owned by the main window's data
    BrowserSetting& m_browser;   // owned by the main window's data
    int m_nCurGroup = 0;

protected:
    QString TitleSuffix() const override { return QStringLiteral(" - BOOKMARKS"); }
};

}  // namespace meru
