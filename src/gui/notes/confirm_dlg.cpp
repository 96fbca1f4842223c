#include "gui/notes/confirm_dlg.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "gui/kit/dialog_units.h"
#include "gui/kit/resources.h"

namespace meru {

CConfirmDlg::CConfirmDlg(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle(QStringLiteral("Confirm"));
    setFont(CDialogUnits::TemplateFont("MS Sans Serif", 8));
    const CDialogUnits du(font());
    setFixedSize(du.Size(160, 70));

    auto* pIcon = new QLabel(this);
    const QRect rcIcon = du.Rect(7, 7, 20, 20);
    pIcon->setGeometry(rcIcon);
    const int side = std::min(rcIcon.width(), rcIcon.height());
    pIcon->setPixmap(res::Icon(151).pixmap(side, side));

    auto* pText = new QLabel(QStringLiteral("Are you sure?"), this);
    pText->setGeometry(du.Rect(34, 10, 119, 10));

    m_pDeleteNow = new QCheckBox(QStringLiteral("Delete immediately"), this);
    m_pDeleteNow->setObjectName(QStringLiteral("check1028"));
    m_pDeleteNow->setGeometry(du.Rect(34, 27, 119, 10));

    m_pYes = new QPushButton(QStringLiteral("Si"), this);
    m_pYes->setGeometry(du.Rect(28, 48, 50, 14));
    m_pYes->setDefault(true);
    connect(m_pYes, &QPushButton::clicked, this, &CConfirmDlg::accept);
    m_pNo = new QPushButton(QStringLiteral("No"), this);
    m_pNo->setGeometry(du.Rect(84, 48, 50, 14));
    m_pNo->setAutoDefault(false);
    connect(m_pNo, &QPushButton::clicked, this, &CConfirmDlg::reject);
}

void CConfirmDlg::showEvent(QShowEvent* pEvent) {
    m_pDeleteNow->setChecked(m_bDeleteNow);
    m_pYes->setFocus(Qt::OtherFocusReason);
    QDialog::showEvent(pEvent);
}

void CConfirmDlg::accept() {
    m_bDeleteNow = m_pDeleteNow->isChecked();
    QDialog::accept();
}

}  // namespace meru
