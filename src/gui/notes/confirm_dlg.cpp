#include "gui/notes/confirm_dlg.h"

#include <QCheckBox>
#include <QPainter>
#include <QLabel>
#include <QPushButton>

#include "gui/kit/dialog_units.h"

namespace meru {

namespace {

// Icon 151: a sheet with a red question mark.
QPixmap QuestionPicture(int side) {
    QPixmap pm(side, side);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(side / 32.0, side / 32.0);
    p.setPen(QPen(QColor(60, 60, 70), 1.5));
    p.setBrush(QColor(252, 250, 240));
    p.drawRect(QRectF(5, 2, 22, 28));
    QFont f;
    f.setBold(true);
    f.setPixelSize(22);
    p.setFont(f);
    p.setPen(QColor(200, 40, 50));
    p.drawText(QRectF(5, 2, 22, 28), Qt::AlignCenter, QStringLiteral("?"));
    return pm;
}

}  // namespace

CConfirmDlg::CConfirmDlg(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle(QStringLiteral("Confirm"));
    setFont(CDialogUnits::TemplateFont("MS Sans Serif", 8));
    const CDialogUnits du(font());
    setFixedSize(du.Size(160, 70));

    auto* pIcon = new QLabel(this);
    const QRect rcIcon = du.Rect(7, 7, 20, 20);
    pIcon->setGeometry(rcIcon);
    const int side = std::min(rcIcon.width(), rcIcon.height());
    pIcon->setPixmap(QuestionPicture(side));

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
