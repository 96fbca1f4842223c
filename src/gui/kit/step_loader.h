#pragma once
#include <QObject>
#include <QString>
#include <functional>
#include <string>
#include <string_view>

class QPlainTextEdit;
class QTimer;

namespace meru {

// Puts a long stored text (UTF-8, CR LF line breaks) into an editor in
// steps: the first slice at once, the rest from the event loop a slice at a
// time, so a window never freezes on a huge text and shows its beginning at
// once. The text is converted slice by slice too. Undo is off while loading
// (so the loaded text cannot be undone) and on again when it is complete.
// The user may edit the part already shown meanwhile: slices go at the end,
// and a caret or selection at the end stays where the user left it.
//
// `fnSetting(true/false)` brackets every change the loader makes, so the
// owner can tell them from the user's edits.
class CStepTextLoader : public QObject {
    Q_OBJECT
public:
    CStepTextLoader(QPlainTextEdit* editor, std::function<void(bool)> fnSetting);

    // Replaces the editor's text with `stored`.
    void Load(std::string stored);
    // Loads what is left at once (before the text is read, searched or typed into).
    void Finish();
    bool Loading() const { return m_nDone < m_strPending.size(); }
    // The stored text not yet in the editor ("" once complete). The editor's
    // text followed by this, converted, is the whole text: slices end between
    // characters and never between CR and LF.
    std::string_view Pending() const { return std::string_view(m_strPending).substr(m_nDone); }

    // Bytes of stored text a step converts and inserts at most.
    static constexpr size_t kStepBytes = 128 * 1024;

private:
    // The next slice of the pending text: ends after a line break where there
    // is one, never inside a character or between CR and LF.
    size_t SliceEnd(size_t nMax) const;
    void Step(size_t nMax);

    QPlainTextEdit* m_pEditor;
    std::function<void(bool)> m_fnSetting;
    QTimer* m_pTimer;
    std::string m_strPending;
    size_t m_nDone = 0;
};

}  // namespace meru
