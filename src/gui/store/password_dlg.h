#pragma once
#include <QDialog>
#include <QString>
#include <functional>

class QLineEdit;

namespace meru {

// The password dialog (dialog 164): a masked edit labelled "Password:" (1017),
// OK and Cancel. The start-up check asks once; the main window's Password
// command sets a password and asks for it twice (a typo would lock the user
// out on the next start), refusing two that differ.
// A password must be made of characters Windows-1252 has (its bytes key the
// scrambling of the data file); OK refuses another and the dialog stays.
class CPasswordDlg : public QDialog {
    Q_OBJECT
public:
    enum class Mode { Enter, Set };
    explicit CPasswordDlg(QWidget* parent = nullptr, Mode mode = Mode::Enter);

    // Bound to edit 1017: written to it when the dialog opens, read back on OK.
    QString m_strPassword;

    // Who tells the user that a password was refused (default: a message box).
    void SetRefuseHandler(std::function<void(const QString&)> fn) { m_fnRefuse = std::move(fn); }

    QLineEdit* Edit() const { return m_pEdit; }
    // The second field in Mode::Set, else null.
    QLineEdit* ConfirmEdit() const { return m_pConfirm; }

    static bool IsAcceptable(const QString& password);
    static QString RefusalText();
    static QString MismatchText();

    int exec() override;
    void open() override;
    void accept() override;

private:
    void Refuse(const QString& text);

    QLineEdit* m_pEdit;
    QLineEdit* m_pConfirm = nullptr;
    std::function<void(const QString&)> m_fnRefuse;
};

}  // namespace meru
