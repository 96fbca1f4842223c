#include "clipboard/clipboard_dlg.h"

namespace meru {

CClipboardDlg::CClipboardDlg(CMainDlg& main) : CToolWindow(main, {447, 292, "System", 10}) {}

}  // namespace meru
