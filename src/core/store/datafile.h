#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/store/file_io.h"
#include "core/store/meru_data.h"

namespace meru {

inline constexpr int kFormatVersion = 22;     // the version written
inline constexpr int kOldFormatVersion = 21;  // read only: no bookmarks, no browser

// Texts the user is shown, exactly as the program words them.
inline constexpr std::string_view kMsgBadTag = "La versione del file non è MER 2.1 o superiore!";
inline constexpr std::string_view kMsgBadVersion = "Versione non corretta!";
inline constexpr std::string_view kMsgReadError =
    "È stato fatto un tentativo di accedere a un file senza nome oltre la sua fine.";
inline constexpr std::string_view kMsgPasswordRequired = "Password Richiesta!";
inline constexpr std::string_view kMsgPasswordWrong = "Password Errata!";

enum class LoadStatus {
    Loaded,      // the file was read (see password for the password check)
    NoFile,      // no file at the path: default data, saving allowed
    CannotOpen,  // the file exists but cannot be read: default data, never saved over
    BadTag,      // not a data file of this program: start-up ends
    BadVersion,  // a version other than 21 or 22: start-up ends
    ReadError,   // ends inside an element, or a count or length is damaged
};

enum class PasswordState {
    None,       // the file has no password
    Accepted,   // the right password was given; texts are plain
    Wrong,      // a wrong password: texts stay as stored (scrambled)
    Cancelled,  // no password given: texts stay as stored (scrambled)
};

struct LoadOutcome {
    LoadStatus status = LoadStatus::Loaded;
    PasswordState password = PasswordState::None;
    int version = 0;      // format version read (21 or 22), when known
    std::string message;  // what to tell the user; empty when nothing
    std::string reason;   // the system's reason, for CannotOpen

    // Start-up goes on (tool windows are created) unless the file is foreign.
    bool Continues() const {
        return status != LoadStatus::BadTag && status != LoadStatus::BadVersion;
    }
};

enum class SaveStatus { Saved, NotAllowed, Failed };

struct SaveOutcome {
    SaveStatus status = SaveStatus::Saved;
    std::string reason;  // the system's reason when it failed
};

// Asked when the file holds a password: the typed password, or nothing when
// the user declined to give one.
using PasswordPrompt = std::function<std::optional<std::string>()>;

// Decodes a whole data file image into `data`. `data` is reset to the default
// data first. Used by LoadData and directly by tests and fuzzers.
LoadOutcome ReadData(std::string_view bytes, CMeruData& data, const PasswordPrompt& prompt);

// The bytes SaveData writes for `data` (format version 22; texts scrambled
// with data.m_strPassword when it is not empty). `data` is not changed.
std::string SerializeData(const CMeruData& data);

// The data file of one run: the path, and whether the data in memory may be
// written back over it. The rule: only after LoadData found no file, or read
// it whole with no password or the right one. A file that exists but cannot
// be read, a damaged file and a wrong or missing password keep saving off for
// the whole run, so such a file is never overwritten.
class CDataFile {
public:
    explicit CDataFile(std::string path) : m_strPath(std::move(path)) {}

    const std::string& Path() const { return m_strPath; }

    // Reads the file into `data` and decides whether it may be saved.
    // Temporaries left by killed saves of the file are removed first.
    LoadOutcome LoadData(CMeruData& data, const PasswordPrompt& prompt);

    // Writes `data` atomically (see WriteAtomically in file_io.h). Does
    // nothing while saving is not allowed. On failure the old file is left as
    // it was.
    SaveOutcome SaveData(const CMeruData& data) const;

    // True when the data in memory are plain and may be written to the file.
    bool MaySave() const { return m_bMaySave; }

    // The user chose another file to keep the data in (the first could not
    // be written): saves go there from now on, when saving is allowed at all.
    void Retarget(std::string path) { m_strPath = std::move(path); }

private:
    std::string m_strPath;
    bool m_bMaySave = false;
};

}  // namespace meru
