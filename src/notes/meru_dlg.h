#pragma once
#include <QString>
#include <string>
#include <vector>

#include "app/tool_window.h"

namespace meru {

// The notes window (dialog 102): the paged notebook.
class CMeruDlg : public CToolWindow {
    Q_OBJECT
public:
    CMeruDlg(CMainDlg& main, std::vector<std::string>& pages, const QString& strDataPath);

    // Copies the editor's text into the current page.
    void CommitPage();

    std::vector<std::string>& m_aPages;  // owned by the main window's data
    QString m_strDataPath;

protected:
    QString TitleSuffix() const override;
};

}  // namespace meru
