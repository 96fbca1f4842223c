#include "gui/bookmarks/rename_group_dlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "gui/kit/dialog_units.h"

namespace meru {

CRenameGroupDlg::CRenameGroupDlg(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle(QStringLiteral("Rename Group"));
    setFont(CDialogUnits::TemplateFont("MS Sans Serif", 8));
    const CDialogUnits du(font());
    setFixedSize(du.Size(391, 90));

    // In the template's order, so the keyboard starts in "New Name".
    m_pNew = new QLineEdit(this);
    m_pNew->setObjectName(QStringLiteral("1085"));
    m_pNew->setGeometry(du.Rect(7, 50, 377, 14));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setGeometry(du.Rect(136, 70, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CRenameGroupDlg::accept);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("2"));
    cancel->setGeometry(du.Rect(204, 70, 50, 14));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &CRenameGroupDlg::reject);
    m_pAttual = new QLineEdit(this);
    m_pAttual->setObjectName(QStringLiteral("1046"));
    m_pAttual->setGeometry(du.Rect(7, 17, 377, 14));
    m_pAttual->setReadOnly(true);
    (new QLabel(QStringLiteral("Attual Name"), this))->setGeometry(du.Rect(7, 7, 40, 8));
    (new QLabel(QStringLiteral("New Name"), this))->setGeometry(du.Rect(7, 40, 36, 8));
}

void CRenameGroupDlg::showEvent(QShowEvent* pEvent) {
    m_pAttual->setText(m_strAttualName);
    m_pNew->setText(m_strNewName);
    m_pNew->setFocus(Qt::OtherFocusReason);
    QDialog::showEvent(pEvent);
}

void CRenameGroupDlg::accept() {
    m_strAttualName = m_pAttual->text();
    m_strNewName = m_pNew->text();
    QDialog::accept();
}

}  // namespace meru
