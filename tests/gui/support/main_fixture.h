#pragma once
#include <QMessageBox>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/app_root.h"
#include "support/fakes.h"

namespace meru::test {

// Everything the application asked of its surroundings during a test, and
// the fakes it uses for the desktop.
struct Recorder {
    std::vector<std::pair<QMessageBox::Icon, QString>> messages;
    std::vector<int> exits;
    // Answer to the start-up password question (nullopt: Cancel).
    std::optional<std::string> startupAnswer;
    int startupPrompts = 0;
    // Answer to the Password command (nullopt: Cancel), and what it was shown.
    std::optional<QString> passwordAnswer;
    QString passwordShown;
    // Answer to Settings > Browser (nullopt: Cancel), and how often it was asked.
    std::optional<QString> browserAnswer;
    int browserQuestions = 0;
    // The notes window's mail form; empty: the real dialog. Set before MakeRoot.
    std::function<std::optional<ComposedMail>(QWidget* parent)> composeMail;
    // A failed save at Exit: the texts shown, and the answers given in turn
    // (when they run out: Cancel).
    std::vector<QString> saveFailedTexts;
    std::vector<AppServices::SaveFailedChoice> saveFailedAnswers;
    // "Save as": the file chosen (nullopt: Cancel) and how often it was asked.
    std::optional<QString> savePathAnswer;
    int savePathQuestions = 0;
    // "Exit without saving?": the texts shown and the answer.
    std::vector<QString> discardQuestions;
    bool discardAnswer = false;
    CFakeLauncher launcher;
    CFakeClipboard clipboard;
    CFakeGlobalHotkeys hotkeys;
};

// The application on `path` wired to `rec`, not yet created.
std::unique_ptr<CAppRoot> MakeRoot(Recorder& rec, const QString& path);

// File helpers.
bool WriteBytes(const QString& path, const std::string& bytes);
std::optional<std::string> ReadBytes(const QString& path);

// The bytes of a data file holding `data` (its password scrambles it).
std::string DataFileBytes(const CMeruData& data);

}  // namespace meru::test
