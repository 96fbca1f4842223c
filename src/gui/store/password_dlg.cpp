#include "gui/store/password_dlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "gui/kit/dialog_units.h"
#include "gui/kit/message_box.h"
#include "core/text/text_codec.h"

namespace meru {

CPasswordDlg::CPasswordDlg(QWidget* parent, Mode mode) : QDialog(parent) {
    const QFont font = CDialogUnits::TemplateFont("MS Sans Serif", 8);
    setFont(font);
    const CDialogUnits du(font);
    setWindowTitle(QStringLiteral("Password"));
    const bool bSet = mode == Mode::Set;
    // A second row for the confirmation.
    const int nRow = bSet ? 18 : 0;
    setFixedSize(du.Size(186, 63 + nRow));

    auto* label = new QLabel(QStringLiteral("&Password:"), this);
    label->setGeometry(du.Rect(7, 14, 40, 8));
    m_pEdit = new QLineEdit(this);
    m_pEdit->setObjectName(QStringLiteral("1017"));
    m_pEdit->setEchoMode(QLineEdit::Password);
    m_pEdit->setGeometry(du.Rect(48, 12, 131, 14));
    label->setBuddy(m_pEdit);
    if (bSet) {
        auto* again = new QLabel(QStringLiteral("&Confirm:"), this);
        again->setGeometry(du.Rect(7, 32, 40, 8));
        m_pConfirm = new QLineEdit(this);
        m_pConfirm->setObjectName(QStringLiteral("confirm"));
        m_pConfirm->setEchoMode(QLineEdit::Password);
        m_pConfirm->setGeometry(du.Rect(48, 30, 131, 14));
        again->setBuddy(m_pConfirm);
    }

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    ok->setGeometry(du.Rect(33, 39 + nRow, 50, 14));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("2"));
    cancel->setGeometry(du.Rect(103, 39 + nRow, 50, 14));
    connect(ok, &QPushButton::clicked, this, &CPasswordDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CPasswordDlg::reject);
}

bool CPasswordDlg::IsAcceptable(const QString& password) {
    const QByteArray utf8 = password.toUtf8();
    return Utf8ToCp1252(std::string_view(utf8.constData(), size_t(utf8.size()))).has_value();
}

QString CPasswordDlg::RefusalText() {
    return tr(
        "La password può contenere solo lettere, cifre e segni dell'alfabeto "
        "Windows-1252 (Western European).\n"
        "Remove the other characters and try again.");
}

QString CPasswordDlg::MismatchText() {
    return tr("The two passwords differ.\nType the same password in both fields.");
}

int CPasswordDlg::exec() {
    m_pEdit->setText(m_strPassword);
    if (m_pConfirm) m_pConfirm->setText(m_strPassword);
    m_pEdit->setFocus();
    return QDialog::exec();
}

void CPasswordDlg::open() {
    m_pEdit->setText(m_strPassword);
    if (m_pConfirm) m_pConfirm->setText(m_strPassword);
    m_pEdit->setFocus();
    QDialog::open();
}

void CPasswordDlg::Refuse(const QString& text) {
    if (m_fnRefuse) {
        m_fnRefuse(text);
    } else {
        QMessageBox::warning(this, BoxCaption(), text);
    }
    m_pEdit->setFocus();
    m_pEdit->selectAll();
}

void CPasswordDlg::accept() {
    const QString typed = m_pEdit->text();
    if (!IsAcceptable(typed)) {
        Refuse(RefusalText());
        return;  // the dialog stays
    }
    if (m_pConfirm && m_pConfirm->text() != typed) {
        m_pConfirm->clear();
        Refuse(MismatchText());
        return;
    }
    m_strPassword = typed;
    QDialog::accept();
}

}  // namespace meru
