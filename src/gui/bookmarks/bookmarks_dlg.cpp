#include "gui/bookmarks/bookmarks_dlg.h"

namespace meru {

CBookmarksDlg::CBookmarksDlg(const ToolWindowContext& context, BookmarkGroups& groups,
                             BrowserSetting& browser)
    : CToolWindow(context, {447, 292, "System", 8}), m_aGroups(groups), m_browser(browser) {}

}  // namespace meru
