#include "gui/kit/dialog_units.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QString>

namespace meru {

CDialogUnits::CDialogUnits(const QFont& font) {
    const QFontMetrics fm(font);
    static const QString kAlphabet =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int width = fm.horizontalAdvance(kAlphabet);
    m_nBaseX = (width / 26 + 1) / 2;  // the rounded average of 52 letters
    m_nBaseY = fm.height();
    if (m_nBaseX < 1) m_nBaseX = 1;
    if (m_nBaseY < 1) m_nBaseY = 1;
}

int CDialogUnits::X(int du) const { return du * m_nBaseX / 4; }
int CDialogUnits::Y(int du) const { return du * m_nBaseY / 8; }

QFont CDialogUnits::TemplateFont(const char* face, int pointSize) {
    const QString name = QString::fromLatin1(face);
    QFont f = (name == QLatin1String("MS Sans Serif") || name == QLatin1String("System"))
                  ? QFontDatabase::systemFont(QFontDatabase::GeneralFont)
                  : QFont(name);
    f.setPointSize(pointSize);
    return f;
}

}  // namespace meru
