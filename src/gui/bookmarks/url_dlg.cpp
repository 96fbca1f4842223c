#include "gui/bookmarks/url_dlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "gui/kit/dialog_units.h"

namespace meru {

CUrlDlg::CUrlDlg(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle(QStringLiteral("Url"));
    setFont(CDialogUnits::TemplateFont("MS Sans Serif", 8));
    const CDialogUnits du(font());
    setFixedSize(du.Size(391, 90));

    (new QLabel(QStringLiteral("Name"), this))->setGeometry(du.Rect(7, 7, 20, 8));
    m_pName = new QLineEdit(this);
    m_pName->setObjectName(QStringLiteral("1046"));
    m_pName->setGeometry(du.Rect(7, 17, 377, 13));
    (new QLabel(QStringLiteral("URL"), this))->setGeometry(du.Rect(7, 33, 16, 8));
    m_pURL = new QLineEdit(this);
    m_pURL->setObjectName(QStringLiteral("1016"));
    m_pURL->setGeometry(du.Rect(7, 45, 377, 14));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setGeometry(du.Rect(136, 69, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CUrlDlg::accept);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("2"));
    cancel->setGeometry(du.Rect(204, 69, 50, 14));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &CUrlDlg::reject);
}

void CUrlDlg::showEvent(QShowEvent* pEvent) {
    m_pName->setText(m_strName);
    m_pURL->setText(m_strURL);
    m_pName->setFocus(Qt::OtherFocusReason);
    QDialog::showEvent(pEvent);
}

void CUrlDlg::accept() {
    m_strName = m_pName->text();
    m_strURL = m_pURL->text();
    QDialog::accept();
}

}  // namespace meru
