#pragma once
#include <QString>
#include <string>

class QPlainTextEdit;

namespace meru {

// Text between the core (UTF-8 std::string) and Qt.
QString FromUtf8(const std::string& s);
std::string ToUtf8(const QString& s);

// An editor's text exactly as typed, with LF line breaks: toPlainText() would
// turn no-break spaces into blanks and U+2028 into line breaks.
QString EditorText(const QPlainTextEdit* editor);

// The colours of a window's main editor: black on RGB(240, 240, 240).
void SetEditorColours(QPlainTextEdit* editor);

}  // namespace meru
