#include "gui/kit/step_loader.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include "core/notes/page_store.h"
#include "gui/kit/editor_text.h"

namespace meru {

CStepTextLoader::CStepTextLoader(QPlainTextEdit* editor, std::function<void(bool)> fnSetting)
    : QObject(editor),
      m_pEditor(editor),
      m_fnSetting(std::move(fnSetting)),
      m_pTimer(new QTimer(this)) {
    m_pTimer->setSingleShot(true);
    m_pTimer->setInterval(0);
    connect(m_pTimer, &QTimer::timeout, this, [this] { Step(kStepBytes); });
}

size_t CStepTextLoader::SliceEnd(size_t nMax) const {
    const size_t nLeft = m_strPending.size() - m_nDone;
    if (nLeft <= nMax) return m_strPending.size();
    size_t end = m_nDone + nMax;
    const size_t nl = m_strPending.rfind('\n', end - 1);
    if (nl != std::string::npos && nl >= m_nDone) return nl + 1;
    // One long line: cut at the start of a character, not after a CR.
    while (end > m_nDone + 1 && ((static_cast<unsigned char>(m_strPending[end]) & 0xC0) == 0x80 ||
                                 m_strPending[end - 1] == '\r'))
        --end;
    return end;
}

void CStepTextLoader::Load(std::string stored) {
    m_pTimer->stop();
    m_strPending = std::move(stored);
    m_nDone = 0;
    const size_t first = SliceEnd(kStepBytes);
    QTextDocument* doc = m_pEditor->document();
    doc->setUndoRedoEnabled(false);  // also forgets the previous text's undo
    m_fnSetting(true);
    m_pEditor->setPlainText(
        FromUtf8(StoredToEditorText(std::string_view(m_strPending).substr(0, first))));
    m_fnSetting(false);
    m_nDone = first;
    if (Loading()) {
        m_pTimer->start();
    } else {
        m_strPending.clear();
        m_nDone = 0;
        doc->setUndoRedoEnabled(true);
    }
}

void CStepTextLoader::Step(size_t nMax) {
    if (!Loading()) return;
    const size_t end = SliceEnd(nMax);
    const QString slice =
        FromUtf8(StoredToEditorText(std::string_view(m_strPending).substr(m_nDone, end - m_nDone)));
    QTextCursor at(m_pEditor->document());
    at.movePosition(QTextCursor::End);
    // Text inserted at the caret would carry it along: a caret left at the
    // end of the shown part stays before the new slice.
    const int nAnchor = m_pEditor->textCursor().anchor();
    const int nPos = m_pEditor->textCursor().position();
    const int nOldEnd = at.position();
    const bool bKeep = nPos == nOldEnd || nAnchor == nOldEnd;
    m_fnSetting(true);
    at.insertText(slice);
    if (bKeep) {
        QTextCursor back(m_pEditor->document());
        back.setPosition(nAnchor);
        back.setPosition(nPos, QTextCursor::KeepAnchor);
        m_pEditor->setTextCursor(back);
    }
    m_fnSetting(false);
    m_nDone = end;
    if (Loading()) {
        m_pTimer->start();
    } else {
        m_strPending.clear();
        m_strPending.shrink_to_fit();
        m_nDone = 0;
        m_pEditor->document()->setUndoRedoEnabled(true);
    }
}

void CStepTextLoader::Finish() {
    if (!Loading()) return;
    m_pTimer->stop();
    Step(m_strPending.size());
}

}  // namespace meru
