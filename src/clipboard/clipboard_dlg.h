#pragma once
#include "app/tool_window.h"

namespace meru {

// The clipboard window (dialog 182): the history of copied texts.
class CClipboardDlg : public CToolWindow {
    Q_OBJECT
public:
    explicit CClipboardDlg(CMainDlg& main);

protected:
    QString TitleSuffix() const override { return QStringLiteral(" - CLIPBOARD"); }
};

}  // namespace meru
