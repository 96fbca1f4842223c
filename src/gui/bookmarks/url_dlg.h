#pragma once
#include <QDialog>
#include <QString>

class QLineEdit;

namespace meru {

// The Url dialog (dialog 187): a bookmark's Name and URL. Both start as the
// caller sets them; OK stores what was typed, as it is.
class CUrlDlg : public QDialog {
    Q_OBJECT
public:
    explicit CUrlDlg(QWidget* pParent = nullptr);

    QString m_strName;
    QString m_strURL;

    QLineEdit* NameEdit() const { return m_pName; }
    QLineEdit* UrlEdit() const { return m_pURL; }

    void accept() override;

protected:
    void showEvent(QShowEvent* pEvent) override;

private:
    QLineEdit* m_pName;
    QLineEdit* m_pURL;
};

}  // namespace meru
