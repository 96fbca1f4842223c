#pragma once
#include <QDialog>
#include <QString>
#include <functional>

class QLineEdit;

namespace meru {

// The password dialog (dialog 164): one masked edit (1017), OK and Cancel.
// Used by the start-up check and by the main window's Password command.
// A password must be made of characters Windows-1252 has (its bytes key the
// scrambling of the data file); OK refuses another and the dialog stays.
class CPasswordDlg : public QDialog {
    Q_OBJECT
public:
    explicit CPasswordDlg(QWidget* parent = nullptr);

    // Bound to edit 1017: written to it when the dialog opens, read back on OK.
    QString m_strPassword;

    // Who tells the user that a password was refused (default: a message box).
    void SetRefuseHandler(std::function<void(const QString&)> fn) { m_fnRefuse = std::move(fn); }

    QLineEdit* Edit() const { return m_pEdit; }

    static bool IsAcceptable(const QString& password);
    static QString RefusalText();

    int exec() override;
    void open() override;
    void accept() override;

private:
    QLineEdit* m_pEdit;
    std::function<void(const QString&)> m_fnRefuse;
};

}  // namespace meru
