#pragma once
#include <QDialog>
#include <QString>

class QLineEdit;

namespace meru {

// The Rename Group dialog (dialog 188): the group's name as it is ("Attual
// Name", read-only) and the new one; OK keeps the new one, empty or not.
class CRenameGroupDlg : public QDialog {
    Q_OBJECT
public:
    explicit CRenameGroupDlg(QWidget* pParent = nullptr);

    QString m_strAttualName;
    QString m_strNewName;

    QLineEdit* NewNameEdit() const { return m_pNew; }
    QLineEdit* AttualNameEdit() const { return m_pAttual; }

    void accept() override;

protected:
    void showEvent(QShowEvent* pEvent) override;

private:
    QLineEdit* m_pNew;
    QLineEdit* m_pAttual;
};

}  // namespace meru
