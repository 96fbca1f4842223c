#include "gui/bookmarks/bookmarks_dlg.h"

namespace meru {

CBookmarksDlg::CBookmarksDlg(CMainDlg& main, BookmarkGroups& groups, BrowserSetting& browser)
    : CToolWindow(main, {447, 292, "System", 8}), m_aGroups(groups), m_browser(browser) {}

}  // namespace meru
