#include "notes/meru_dlg.h"

namespace meru {

CMeruDlg::CMeruDlg(CMainDlg& main, std::vector<std::string>& pages, const QString& strDataPath)
    : CToolWindow(main, {447, 292, "System", 10}), m_aPages(pages), m_strDataPath(strDataPath) {}

void CMeruDlg::CommitPage() {
    // The editor is not there yet: the pages hold everything.
}

QString CMeruDlg::TitleSuffix() const {
    return QStringLiteral(" - NOTES - [") + m_strDataPath + QStringLiteral("]");
}

}  // namespace meru
