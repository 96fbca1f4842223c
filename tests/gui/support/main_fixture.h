#pragma once
#include <QMessageBox>
#include <QString>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gui/main/main_dlg.h"
#include "platform/launcher.h"

namespace meru::test {

// Everything the main window asked of its surroundings during a test.
struct Recorder {
    std::vector<std::pair<QMessageBox::Icon, QString>> messages;
    std::vector<int> exits;
    // Answer to the start-up password question (nullopt: Cancel).
    std::optional<std::string> startupAnswer;
    int startupPrompts = 0;
    // Answer to the Password command (nullopt: Cancel), and what it was shown.
    std::optional<QString> passwordAnswer;
    QString passwordShown;
    CFakeLauncher launcher;
};

// A main window whose clipboard and browser commands are recorded.
class CRecordingMainDlg : public CMainDlg {
public:
    using CMainDlg::CMainDlg;
    std::vector<int> selectedClips;
    int clearAllCalls = 0;
    int browserCalls = 0;
    void SelectClip(int n) override { selectedClips.push_back(n); }
    void ClearAllClips() override { ++clearAllCalls; }
    void ChooseBrowser() override { ++browserCalls; }
};

// A main window on `path` wired to `rec`, not yet created.
std::unique_ptr<CRecordingMainDlg> MakeMainDlg(Recorder& rec, const QString& path);

// File helpers.
bool WriteBytes(const QString& path, const std::string& bytes);
std::optional<std::string> ReadBytes(const QString& path);

// The bytes of a data file holding `data` (its password scrambles it).
std::string DataFileBytes(const CMeruData& data);

}  // namespace meru::test
