#pragma once
// "Contacts" (dialog 190): the six fields of one contact.
#include <QDialog>

#include "core/contacts/contact.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace meru {

class CContactDlg : public QDialog {
    Q_OBJECT
public:
    explicit CContactDlg(QWidget* pParent = nullptr);

    // The fields (UTF-8; the Note with CR LF line breaks): set before the
    // dialog runs, read after OK.
    CContact m_contact;

    QPushButton* OkButton() const { return m_pOk; }
    QPushButton* CancelButton() const { return m_pCancel; }
    // 1046 Name, 1051 Email, 1052 Telephone, 1053 Cellular, 1054 Birthday.
    QLineEdit* Edit(int id) const;
    QPlainTextEdit* NoteEdit() const { return m_pNote; }

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* pEvent) override;

private:
    void DoDataExchange(bool bSave);

    bool m_bInitialised = false;
    QPushButton* m_pOk = nullptr;
    QPushButton* m_pCancel = nullptr;
    QLineEdit* m_pName = nullptr;
    QLineEdit* m_pEmail = nullptr;
    QLineEdit* m_pTelephone = nullptr;
    QLineEdit* m_pCellular = nullptr;
    QLineEdit* m_pBirthday = nullptr;
    QPlainTextEdit* m_pNote = nullptr;
};

}  // namespace meru
