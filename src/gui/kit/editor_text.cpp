#include "gui/kit/editor_text.h"

#include <QPlainTextEdit>
#include <QTextDocument>

namespace meru {

QString FromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

std::string ToUtf8(const QString& s) {
    const QByteArray b = s.toUtf8();
    return std::string(b.constData(), size_t(b.size()));
}

QString EditorText(const QPlainTextEdit* editor) {
    // The raw text keeps every character, with U+2029 between the paragraphs.
    QString text = editor->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

void SetEditorColours(QPlainTextEdit* editor) {
    QPalette pal = editor->palette();
    pal.setColor(QPalette::Base, QColor(240, 240, 240));
    pal.setColor(QPalette::Text, Qt::black);
    editor->setPalette(pal);
}

}  // namespace meru
