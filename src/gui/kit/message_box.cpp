#include "gui/kit/message_box.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace meru {

QString BoxCaption() {
    const QString name = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    return name.isEmpty() ? QStringLiteral("meru") : name;
}

QString SearchWrapQuestion() {
    return QStringLiteral(
        "E' stata raggiunta l'ultima pagina degli!\nContinuare la ricerca dalla prima pagina?");
}

bool AskSearchWrap(QWidget* parent) {
    return QMessageBox::warning(parent, BoxCaption(), SearchWrapQuestion(),
                                QMessageBox::Yes | QMessageBox::No,
                                QMessageBox::Yes) == QMessageBox::Yes;
}

}  // namespace meru
