#pragma once
#include <QDialog>
#include <QString>

class QLabel;

namespace meru {

// The About box (dialog 100): two pictures, the version text, a dedication
// and OK.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(const QString& strVersion, QWidget* parent = nullptr);

    QLabel* VersionLabel() const { return m_pVersion; }
    static QString Dedication();

private:
    QLabel* m_pVersion;
};

}  // namespace meru
