#pragma once
// The notes window's help: a small window that explains the tools of the
// notes window. Opened by "&Help", closed with the notes window.
#include <QDialog>

class QTextBrowser;

namespace meru {

class CHelpWindow : public QDialog {
    Q_OBJECT
public:
    explicit CHelpWindow(QWidget* pParent = nullptr);

    static QString HelpHtml();

private:
    QTextBrowser* m_pText = nullptr;
};

}  // namespace meru
