#pragma once
#include <QMessageBox>
#include <QString>

class QWidget;

namespace meru {

// The caption of every message box: the program's file name without its
// extension ("meru").
QString BoxCaption();

// The question a search asks when it reached the last page or entry.
QString SearchWrapQuestion();
// Asks it (Yes/No, Yes the default); true for Yes.
bool AskSearchWrap(QWidget* parent);

}  // namespace meru
