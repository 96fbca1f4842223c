#include "support/main_fixture.h"

#include <QFile>

namespace meru::test {

std::unique_ptr<CAppRoot> MakeRoot(Recorder& rec, const QString& path) {
    AppServices s;
    s.promptStartupPassword = [&rec] {
        ++rec.startupPrompts;
        return rec.startupAnswer;
    };
    s.editPassword = [&rec](const QString& current) {
        rec.passwordShown = current;
        return rec.passwordAnswer;
    };
    s.showMessage = [&rec](QMessageBox::Icon icon, const QString& text) {
        rec.messages.emplace_back(icon, text);
    };
    s.exitProcess = [&rec](int code) { rec.exits.push_back(code); };
    s.askSaveFailed = [&rec](const QString& text) {
        const size_t n = rec.saveFailedTexts.size();
        rec.saveFailedTexts.push_back(text);
        return n < rec.saveFailedAnswers.size() ? rec.saveFailedAnswers[n]
                                                : AppServices::SaveFailedChoice::Cancel;
    };
    s.chooseSavePath = [&rec](const QString&) {
        ++rec.savePathQuestions;
        return rec.savePathAnswer;
    };
    s.confirmDiscard = [&rec](const QString& text) {
        rec.discardQuestions.push_back(text);
        return rec.discardAnswer;
    };
    s.chooseBrowserProgram = [&rec] {
        ++rec.browserQuestions;
        return rec.browserAnswer;
    };
    s.composeMail = rec.composeMail;
    s.launcher = &rec.launcher;
    s.clipboard = &rec.clipboard;
    s.hotkeys = &rec.hotkeys;
    return std::make_unique<CAppRoot>(QStringLiteral("MERU version 2.2"), path, s);
}

bool WriteBytes(const QString& path, const std::string& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return f.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size());
}

std::optional<std::string> ReadBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray all = f.readAll();
    return std::string(all.constData(), size_t(all.size()));
}

std::string DataFileBytes(const CMeruData& data) { return SerializeData(data); }

}  // namespace meru::test
