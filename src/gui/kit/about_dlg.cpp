#include "gui/kit/about_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "gui/kit/resources.h"
#include "gui/kit/dialog_units.h"

namespace meru {

CAboutDlg::CAboutDlg(const QString& strVersion, QWidget* parent) : QDialog(parent) {
    const QFont font = CDialogUnits::TemplateFont("MS Sans Serif", 8);
    setFont(font);
    const CDialogUnits du(font);
    setWindowTitle(QStringLiteral("About MERU"));
    setFixedSize(du.Size(235, 114));
    QPalette pal = palette();
    pal.setBrush(QPalette::Window, res::PatternBrush());
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);

    auto picture = [&](int id, QRect r) {
        auto* l = new QLabel(this);
        l->setGeometry(r);
        l->setPixmap(res::Bitmap(id, r.size()));
    };
    picture(140, du.Rect(7, 7, 40, 40));
    picture(141, du.Rect(188, 7, 40, 40));

    m_pVersion = new QLabel(strVersion, this);  // control 1041
    m_pVersion->setObjectName(QStringLiteral("1041"));
    m_pVersion->setAlignment(Qt::AlignCenter);
    m_pVersion->setGeometry(du.Rect(52, 12, 131, 10));

    auto* dedication = new QLabel(Dedication(), this);  // control 1040
    dedication->setObjectName(QStringLiteral("1040"));
    dedication->setWordWrap(true);
    dedication->setAlignment(Qt::AlignCenter);
    dedication->setAutoFillBackground(true);
    QPalette dp = dedication->palette();
    dp.setColor(QPalette::Window, QColor(240, 240, 220));
    dp.setColor(QPalette::WindowText, Qt::black);
    dedication->setPalette(dp);
    dedication->setGeometry(du.Rect(52, 28, 131, 56));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    ok->setGeometry(du.Rect(92, 92, 50, 14));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

QString CAboutDlg::Dedication() {
    return QStringLiteral(
        "A chi scrive tutto su foglietti volanti e poi non li trova più.\n"
        "For everyone who keeps their life in notes.");
}

}  // namespace meru
