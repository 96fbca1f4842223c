#include "gui/store/password_dlg.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "gui/kit/dialog_units.h"
#include "gui/kit/message_box.h"
#include "core/text/text_codec.h"

namespace meru {

CPasswordDlg::CPasswordDlg(QWidget* parent) : QDialog(parent) {
    const QFont font = CDialogUnits::TemplateFont("MS Sans Serif", 8);
    setFont(font);
    const CDialogUnits du(font);
    setWindowTitle(QStringLiteral("Password"));
    setFixedSize(du.Size(186, 63));

    m_pEdit = new QLineEdit(this);
    m_pEdit->setObjectName(QStringLiteral("1017"));
    m_pEdit->setEchoMode(QLineEdit::Password);
    m_pEdit->setGeometry(du.Rect(7, 12, 172, 14));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    ok->setGeometry(du.Rect(33, 39, 50, 14));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("2"));
    cancel->setGeometry(du.Rect(103, 39, 50, 14));
    connect(ok, &QPushButton::clicked, this, &CPasswordDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CPasswordDlg::reject);
}

bool CPasswordDlg::IsAcceptable(const QString& password) {
    const QByteArray utf8 = password.toUtf8();
    return Utf8ToCp1252(std::string_view(utf8.constData(), size_t(utf8.size()))).has_value();
}

QString CPasswordDlg::RefusalText() {
    return tr("La password può contenere solo lettere, cifre e segni dell'alfabeto "
              "Windows-1252 (Western European).\n"
              "Remove the other characters and try again.");
}

int CPasswordDlg::exec() {
    m_pEdit->setText(m_strPassword);
    m_pEdit->setFocus();
    return QDialog::exec();
}

void CPasswordDlg::open() {
    m_pEdit->setText(m_strPassword);
    m_pEdit->setFocus();
    QDialog::open();
}

void CPasswordDlg::accept() {
    const QString typed = m_pEdit->text();
    if (!IsAcceptable(typed)) {
        const QString text = RefusalText();
        if (m_fnRefuse) {
            m_fnRefuse(text);
        } else {
            QMessageBox::warning(this, BoxCaption(), text);
        }
        m_pEdit->setFocus();
        m_pEdit->selectAll();
        return;  // the dialog stays
    }
    m_strPassword = typed;
    QDialog::accept();
}

}  // namespace meru
